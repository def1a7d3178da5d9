// Rails give the ball back at their restitution and the cup's lip never throws it: seeded strokes
// over a railed lane with a cup, every rail hit measured in course play's own frames.
#include "tests/course/course_test_util.h"

#include "game/files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

// A wall's inner face: the plane where coordinate `axis` (0 x, 2 z) is `at`, the lane on the side
// of `into` (the sign of the ball's velocity into the wall).
struct Face {
    int axis;
    float at, into;
};

// The lane: 2 wide along +x from the tee at 0 to an end wall at 15, a cup at (12, 0) of radius 0.3,
// rails 0.3 above the green all round (inner faces at z -1 and 1, x -1 and 15).
constexpr float kCupX = 12.0f, kCupRadius = 0.3f, kGreen = -0.45f;
const Face kFaces[] = {{2, -1.0f, -1.0f}, {2, 1.0f, 1.0f}, {0, -1.0f, -1.0f}, {0, 15.0f, 1.0f}};

void build_lane(CourseHole &hole)
{
    const float h = 0.45f;
    hole.block("START", 0, 0, 0, 2, h, 2);
    for (int k = 1; k <= 5; k++) hole.block("BLOC_FLAT", 2.0f * float(k), 0, 0, 2, h, 2);
    MeshObject *cup = course_cup_block(h, kCupRadius);
    cup->position[0] = kCupX;
    scene_add_object(hole.world, cup);
    hole.block("BLOC_FLAT", 14, 0, 0, 2, h, 2);
    for (float side : {-1.0f, 1.0f}) {
        hole.block("BLOC_RAIL", 7, 0, side * 1.125f, 16.5f, h + 0.3f, 0.25f, 3);
        hole.block("BLOC_WALL", side > 0 ? 15.125f : -1.125f, 0, 0, 0.25f, h + 0.3f, 2, 3);
    }
    hole.finish();
}

struct LaneFigures {
    std::vector<float> ratios[4];  // by incoming band: 1-2, 2-4, 4-8, 8-20
    int hits = 0, under = 0;       // hits over 1 unit/s; those that came back under 0.1 of it
    int left = 0;                  // balls that left over a rail
    float lip_up = 0.0f;           // the largest upward speed within three frames of a lip contact
};

int band_of(float speed) { return speed < 2.0f ? 0 : speed < 4.0f ? 1 : speed < 8.0f ? 2 : 3; }

// Whether the frame's events hold a contact with the cup block within the ball's radius + 0.1 of
// the cup's rim circle.
bool lip_contact(const PhysicsWorld *physics)
{
    for (const CollisionEventNode *e = physics->events.first; e; e = e->next) {
        const float *p = e->value.point;
        if (fabsf(p[0] - kCupX) > 1.0f || fabsf(p[2]) > 1.0f) continue;
        const float across = hypotf(p[0] - kCupX, p[2]) - kCupRadius, down = p[1] - kGreen;
        if (hypotf(across, down) <= 0.2f) return true;
    }
    return false;
}

// One stroke followed to its end; its rail hits and lip contacts into `figures`.
void follow_stroke(PlayState *state, LaneFigures *figures)
{
    RigidBody *ball = state->ball.body;
    const PhysicsWorld *physics = play_physics(state);
    float v[3];
    int lip_frames = 0;
    for (int frame = 0; frame < 500; frame++) {
        memcpy(v, ball->velocity, sizeof v);
        const uint32_t events = play_frame_logic(state, 1.0f);
        if (events & kPlayEventOutOfCourse) figures->left++;
        if (events & (kPlayEventOutOfCourse | kPlayEventWater | kPlayEventHoled)) return;
        if (lip_contact(physics)) lip_frames = 3;
        if (lip_frames > 0) {
            figures->lip_up = std::max(figures->lip_up, -ball->velocity[1]);
            lip_frames--;
        }
        const float *p = ball->position;
        for (const Face &face : kFaces) {
            const float in = v[face.axis] * face.into;
            const float gap = (face.at - p[face.axis]) * face.into;
            if (!(in > 1.0f) || gap > 0.1f + 0.05f + in * 0.035f) continue;
            if (!(ball->velocity[face.axis] * face.into < 0.5f * in)) continue;
            // A hit: the speed away from the face over this frame and the next two.
            float out = -ball->velocity[face.axis] * face.into;
            for (int k = 0; k < 2 && !ball->asleep; k++) {
                play_frame_logic(state, 1.0f);
                out = std::max(out, -ball->velocity[face.axis] * face.into);
            }
            const float ratio = out / in;
            figures->ratios[band_of(in)].push_back(ratio);
            figures->hits++;
            if (ratio < 0.1f) figures->under++;
            break;
        }
        if (ball->asleep) return;
    }
}

float median(std::vector<float> values)
{
    if (values.empty()) return 0.0f;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

}  // namespace

TEST(CoursePlaySim, RailsGiveTheBallBackAndTheLipNeverThrowsIt)
{
    g_sound_card_on = 0;
    CourseHole hole;
    build_lane(hole);
    CoursePlay play;
    ASSERT_TRUE(play_setup_hole_collision(&play.state));
    const char *count = getenv("ZAV_LANE_STROKES");  // 1000 for the figures; fewer by default
    const int strokes = count ? atoi(count) : 300;
    std::mt19937 random(20261208);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    LaneFigures figures;
    for (int k = 0; k < strokes; k++) {
        play_sim_place_ball(&play.state, 0.5f + 8.5f * unit(random), -0.55f, 0.7f * (2.0f * unit(random) - 1.0f));
        ASSERT_TRUE(play_sim_strike(&play.state, 360.0f * unit(random), -30.0f, 0.2f + 15.0f * unit(random)));
        follow_stroke(&play.state, &figures);
    }
    printf("figure: lane of %d strokes: %d rail hits over 1 unit/s, %d under 0.1\n", strokes, figures.hits,
           figures.under);
    const char *bands[4] = {"1-2", "2-4", "4-8", "8-20"};
    for (int b = 0; b < 4; b++)
        printf("figure:   median ratio at %s units/s: %.3f (%zu hits)\n", bands[b], median(figures.ratios[b]),
               figures.ratios[b].size());
    printf("figure: balls over a rail %d, largest upward speed off the lip %.3f\n", figures.left, figures.lip_up);

    EXPECT_GT(figures.hits, strokes / 3);
    for (int b = 0; b < 4; b++) EXPECT_NEAR(median(figures.ratios[b]), 0.7f, 0.1f) << bands[b];
    EXPECT_LE(figures.under, figures.hits / 50);
    EXPECT_EQ(figures.left, 0);
    EXPECT_LE(figures.lip_up, 1.0f);
}

