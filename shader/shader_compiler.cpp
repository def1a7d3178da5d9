// The compiler object: construction, the shared capacity check, and freeing of its tables.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void free_texts(char **texts, int count)
{
    for (int i = 0; i < count; i++) {
        free(texts[i]);
        texts[i] = nullptr;
    }
}

template <class T, size_t N>
void clear_array(T (&array)[N])
{
    memset(array, 0, sizeof array);
}

template <size_t N>
void reset_lists(TextLineList (&lists)[N])
{
    for (TextLineList &list : lists) list = TextLineList{};
}

} // namespace

ShaderCompiler *shader_compiler_construct(ShaderCompiler *c)
{
    c->target = 0;
    clear_array(c->string_slots);
    c->effect_lines = c->gl_declaration_lines = c->gl_header_lines = TextLineList{};
    reset_lists(c->gl_main_lines);
    reset_lists(c->gl_code_lines);
    reset_lists(c->vertex_main_lines);
    reset_lists(c->vertex_function_lines);
    reset_lists(c->pixel_main_lines);
    reset_lists(c->pixel_function_lines);
    reset_lists(c->pass_state_lines);
    c->static_lines = c->function_scratch_lines = c->hlsl_declaration_lines = c->vertex_input_lines = TextLineList{};
    c->current_lines = nullptr;

    c->pass_count = 0;
    clear_array(c->pass_const_blocks);
    c->current_const_block = nullptr;
    c->vertex_format = 0;
    c->vertex_format_flag = 0;

    c->last_found_index = c->last_found_registers = 0;
    c->variable_count = c->statement_variable_mark = 0;
    clear_array(c->ps_const_names);
    clear_array(c->ps_const_registers);
    clear_array(c->ps_const_texts);
    clear_array(c->const_texts);
    clear_array(c->ps_const_values);
    clear_array(c->const_values);
    clear_array(c->const_names);
    clear_array(c->const_types);
    c->const_register_count = 0;
    clear_array(c->texture_names);
    c->texture_count = 0;
    c->input_map = c->register_map = c->pixel_argument_map = NameMap{};
    shader_init_symbol_node(&c->first_symbol, 1, "");
    c->variables = c->call_variables = ShaderSymbolList{};
    c->ps_const_count = 0;
    clear_array(c->temp_in_use);
    clear_array(c->temp_scratch);
    clear_array(c->temp_touched);

    shader_rs_reset_all(c);
    c->technique_index = 0;
    c->rs_error[0] = 0;
    c->macros = ShaderMacroList{};

    c->pixel_shader_used = c->model2 = c->hlsl_mode = c->skinned = c->morphed = c->hlsl_forced = 0;
    c->depth_only = 0;
    c->effect_flags = 1;

    c->in_call_arguments = c->in_hlsl_function = 0;
    c->macro_expansions = 0;
    clear_array(c->vertex_functions);
    clear_array(c->pixel_functions);
    c->vertex_function_count = c->pixel_function_count = 0;
    c->vertex_function_first = c->pixel_function_first = 0;
    clear_array(c->vertex_function_counts);
    clear_array(c->pixel_function_counts);
    c->function_signature[0] = 0;
    clear_array(c->function_param_names);
    clear_array(c->function_param_types);

    clear_array(c->error_statement);
    c->syntax_error = c->modifier_error = 0;
    c->error_line = 0;
    c->capacity_error[0] = 0;

    clear_array(c->vertex_function_line_numbers);
    clear_array(c->pixel_function_line_numbers);
    clear_array(c->vertex_main_line_numbers);
    clear_array(c->pixel_main_line_numbers);
    clear_array(c->vertex_function_names);
    clear_array(c->pixel_function_names);

    c->pixel_side = 0;
    c->pixel_arith_count = 0;
    c->hlsl_statement_mode = 0;
    c->const_used_end = c->ps_const_used_end = 0;
    c->loop_depth = 0;
    c->dest_in_expression = c->writes_pixel_output = 0;
    c->phase_done = 0;
    c->register_demand = 0;
    clear_array(c->pass_section_masks);
    clear_array(c->line_marks);
    clear_array(c->line_mark_offsets);
    c->sampler_stages_used = 0;
    c->no_technique = 0;
    c->tail_flag = 0;
    return c;
}

void shader_free_tables(ShaderCompiler *c)
{
    free_texts(c->string_slots, 32);
    free_texts(c->texture_names, SHADER_TEXTURE_CAPACITY);
    c->texture_count = 0;
    free_texts(c->const_names, SHADER_CONST_CAPACITY);
    free_texts(c->const_texts, SHADER_CONST_CAPACITY);
    clear_array(c->const_types);
    c->const_register_count = 0;
    free_texts(c->ps_const_names, SHADER_CONST_CAPACITY);
    free_texts(c->ps_const_texts, SHADER_CONST_CAPACITY);
    clear_array(c->ps_const_registers);
    c->ps_const_count = 0;
    c->input_map.count = c->register_map.count = c->pixel_argument_map.count = 0;

    shader_symbol_list_free(&c->variables);
    shader_symbol_list_free(&c->call_variables);
    list_clear(&c->macros);

    TextLineList *singles[] = {&c->effect_lines,  &c->gl_declaration_lines,   &c->gl_header_lines,
                               &c->static_lines,  &c->function_scratch_lines, &c->hlsl_declaration_lines,
                               &c->vertex_input_lines};
    for (TextLineList *list : singles) shader_line_list_free(list);
    for (int p = 0; p < SHADER_MAX_PASSES; p++) {
        shader_line_list_free(&c->gl_main_lines[p]);
        shader_line_list_free(&c->gl_code_lines[p]);
        shader_line_list_free(&c->vertex_main_lines[p]);
        shader_line_list_free(&c->vertex_function_lines[p]);
        shader_line_list_free(&c->pixel_main_lines[p]);
        shader_line_list_free(&c->pixel_function_lines[p]);
        shader_line_list_free(&c->pass_state_lines[p]);
    }
}

int shader_capacity_error(ShaderCompiler *c, const char *what)
{
    if (!c->capacity_error[0]) snprintf(c->capacity_error, sizeof c->capacity_error, "Too many %s", what);
    c->syntax_error = 1;
    return 0;
}

int shader_error_reason(ShaderCompiler *c, const char *reason)
{
    if (!c->capacity_error[0]) snprintf(c->capacity_error, sizeof c->capacity_error, "%s", reason);
    c->syntax_error = 1;
    return 0;
}

int shader_check_capacity(ShaderCompiler *c, int64_t used, int64_t wanted, int64_t capacity, const char *what)
{
    if (used >= 0 && wanted >= 0 && used + wanted <= capacity) return 1;
    return shader_capacity_error(c, what);
}
