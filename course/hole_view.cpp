// One view of g_hole_world: the camera and standard states, the objects of the editor's view or of
// the play view (split by whether they hide the ball), the plants, and the visibility test.
#include "course/hole_view.h"

#include "course/course_local.h"
#include "course/editor.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "render/render_draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

uint8_t g_draw_plants = 1;
uint8_t g_hole_view_haze = 1;
int32_t g_hole_cull_mode = 5;

namespace {

constexpr float kFarDepth = 150.0f;      // boxes this far ahead or more are not drawn
constexpr float kFarPlant = 45.0f;       // plants this far from the eye or more draw in far detail

// The box corners (-1 the bound's min, +1 its max) and the faces as corner quadruples.
const int8_t kCorners[8][3] = {{-1, 1, 1},  {1, 1, 1},  {1, -1, 1},  {-1, -1, 1},
                               {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}};
const int8_t kFaces[6][4] = {{1, 0, 3, 2}, {1, 2, 6, 5}, {4, 5, 6, 7}, {0, 4, 7, 3}, {7, 6, 2, 3}, {0, 1, 5, 4}};

// Bits of the screen edges a point lies beyond.
enum : uint8_t { kLeft = 1, kRight = 2, kBelow = 4, kAbove = 8 };

uint8_t outside_edges(float x, float y)
{
    return uint8_t((x < -1.0f ? kLeft : 0) | (x > 1.0f ? kRight : 0) | (y < -1.0f ? kBelow : 0) |
                   (y > 1.0f ? kAbove : 0));
}

RenderContext *view_context() { return hole_render_context(&g_hole_world); }

// The object's render object in the view of this mode: the editor's or play's table.
RenderObject *drawn_form(const SceneWorld *world, int32_t mode, int32_t i)
{
    return mode == 0 ? world->render_objects[i] : world->play_render_objects[i];
}

// Rotation by its Euler angles, then its position, then the draw; hazed when it reaches the haze.
void draw_object(RenderContext *context, const MeshObject *object, RenderObject *form)
{
    hole_view_haze_for_box(object->bounds);
    float m[16];
    mat4_identity(m);
    mat4_rotate_euler_deg(m, object->rotation[0], object->rotation[1], object->rotation[2]);
    mat4_translate(m, object->position[0], object->position[1], object->position[2]);
    render_set_world_matrix(context, m);
    render_set_current_object(context, form);
    render_draw_current_object(context);
}

// The second-draw flag of every range of the object and its children.
void set_second_draw(RenderObject *form, uint16_t value)
{
    for (RenderObject *part = form; part; part = part->child)
        for (ListNode<RenderDrawRange> *node = part->ranges.first; node; node = node->next)
            node->value.second_draw = value;
}

// Object i's form when it has one and passes the visibility test (its drawn flag follows).
RenderObject *visible_form(SceneWorld *world, int32_t mode, int32_t i)
{
    MeshObject *object = world->objects[i];
    if (!object) return nullptr;
    RenderObject *form = drawn_form(world, mode, i);
    object->drawn = form && hole_view_box_visible(i) ? 1 : 0;
    return object->drawn ? form : nullptr;
}

// Turning blades are the play screen's: it draws them under their turning matrices.
bool play_draws(int32_t mode, const MeshObject *object)
{
    return !object->inverted_copy && !(mode != 0 && object->rotating);
}

// The k-th object to draw: the hole's blocks first, then the GROUND tiles, so that the depth test
// skips the ground where a block stands on it instead of shading it twice.
int32_t drawn_index(const SceneWorld *world, int32_t k)
{
    const int32_t ground = std::min(kPlayFirstHoleObject, world->object_count);
    const int32_t blocks = world->object_count - ground;
    return k < blocks ? ground + k : k - blocks;
}

// The tiles come after the blocks with a strict depth test: a tile level with a block's face
// leaves the block's pixels, as drawing the tiles first did.
void set_ground_depth_test(RenderContext *context, const SceneWorld *world, int32_t k)
{
    const int32_t blocks = world->object_count - std::min(kPlayFirstHoleObject, world->object_count);
    if (context->device && k == blocks) context->device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
}

void restore_depth_test(RenderContext *context)
{
    if (context->device) context->device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
}

void draw_single_pass(RenderContext *context, SceneWorld *world, int32_t mode)
{
    for (int32_t k = 0; k < world->object_count; k++) {
        set_ground_depth_test(context, world, k);
        const int32_t i = drawn_index(world, k);
        MeshObject *object = world->objects[i];
        if (!object) continue;
        if (mode != 0) object->occluding = 1;
        RenderObject *form = visible_form(world, mode, i);
        if (form && (mode == 0 || play_draws(mode, object))) draw_object(context, object, form);
    }
    restore_depth_test(context);
}

// Pass 0 draws the objects that leave the ball in sight; pass 1 those that hide it, see-through.
void draw_ball_passes(RenderContext *context, SceneWorld *world, int32_t pass)
{
    const float *ball = g_camera_pivot;
    for (int32_t k = 0; k < world->object_count; k++) {
        set_ground_depth_test(context, world, k);
        const int32_t i = drawn_index(world, k);
        MeshObject *object = world->objects[i];
        if (!object) continue;
        object->occluding = 0;
        RenderObject *form = visible_form(world, 1, i);
        if (!form || !play_draws(1, object)) continue;
        const bool hides = i != g_current_block && mesh_segment_hit(object, ball, g_camera_eye);
        object->occluding = hides ? 1 : 0;
        if (!hides && pass == 0) draw_object(context, object, form);
    }
    restore_depth_test(context);
    for (int32_t i = 0; i < world->object_count; i++) {
        MeshObject *object = world->objects[i];
        RenderObject *form = world->play_render_objects[i];
        if (!object || !object->occluding || !form) continue;
        set_second_draw(form, 1);
        if (pass == 1) draw_object(context, object, form);
        set_second_draw(form, 0);
    }
}

void draw_plants(RenderContext *context, SceneWorld *world)
{
    const int32_t count = world->vegetal_count < SCENE_MAX_VEGETALS ? world->vegetal_count : SCENE_MAX_VEGETALS;
    for (int32_t j = 0; j < count; j++) {
        VegetalObject *pair = world->vegetal_slots[j];
        float m[16], to_eye[3];
        mat4_identity(m);
        mat4_translate(m, pair[0].position[0], pair[0].position[1], pair[0].position[2]);
        render_set_world_matrix(context, m);
        vec3_sub(to_eye, g_camera_eye, pair[0].position);
        VegetalObject *plant = vec3_length(to_eye) >= kFarPlant ? &pair[1] : &pair[0];
        vegetal_draw(plant, g_camera_eye, world->light_vector, world->ambient_colour, world->light_colour, 1.0f);
    }
}

}  // namespace

float *hole_view_matrix(float *view)
{
    float up[3];
    memcpy(up, g_up_vector, sizeof up);
    vec3_set(g_up_vector, 0.0f, 1.0f, 0.0f);
    mat4_look_at(view, g_camera_eye, g_camera_target);
    memcpy(g_up_vector, up, sizeof up);
    return view;
}

bool hole_view_box_visible(int32_t object_index)
{
    const SceneWorld *world = &g_hole_world;
    if (object_index < 0 || object_index >= world->object_count || !world->objects[object_index]) return false;
    const float *b = world->objects[object_index]->bounds;
    const RenderContext *context = view_context();
    float screen[8][2];
    int32_t far = 0, behind = 0;
    for (int32_t k = 0; k < 8; k++) {
        const float corner[3] = {b[kCorners[k][0] < 0 ? 0 : 1], b[kCorners[k][1] < 0 ? 2 : 3],
                                 b[kCorners[k][2] < 0 ? 4 : 5]};
        float p[3];
        mat4_transform_point(p, context->view_matrix, corner);
        if (p[2] >= kFarDepth) far++;
        if (!(p[2] > context->near_plane)) {
            behind++;
            screen[k][0] = screen[k][1] = 0.0f;
            continue;
        }
        mat4_transform_project(context->projection_matrix, p);
        screen[k][0] = p[0];
        screen[k][1] = p[1];
    }
    if (far == 8 || behind == 8) return false;
    for (const int8_t *face : kFaces) {
        uint8_t common = 0xF;
        for (int k = 0; k < 4; k++) common &= outside_edges(screen[face[k]][0], screen[face[k]][1]);
        if (common == 0) return true;  // not all four beyond the same edge
    }
    return false;
}

void hole_view_draw_from_orbit(bool draw_plants)
{
    g_camera_target[1] = -1.0f;
    g_draw_plants = draw_plants ? 1 : 0;
    const float p = g_editor_camera_pitch * 3.1415927f * 0.0055555557f;
    const float w = g_editor_camera_yaw * 3.1415927f * 0.0055555557f;
    const float d = g_editor_camera_distance;
    g_camera_eye[0] = g_camera_target[0] + d * cosf(p) * sinf(w);
    g_camera_eye[1] = d * sinf(p) - 1.0f;
    g_camera_eye[2] = g_camera_target[2] + d * cosf(p) * cosf(w);
    RenderContext *context = view_context();
    render_set_mode(6, context, 0);
    render_set_mode(1, context, 1);
    render_set_mode(4, context, g_hole_cull_mode);
    hole_view_draw(0, -1);
}

void hole_view_draw(int32_t mode, int32_t pass)
{
    SceneWorld *world = &g_hole_world;
    RenderContext *context = view_context();
    render_set_projection(context);
    float view[16];
    render_set_view_matrix(context, hole_view_matrix(view));
    render_set_mode(1, context, 1);
    render_set_mode(4, context, g_hole_cull_mode);

    const float width = float(context->width), height = float(context->height);
    if (pass != 1 && g_hole_view_haze) hole_view_fill_background(width, height);
    // The hole and its plants fade into the horizon colour far ahead, by each pixel's depth, so
    // that no layer draws a line across them; the sky stays clear of the haze.
    if (mode == 0)
        draw_single_pass(context, world, 0);
    else if (pass != 0 && pass != 1)
        draw_single_pass(context, world, mode);
    else
        draw_ball_passes(context, world, pass);
    hole_view_haze(true);  // each object had its own; the receivers and plants take it whole
    if (mode == 0 ? g_editor.lit_view : pass != 1) hole_draw_shadow_receivers(mode);
    if (pass != 1) {
        // The sky after the opaque hole, where nothing hides it; before the plants, whose leaves
        // blend over it.
        if (g_hole_view_haze) {
            hole_view_haze(false);
            hole_view_draw_sky();
            hole_view_haze(true);
        }
        render_set_mode(1, context, 1);  // the receivers leave depth writes off; plants need them
        if (g_draw_plants) draw_plants(context, world);
        float identity[16];
        render_set_world_matrix(context, mat4_identity(identity));
    }
    hole_view_haze(false);
}
