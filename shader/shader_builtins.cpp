// Built-in functions of the shader language.
#include "shader/shader_local.h"

const char *shader_translate_builtin(ShaderCompiler *c, int translation, const char *expression, const char *dest,
                                     TextLineList *lines)
{
    (void)translation, (void)expression, (void)lines;
    c->syntax_error = 1;
    return dest;
}
