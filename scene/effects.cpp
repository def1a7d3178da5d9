// The world's standard effect: the shadow receivers of course play are drawn with it (the face's
// texture times the plant's shadow texture, blended by the shadow's cover, over what is drawn).
#include "scene/scene_local.h"

#include "render/render.h"

#include <cstdlib>

// Vertex pair 0 is the face's texture coordinates, pair 1 the decal's; "Decal" shifts the decal
// as the plant sways.
extern const char EFFECT_SCRIPT_SHADOWVEGETALS[] =
    "[VERTEXFORMAT] XYZ DIFFUSE TEX0 TEX1\n"
    "[DEFINES] MATRIX WORLD; MATRIX VIEWPROJ; VECTOR Decal; TEXTURE Tex; TEXTURE Shadow;\n"
    "[TECHNIQUE] All Cards\n"
    "[PASS0]\n"
    "[POSITION] tmp=iPos*4WORLD; oPos=tmp*4VIEWPROJ;\n"
    "[MAPPING0] oTexture0=iTexture0;\n"
    "[MAPPING1] oTexture1=iTexture1+Decal;\n"
    "[RENDER_STATE]\n"
    "TEXTURE[0] Tex COLOROP[0] SELECTARG1 COLORARG1[0] TEXTURE ALPHAOP[0] SELECTARG1 ALPHAARG1[0] TEXTURE\n"
    "TEXTURE[1] Shadow TEXTURECOORDINATE[1] TEXCOO1 ADDRESSU[1] CLAMP ADDRESSV[1] CLAMP\n"
    "COLOROP[1] MODULATE COLORARG1[1] TEXTURE COLORARG2[1] CURRENT ALPHAOP[1] SELECTARG1 ALPHAARG1[1] TEXTURE\n"
    "BLEND TRUE SRCBLEND SRCALPHA DSTBLEND INVSRCALPHA ZBUFFERWRITE FALSE ZFUNC LEQUAL CULL NONE\n"
    "[END]\n";

void scene_ensure_standard_effect(SceneWorld *world)
{
    RenderContext *context = scene_context(world);
    if (world->standard_effects[0] || !context->device) return;
    RenderObject *holder = render_object_init(new RenderObject);
    holder->context = context;
    holder->device = context->device;
    char *message = render_object_compile_script(holder, EFFECT_SCRIPT_SHADOWVEGETALS);
    if (message || !holder->effect) {
        scene_log("the shadow receivers' effect does not compile: %s", message ? message : "no effect");
        free(message);
        scene_render_object_delete(holder);
        return;
    }
    render_object_set_texture_name(holder, 1, "Tex");
    render_object_set_texture_name(holder, 2, "Shadow");
    render_registry_find_or_add(holder);  // its effect follows the device through a reset
    world->standard_effects[0] = holder;
}
