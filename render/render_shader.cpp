// The renderer's calls into the shader compiler: compiling a script into a render object's effect
// and releasing what a compile left in the object.
#include "render/render_local.h"

#include "shader/shader.h"

static_assert(kRenderOwnEffect == SHADER_OBJECT_EFFECT_READY, "one flag marks a compiled effect");

namespace {

ShaderObjectFields fields_of(RenderObject *object)
{
    ShaderDeviceCaps caps{g_render_cap_multitexture, g_render_cap_dot3, g_render_cap_ps14, g_render_cap_ps20};
    IDirect3DDevice9 *device = object->device ? object->device : g_render_first_device;
    return ShaderObjectFields{&object->flags, &object->compiler, &object->effect, device, caps,
                              g_render_log_errors ? render_log_line : nullptr};
}

}  // namespace

char *render_object_compile_script(RenderObject *object, const char *script)
{
    ShaderObjectFields fields = fields_of(object);
    return shader_compile_object(&fields, script);
}

void render_release_compiler(ShaderCompiler *compiler)
{
    // Only the compiler: the effect is released by the object's own rule.
    uint32_t flags = 0;
    ID3DXEffect *no_effect = nullptr;
    ShaderObjectFields fields{&flags, &compiler, &no_effect, nullptr, {}, nullptr};
    shader_release_object(&fields);
}
