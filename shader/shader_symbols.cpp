// Symbol tables of a compile: vertex and pixel constants, textures, register name maps, the 32
// temporaries and the script variables that hold them.
#include "shader/shader_local.h"

#include <cstdlib>
#include <cstring>

namespace {

const int kTypeRegisters[4] = {0, 4, 1, 1};

bool same(const char *stored, const char *name)
{
    return stored && strcmp(stored, name) == 0;
}

// Walks the pixel table; the last equal name wins. Records `registers` on a match.
const char *find_pixel(ShaderCompiler *c, const char *name, int registers)
{
    const char *found = nullptr;
    for (int i = 0; i < c->ps_const_count; i++) {
        if (!same(c->ps_const_names[i], name)) continue;
        c->last_found_index = i;
        c->last_found_registers = registers;
        found = c->ps_const_names[i];
    }
    return found;
}

int add_pixel(ShaderCompiler *c, char *name, uint8_t registers)
{
    if (!shader_check_capacity(c, c->ps_const_count, 1, SHADER_CONST_CAPACITY, "pixel constants")) {
        free(name);
        return 0;
    }
    c->ps_const_names[c->ps_const_count] = name;
    c->ps_const_registers[c->ps_const_count] = registers;
    c->ps_const_count++;
    return 1;
}

// Stores an owned text at the entry found by `found`, replacing an older one.
int set_text(ShaderCompiler *c, const char *found, char **texts, char *text)
{
    if (!found) {
        free(text);
        return c->last_found_index;
    }
    free(texts[c->last_found_index]);
    texts[c->last_found_index] = text;
    return c->last_found_index;
}

const NameMapEntry *find_in_map(const NameMap *map, const char *name)
{
    const NameMapEntry *found = nullptr;
    for (int i = 0; i < map->count; i++) {
        if (same(map->entries[i].from, name)) found = &map->entries[i];
    }
    return found;
}

// The translator's work registers are never handed out: if/else lowering and subroutine results
// write them in the middle of a section.
bool is_work_register(int n)
{
    return n == atoi(g_shader_work_reg0 + 1) || n == atoi(g_shader_work_reg1 + 1) || n == atoi(g_shader_work_reg2 + 1);
}

int alloc_temp(ShaderCompiler *c, bool scratch)
{
    int limit = shader_temp_limit(c);
    for (int n = 0; n < limit; n++) {
        if (c->temp_in_use[n] || is_work_register(n)) continue;
        if (scratch ? c->temp_scratch[n] != 0 : c->temp_scratch[n] == SHADER_TEMP_RESERVED) continue;
        if (scratch)
            c->temp_scratch[n] = 1;
        else
            c->temp_in_use[n] = 1;
        return n;
    }
    shader_capacity_error(c, "temporary registers in use");
    return -1;
}

// Slot const_register_count gets the name and type word; count elements of the type's registers
// are taken.
int add_constant(ShaderCompiler *c, char *name, int count, int type, uint32_t type_word)
{
    int registers = type >= 1 && type <= 3 ? kTypeRegisters[type] : 0;
    // An unknown type or an array of no element is a faulty declaration.
    bool valid = registers > 0 && count >= 1 && count <= 0xFFFF;
    if (!valid) c->syntax_error = 1;
    if (!valid || !shader_check_capacity(c, c->const_register_count, (int64_t)count * registers,
                                         SHADER_CONST_CAPACITY, "constant registers")) {
        free(name);
        return 0;
    }
    int slot = c->const_register_count;
    c->const_names[slot] = name;
    c->const_types[slot] = type_word;
    c->const_register_count += count * registers;
    return 1;
}

} // namespace

int shader_type_registers(uint32_t type_word)
{
    uint32_t type = type_word & 0xFFFF;
    return type < 4 ? kTypeRegisters[type] : 0;
}

int shader_add_constant(ShaderCompiler *c, char *name, int type)
{
    return add_constant(c, name, 1, type, (uint32_t)type);
}

int shader_add_constant_array(ShaderCompiler *c, int count, int type, char *name)
{
    return add_constant(c, name, count, type, ((uint32_t)count << 16) + (uint32_t)type);
}

const char *shader_find_constant(ShaderCompiler *c, const char *name)
{
    const char *found = nullptr;
    for (int slot = 0; slot < c->const_register_count && slot < SHADER_CONST_CAPACITY; slot++) {
        if (!same(c->const_names[slot], name)) continue;
        c->last_found_index = slot;
        c->last_found_registers = shader_type_registers(c->const_types[slot]);
        found = c->const_names[slot];
    }
    return found;
}

int shader_set_constant_text(ShaderCompiler *c, const char *name, char *text)
{
    return set_text(c, shader_find_constant(c, name), c->const_texts, text);
}

int shader_add_pixel_constant(ShaderCompiler *c, char *name)
{
    return add_pixel(c, name, 1);
}

int shader_add_pixel_matrix(ShaderCompiler *c, char *name)
{
    return add_pixel(c, name, 4);
}

const char *shader_find_pixel_constant(ShaderCompiler *c, const char *name)
{
    return find_pixel(c, name, 1);
}

const char *shader_find_pixel_matrix(ShaderCompiler *c, const char *name)
{
    return find_pixel(c, name, 4);
}

int shader_set_pixel_constant_text(ShaderCompiler *c, const char *name, char *text)
{
    return set_text(c, shader_find_pixel_constant(c, name), c->ps_const_texts, text);
}

int shader_set_pixel_matrix_text(ShaderCompiler *c, const char *name, char *text)
{
    return set_text(c, shader_find_pixel_matrix(c, name), c->ps_const_texts, text);
}

int shader_add_texture(ShaderCompiler *c, char *name)
{
    if (!shader_check_capacity(c, c->texture_count, 1, SHADER_TEXTURE_CAPACITY, "textures")) {
        free(name);
        return 0;
    }
    c->texture_names[c->texture_count++] = name;
    return 1;
}

int shader_name_map_add(ShaderCompiler *c, NameMap *map, const char *from, const char *to)
{
    if (!shader_check_capacity(c, map->count, 1, SHADER_NAME_MAP_CAPACITY, "register names in one map")) return 0;
    map->entries[map->count++] = NameMapEntry{from, to};
    return 1;
}

const NameMapEntry *shader_find_input_name(ShaderCompiler *c, const char *name)
{
    return find_in_map(&c->input_map, name);
}

const NameMapEntry *shader_find_register_name(ShaderCompiler *c, const char *name)
{
    if (c->in_hlsl_function && c->hlsl_mode) return find_in_map(&c->pixel_argument_map, name);
    return find_in_map(&c->register_map, name);
}

int shader_temp_limit(const ShaderCompiler *c)
{
    if ((c->target == 0 && c->hlsl_mode) || (c->target == 1 && c->model2)) return SHADER_TEMP_COUNT;
    if (c->target == 0 && c->model2) return 17;
    return c->target == 0 && c->pixel_side ? 6 : 12;
}

int shader_alloc_temp(ShaderCompiler *c)
{
    return alloc_temp(c, false);
}

int shader_alloc_scratch_temp(ShaderCompiler *c)
{
    return alloc_temp(c, true);
}

void shader_release_scratch_temps(ShaderCompiler *c)
{
    c->statement_variable_mark = c->variable_count;
    for (int n = 0; n < SHADER_TEMP_COUNT; n++) {
        if (c->temp_scratch[n] == 1) c->temp_scratch[n] = 0;
    }
}

void shader_clear_locals(ShaderCompiler *c)
{
    shader_symbol_list_free(&c->variables);
    c->variable_count = 0;
    memset(c->temp_in_use, 0, sizeof c->temp_in_use);
    memset(c->temp_scratch, 0, sizeof c->temp_scratch);
}
