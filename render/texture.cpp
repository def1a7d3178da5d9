// The texture tables: slots and their records, release by slot, by tag or all, the frame end's
// hand-over of queued rectangles, the front ends of the main table and stage 0 binding.
#include "render/render_local.h"

#include <cstdlib>
#include <cstring>

namespace {

bool valid_slot(int32_t slot) { return slot >= 0 && slot < kTextureSlots; }

// Makes the slot array on first use; false when memory runs out.
bool ensure_slots(TextureTable *table)
{
    if (!table->slots)
        table->slots = static_cast<TextureRecord **>(calloc(kTextureSlots, sizeof(TextureRecord *)));
    return table->slots != nullptr;
}

// Fills a new record of the slot as every record starts.
TextureRecord *fill_slot(TextureTable *table, int32_t slot)
{
    TextureRecord *record = texture_list_append_record(&table->records);
    table->slots[slot] = record;
    record->id = slot;
    record->group_tag = table->group_tag;
    record->device = table->context ? table->context->device : nullptr;
    return record;
}

// Creation on the record by the depth variable "W".
void create_device_texture(TextureTable *table, TextureRecord *record, int32_t width, int32_t height,
                           const uint8_t *pixels, int32_t source_width, int32_t source_height, uint8_t options)
{
    uint32_t clamp = (options & kTextureClamp) ? 1 : 0;
    bool alpha = options & kTextureAlpha, mipmapped = options & kTextureMipmap;
    const RenderVariable *w = table->context ? render_var_find(table->context, "W") : nullptr;
    if (w && w->value == 0)
        texture_create_device_16bit(record, clamp, width, height, pixels, source_width, source_height, alpha,
                                    mipmapped, options & kTextureDither);
    else
        texture_create_device_32bit(record, clamp, width, height, pixels, source_width, source_height, alpha,
                                    mipmapped);
}

// The front ends' options: mip chains unless "X" is 0, clamping unless "Y" is 0.
uint8_t front_end_options(RenderContext *context, uint8_t options)
{
    if (render_var_get(context, "X") != 0) options |= kTextureMipmap;
    if (render_var_get(context, "Y") != 0) options |= kTextureClamp;
    return options;
}

int32_t clamp_side(RenderContext *context, int32_t side)
{
    int32_t largest = render_var_get(context, "D");
    return largest > 0 && side > largest ? largest : side;
}

void flush_table(TextureTable *table)
{
    for (TextureRecord *record = table->records.first; record; record = record->next) {
        if (record->dirty.count == 0) continue;
        for (ListNode<TextureDirtyRect> *node = record->dirty.first; node && record->texture; node = node->next) {
            const TextureDirtyRect &d = node->value;
            RECT rect{d.left, d.top, d.right, d.bottom};
            record->texture->AddDirtyRect(&rect);
        }
        list_clear_rec16(&record->dirty);
    }
}

void set_sampler(IDirect3DDevice9 *device, const TextureSamplerStates &s)
{
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, s.address_u);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, s.address_v);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, s.min_filter);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, s.mag_filter);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, s.mip_filter);
}

// The texture an id names on stage 0, with the sampler states that go with it; null for none.
IDirect3DBaseTexture9 *bound_texture(RenderContext *context, int32_t id, bool *has_record, DWORD *address,
                                     DWORD *mip)
{
    *has_record = false;
    if (id < 0) return id >= -kRenderTargetSlots ? context->render_textures[-id - 1] : nullptr;
    const TextureTable &table = context->main_textures;
    if (!valid_slot(id) || !table.slots || !table.slots[id]) return nullptr;
    const TextureRecord *record = table.slots[id];
    *has_record = true;
    *address = record->clamp ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
    *mip = record->mipmapped == 1 ? D3DTEXF_LINEAR : D3DTEXF_NONE;
    return record->texture;
}

void bind(RenderContext *context, int32_t id, const TextureSamplerStates *explicit_states)
{
    if (id != context->bound_texture[0]) render_flush_2d_batch(context);
    context->bound_texture[0] = id;
    IDirect3DDevice9 *device = context->device;
    if (!device) return;
    bool has_record;
    DWORD address = D3DTADDRESS_CLAMP, mip = D3DTEXF_NONE;
    IDirect3DBaseTexture9 *texture = bound_texture(context, id, &has_record, &address, &mip);
    device->SetTexture(0, texture);
    if (render_var_get(context, "f") == 0 || !texture) return;
    if (explicit_states) {
        set_sampler(device, *explicit_states);
    } else if (has_record) {
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, address);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, address);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, mip);
    } else {
        set_sampler(device, TextureSamplerStates{D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTEXF_LINEAR, D3DTEXF_LINEAR,
                                                 D3DTEXF_NONE});
    }
}

}  // namespace

// ---- records ---------------------------------------------------------------------------------------

TextureRecord *texture_list_append_record(IndexedList<TextureRecord> *list)
{
    return list_link_last(list, new TextureRecord{});
}

void texture_record_destroy(TextureRecord *record)
{
    if (record->texture) record->texture->Release();
    free(record->pixel_copy);
    list_clear_rec16(&record->dirty);
    delete record;
}

void texture_list_remove_last(IndexedList<TextureRecord> *list)
{
    TextureRecord *last = list->last;
    if (!last) return;
    list_unlink(list, last);
    texture_record_destroy(last);
}

void render_list_remove_node120(TextureTable *table, TextureRecord *record)
{
    IndexedList<TextureRecord> *list = &table->records;
    list->cursor_index = -1;
    for (list->iter = list->first; list->iter && list->iter != record;) list->iter = list->iter->next;
    if (!list->iter) return;
    // A record destroyed by hand must not stay in its slot.
    if (table->slots && valid_slot(record->id) && table->slots[record->id] == record)
        table->slots[record->id] = nullptr;
    list_unlink(list, record);
    texture_record_destroy(record);
}

void texture_free_record_list(IndexedList<TextureRecord> *list)
{
    TextureRecord *record = list->first;
    while (record) {
        TextureRecord *next = record->next;
        texture_record_destroy(record);
        record = next;
    }
    *list = IndexedList<TextureRecord>{};
}

// ---- slots -----------------------------------------------------------------------------------------

TextureRecord *texture_get_record(TextureTable *table, int32_t slot)
{
    if (!valid_slot(slot) || !ensure_slots(table)) return nullptr;
    if (table->slots[slot]) texture_release_slot(table, slot);
    return fill_slot(table, slot);
}

TextureRecord *texture_find_free_slot(TextureTable *table)
{
    if (!ensure_slots(table)) return nullptr;
    for (int32_t slot = 0; slot < kTextureSlots; slot++)
        if (!table->slots[slot]) return fill_slot(table, slot);
    return nullptr;
}

void texture_create_in_slot(TextureTable *table, int32_t slot, int32_t width, int32_t height, const uint8_t *pixels,
                            int32_t source_width, int32_t source_height, uint8_t options)
{
    TextureRecord *record = texture_get_record(table, slot);
    if (record) create_device_texture(table, record, width, height, pixels, source_width, source_height, options);
}

int32_t texture_create_in_free_slot(TextureTable *table, int32_t width, int32_t height, const uint8_t *pixels,
                                    int32_t source_width, int32_t source_height, uint8_t options)
{
    TextureRecord *record = texture_find_free_slot(table);
    if (!record) return -1;
    create_device_texture(table, record, width, height, pixels, source_width, source_height, options);
    return record->id;
}

void texture_release_slot(TextureTable *table, int32_t slot)
{
    if (!table->slots || !valid_slot(slot) || !table->slots[slot]) return;
    render_list_remove_node120(table, table->slots[slot]);
    table->slots[slot] = nullptr;
}

void texture_release_all(TextureTable *table)
{
    if (!table->slots) return;
    for (int32_t slot = 0; slot < kTextureSlots; slot++) {
        const TextureRecord *record = table->slots[slot];
        if (!record) continue;
        if (!table->group_tag || (record->group_tag && strcmp(record->group_tag, table->group_tag) == 0))
            texture_release_slot(table, slot);
    }
}

void texture_tables_flush_dirty(RenderContext *context)
{
    flush_table(&context->main_textures);
    flush_table(&context->lightmap_textures);
}

// ---- front ends ------------------------------------------------------------------------------------

void texture_create_from_pixels(RenderContext *context, uint8_t options, int32_t slot, int32_t width, int32_t height,
                                const uint8_t *pixels, int32_t source_width, int32_t source_height)
{
    texture_create_in_slot(&context->main_textures, slot, clamp_side(context, width), clamp_side(context, height),
                           pixels, source_width, source_height, front_end_options(context, options));
}

void texture_create_square_from_pixels(RenderContext *context, int32_t slot, const uint8_t *pixels, int32_t side,
                                       int32_t alpha)
{
    uint8_t options = front_end_options(context, alpha ? kTextureAlpha : 0);
    int32_t clamped = clamp_side(context, side);
    texture_create_in_slot(&context->main_textures, slot, clamped, clamped, pixels, side, side, options);
}

int32_t texture_create_from_pixels_unclamped(RenderContext *context, const uint8_t *pixels, int32_t side,
                                             int32_t alpha)
{
    uint8_t options = front_end_options(context, alpha ? kTextureAlpha : 0) & ~kTextureClamp;
    int32_t clamped = clamp_side(context, side);
    return texture_create_in_free_slot(&context->main_textures, clamped, clamped, pixels, side, side, options);
}

void texture_bind(RenderContext *context, int32_t id) { bind(context, id, nullptr); }

void texture_bind_with_sampler(RenderContext *context, int32_t id, const TextureSamplerStates *states)
{
    bind(context, id, states);
}
