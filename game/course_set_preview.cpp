// The preview of a course set: its pictures as thumbnail textures and its "desc.txt" lines, loaded
// when the set is hovered long enough or the screen is set up; and the release of the thumbnails.
#include "game/course_set_local.h"

#include "codecs/codecs.h"
#include "game/app.h"
#include "game/files.h"
#include "game/screen.h"
#include "platform/system.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "render/texture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char kSetThumbnailTag[] = "thumbnails";

namespace {

constexpr int kBlankSide = 32;
constexpr long kDescriptionFileMax = 64 * 1024;  // far more than four lines need

// Creates or releases under the thumbnails' tag, then puts the table's own tag back.
struct ThumbnailTag {
    TextureTable *table;
    const char *saved;
    explicit ThumbnailTag(TextureTable *t) : table(t), saved(t->group_tag) { table->group_tag = kSetThumbnailTag; }
    ~ThumbnailTag() { table->group_tag = saved; }
};

void upload_blank(RenderContext *context, int32_t slot)
{
    static const uint8_t blank[kBlankSide * kBlankSide * 4] = {};
    texture_create_from_pixels(context, 0, slot, kBlankSide, kBlankSide, blank, kBlankSide, kBlankSide);
}

void upload_picture(RenderContext *context, int32_t slot, const char *file_name)
{
    ImageData image = {};
    if (!image_load_by_base_name(file_name, &image, 0) || !image.pixels) {
        upload_blank(context, slot);
        return;
    }
    texture_create_from_pixels(context, 0, slot, image.width, image.height, image.pixels, image.width, image.height);
    free(image.pixels);
}

// One thumbnail per listed picture, at most 128; from 8 pictures on only the middle 8 are real.
int32_t upload_thumbnails(RenderContext *context)
{
    int32_t frames = g_file_count < kSetThumbnailMax ? g_file_count : kSetThumbnailMax;
    int32_t first_real = frames < kSetRealThumbnails ? 0 : (frames - kSetRealThumbnails) / 2;
    int32_t end_real = frames < kSetRealThumbnails ? frames : first_real + kSetRealThumbnails;
    ThumbnailTag tag(&context->main_textures);
    for (int32_t i = 0; i < frames; i++) {
        if (i >= first_real && i < end_real)
            upload_picture(context, kSetThumbnailSlot + i, g_file_names[i]);
        else
            upload_blank(context, kSetThumbnailSlot + i);
    }
    return frames;
}

void read_description_file(void)
{
    FILE *file = sys_fopen("desc.txt", "rb");
    if (!file) return;
    char *text = static_cast<char *>(malloc(kDescriptionFileMax));
    if (text) {
        size_t size = fread(text, 1, kDescriptionFileMax, file);
        menu_course_set_read_description(text, size, g_set_description);
        free(text);
    }
    fclose(file);
}

// Into the set's folder from the start folder: "data/parcours/<set>", or "<saves>/<set>".
bool enter_set_folder(const char *name)
{
    if (!name[0]) return false;
    if (g_set_source_personal) return _chdir(g_saves_folder) == 0 && _chdir(name) == 0;
    return _chdir("data") == 0 && _chdir("parcours") == 0 && _chdir(name) == 0;
}

}  // namespace

void menu_course_set_read_description(const char *text, size_t size,
                                      char lines[kSetDescriptionLines][kSetDescriptionLength])
{
    for (int n = 0; n < kSetDescriptionLines; n++) lines[n][0] = '\0';
    size_t at = 0;
    for (int n = 0; n < kSetDescriptionLines && at < size; n++) {
        const char *line = text + at;
        const char *end = static_cast<const char *>(memchr(line, '\n', size - at));
        size_t length = end ? size_t(end - line) : size - at;
        at += end ? length + 1 : length;
        const char *open = static_cast<const char *>(memchr(line, '"', length));
        if (!open) continue;
        const char *close = static_cast<const char *>(memchr(open + 1, '"', length - size_t(open + 1 - line)));
        if (!close) continue;  // one quote: no text, rather than the rest of the line
        size_t quoted = size_t(close - open - 1);
        if (quoted > size_t(kSetDescriptionLength - 1)) quoted = kSetDescriptionLength - 1;
        memcpy(lines[n], open + 1, quoted);
        lines[n][quoted] = '\0';
    }
}

int32_t menu_course_set_release_thumbnails(void)
{
    TextureTable *table = &g_render_context.main_textures;
    int32_t released = 0;
    if (table->slots)
        for (int32_t slot = 0; slot < kTextureSlots; slot++) {
            const TextureRecord *record = table->slots[slot];
            if (record && record->group_tag && strcmp(record->group_tag, kSetThumbnailTag) == 0) released++;
        }
    ThumbnailTag tag(table);
    texture_release_all(table);
    g_set_thumbnail_count = 0;
    return released;
}

void menu_course_set_load_preview(int32_t set_index)
{
    RenderContext *context = &g_render_context;
    char entry_folder[512] = "";
    if (!_getcwd(entry_folder, sizeof entry_folder)) entry_folder[0] = '\0';
    const char *name = set_index >= 0 && set_index < g_course_set_count ? g_course_set_names[set_index] : "";

    render_set_mode(7, context, 16);  // no mip chains while the pictures load
    menu_course_set_release_thumbnails();
    for (char *line : g_set_description) line[0] = '\0';
    g_file_count = 0;
    if (enter_set_folder(name)) {
        ui_file_list_fill("*.png");
        if (g_file_count == 0) ui_file_list_fill("*.jp2");
        g_set_thumbnail_count = upload_thumbnails(context);
        read_description_file();
    }
    render_set_mode(7, context, 15);
    _chdir(g_start_dir[0] ? g_start_dir : entry_folder);

    g_set_preview_counter = 10;
    g_set_cursor_hold = kSetCursorHoldFrames;
    g_set_cursor_x = g_mouse_x;
    g_set_cursor_y = g_mouse_y;
    app_trace("set preview %s %d", name, g_set_thumbnail_count);
}
