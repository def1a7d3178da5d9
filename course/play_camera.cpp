// The play screen's orbit camera drawn: its maths are play_camera_update (play_logic.cpp); this
// sets the states of the play view and draws the hole through it.
#include "course/hole_view.h"

#include "course/course_local.h"
#include "render/render_draw.h"

int32_t play_camera_update_and_draw(int32_t flag)
{
    RenderContext *context = hole_render_context(&g_hole_world);
    render_set_mode(13, context, 0);
    play_camera_update();
    render_set_mode(6, context, 1);
    render_set_mode(4, context, g_hole_cull_mode);
    render_set_mode(1, context, 1);
    hole_view_draw(1, flag);
    return 0;
}
