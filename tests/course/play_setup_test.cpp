// A player's set-up on in-memory holes: materials, turning blades, the ball on START, teardown.
#include "tests/course/course_test_util.h"

#include "game/play_requests.h"

namespace {

// One play unit of the physics as the play screen runs it.
void step_ball(PlayState *state)
{
    RigidBody *b = state->ball.body;
    if (vec3_length(b->velocity) < 0.3f) {
        vec3_scale(b->angular_velocity, b->angular_velocity, 0.9f);
        vec3_scale(b->velocity, b->velocity, 0.9f);
    }
    g_physics_world.frame_time = 0.035f;
    physics_world_step(&g_physics_world);
}

// A flat lane of three blocks along +x with the START pad on the first one.
void lane(CourseHole &hole, float start_height = 0.5f)
{
    for (int k = 0; k < 3; k++) hole.block("BLOC_FLAT", 2.0f * float(k), 0, 0, 2, 1, 2);
    hole.block("START", 0, -1, 0, 1, start_height, 1, 3);
}

}  // namespace

TEST(CoursePlaySetup, MaterialSorting)
{
    SceneTestDevice device;
    CourseHole hole;
    int32_t mixed = hole.block("BLOC", 0, 0, 0, 2, 1, 2);
    // Two faces each: sand, grass, turf (4), water, and two sides of 3 (other); a byte of 1 is not turf.
    const uint16_t materials[12] = {11, 11, 5, 5, 4, 4, 8, 8, 3, 3, 1, 1};
    for (int f = 0; f < 12; f++) hole.world->objects[mixed]->faces[f].material = materials[f];
    hole.block("DECOR", 6, 0, 0, 2, 1, 2, 3);
    hole.block("END", 8, 0, 0, 2, 1, 2, 3);
    hole.block("GROUND", 10, 0, 0, 2, 1, 2, 3);
    hole.block("DECORBLOC", 12, 0, 0, 2, 1, 2, 3);  // collides: 12 more other faces
    hole.block("START", 0, -1, 0, 1, 0.5f, 1, 5);   // 12 grass faces
    hole.finish();
    CoursePlay play;
    ASSERT_TRUE(play_setup_hole_collision(&play.state));
    ASSERT_TRUE(play.state.other_mesh && play.state.grass_mesh && play.state.sand_mesh);
    EXPECT_EQ(play.state.sand_mesh->face_count, 2);
    EXPECT_EQ(play.state.grass_mesh->face_count, 4 + 12);
    EXPECT_EQ(play.state.other_mesh->face_count, 4 + 12);
    EXPECT_EQ(g_physics_world.collider_count, 3);
    EXPECT_EQ(g_physics_world.colliders[0].object, play.state.grass_mesh);
    EXPECT_EQ(g_physics_world.colliders[1].object, play.state.other_mesh);
    EXPECT_EQ(g_physics_world.colliders[2].object, play.state.sand_mesh);
    EXPECT_FLOAT_EQ(g_physics_world.colliders[2].restitution, 0.001f);
    EXPECT_FLOAT_EQ(g_physics_world.colliders[2].friction, 1.5f);
    play_teardown_hole(&play.state);

    // Without sand there is no sand mesh.
    for (int f = 0; f < 2; f++) hole.world->objects[mixed]->faces[f].material = 3;
    ASSERT_TRUE(play_setup_hole_collision(&play.state));
    EXPECT_EQ(play.state.sand_mesh, nullptr);
    EXPECT_EQ(play.state.has_sand, 0);
    EXPECT_EQ(g_physics_world.collider_count, 2);
    EXPECT_EQ(play.state.other_mesh->face_count, 6 + 12);
}

TEST(CoursePlaySetup, PalesCollidersCapped)
{
    SceneTestDevice device;
    CourseHole hole;
    int32_t mixed = hole.block("BLOC", 0, 0, 0, 2, 1, 2);
    hole.world->objects[mixed]->faces[0].material = 11;
    hole.world->objects[mixed]->faces[1].material = 3;
    hole.block("START", 0, -1, 0, 1, 0.5f, 1);
    for (int k = 0; k < 40; k++) hole.block("PALES", float(k % 8) * 3 - 12, 0, float(k / 8) * 3 + 6, 1, 1, 0.2f);
    hole.finish();
    CoursePlay play;
    ASSERT_TRUE(play_setup_hole_collision(&play.state));
    EXPECT_EQ(play.state.material_colliders, 3);
    EXPECT_EQ(play.state.pales_count, 29);
    EXPECT_EQ(g_physics_world.collider_count, kPhysicsMaxColliders);
    int rotating = 0;
    for (int32_t i = 0; i < hole.world->object_count; i++) rotating += hole.world->objects[i]->rotating;
    EXPECT_EQ(rotating, 40);  // all turn; only 29 collide
    EXPECT_TRUE(play.state.pales_copies[0]->moved);
    EXPECT_NE(hole.world->play_render_objects[hole.world->object_count - 1], nullptr);
}

TEST(CoursePlaySetup, BallPlacement)
{
    struct Case {
        const char *name;
        float start_height;
        float expected_x;
    } cases[] = {
        {"a low START keeps the ball at its centre", 0.5f, 0.0f},
        {"a START 1.0 high moves it 0.3 toward the hole", 1.0f, 0.3f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CourseHole hole;
        lane(hole, c.start_height);
        hole.finish();
        CoursePlay play;
        g_camera_yaw = 7.0f;
        ASSERT_TRUE(play_setup_hole_collision(&play.state));
        const float *p = play.state.ball.body->position;
        EXPECT_NEAR(p[0], c.expected_x, 1e-5f);
        EXPECT_NEAR(p[1], -1.0f - c.start_height - 0.1f, 1e-5f);
        EXPECT_NEAR(p[2], 0.0f, 1e-5f);
        EXPECT_EQ(memcmp(play.state.stroke_start, p, 8), 0);
        // The block under the START links to START and the next block: the yaw looks down the lane.
        EXPECT_NEAR(g_camera_yaw, 180.0f, 1e-3f);
        EXPECT_EQ(play.state.yaw_at_stroke, 180);
    }
}

TEST(CoursePlaySetup, AStartOnDecorationFacesTheHolesMean)
{
    // Nothing but decoration under the ball: the camera looks from START toward the mean position
    // of the hole's objects (here along +z), whatever yaw it had.
    CourseHole hole;
    hole.block("DECORSOCLE", 0, 0, 0, 2, 0.5f, 2);
    hole.block("START", 0, -0.5f, 0, 2, 0.5f, 2);
    hole.block("BLOC_FLAT", 0, 0, 2, 2, 1, 2);
    hole.block("BLOC_FLAT", 0, 0, 4, 2, 1, 2);
    hole.finish();
    CoursePlay play;
    g_camera_yaw = 7.0f;
    ASSERT_TRUE(play_setup_hole_collision(&play.state));
    EXPECT_NEAR(g_camera_yaw, 270.0f, 1e-3f);
    EXPECT_EQ(play.state.yaw_at_stroke, 270);
    play_camera_update();
    EXPECT_GT(g_camera_target[2] - g_camera_eye[2], 0.0f);
}

TEST(CoursePlaySetup, BallSleepsOnStartAndASecondPlayerStartsAlike)
{
    CourseHole hole;
    lane(hole);
    hole.finish();
    CoursePlay play;
    ASSERT_TRUE(play_setup_hole_collision(&play.state));
    float placed[3];
    memcpy(placed, play.state.ball.body->position, sizeof placed);
    int steps = 0;
    for (; !play.state.ball.body->asleep && steps < 300; steps++) step_ball(&play.state);
    EXPECT_LT(steps, 300);
    EXPECT_NEAR(play.state.ball.body->position[1], -1.6f, 0.02f);
    float rest[3];
    memcpy(rest, play.state.ball.body->position, sizeof rest);

    // The first player's turn leaves state behind; the second starts from the same state. A
    // replay leaves the ball turned: its sphere is its collision mesh, so it stands upright again.
    const float turned[4] = {0.8f, 0.36f, 0.48f, 0.0f};
    memcpy(play.state.ball.body->quaternion, turned, sizeof turned);
    play.state.strokes = play.state.hole_done = play.state.holeout_timer = 4;
    play.state.block_history[0] = g_current_block = 230;
    play.state.power = 3.0f;
    options_open = leave_requested = restart_requested = 1;
    const int colliders = g_physics_world.collider_count;
    play_teardown_hole(&play.state);
    play.state.player = 1;
    ASSERT_TRUE(play_setup_hole_collision(&play.state));
    EXPECT_EQ(memcmp(play.state.ball.body->position, placed, sizeof placed), 0);
    EXPECT_EQ(play.state.ball.body->asleep, 0);
    EXPECT_EQ(g_physics_world.collider_count, colliders);
    EXPECT_EQ(g_physics_world.body_count, 1);
    EXPECT_EQ(play.state.strokes + play.state.hole_done + play.state.holeout_timer, 0);
    EXPECT_EQ(play.state.block_history[0], -1);
    EXPECT_EQ(play.state.power, -1.0f);
    EXPECT_EQ(play.state.banner_timer, 120);
    EXPECT_EQ(options_open + leave_requested + restart_requested, 0);
    EXPECT_EQ(g_current_block, -1);
    const float upright[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(memcmp(play.state.ball.body->quaternion, upright, sizeof upright), 0);
    for (steps = 0; !play.state.ball.body->asleep && steps < 300; steps++) step_ball(&play.state);
    EXPECT_EQ(memcmp(play.state.ball.body->position, rest, sizeof rest), 0) << "the second ball rests elsewhere";
}

TEST(CoursePlaySetup, PlayableNeedsBlocAndStart)
{
    CourseHole hole;
    hole.block("DECOR", 0, 0, 0, 1, 1, 1);
    EXPECT_FALSE(play_hole_is_playable(hole.world));
    hole.block("BLOC_X", 2, 0, 0, 1, 1, 1);
    EXPECT_FALSE(play_hole_is_playable(hole.world));
    hole.block("MY_START", 4, 0, 0, 1, 1, 1);
    EXPECT_TRUE(play_hole_is_playable(hole.world));
    EXPECT_FALSE(hole_name_is("MY_START", "START"));
}
