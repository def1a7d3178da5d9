// The renderer's one call into the shader compiler: releasing the compiled script of a render
// object.
#include "render/render_local.h"

#include "shader/shader.h"

// The compiler's release entry is not public yet, and nothing attaches a compiler to a render
// object before the compile entry exists; until then there is nothing to release here.
void render_release_compiler(ShaderCompiler *) {}
