// The texture-script reader: a UTF-16LE text of FONTES, BITMAPS and COMPOSITION sections read into
// a TexgenScript. Top-level and composition text is read word by word, font and bitmap blocks
// line by line; keywords inside blocks are found anywhere in their line or word.
#include "script/texgen_local.h"

#include "codecs/codecs.h"
#include "platform/system.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

FT_LibraryRec_ *g_texgen_freetype;

namespace {

const char *g_empty_name = "";

bool is_blank(char16_t unit) { return unit == u' ' || (unit >= 0x09 && unit <= 0x0D); }

bool peek_unit(const TexgenFile *file, char16_t *unit)
{
    if (file->position > file->size || file->size - file->position < 2) return false;
    *unit = (char16_t)(file->data[file->position] | file->data[file->position + 1] << 8);
    return true;
}

// The units after the first '=', or null when there is none.
const char16_t *after_equals(const char16_t *text)
{
    for (; *text; text++)
        if (*text == u'=') return text + 1;
    return nullptr;
}

// Reads one integer as "%d" does: blanks skipped, a sign, at least one digit. Held within the limit.
bool scan_int(const char16_t **text, int32_t *value)
{
    const char16_t *p = *text;
    while (is_blank(*p)) p++;
    bool negative = *p == u'-';
    if (*p == u'-' || *p == u'+') p++;
    if (*p < u'0' || *p > u'9') return false;
    int64_t number = 0;
    for (; *p >= u'0' && *p <= u'9'; p++)
        if (number <= TEXGEN_NUMBER_LIMIT) number = number * 10 + (*p - u'0');
    if (number > TEXGEN_NUMBER_LIMIT) number = TEXGEN_NUMBER_LIMIT;
    *value = (int32_t)(negative ? -number : number);
    *text = p;
    return true;
}

// Matches text against a format of literal characters and "%d" conversions as a scanf would,
// storing each integer as it is read: after a mismatch the remaining destinations keep their values.
// Returns the integers stored. A null text stores nothing.
int scan_values(const char16_t *text, const char *format, ...)
{
    if (!text) return 0;
    va_list args;
    va_start(args, format);
    int stored = 0;
    for (const char *f = format; *f; f++) {
        if (f[0] == '%' && f[1] == 'd') {
            f++;
            int32_t value;
            if (!scan_int(&text, &value)) break;
            *va_arg(args, int32_t *) = value;
            stored++;
        } else if (*text == (char16_t)*f) {
            text++;
        } else {
            break;
        }
    }
    va_end(args);
    return stored;
}

// The text between the line's first two double quotes into out (at most max - 1 units); false,
// with out untouched, when the line holds fewer than two.
bool quoted_text(const char16_t *line, char16_t *out, int max)
{
    const char16_t *open = line;
    while (*open && *open != u'"') open++;
    if (!*open) return false;
    const char16_t *close = open + 1;
    while (*close && *close != u'"') close++;
    if (!*close) return false;
    int n = 0;
    for (const char16_t *p = open + 1; p < close && n < max - 1; p++) out[n++] = *p;
    out[n] = 0;
    return true;
}

int count_quotes(const char16_t *text)
{
    int count = 0;
    for (; *text; text++) count += *text == u'"';
    return count;
}

// Appends text to a buffer of TEXGEN_TEXT_UNITS units, dropping what does not fit.
void append_text(char16_t *buffer, int *length, const char16_t *text)
{
    while (*text && *length < TEXGEN_TEXT_UNITS - 1) buffer[(*length)++] = *text++;
    buffer[*length] = 0;
}

// Reads lines up to the first one holding '{' into line; false when the text ends first.
bool skip_to_open_brace(TexgenFile *file, char16_t *line)
{
    line[0] = 0;
    while (texgen_read_line(file, line, TEXGEN_LINE_UNITS))
        if (texgen_wide_str_contains(line, u"{")) return true;
    return false;
}

void examine_font_line(TexgenFont *font, const char16_t *line, char16_t *file_name, bool *has_file)
{
    const char16_t *value = after_equals(line);
    if (texgen_wide_str_contains(line, u"FICHIER") && quoted_text(line, file_name, TEXGEN_LINE_UNITS)) *has_file = true;
    if (texgen_wide_str_contains(line, u"OMBRAGE")) {
        font->shadow = 1;
        scan_values(value, "(%d,%d)", &font->shadow_dx, &font->shadow_dy);
    }
    if (texgen_wide_str_contains(line, u"SIZE")) scan_values(value, "%d", &font->size);
    if (texgen_wide_str_contains(line, u"GRAS")) font->bold = 1;
    if (texgen_wide_str_contains(line, u"OUTLINE")) scan_values(value, "%d", &font->outline);
    if (texgen_wide_str_contains(line, u"DEGRADE")) {
        font->colour_mode = 1;
        scan_values(value, "(%d,%d,%d)/(%d,%d,%d)", &font->colour_top[0], &font->colour_top[1], &font->colour_top[2],
                    &font->colour_bottom[0], &font->colour_bottom[1], &font->colour_bottom[2]);
    }
    if (texgen_wide_str_contains(line, u"SINUS")) font->colour_mode = 2;
}

enum BitmapSource { SOURCE_NONE, SOURCE_FILE, SOURCE_CLOUDS };

// Loads "<folder>/<name>" as ".jp2" when that file exists, else as ".png".
bool load_bitmap_file(TexgenBitmap *bitmap)
{
    char path[1024];
    int length =
        snprintf(path, sizeof path, "%s/%s", g_texgen_font_folder ? g_texgen_font_folder : ".", bitmap->file_name);
    if (length < 0 || length >= (int)sizeof path) return false;
    ImageData image = {};
    const char *extensions[2] = {"jp2", "png"};
    for (int i = 0; i < 2; i++) {
        char candidate[1024];
        snprintf(candidate, sizeof candidate, "%s", texgen_replace_extension(path, extensions[i]));
        FILE *test = candidate[0] ? sys_fopen(candidate, "rb") : nullptr;
        if (!test) continue;
        fclose(test);
        bool loaded = i == 0 ? jp2_load_file(candidate, &image, 0) : png_load_file(candidate, &image, 0);
        if (!loaded) return false;
        bitmap->width = image.width;
        bitmap->height = image.height;
        bitmap->pixels = image.pixels;
        return true;
    }
    return false;
}

// The next free step, or `scratch` when the table is full.
TexgenStep *next_step(TexgenScript *script, TexgenStep *scratch, int32_t kind)
{
    TexgenStep *step = script->step_count < TEXGEN_MAX_ENTRIES ? &script->steps[script->step_count] : scratch;
    *step = TexgenStep{};
    step->kind = kind;
    return step;
}

void commit_step(TexgenScript *script, TexgenStep *step, TexgenStep *scratch)
{
    if (step != scratch) {
        script->step_count++;
        return;
    }
    free(step->text);
    step->text = nullptr;
}

// The name after the word's '=' ("%s": the rest of the word; none when it is empty).
void step_name(TexgenStep *step, const char16_t *word)
{
    const char16_t *value = after_equals(word);
    if (value && value[0]) texgen_format_wide(step->name, TEXGEN_STEP_NAME_UNITS, u"%s", value);
}

// KEYWORD=name (x,y), with the step's text after it for TEXTE and CTEXTE. The position word is
// read into `word`, which the later keyword tests then see.
void record_named_step(TexgenFile *file, TexgenScript *script, char16_t *word, int32_t kind)
{
    TexgenStep scratch;
    TexgenStep *step = next_step(script, &scratch, kind);
    step_name(step, word);
    texgen_read_word(file, word, TEXGEN_WORD_UNITS);
    scan_values(word, "(%d,%d)", &step->x, &step->y);
    if (kind == TEXGEN_TEXTE || kind == TEXGEN_CTEXTE) step->text = texgen_read_text(file);
    commit_step(script, step, &scratch);
}

void record_wave(TexgenFile *file, TexgenScript *script, char16_t *word, int32_t kind)
{
    TexgenStep scratch;
    TexgenStep *step = next_step(script, &scratch, kind);
    scan_values(after_equals(word), "(%d,%d)", &step->param_a, &step->param_b);
    if (kind == TEXGEN_ONDEOMBREE) {
        texgen_read_word(file, word, TEXGEN_WORD_UNITS);
        scan_values(word, "(%d,%d)", &step->x, &step->y);
    }
    commit_step(script, step, &scratch);
}

void record_emboss(TexgenFile *file, TexgenScript *script, char16_t *word)
{
    TexgenStep scratch;
    TexgenStep *step = next_step(script, &scratch, TEXGEN_EMBOSS);
    scan_values(after_equals(word), "(%d,%d,%d)", &step->x, &step->y, &step->param_b);
    texgen_read_word(file, word, TEXGEN_WORD_UNITS);
    scan_values(word, "(%d,%d,%d)", &step->colour[0], &step->colour[1], &step->colour[2]);
    commit_step(script, step, &scratch);
}

void record_panel(TexgenFile *file, TexgenScript *script, char16_t *word)
{
    TexgenStep scratch;
    TexgenStep *step = next_step(script, &scratch, TEXGEN_CARREDEGRADE);
    scan_values(after_equals(word), "COULEUR(%d,%d,%d)", &step->colour[0], &step->colour[1], &step->colour[2]);
    texgen_read_word(file, word, TEXGEN_WORD_UNITS);
    scan_values(word, "(%d,%d)", &step->x, &step->y);
    texgen_read_word(file, word, TEXGEN_WORD_UNITS);
    scan_values(word, "(%d,%d)", &step->size_w, &step->size_h);
    commit_step(script, step, &scratch);
}

// A FONTES or BITMAPS section: words up to the one holding '{', then name and block pairs up to a
// word holding '}'.
void read_section(TexgenFile *file, TexgenScript *script, bool fonts)
{
    char16_t word[TEXGEN_TOP_WORD_UNITS];
    do {
        if (!texgen_read_word(file, word, TEXGEN_TOP_WORD_UNITS)) return;
    } while (!texgen_wide_str_contains(word, u"{"));
    while (texgen_read_word(file, word, TEXGEN_TOP_WORD_UNITS) && !texgen_wide_str_contains(word, u"}")) {
        if (fonts)
            texgen_read_fonts(word, script, file);
        else
            texgen_read_bitmaps(word, script, file);
    }
}

bool read_whole_file(const char *path, uint8_t **data, size_t *size)
{
    FILE *file = sys_fopen(path, "rb");
    if (!file) return false;
    bool ok = fseek(file, 0, SEEK_END) == 0;
    long length = ok ? ftell(file) : -1;
    ok = length >= 0 && (size_t)length <= TEXGEN_MAX_FILE_BYTES && fseek(file, 0, SEEK_SET) == 0;
    uint8_t *bytes = ok ? (uint8_t *)malloc((size_t)length + 1) : nullptr;
    ok = bytes && fread(bytes, 1, (size_t)length, file) == (size_t)length;
    fclose(file);
    if (!ok) {
        free(bytes);
        return false;
    }
    *data = bytes;
    *size = (size_t)length;
    return true;
}

}  // namespace

const char *g_texgen_game_name = g_empty_name;

void texgen_set_game_name(const char *name) { g_texgen_game_name = name ? name : g_empty_name; }

int texgen_read_word(TexgenFile *file, char16_t *out, int max)
{
    char16_t unit;
    while (peek_unit(file, &unit) && is_blank(unit)) file->position += 2;
    if (!peek_unit(file, &unit)) return 0;
    int n = 0;
    while (peek_unit(file, &unit) && !is_blank(unit)) {
        if (n < max - 1) out[n++] = unit;
        file->position += 2;
    }
    out[n] = 0;
    return 1;
}

int texgen_read_line(TexgenFile *file, char16_t *out, int max)
{
    char16_t unit;
    if (!peek_unit(file, &unit)) return 0;
    int n = 0;
    while (n < max - 1 && peek_unit(file, &unit)) {
        out[n++] = unit;
        file->position += 2;
        if (unit == u'\n') break;
    }
    out[n] = 0;
    return 1;
}

void texgen_read_fonts(const char16_t *name, TexgenScript *script, TexgenFile *file)
{
    TexgenFont font = {};
    texgen_format_wide(font.name, TEXGEN_NAME_UNITS, u"%s", name);
    char16_t line[TEXGEN_LINE_UNITS];
    char16_t file_name[TEXGEN_LINE_UNITS] = {};
    bool has_file = false;
    // The '{' line is not examined, but a '}' on it closes the block; later lines are examined up
    // to and including the first holding '}'.
    bool open = skip_to_open_brace(file, line) && !texgen_wide_str_contains(line, u"}");
    while (open && texgen_read_line(file, line, TEXGEN_LINE_UNITS)) {
        examine_font_line(&font, line, file_name, &has_file);
        open = !texgen_wide_str_contains(line, u"}");
    }
    if (!has_file || font.size == 0 || script->font_count >= TEXGEN_MAX_ENTRIES) return;
    texgen_wide_to_narrow(file_name, font.file_name, TEXGEN_FILE_NAME_BYTES);
    // A face that does not open would leave the text steps nothing to measure: drop the font.
    if (!texgen_font_load(&font, font.file_name)) return;
    script->fonts[script->font_count++] = font;
}

void texgen_read_bitmaps(const char16_t *name, TexgenScript *script, TexgenFile *file)
{
    TexgenBitmap bitmap = {};
    texgen_format_wide(bitmap.name, TEXGEN_NAME_UNITS, u"%s", name);
    char16_t line[TEXGEN_LINE_UNITS];
    char16_t file_name[TEXGEN_LINE_UNITS] = {};
    int32_t clouds[5] = {};
    BitmapSource source = SOURCE_NONE;
    // The lines after the '{' line are examined up to one holding '}', which is not.
    if (skip_to_open_brace(file, line)) {
        while (texgen_read_line(file, line, TEXGEN_LINE_UNITS) && !texgen_wide_str_contains(line, u"}")) {
            const char16_t *value = after_equals(line);
            if (texgen_wide_str_contains(line, u"FICHIER") && quoted_text(line, file_name, TEXGEN_LINE_UNITS))
                source = SOURCE_FILE;
            if (texgen_wide_str_contains(line, u"CLOUDS")) {
                source = SOURCE_CLOUDS;
                scan_values(value, "(%d,%d,%d,%d,%d)", &clouds[0], &clouds[1], &clouds[2], &clouds[3], &clouds[4]);
            }
            if (texgen_wide_str_contains(line, u"OMBRAGE")) {
                bitmap.shadow = 1;
                scan_values(value, "(%d,%d)", &bitmap.shadow_dx, &bitmap.shadow_dy);
            }
            if (texgen_wide_str_contains(line, u"OUTLINE")) scan_values(value, "%d", &bitmap.frame);
        }
    }
    if (source == SOURCE_NONE || script->bitmap_count >= TEXGEN_MAX_ENTRIES) return;
    bool made = false;
    if (source == SOURCE_FILE) {
        texgen_wide_to_narrow(file_name, bitmap.file_name, TEXGEN_FILE_NAME_BYTES);
        made = load_bitmap_file(&bitmap);
        if (made && !texgen_bitmap_fits(script, bitmap.width, bitmap.height)) {
            free(bitmap.pixels);
            made = false;
        }
    } else if (texgen_bitmap_fits(script, clouds[3], clouds[4])) {
        made = texgen_clouds_make(&bitmap, clouds[0], clouds[1], clouds[2], clouds[3], clouds[4]);
    }
    // A bitmap that loaded nothing is dropped: its steps are then skipped.
    if (made) script->bitmaps[script->bitmap_count++] = bitmap;
}

void texgen_read_composition(TexgenFile *file, TexgenScript *script)
{
    char16_t word[TEXGEN_WORD_UNITS];
    do {
        if (!texgen_read_word(file, word, TEXGEN_WORD_UNITS)) return;
    } while (!texgen_wide_str_contains(word, u"{"));
    // Each test sees the last word read, which may be a step's argument rather than its keyword.
    while (texgen_read_word(file, word, TEXGEN_WORD_UNITS) && !texgen_wide_str_contains(word, u"}")) {
        if (texgen_wide_str_contains(word, u"MOSAIC")) record_named_step(file, script, word, TEXGEN_MOSAIC);
        if (texgen_wide_str_contains(word, u"ETIRER")) record_named_step(file, script, word, TEXGEN_ETIRER);
        if (texgen_wide_str_contains(word, u"CTEXTE"))
            record_named_step(file, script, word, TEXGEN_CTEXTE);
        else if (texgen_wide_str_contains(word, u"TEXTE"))
            record_named_step(file, script, word, TEXGEN_TEXTE);
        if (texgen_wide_str_contains(word, u"FBITMAP"))
            record_named_step(file, script, word, TEXGEN_FBITMAP);
        else if (texgen_wide_str_contains(word, u"BITMAP"))
            record_named_step(file, script, word, TEXGEN_BITMAP);
        else if (texgen_wide_str_contains(word, u"ONDEOMBREE"))
            record_wave(file, script, word, TEXGEN_ONDEOMBREE);
        else if (texgen_wide_str_contains(word, u"ONDE"))
            record_wave(file, script, word, TEXGEN_ONDE);
        else if (texgen_wide_str_contains(word, u"EMBOSS"))
            record_emboss(file, script, word);
        if (texgen_wide_str_contains(word, u"CARREDEGRADE")) record_panel(file, script, word);
    }
}

char16_t *texgen_read_text(TexgenFile *file)
{
    char16_t word[TEXGEN_WORD_UNITS] = {};
    char16_t joined[TEXGEN_TEXT_UNITS] = {};
    int length = 0;
    texgen_read_word(file, word, TEXGEN_WORD_UNITS);
    append_text(joined, &length, word[0] ? word + 1 : word);
    if (count_quotes(word) == 1) {
        // Words of a text with blanks, each after one blank, up to the one closing the quote. The
        // whole text is consumed even where it no longer fits.
        while (texgen_read_word(file, word, TEXGEN_WORD_UNITS)) {
            append_text(joined, &length, u" ");
            append_text(joined, &length, word);
            if (count_quotes(word) == 1) break;
        }
    }
    for (int i = 0; i < length; i++)
        if (joined[i] == u'"') {
            joined[i] = 0;
            length = i;
        }

    char16_t *text = (char16_t *)calloc(TEXGEN_TEXT_UNITS, sizeof(char16_t));
    if (!text) return nullptr;
    int n = 0;
    for (int i = 0; i < length && n < TEXGEN_TEXT_UNITS - 1;) {
        if (joined[i] == u'$' && joined[i + 1] == u'x' && joined[i + 2] == u'$') {
            // Each byte of the name is one unit: Latin-1.
            for (const char *c = g_texgen_game_name; *c && n < TEXGEN_TEXT_UNITS - 1; c++) text[n++] = (uint8_t)*c;
            i += 3;
        } else {
            text[n++] = joined[i++];
        }
    }
    return text;
}

TexgenScript *texgen_script_read_memory(const void *data, size_t size, const char *path)
{
    const uint8_t *bytes = (const uint8_t *)data;
    int first = size > 0 ? bytes[0] : -1;
    int second = size > 1 ? bytes[1] : -1;
    if (first != 0xFE && first != 0xFF && second != 0xFF && second != 0xFE) {
        fprintf(stderr, "%s : Not a Unicode UTF16 File\n", path ? path : "");
        return nullptr;
    }
    if (!g_texgen_freetype && FT_Init_FreeType(&g_texgen_freetype) != 0) g_texgen_freetype = nullptr;
    texgen_srand(1);
    TexgenScript *script = (TexgenScript *)calloc(1, sizeof(TexgenScript));
    if (!script) return nullptr;

    TexgenFile file = {bytes, size, size < 2 ? size : 2};
    char16_t word[TEXGEN_TOP_WORD_UNITS];
    while (texgen_read_word(&file, word, TEXGEN_TOP_WORD_UNITS)) {
        char narrow[TEXGEN_TOP_WORD_UNITS];
        texgen_wide_to_narrow(word, narrow, sizeof narrow);
        printf("%s\n", narrow);
        if (texgen_wide_equal(word, u"FONTES")) {
            read_section(&file, script, true);
        } else if (texgen_wide_equal(word, u"BITMAPS")) {
            read_section(&file, script, false);
        } else if (texgen_wide_equal(word, u"COMPOSITION")) {
            texgen_read_composition(&file, script);
            break;
        } else if (texgen_wide_equal(word, u"END")) {
            break;
        }
    }
    return script;
}

TexgenScript *texgen_script_read(const char *path)
{
    uint8_t *data;
    size_t size;
    if (!path || !read_whole_file(path, &data, &size)) return nullptr;
    TexgenScript *script = texgen_script_read_memory(data, size, path);
    free(data);
    return script;
}
