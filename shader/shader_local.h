// Internals of the shader-script compiler: the line, symbol, macro and label lists, recorded
// constant operations, the compiler object, symbol tables, render states and normalisation.
// The compiler is not re-entrant: static buffers, the current render-state block and the work
// register names are shared by one compile at a time.
#pragma once

#include "geometry/list.h"
#include "shader/shader.h"

#include <cstdint>
#include <string>

// ---- generated lines -----------------------------------------------------------------------------

const int SHADER_LINE_SIZE = 512;

// One generated line; the append routines cut a longer text to 511 characters.
struct TextLine {
    char text[SHADER_LINE_SIZE];
    TextLine *next;
    TextLine *prev;
};
typedef IndexedList<TextLine> TextLineList;

void shader_line_list_append(TextLineList *list, const char *line);
void shader_line_list_prepend(TextLineList *list, const char *line);
// Deletes every node; the list is left empty with its cursor index -1.
void shader_line_list_free(TextLineList *list);

// ---- symbols -------------------------------------------------------------------------------------

const int SHADER_SYMBOL_NAME_SIZE = 129;

// A script name's meaning: its kind (1 variable, 2 function parameter) and its target text.
struct ShaderSymbol {
    uint32_t kind;
    char name[SHADER_SYMBOL_NAME_SIZE];
};

struct ShaderSymbolNode {
    ShaderSymbol symbol;
    char script_name[SHADER_LINE_SIZE];
    ShaderSymbolNode *next;
    ShaderSymbolNode *prev;
};
typedef IndexedList<ShaderSymbolNode> ShaderSymbolList;

void shader_symbol_list_append(ShaderSymbolList *list, const ShaderSymbol &symbol, const char *script_name);
// The first node whose script name equals `script_name`, or null.
ShaderSymbolNode *shader_symbol_list_find(ShaderSymbolList *list, const char *script_name);
void shader_symbol_list_free(ShaderSymbolList *list);
// Stores the kind and, when given, the name (cut to 128 characters); returns the node.
ShaderSymbol *shader_init_symbol_node(ShaderSymbol *node, uint32_t kind, const char *name);

// ---- macros and flow labels ----------------------------------------------------------------------

// One [MACROS] record: name, the raw parameter text, and the body with ";" turned into LF.
struct ShaderMacro {
    char name[1024];
    char params[1024];
    char body[2216];
};
typedef ListNode<ShaderMacro> ShaderMacroNode;
typedef IndexedList<ShaderMacroNode> ShaderMacroList;

ShaderMacroNode *shader_new_macro_record(ShaderMacroList *list, const ShaderMacro &record);

// One entry of an if/else block being lowered: an assigned name with its branch values, or one
// break, continue or discard statement with the branch it came from (1 then, 0 else).
struct ShaderLabel {
    char *then_value;  // malloc'd, or null
    char *else_value;  // malloc'd, or null
    const char *break_word;
    const char *continue_word;
    const char *discard_word;
    uint32_t branch;
    char name[SHADER_LINE_SIZE];
    ShaderLabel *next;
    ShaderLabel *prev;
};
typedef IndexedList<ShaderLabel> ShaderLabelList;

// The entry named `name`, or a new zeroed one appended under that name.
ShaderLabel *shader_label_list_append(ShaderLabelList *list, const char *name);
// Appends a copy of `entry` (its value texts now owned by the list); returns the copy.
ShaderLabel *shader_label_list_insert(ShaderLabelList *list, const ShaderLabel &entry);
// Frees every entry with its value texts.
void shader_label_list_free(ShaderLabelList *list);

// ---- recorded constant operations (compile target 2) ---------------------------------------------

struct ConstOp;
struct PassConstBlock;
typedef void (*ConstOpRoutine)(PassConstBlock *block, const ConstOp *op);

// Float4 slots of a PassConstBlock as one address space.
const int CONST_SLOT_CONSTANT = 0;     // c0..c255: the script's constants
const int CONST_SLOT_TEMPORARY = 256;  // r0..r11 (operand kind 1)
const int CONST_SLOT_REGISTER = 268;   // the 18 named registers (operand kinds 3 to 20)
const int CONST_SLOT_COUNT = 286;
const int CONST_OP_CAPACITY = 128;

// One operation on float4 slots. Source swizzles are four 2-bit selectors (x in the low bits);
// the destination mask has bit 0 for x to bit 3 for w. `relative` adds a0.x to a source's constant
// slot (bit 0 first source, bit 1 second, bit 2 matrix); `negate` negates a source (bits 0, 1).
struct ConstOp {
    uint32_t op;
    ConstOpRoutine routine;
    int16_t dest;
    int16_t src1;
    int16_t src2;
    int16_t matrix;
    uint8_t dest_mask;
    uint8_t src1_swizzle;
    uint8_t src2_swizzle;
    uint8_t relative;
    uint8_t negate;
};

// Target-2 state of one pass: its operations and the values they work on.
struct PassConstBlock {
    ConstOp ops[CONST_OP_CAPACITY];
    uint32_t op_count;
    float registers[18][4];
    float matrices[256][16];
    float constants[256][4];
    float temporaries[12][4];
    uint8_t valid[256];
    void *work_arrays[5];  // malloc'd by the pass generation
};

// Matrix slots identity, valid bytes 0, work arrays null, no operations; returns the block.
PassConstBlock *shader_pass_block_construct(PassConstBlock *memory);
// The float4 of a slot of the address space above, or null outside it.
float *shader_const_slot(PassConstBlock *block, int slot);

// ---- the compiler object -------------------------------------------------------------------------

const int SHADER_MAX_PASSES = 8;
const int SHADER_MAX_FUNCTIONS = 64;
const int SHADER_CONST_CAPACITY = 256;
const int SHADER_TEXTURE_CAPACITY = 16;
const int SHADER_NAME_MAP_CAPACITY = 32;
const int SHADER_TEMP_COUNT = 32;
const int SHADER_TEMP_RESERVED = 666;
const int SHADER_RS_TECHNIQUES = 4;
const int SHADER_RS_PASSES = 4;
const int SHADER_ERROR_STATEMENT_SIZE = 256;

// One user function of [FUNCTIONS] or [PSFUNCTIONS]; a record whose first byte is 0 is free.
struct ShaderFunction {
    char name[1024];
    char params[1024];
    char body[2176];
    int32_t param_kinds[4];     // 1..4 input of that width, 5..8 inout
    int32_t return_width;       // 1..4
    int32_t param_registers[4]; // assembler: the temporary holding each parameter
    uint8_t registers_fixed;    // 1 once a call chose param_registers: later calls use the same
};

// A script register name and its target text; the maps never own the strings.
struct NameMapEntry {
    const char *from;
    const char *to;
};

struct NameMap {
    NameMapEntry entries[SHADER_NAME_MAP_CAPACITY];
    int32_t count;
};

// Value codes of the render-state words: 500 unset, 501 on a value keyword, 0..255 a number.
const uint32_t SHADER_RS_UNDEFINED = 500;
const int SHADER_RS_VALUE_WORDS = 83;  // words 0..82; words 83..98 are the stage textures
const int SHADER_RS_STAGES = 16;

// The [RENDER_STATE] words of one technique and pass. The stage bindings point at the
// compiler's declared texture names.
struct ShaderStateBlock {
    uint32_t words[SHADER_RS_VALUE_WORDS];
    const char *stage_textures[SHADER_RS_STAGES];
};

// The state of compiling one script for one render object; allocate it with new, construct it,
// and release what it owns before deleting it. Groups are in the order of their owners.
struct ShaderCompiler {
    uint32_t target;  // 0 Direct3D effect text, 1 GL program text, 2 recorded constant operations
    char *string_slots[32];  // malloc'd texts freed by the reset

    // Generated lines.
    TextLineList effect_lines;
    TextLineList gl_declaration_lines;
    TextLineList gl_header_lines;
    TextLineList gl_main_lines[SHADER_MAX_PASSES];
    TextLineList gl_code_lines[SHADER_MAX_PASSES];
    TextLineList vertex_main_lines[SHADER_MAX_PASSES];
    TextLineList vertex_function_lines[SHADER_MAX_PASSES];
    TextLineList pixel_main_lines[SHADER_MAX_PASSES];
    TextLineList pixel_function_lines[SHADER_MAX_PASSES];
    TextLineList pass_state_lines[SHADER_MAX_PASSES];
    TextLineList static_lines;
    TextLineList function_scratch_lines;
    TextLineList hlsl_declaration_lines;
    TextLineList vertex_input_lines;
    TextLineList *current_lines;

    int32_t pass_count;
    PassConstBlock *pass_const_blocks[SHADER_MAX_PASSES];
    PassConstBlock *current_const_block;
    uint32_t vertex_format;
    uint8_t vertex_format_flag;

    // Symbol tables, name maps and temporaries.
    int32_t last_found_index;
    int32_t last_found_registers;
    int32_t variable_count;
    int32_t statement_variable_mark;
    char *ps_const_names[SHADER_CONST_CAPACITY];
    uint8_t ps_const_registers[SHADER_CONST_CAPACITY];
    char *ps_const_texts[SHADER_CONST_CAPACITY];
    char *const_texts[SHADER_CONST_CAPACITY];
    float ps_const_values[SHADER_CONST_CAPACITY][16];
    float const_values[SHADER_CONST_CAPACITY][4];
    char *const_names[SHADER_CONST_CAPACITY];
    uint32_t const_types[SHADER_CONST_CAPACITY];
    int32_t const_register_count;
    char *texture_names[SHADER_TEXTURE_CAPACITY];
    int32_t texture_count;
    NameMap input_map;
    NameMap register_map;
    NameMap pixel_argument_map;
    ShaderSymbol first_symbol;
    ShaderSymbolList variables;
    ShaderSymbolList call_variables;
    int32_t ps_const_count;
    int32_t temp_in_use[SHADER_TEMP_COUNT];
    int32_t temp_scratch[SHADER_TEMP_COUNT];
    uint32_t temp_touched[SHADER_TEMP_COUNT];

    // Render states of every technique and pass, and the technique chosen.
    ShaderStateBlock render_states[SHADER_RS_TECHNIQUES * SHADER_RS_PASSES];
    int32_t technique_index;
    char rs_error[1024];

    ShaderMacroList macros;

    // Modes of the chosen technique.
    uint8_t pixel_shader_used;
    uint8_t model2;
    uint8_t hlsl_mode;
    uint8_t skinned;
    uint8_t morphed;
    uint8_t hlsl_forced;
    uint32_t depth_only;
    uint32_t effect_flags;  // D3DX compile flags word: 1, or 0 after MODEL3NOFLOW

    // User functions.
    uint8_t in_call_arguments;
    uint8_t in_hlsl_function;
    int32_t macro_expansions;  // macro calls expanded in this compile
    ShaderFunction vertex_functions[SHADER_MAX_FUNCTIONS];
    ShaderFunction pixel_functions[SHADER_MAX_FUNCTIONS];
    int32_t vertex_function_count;
    int32_t pixel_function_count;
    // The records of the pass being written begin here: its calls reach only those, and its
    // subroutine labels count from them.
    int32_t vertex_function_first;
    int32_t pixel_function_first;
    int32_t vertex_function_counts[SHADER_MAX_PASSES];
    int32_t pixel_function_counts[SHADER_MAX_PASSES];
    char function_signature[2304];
    char function_param_names[4][64];
    uint32_t function_param_types[4];

    // Errors of the last compile.
    char error_statement[SHADER_ERROR_STATEMENT_SIZE];
    uint8_t syntax_error;
    uint8_t modifier_error;
    int32_t error_line;
    // Empty, or what failed beyond a plain syntax error: a table that overflowed, a built-in
    // without a form for the target.
    char capacity_error[SHADER_ERROR_STATEMENT_SIZE];

    // Where each function and main function of each pass begins in the effect text; entry
    // (k, pass) is at k * SHADER_MAX_PASSES + pass.
    int32_t vertex_function_line_numbers[SHADER_MAX_FUNCTIONS * SHADER_MAX_PASSES];
    int32_t pixel_function_line_numbers[SHADER_MAX_FUNCTIONS * SHADER_MAX_PASSES];
    int32_t vertex_main_line_numbers[SHADER_MAX_PASSES];
    int32_t pixel_main_line_numbers[SHADER_MAX_PASSES];
    char vertex_function_names[SHADER_MAX_FUNCTIONS * SHADER_MAX_PASSES][64];
    char pixel_function_names[SHADER_MAX_FUNCTIONS * SHADER_MAX_PASSES][64];

    // Working fields of the generators.
    uint8_t pixel_side;  // 1 while pixel code is translated
    uint32_t pixel_arith_count;
    uint8_t hlsl_statement_mode;
    int32_t const_used_end;
    int32_t ps_const_used_end;
    int32_t loop_depth;
    uint8_t dest_in_expression;
    uint8_t writes_pixel_output;
    int32_t phase_done;
    uint32_t register_demand;
    uint32_t pass_section_masks[SHADER_MAX_PASSES];
    uint32_t sampler_stages_used;  // bit n: the pass's pixel code samples stage n, or binds a texture to it
    uint8_t no_technique;          // no technique of the script fits the device
    int32_t line_marks[11];
    int32_t line_mark_offsets[11];
    uint8_t tail_flag;
};

// Empties every list and table, clears errors, options and function records, sets the effect
// flags to 1 and the first symbol to kind 1 with an empty name, and resets every render-state
// block; returns the compiler. Owns nothing yet, so it never fails.
ShaderCompiler *shader_compiler_construct(ShaderCompiler *memory);
// Frees what the symbol tables, texture list, symbol lists, macros and line lists own, and empties
// them. For the reset and the release of the compile entry.
void shader_free_tables(ShaderCompiler *c);

// The one check of every fixed-size table: 1 when `used` + `wanted` entries fit in `capacity`;
// otherwise records a capacity error naming `what` (the compile then fails) and returns 0.
int shader_check_capacity(ShaderCompiler *c, int64_t used, int64_t wanted, int64_t capacity, const char *what);
// Records "Too many <what>" unless an earlier capacity error is kept, sets syntax_error; returns 0.
int shader_capacity_error(ShaderCompiler *c, const char *what);
// Records `reason` the same way (for failures that are no overflow); returns 0.
int shader_error_reason(ShaderCompiler *c, const char *reason);

// Appends one constant operation to current_const_block; operands are "c5.xyz", "c[3+a0.x]",
// "r2.wzyx", "-oPos" and the like, src2 may be null. Returns 1, or 0 when there is no block, the
// block is full (capacity error) or an operand names no slot (syntax error).
int shader_record_const_op(ShaderCompiler *c, uint32_t op, const char *dest, const char *src1, const char *src2);

// ---- symbol tables and temporaries ----------------------------------------------------------------
// The adders take ownership of the malloc'd `name` in every case (freed when refused) and return
// 1, or 0 after a capacity error.

int shader_add_constant(ShaderCompiler *c, char *name, int type);
int shader_add_constant_array(ShaderCompiler *c, int count, int type, char *name);
int shader_add_pixel_constant(ShaderCompiler *c, char *name);
int shader_add_pixel_matrix(ShaderCompiler *c, char *name);
int shader_add_texture(ShaderCompiler *c, char *name);
// Appends a map entry (strings not owned).
int shader_name_map_add(ShaderCompiler *c, NameMap *map, const char *from, const char *to);

// Lookups return the stored name (the last declaration of that name wins) or null, and on a match
// set last_found_index and last_found_registers.
const char *shader_find_constant(ShaderCompiler *c, const char *name);
const char *shader_find_pixel_constant(ShaderCompiler *c, const char *name);
const char *shader_find_pixel_matrix(ShaderCompiler *c, const char *name);
// Store a malloc'd value text (owned from now on, freed when the name is unknown) at the found
// entry; return last_found_index.
int shader_set_constant_text(ShaderCompiler *c, const char *name, char *text);
int shader_set_pixel_constant_text(ShaderCompiler *c, const char *name, char *text);
int shader_set_pixel_matrix_text(ShaderCompiler *c, const char *name, char *text);
// Registers of one element of a constant type word (its low 16 bits): 0, 4, 1 or 1.
int shader_type_registers(uint32_t type_word);

const NameMapEntry *shader_find_input_name(ShaderCompiler *c, const char *name);
const NameMapEntry *shader_find_register_name(ShaderCompiler *c, const char *name);

// Temporaries the target has: r0 to r11 for vertex shader 1.1 (and the GL and recorded forms of
// shader model 1), r0 to r5 for pixel shader 1.4, r0 to r16 at shader model 2, 32 in HLSL and GLSL.
int shader_temp_limit(const ShaderCompiler *c);
// The lowest temporary free for a variable (or for scratch use) within the target's temporaries,
// marked; -1 with a capacity error when none is free, so that no register -1 is ever written.
int shader_alloc_temp(ShaderCompiler *c);
int shader_alloc_scratch_temp(ShaderCompiler *c);
void shader_release_scratch_temps(ShaderCompiler *c);
void shader_clear_locals(ShaderCompiler *c);

// ---- render states ---------------------------------------------------------------------------------

struct RenderStateKeyword {
    const char *keyword;
    int word;
    const char *d3d_name;
    uint8_t emit;  // 1: written in HLSL mode too
};

struct StateValueKeyword {
    const char *word;
    uint32_t code;
    const char *effect_name;
};

extern const RenderStateKeyword g_render_state_keywords[];  // 83 entries, then a null keyword
extern const StateValueKeyword g_state_value_keywords[];    // 72 entries, then a null word

// The current block, filled by the parser and read by the writer.
extern ShaderStateBlock g_shader_rs_block;
// The parser's last error text.
extern char g_shader_rs_error[1024];

// State word of a keyword, or -1.
int shader_rs_state_variable(const char *keyword);
const char *shader_rs_d3d_name(const char *keyword);
const char *shader_rs_emitted_name(const char *keyword);
// Effect value name of a value word (possibly ""), or null.
const char *shader_rs_is_value_keyword(const char *word);
int str_hex_digit_value(char character);
// Code of an upper-cased value word, "0XHH" read as hexadecimal, or -1.
int shader_rs_parse_value(const char *word);
// "0xHH" for codes below 256, else the value word of the code, or null.
const char *shader_rs_value_name(uint32_t code);
void shader_rs_reset_states(ShaderStateBlock *block);
// Reads one [RENDER_STATE] section into g_shader_rs_block; 1 when every line was accepted.
int shader_parse_render_states(ShaderCompiler *c, const char *script, int *position);
// Appends g_shader_rs_block's state lines.
void shader_write_pass_states(ShaderCompiler *c, TextLineList *list);
// Copy g_shader_rs_block into, or back from, the stored block of a technique and pass; 0 with a
// capacity error outside 4 techniques x 4 passes.
int shader_rs_store_block(ShaderCompiler *c, int technique, int pass);
int shader_rs_load_block(ShaderCompiler *c, int technique, int pass);
// Sets the current block and every stored block to their defaults.
void shader_rs_reset_all(ShaderCompiler *c);

// ---- statement normalisation and macros -----------------------------------------------------------

// The translator's three reserved temporaries: r9, r10, r11, or r29, r30, r31 in HLSL mode.
extern const char *g_shader_work_reg0;
extern const char *g_shader_work_reg1;
extern const char *g_shader_work_reg2;
void shader_set_work_registers(bool hlsl);

// The statement that made the last normalisation fail (for the error report).
extern char g_shader_normalise_error[SHADER_ERROR_STATEMENT_SIZE];

// The malloc'd normal form (one statement per LF-ended line, no blanks) of the ";"-separated code
// from the position to the next section header; the position is left before that header. Null
// when an if/else block cannot be lowered (g_shader_normalise_error says which).
char *shader_normalise_statements(const char *script, int *position);
// The same for LF-separated lines ([MACROS]), without compound-assignment expansion.
char *shader_normalise_lines(const char *script, int *position);
char *shader_expand_compound_assignment(const char *text);
char *shader_brace_if_else(const char *text);
// Null when a block cannot be lowered.
char *shader_lower_if_else(const char *text);
void shader_label_flow_statements(const char *statement, ShaderLabelList *list, uint32_t branch);
void shader_set_label_text_a(ShaderLabel *entry, const char *text);
void shader_set_label_text_b(ShaderLabel *entry, const char *text);
// Appends one ShaderMacro per macro of normalised [MACROS] text; 0 after a capacity error.
int shader_parse_macros(ShaderCompiler *c, const char *text);

// ---- scratch strings, emitted lines and output styles ----------------------------------------------
// Operand texts live in a pool of 2048 strings of 64 bytes, taken in turn and all given back before
// each statement. Taking past the end, or formatting a text that does not fit, is a capacity error
// (the compile fails); the caller still gets a usable string.

const int SHADER_SCRATCH_COUNT = 2048;
const int SHADER_SCRATCH_SIZE = 64;
extern char g_shader_scratch_pool[SHADER_SCRATCH_COUNT][SHADER_SCRATCH_SIZE];
extern int g_shader_scratch_index;

void shader_scratch_reset();
// An empty scratch string.
char *shader_scratch_take(ShaderCompiler *c);
// A scratch string holding the formatted text.
char *shader_scratch_format(ShaderCompiler *c, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Appends one generated line (with a closing ";" in HLSL statement mode); counts pixel arithmetic.
void shader_emit_instruction(ShaderCompiler *c, TextLineList *list, const char *line);
// Formats and emits one line; a line longer than 511 characters is a capacity error.
void shader_emit(ShaderCompiler *c, TextLineList *list, const char *format, ...) __attribute__((format(printf, 3, 4)));

// Instruction style writes assembler lines, expression style HLSL (or GLSL) statements, constant
// style records constant operations (target 2) instead of text.
enum ShaderStyle { SHADER_STYLE_INSTRUCTION, SHADER_STYLE_EXPRESSION, SHADER_STYLE_CONSTANT };
ShaderStyle shader_output_style(const ShaderCompiler *c);

enum ShaderMnemonic {
    SHADER_MUL, SHADER_DP3, SHADER_DP4, SHADER_RSQ, SHADER_RCP, SHADER_ADD, SHADER_SUB, SHADER_MAX, SHADER_MIN,
    SHADER_MOV, SHADER_SGE, SHADER_EXP, SHADER_LOG, SHADER_EXPP, SHADER_MAD, SHADER_SLT, SHADER_LIT
};
// Lower-case for target 0, upper-case for the others.
const char *shader_mnemonic(const ShaderCompiler *c, ShaderMnemonic m);

// ---- operands ---------------------------------------------------------------------------------------

// The target text of a script operand (register, constant, array element, variable, number, named
// scalar), a scratch string. An unknown name becomes a new variable; with `declare` 0 that is a
// syntax error. A relative index writes its address-register load into current_lines.
char *shader_resolve_operand(ShaderCompiler *c, const char *text, int declare);
// "%s", "-%s" or "1-%s" for modifier 0, 1, 2, in a new scratch string.
char *shader_format_operand_modifier(ShaderCompiler *c, int modifier, const char *text);
// 1 when the destination's name (sign and swizzle cut off) is an output of the register map.
int shader_is_mapped_register(ShaderCompiler *c, const char *destination);
// Letters of an operand's swizzle (after its dot), or null when it has none or is a number.
const char *shader_swizzle_letters(const char *operand);
// Components: 0 for a number literal, 4 without a swizzle, else the swizzle's letters.
int shader_operand_width(const char *operand);
// The same, but 1 for a number literal and by type for a parameter of the function being written.
int shader_operand_width_by_name(const ShaderCompiler *c, const char *operand);
// Swizzle operations on 64-byte scratch strings, changed in place (see their definitions).
void shader_format_swizzle(ShaderCompiler *c, char *operand, const char *reference);
void shader_match_swizzle_width(ShaderCompiler *c, char *operand, const char *reference);
void shader_match_swizzle_width_1(ShaderCompiler *c, char *result, const char *text, const char *reference);
void shader_match_swizzle_width_2(ShaderCompiler *c, char *result, const char *text, const char *reference1,
                                  const char *reference2);
// ".x", ".xy" or ".xyz" for an operand of 1 to 3 swizzle letters, else "".
const char *shader_width_suffix(const char *reference);
// A scratch temporary named "r%d" with the width of `reference` (".x", ".xy", ".xyz" for 1 to 3
// letters; none for 4 letters, none, or a null reference). Running out is a capacity error.
char *shader_scratch_temp(ShaderCompiler *c, const char *reference);
// A scratch temporary "r%d" followed by `suffix` (for example the destination's swizzle text).
char *shader_scratch_temp_suffixed(ShaderCompiler *c, const char *suffix);
// Gives back the scratch temporaries that are marked now but were not in `before` (a copy of
// temp_scratch taken earlier).
void shader_release_scratch_since(ShaderCompiler *c, const int32_t *before);

// The two sides of the first "+" or "-" that stands outside parentheses and is not a sign after an
// operator; 1 for "-", 2 for "+", 0 when there is none. A leading sign gives an empty first side.
int shader_split_two_operands(const char *text, std::string *first, std::string *second);
// The top-level arguments of an argument list; stores at most `capacity`, returns how many there
// are (0 for an empty list).
int shader_split_arguments(const char *text, std::string *arguments, int capacity);

// ---- expressions and statements -------------------------------------------------------------------

// Writes the lines that compute `expression` (blanks removed) towards the destination operand `dest`
// (target syntax) and returns the operand holding the value: dest, a scratch temporary, a resolved
// operand, "r11" after an assembler call, or "null" for an empty expression (a syntax error).
const char *shader_translate_expression(ShaderCompiler *c, const char *expression, const char *dest,
                                        TextLineList *lines);
// Translates `expression` and moves the value into `dest` when it landed elsewhere; returns dest.
const char *shader_translate_into(ShaderCompiler *c, const char *expression, const char *dest, TextLineList *lines);
// A single operand resolved, or any other text translated into a new scratch temporary "r%d"
// followed by `temp_suffix`; returns the operand.
const char *shader_prepare_operand(ShaderCompiler *c, const char *text, const char *temp_suffix, TextLineList *lines);
// The move dest = source in the current output style.
void shader_emit_move(ShaderCompiler *c, TextLineList *lines, const char *dest, const char *source);

// The built-in functions in the order their names are tested (a name matches when the expression
// begins with it). Ids are indices into this table; several names share a translation.
struct ShaderBuiltinName {
    const char *name;
    int translation;  // the order of the translation, 1 to 65
};
extern const ShaderBuiltinName g_shader_builtin_names[];  // ends with a null name
// Writes a built-in call; returns its result operand, or null when the member does not take the
// call (iter outside the expression forms) and the name tests go on.
const char *shader_translate_builtin(ShaderCompiler *c, int translation, const char *expression, const char *dest,
                                     TextLineList *lines);

// What a built-in writes: assembler (target 0), HLSL (target 0 in HLSL mode), GL expressions
// (target 1 at shader model 2), upper-case assembler (target 1 otherwise, and target 2 for members
// that record no operation).
enum ShaderForm { SHADER_FORM_ASSEMBLER, SHADER_FORM_HLSL, SHADER_FORM_GL, SHADER_FORM_UPPER };
ShaderForm shader_builtin_form(const ShaderCompiler *c);

// A built-in call being translated: its expression, destination, lines and split arguments.
struct ShaderCall {
    ShaderCompiler *c;
    const char *e;
    const char *d;
    TextLineList *lines;
    int count;               // arguments found
    std::string args[6];     // their texts, blanks already removed
};
// Splits the call's arguments at top-level commas. False, with a syntax error, when the call has
// no parentheses or fewer than `least` (or more than `most`) arguments.
bool shader_call_arguments(ShaderCompiler *c, const char *e, int least, int most, ShaderCall *call);
// A member with no text for the current target: the compile fails naming the call.
const char *shader_builtin_no_form(ShaderCall *call);
// An argument resolved when it is a single operand, else translated into a scratch temporary
// ("r%d" with `suffix`).
const char *shader_builtin_operand(ShaderCall *call, int index, const char *suffix);
// The argument of a one-argument member: resolved, or translated into a scratch temporary of D's
// width (taken in either case); an argument wider than D is a modifier error. Null, with a syntax
// error, when the call has not exactly one argument.
const char *shader_builtin_single_argument(ShaderCall *call);
// `operand` negated (a leading "-" removed, or added).
const char *shader_negated(ShaderCompiler *c, const char *operand);
// The scalar source of rcp and rsq: the operand's last selected component, .w without a selection.
const char *shader_scalar_source(ShaderCompiler *c, const char *operand);

// The second group of built-ins (translations 27 to 65): logarithms, exponentials, rounding, roots,
// tangents, reflection, the trigonometric series, interpolation, clamping, colour packing, planes,
// extremes and comparisons.
const char *shader_translate_math_builtin(ShaderCall *call, int translation);

// Translates a normalised code section (one statement per word) into `lines`: first every
// assignment target is declared, then each statement is translated. Errors stay in the flags, the
// first failing statement in error_statement.
void shader_translate_section(ShaderCompiler *c, const char *section, TextLineList *lines);
// One statement: a conditional break, continue or discard, a rep loop bracket, "phase", or an
// assignment. `last` marks the last statement of a GL pixel section.
void shader_translate_statement(ShaderCompiler *c, const char *statement, TextLineList *lines, int last);

// ---- user functions and macros --------------------------------------------------------------------

// Append one record per function of a normalised [FUNCTIONS] / [PSFUNCTIONS] text (null: none).
// 0 after an error (too many functions or parameters, an over-long field, a header without "(").
int shader_parse_vertex_functions(ShaderCompiler *c, const char *text);
int shader_parse_pixel_functions(ShaderCompiler *c, const char *text);
// Sets return_width from the type word in `header` and removes that word (in place).
void shader_parse_return_type(ShaderFunction *f, char *header);
// Sets param_kinds and rewrites `params` in place into the joined names; 0 beyond 4 parameters.
int shader_parse_parameter_list(ShaderFunction *f, char *params);
// Characters of the type word that begins a parameter or header (0 when none is recognised).
int shader_type_prefix_length(const char *text);
// Index of the function of the current pass named by the call text up to its "(", or -1.
int shader_find_vertex_function(ShaderCompiler *c, const char *call);
int shader_find_pixel_function(ShaderCompiler *c, const char *call);
// Writes a function's body into `list`: an HLSL (or GLSL) function whose signature goes to
// function_signature, or an assembler subroutine body leaving its result in r11. Returns the name
// in HLSL mode, else null.
const char *shader_write_function(ShaderCompiler *c, ShaderFunction *f, TextLineList *list);
// Expands a macro call in place; the result operand, or null when the body has no result.
const char *shader_expand_macro(ShaderCompiler *c, const ShaderMacro *macro, TextLineList *list,
                                const char *arguments);
// The translated argument list of an HLSL call of `f`.
std::string shader_translate_arguments(ShaderCompiler *c, const char *arguments, const ShaderFunction *f,
                                       TextLineList *list);
// Moves the arguments of an assembler call of `f` into its parameter registers.
void shader_copy_call_arguments(ShaderCompiler *c, const char *call, ShaderFunction *f, TextLineList *list);
// A call of a macro or user function: its result operand, or null when the name is neither.
const char *shader_translate_user_call(ShaderCompiler *c, const char *expression, const char *dest,
                                       TextLineList *lines);

// ---- declarations, sections, passes and effect text -----------------------------------------------

// Fills the register name maps: target bits 2 Direct3D, 1 GL (GLSL at shader model 2, else ARB),
// 0x4000 recorded operations (the Direct3D names).
void shader_map_register_name(ShaderCompiler *c, uint32_t target_bits);
// The vertex side of a pass: constant bindings and the input declarations (or the HLSL texture and
// constant declarations and VS_INPUT). `declaration` holds the vertex format, 2 for Direct3D and
// 0x10000 when inputs are declared in the shader.
void shader_write_vertex_input(ShaderCompiler *c, int pass, uint32_t declaration, uint32_t output_mask);
// The pixel side of a pass: the assembler header with def and dcl lines, or the HLSL structures,
// samplers and pixel constants; declares Out as the first pixel variable.
void shader_write_hlsl_declarations(ShaderCompiler *c, int pass, uint32_t output_mask);

// The compile: sections, [DEFINES], technique choice and the passes of the chosen technique. True
// when the script compiled; the generated lines stay in the compiler.
bool shader_compile_script(ShaderCompiler *c, const char *script, uint32_t options);
// A malloc'd copy of the script without its "//" and "#" comments (line breaks kept).
char *shader_strip_comments(const char *script);
// The code sections of a script: one normalised text (or null) per kind and per technique and
// pass (index pass + 4 x technique).
enum ShaderSectionKind {
    SHADER_SECTION_POSITION, SHADER_SECTION_DIFFUSE, SHADER_SECTION_SPECULAR, SHADER_SECTION_MAPPING0,
    SHADER_SECTION_SHADER = SHADER_SECTION_MAPPING0 + 8, SHADER_SECTION_FUNCTIONS, SHADER_SECTION_PSFUNCTIONS,
    SHADER_SECTION_KINDS
};
struct ShaderSections {
    char *text[SHADER_SECTION_KINDS][SHADER_RS_TECHNIQUES * SHADER_RS_PASSES];
};
// Writes the passes of the chosen technique (`requirements` its level bits).
void shader_generate_passes(ShaderCompiler *c, const ShaderSections *sections, int technique, int passes,
                            uint32_t requirements);

// The malloc'd effect text of a successful compile (joined with indentation by brace depth).
char *shader_build_effect_text(ShaderCompiler *c);
// Target 1: the GLSL or ARB vertex program text into effect_lines.
void shader_build_gl_program_text(ShaderCompiler *c);
// Before every compile: errors, tables, lists and render states back to their empty state.
void shader_compiler_reset(ShaderCompiler *c);

// Error-line mapping and listings of the compile entry.
int shader_find_error_line(const char *error, const char *script);
int shader_map_effect_line_to_script(ShaderCompiler *c, const char *script, int effect_line, const char *effect_text);
int shader_find_script_line_in_pass(const char *label, const char *script, int pass);
int shader_find_script_line_in_block(const char *name, const char *script, int start);
void shader_split_state_assignment(const char *text, char *out, size_t out_size);
int shader_number_in_parentheses(const char *text);
int shader_count_text_lines(const char *text);
int shader_text_line_at(const char *text, int line);
char *shader_read_line_at(const char *text, int *position);
char *shader_make_line_listing(const char *text, int numbered);
