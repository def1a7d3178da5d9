// The compiler's containers: generated lines, symbols, macro records and flow labels.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void copy_cut(char *destination, int size, const char *text)
{
    snprintf(destination, (size_t)size, "%s", text ? text : "");
}

TextLine *new_line(const char *line)
{
    TextLine *node = new TextLine;
    copy_cut(node->text, SHADER_LINE_SIZE, line);
    return node;
}

} // namespace

void shader_line_list_append(TextLineList *list, const char *line)
{
    list_link_last(list, new_line(line));
}

void shader_line_list_prepend(TextLineList *list, const char *line)
{
    list_link_first(list, new_line(line));
}

void shader_line_list_free(TextLineList *list)
{
    list_clear(list);
}

void shader_symbol_list_append(ShaderSymbolList *list, const ShaderSymbol &symbol, const char *script_name)
{
    ShaderSymbolNode *node = new ShaderSymbolNode;
    node->symbol = symbol;
    copy_cut(node->script_name, SHADER_LINE_SIZE, script_name);
    list_link_last(list, node);
}

ShaderSymbolNode *shader_symbol_list_find(ShaderSymbolList *list, const char *script_name)
{
    for (ShaderSymbolNode *node = list->first; node; node = node->next) {
        if (strcmp(node->script_name, script_name) == 0) return node;
    }
    return nullptr;
}

void shader_symbol_list_free(ShaderSymbolList *list)
{
    list_clear(list);
}

ShaderSymbol *shader_init_symbol_node(ShaderSymbol *node, uint32_t kind, const char *name)
{
    node->kind = kind;
    if (name) copy_cut(node->name, SHADER_SYMBOL_NAME_SIZE, name);
    return node;
}

ShaderMacroNode *shader_new_macro_record(ShaderMacroList *list, const ShaderMacro &record)
{
    return list_append(list, record);
}

ShaderLabel *shader_label_list_append(ShaderLabelList *list, const char *name)
{
    for (ShaderLabel *entry = list->first; entry; entry = entry->next) {
        if (strcmp(entry->name, name) == 0) return entry;
    }
    ShaderLabel entry = {};
    copy_cut(entry.name, SHADER_LINE_SIZE, name);
    return shader_label_list_insert(list, entry);
}

ShaderLabel *shader_label_list_insert(ShaderLabelList *list, const ShaderLabel &entry)
{
    return list_link_last(list, new ShaderLabel(entry));
}

void shader_label_list_free(ShaderLabelList *list)
{
    for (ShaderLabel *entry = list->first; entry; entry = entry->next) {
        free(entry->then_value);
        free(entry->else_value);
    }
    list_clear(list);
}
