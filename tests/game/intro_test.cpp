// The logo intro: its timeline, the logo's tubes, the lightning, and whole frames on the headless
// device under a clock that stands still.
#include "game/intro.h"
#include "game/app.h"
#include "game/intro_local.h"
#include "game/screen.h"
#include "geometry/list.h"
#include "geometry/mesh.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "tests/test_util.h"
#include "tools/data_pictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// ---- timeline ------------------------------------------------------------------------------------

struct TimelineRun {
    int turn_steps = 0;  // steps until T reached 0
    int fade_steps = 0;  // steps in which F moved
    int frames = 0;      // steps until the timeline said over, that one included
};

// Steps the timeline until it is over, checking on the way that it never ends before F reached 0.
TimelineRun run_timeline(float s, bool skip_first)
{
    IntroTimeline t;
    intro_timeline_start(&t);
    if (skip_first) intro_timeline_skip(&t);
    TimelineRun run;
    while (run.frames++ < 100000) {
        float fade_before = t.fade, turn_before = t.turn;
        bool over = intro_timeline_step(&t, s);
        EXPECT_EQ(over, fade_before <= 0.0f) << "frame " << run.frames;
        if (over) break;
        if (turn_before > 0.0f && t.turn <= 0.0f) run.turn_steps = run.frames;
        run.fade_steps += t.fade != fade_before;
        EXPECT_FLOAT_EQ(t.progress, t.turn / 720.0f);
    }
    EXPECT_EQ(t.steps, run.frames);  // what the end's trace line reports
    return run;
}

TEST(IntroTimelineTest, HalfStepsTurnFor288AndFadeFor128OrFadeAloneAfterEscape)
{
    const struct {
        bool skip;
        int turn_steps, frames;
    } cases[] = {{false, 288, 288 + 128 + 1}, {true, 0, 128 + 1}};  // over once a frame starts with F at 0
    for (const auto &c : cases) {
        SCOPED_TRACE(c.skip);
        TimelineRun run = run_timeline(0.5f, c.skip);
        EXPECT_EQ(run.turn_steps, c.turn_steps);
        EXPECT_EQ(run.fade_steps, 128);
        EXPECT_EQ(run.frames, c.frames);
    }
}

TEST(IntroTimelineTest, NeverOverBeforeTheFadeReachedZero)
{
    // Long and short frames alike: run_timeline checks every step.
    for (float s : {0.01f, 0.3f, 7.0f, 200.0f}) {
        SCOPED_TRACE(s);
        run_timeline(s, false);
        run_timeline(s, true);
    }
    IntroTimeline t;
    intro_timeline_start(&t);
    EXPECT_FALSE(intro_timeline_step(&t, 1000.0f));  // the turn ends; the fade starts with the next frame
    EXPECT_EQ(t.fade, 256.0f);
    EXPECT_FALSE(intro_timeline_step(&t, 1000.0f));
    EXPECT_TRUE(intro_timeline_step(&t, 0.0f));
}

// ---- logo tubes ----------------------------------------------------------------------------------

constexpr float kEnd = -1.0f;

TEST(IntroLogoTest, StrokesEndAtMarkersAndAtTheTableLength)
{
    const float table[][3] = {{0, 0, 0}, {1, 0, 0},    {0, 0, kEnd},                           // open
                              {0, 1, 0}, {1, 1, 0},    {1, 2, 0},    {0, 1, 0}, {0, 0, kEnd},  // closed
                              {5, 5, 0}, {0, 0, kEnd}, {0, 0, kEnd},  // a single point, then the end
                              {9, 9, 0}};
    intro_collect_logo_points_from(table, 12);
    ASSERT_EQ(g_logo_strokes.count, 3);
    const ListNode<LogoStroke> *stroke = g_logo_strokes.first;
    EXPECT_EQ(stroke->value.points.count, 2);
    EXPECT_EQ(stroke->value.closed, 0);
    EXPECT_EQ(stroke->next->value.points.count, 4);
    EXPECT_EQ(stroke->next->value.closed, 1);
    EXPECT_EQ(stroke->next->next->value.closed, 0);
    // Without markers the reading stops at the table's length.
    intro_collect_logo_points_from(table, 2);
    ASSERT_EQ(g_logo_strokes.count, 1);
    EXPECT_EQ(g_logo_strokes.first->value.points.count, 2);
    list_free_logo_strokes();
}

// The nearest point of the polyline to q (every face must look away from it).
void nearest_on_polyline(const std::vector<std::vector<float>> &line, const float *q, float *out)
{
    float best = 1e30f;
    for (size_t i = 0; i + 1 < line.size(); i++) {
        float d[3], w[3], p[3];
        vec3_sub(d, line[i + 1].data(), line[i].data());
        vec3_sub(w, q, line[i].data());
        float t = std::fmax(0.0f, std::fmin(1.0f, vec3_dot(w, d) / vec3_dot(d, d)));
        for (int k = 0; k < 3; k++) p[k] = line[i][k] + t * d[k];
        float e[3];
        float distance = vec3_length(vec3_sub(e, q, p));
        if (distance < best) best = distance, memcpy(out, p, sizeof p);
    }
}

TEST(IntroLogoTest, AnOpenAndAClosedStrokeGiveRingsDomesAndWrappedTags)
{
    const float table[][3] = {{0, 0, 0},    {0.5f, 0, 0}, {0.5f, 0, 0}, {1, 0.5f, 0}, {0, 0, kEnd},  // a repeat
                              {2, 0, 0},    {3, 0, 0},    {3, 1, 0},    {2, 1, 0},    {2, 0, 0},
                              {0, 0, kEnd}, {0, 0, kEnd}};
    intro_collect_logo_points_from(table, 12);
    MeshObject *mesh = intro_build_logo_tubes();
    ASSERT_NE(mesh, nullptr);
    // Open: 3 rings and two domes of 2 rings and a tip; closed: 4 rings and no dome.
    EXPECT_EQ(mesh->vertex_count, (3 * 8 + 2 * 17) + 4 * 8);
    const int open_faces = 2 * 16 + 2 * (16 + 16 + 8), closed_faces = 4 * 16;  // the closed one wraps
    ASSERT_EQ(mesh->face_count, open_faces + closed_faces);
    const std::vector<std::vector<float>> lines[2] = {
        {{0, 0, 0}, {0.5f, 0, 0}, {1, 0.5f, 0}},
        {{2, 0, 0}, {3, 0, 0}, {3, 1, 0}, {2, 1, 0}, {2, 0, 0}},
    };
    for (int32_t f = 0; f < mesh->face_count; f++) {
        SCOPED_TRACE(f);
        const MeshFace &face = mesh->faces[f];
        int stroke = f < open_faces ? 0 : 1;
        EXPECT_EQ(face.tag, stroke);
        float centre[3] = {0, 0, 0}, axis[3] = {0, 0, 0}, out[3];
        for (int k = 0; k < 3; k++)
            for (int c = 0; c < 3; c++) centre[c] += mesh->vertices[face.v[k]].position[c] / 3.0f;
        nearest_on_polyline(lines[stroke], centre, axis);
        EXPECT_GT(vec3_dot(face.normal, vec3_sub(out, centre, axis)), 0.0f);  // outward
    }
    // Every ring vertex lies 0.05 from its point; the domes' tips 0.05 sin(3 pi / 8) beyond the ends.
    for (int32_t v = 0; v < 3 * 8; v++) {
        float out[3];
        EXPECT_NEAR(vec3_length(vec3_sub(out, mesh->vertices[v].position, lines[0][size_t(v / 8)].data())),
                    kIntroTubeRadius, 1e-6f);
    }
    EXPECT_NEAR(mesh->vertices[3 * 8 + 16].position[0], -0.05f * std::sin(3 * M_PI / 8), 1e-6f);
    mesh_delete(mesh);
    list_free_logo_strokes();
}

// ---- lightning -----------------------------------------------------------------------------------

class IntroLightningTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        srand(7);
        intro_lightning_init();
        ASSERT_NE(g_intro_ribbon, nullptr);
    }
    void TearDown() override { intro_lightning_free(); }

    std::vector<float> shape(int32_t cursor, const float *a, const float *b)
    {
        g_intro_random_cursor = cursor;
        intro_lightning_build(a, b, 0.5f);
        return std::vector<float>(&g_intro_bolt_points[0][0], &g_intro_bolt_points[0][0] + 3 * kIntroBoltPoints);
    }
};

TEST_F(IntroLightningTest, OneCursorGivesOneShape)
{
    const float a[3] = {0, 0, 0}, b[3] = {1, 2, 0.5f};
    std::vector<float> first = shape(1020, a, b);  // the cursor wraps round the table's end
    EXPECT_EQ(shape(1020, a, b), first);
    EXPECT_NE(shape(1020 + 16 - 1024, a, b), first);
    for (int32_t f = 0; f < g_intro_ribbon->face_count; f++) EXPECT_EQ(g_intro_ribbon->faces[f].color[3], 0.5f);
}

TEST_F(IntroLightningTest, IdenticalEndsGiveEqualPointsAndAZeroWidthRibbon)
{
    const float a[3] = {0.3f, -0.2f, 0.4f};
    std::vector<float> points = shape(5, a, a);
    for (int32_t i = 0; i < kIntroBoltPoints; i++)
        for (int c = 0; c < 3; c++) EXPECT_EQ(points[size_t(3 * i + c)], a[c]) << i;
    for (int32_t k = 0; k < kIntroRibbonPairs; k++)
        for (int c = 0; c < 3; c++)
            EXPECT_EQ(g_intro_ribbon->vertices[2 * k].position[c], g_intro_ribbon->vertices[2 * k + 1].position[c]);
}

TEST_F(IntroLightningTest, BoltsFadeAndNoneSpawnsAtFifteen)
{
    MeshObject *logo = mesh_new();
    mesh_build_box(logo, 1, 1, 1);
    g_intro_logo_mesh = logo;
    float r[16];
    mat4_identity(r);
    for (int i = 0; i < kIntroMaxBolts; i++) intro_bolts_update(r, 0.0f);  // one spawn a frame
    ASSERT_EQ(g_intro_bolt_count, kIntroMaxBolts);
    std::vector<IntroBolt> before(g_intro_bolts, g_intro_bolts + kIntroMaxBolts);
    intro_add_bolt(0, 0, 0, 1, 1, 1);
    intro_bolts_update(r, 0.0f);
    ASSERT_EQ(g_intro_bolt_count, kIntroMaxBolts);
    EXPECT_EQ(memcmp(before.data(), g_intro_bolts, sizeof(IntroBolt) * kIntroMaxBolts), 0);

    // Age 1.5 of a step reshapes (cursor + 16); the faded ones go and one new bolt comes.
    g_intro_bolts[3].intensity = 0.1f;
    g_intro_bolts[14].intensity = 0.1f;
    int32_t cursor = g_intro_bolts[0].cursor;
    intro_bolts_update(r, 1.5f);
    EXPECT_EQ(g_intro_bolt_count, kIntroMaxBolts - 2 + 1);
    EXPECT_EQ(g_intro_bolts[0].cursor, (cursor + 16) % kIntroRandomCount);
    EXPECT_FLOAT_EQ(g_intro_bolts[0].intensity, 0.7f);
    EXPECT_EQ(g_intro_bolts[kIntroMaxBolts - 2].age, 0.0f);  // the new one
    g_intro_logo_mesh = nullptr;
    mesh_delete(logo);
}

// ---- whole frames --------------------------------------------------------------------------------

class IntroTest : public ::testing::Test {
protected:
    TestFolders folders;
    RenderContext *context = &g_render_context;
    int live_before = 0;

    void SetUp() override
    {
        gpu_headless_reset();
        window_reset();
        WNDCLASSA wc{};
        wc.lpfnWndProc = app_window_proc;
        wc.lpszClassName = "Intro";
        RegisterClassA(&wc);
        g_hwnd = CreateWindowExA(0, "Intro", "Intro", WS_POPUP, 0, 0, 960, 540, nullptr, nullptr, nullptr, nullptr);
        render_context_construct(context);
        context->width = 960, context->height = 540;
        ASSERT_EQ(render_create_device(context), 1);
        ASSERT_TRUE(data_write_pictures(folders.run + "/data"));
        memset(g_key_down, 0, sizeof g_key_down);
        g_quit = 0;
        sys_clock_hold(true);
        live_before = gpu_headless_live_resources();
        intro_load();
    }

    void TearDown() override
    {
        intro_free();
        EXPECT_EQ(gpu_headless_live_resources(), live_before);  // nothing the intro made is left
        EXPECT_EQ(g_current_mesh, nullptr);
        sys_clock_hold(false);
        render_shutdown_device(context);
        render_context_destroy(context);
        gpu_headless_reset();
        window_reset();
        g_quit = 0;
    }

    bool frame(double ms = 17.0)
    {
        sys_clock_advance_ms(ms);
        return intro_frame();
    }
};

TEST_F(IntroTest, AFrameDrawsTheLogoPartsAndTheLightVolumeWithTheirScripts)
{
    ASSERT_NE(g_intro_logo_mesh, nullptr);
    EXPECT_EQ(g_current_mesh, g_intro_logo_mesh);
    for (int32_t id : g_intro_texture) EXPECT_GE(id, 0);
    // The draw hook sees every object drawn: with a compiled script, or the flare disc.
    static int scripted, flares;
    scripted = flares = 0;
    DrawHookTable hooks{};
    hooks.final_hook = [](RenderObject *object, int32_t, int32_t, int32_t) {
        scripted += (object->flags & kRenderOwnEffect) && object->effect;
        flares += object == g_intro_flare;
        return true;
    };
    context->draw_hooks = &hooks;
    EXPECT_FALSE(frame());
    context->draw_hooks = nullptr;
    // Three passes of the three parts and the light volume; flares behind, on sparks, on bolt ends, in front.
    EXPECT_EQ(scripted, 3 * 3 + 1);
    EXPECT_EQ(flares, 1 + 1500 + 2 * g_intro_bolt_count + 1);
    EXPECT_EQ(gpu_headless_present_count(context->device), 1);
}

TEST_F(IntroTest, EscapeOnTheFirstFrameLeavesTheFadeAlone)
{
    window_headless_push(WM_KEYDOWN, VK_ESCAPE, 0);
    int frames = 1;
    while (!frame() && frames < 1000) frames++;
    EXPECT_EQ(frames, 129);
    EXPECT_EQ(g_intro_timeline.skip, 1);
    EXPECT_GT(g_intro_timeline.turn, 0.0f);
    EXPECT_EQ(g_quit, 0);
}

TEST_F(IntroTest, AFrameThatCannotBeDrawnStillAdvances)
{
    g_key_down[27] = 1;  // fading too, so that F moves
    gpu_headless_lose_device(context->device, false);
    gpu_headless_clear_draws();
    EXPECT_FALSE(frame(34.0));  // one step of 1.0
    EXPECT_EQ(gpu_headless_draw_count(), 0);
    EXPECT_FLOAT_EQ(g_intro_timeline.turn, 715.0f);
    EXPECT_FLOAT_EQ(g_intro_timeline.progress, 715.0f / 720.0f);
    EXPECT_FLOAT_EQ(g_intro_timeline.fade, 252.0f);
}

TEST_F(IntroTest, AQuitEndsTheIntroAtOnce)
{
    EXPECT_FALSE(frame());
    PostQuitMessage(0);
    EXPECT_TRUE(frame());
    EXPECT_EQ(g_quit, 1);
    EXPECT_GT(g_intro_timeline.fade, 0.0f);
}

}  // namespace
