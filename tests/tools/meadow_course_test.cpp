// The course set "Meadow" as the build wrote it: the files the course-set screen and course play
// list, the rules every hole keeps (and that the shared checker finds a hole breaking them), the
// descriptions, the previews, the lighting of a whole hole, and course_data itself run twice.
#include "tests/config_test_util.h"
#include "tests/tools/data_test_util.h"

#include "game/course_sets.h"
#include "game/files.h"
#include "geometry/mesh.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "render/texture.h"
#include "scene/scene.h"
#include "tools/course_build.h"
#include "tools/course_check.h"
#include "tools/data_course.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char *const SET_FOLDER = "data/parcours/Meadow";

std::string hole_base(int number)
{
    char base[64];
    snprintf(base, sizeof base, "%s/hole%02d", SET_FOLDER, number);
    return base;
}

class MeadowCourseTest : public DataRunFolderTest {
protected:
    void SetUp() override
    {
        DataRunFolderTest::SetUp();
        gpu_headless_reset();
        render_context_construct(&g_render_context);
        g_render_context.width = 64, g_render_context.height = 64;
        ASSERT_EQ(render_create_device(&g_render_context), 1);
    }
    void TearDown() override
    {
        scene_shutdown();  // the light workers
        lightmap_atlas_free(&g_render_context);
        render_shutdown_device(&g_render_context);
        render_context_destroy(&g_render_context);
    }

    // The hole loaded as the editor opens it (or with other flags); released with the test.
    SceneWorld *load_hole(int number, uint32_t flags = 0x4C)
    {
        worlds.push_back(std::unique_ptr<SceneWorld, WorldRelease>(new SceneWorld));
        SceneWorld *world = worlds.back().get();
        world->renderer = &g_render_context;
        scene_load(world, (hole_base(number) + ".qel").c_str(), flags);
        EXPECT_STREQ(scene_last_error(), "") << number;
        return world;
    }

private:
    struct WorldRelease {
        void operator()(SceneWorld *world)
        {
            world_release_and_reset(world);
            world_release_effects(world);
            delete world;
        }
    };
    std::vector<std::unique_ptr<SceneWorld, WorldRelease>> worlds;
};

TEST_F(MeadowCourseTest, FilesAndOrder)
{
    int files = 0, others = 0;
    for (const fs::directory_entry &entry : fs::directory_iterator(std::string(ZAV_RUN_DIR) + "/" + SET_FOLDER))
        (entry.is_regular_file() ? files : others)++;
    EXPECT_EQ(files, 28);
    EXPECT_EQ(others, 0);

    // What course play and the course-set screen list, from inside the set's folder.
    ASSERT_EQ(_chdir(SET_FOLDER), 0);
    ui_file_list_fill("*.qel");
    ASSERT_EQ(g_file_count, 9);
    for (int k = 0; k < 9; k++) {
        char want[32];
        snprintf(want, sizeof want, "hole%02d.qel", k + 1);
        EXPECT_STREQ(g_file_names[k], want);
    }
    ui_file_list_fill("*.png");
    ASSERT_EQ(g_file_count, 9);
    for (int k = 0; k < g_file_count; k++) {
        SCOPED_TRACE(g_file_names[k]);
        ImageData image = {};
        ASSERT_EQ(png_load_file(g_file_names[k], &image, 0), 1);
        EXPECT_EQ(image.width, 256);
        EXPECT_EQ(image.height, 256);
        free(image.pixels);
    }
}

TEST_F(MeadowCourseTest, HolesKeepTheRules)
{
    for (int number = 1; number <= 9; number++) {
        SCOPED_TRACE(number);
        for (const std::string &problem : data_course_check_hole(hole_base(number))) ADD_FAILURE() << problem;
        // Its plants stand in the meadow, well off every block (a bank overhangs its tile a little).
        const SceneWorld *world = load_hole(number);
        EXPECT_GE(world->vegetal_count, 2);
        EXPECT_LE(world->vegetal_count, 5);
        for (int32_t j = 0; j < world->vegetal_count; j++) {
            const float *p = world->vegetal_slots[j][0].position;
            EXPECT_LE(std::hypot(p[0], p[2]), 30.0f) << j;
            for (int32_t i = 225; i < world->object_count; i++) {
                const float *b = world->objects[i]->bounds;
                const float dx = std::fmax(0.0f, std::fmax(b[0] - p[0], p[0] - b[1]));
                const float dz = std::fmax(0.0f, std::fmax(b[4] - p[2], p[2] - b[5]));
                EXPECT_GE(std::hypot(dx, dz), 2.75f) << "plant " << j << " by " << world->objects[i]->name;
            }
        }
    }

    // The checker finds each rule broken: hole 6 (with its blades) changed in memory.
    auto index_of = [](SceneWorld *w, const char *name) {
        for (int32_t i = 225; i < w->object_count; i++)
            if (strcmp(w->objects[i]->name, name) == 0) return i;
        return int32_t(-1);
    };
    auto add_copies = [](SceneWorld *w, int count, const char *name) {
        for (int k = 0; k < count; k++) {
            MeshObject *copy = mesh_duplicate(w->objects[w->object_count - 1]);
            snprintf(copy->name, sizeof copy->name, "%s", name);
            scene_add_object(w, copy);
        }
    };
    const struct {
        const char *fault, *found;
        std::function<void(SceneWorld *)> change;
    } cases[] = {
        {"no tee", "0 START", [&](SceneWorld *w) { strcpy(w->objects[index_of(w, "START")]->name, "DECORSOCLE"); }},
        {"two tees", "2 START", [&](SceneWorld *w) { strcpy(w->objects[index_of(w, "BLOC_RAIL")]->name, "START"); }},
        {"no block", "no BLOC",
         [&](SceneWorld *w) {
             for (int32_t i = 225; i < w->object_count; i++)
                 if (strstr(w->objects[i]->name, "BLOC") && !strstr(w->objects[i]->name, "DECOR"))
                     strcpy(w->objects[i]->name, "DECORX");
         }},
        {"blades turned", "turned", [&](SceneWorld *w) { w->objects[index_of(w, "PALES")]->rotation[1] = 90; }},
        {"far on x", "reaches", [&](SceneWorld *w) { w->objects[index_of(w, "BLOC_CUP")]->position[0] = 47.5f; }},
        {"far from the origin", "reaches",
         [&](SceneWorld *w) { vec3_set(w->objects[index_of(w, "END")]->position, 40, -40, 40); }},
        {"a tile short", "not a GROUND tile", [&](SceneWorld *w) { strcpy(w->objects[7]->name, "BLOC_GRASS"); }},
        {"first block", "first block index", [&](SceneWorld *w) { w->first_block_index = 224; }},
        {"ground among blocks", "GROUND tile among", [&](SceneWorld *w) { add_copies(w, 1, "GROUND"); }},
        {"too many blades", "30 PALES", [&](SceneWorld *w) { add_copies(w, 29, "PALES"); }},
        {"too many objects", "500 objects", [&](SceneWorld *w) { add_copies(w, 500 - w->object_count, "BLOC_POST"); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fault);
        SceneWorld *world = load_hole(6);
        EXPECT_EQ(data_course_check_world(world).size(), 0u);
        c.change(world);
        world_compute_object_bounds(world);
        std::vector<std::string> problems = data_course_check_world(world);
        EXPECT_TRUE(std::any_of(problems.begin(), problems.end(),
                                [&](const std::string &p) { return p.find(c.found) != std::string::npos; }))
            << (problems.empty() ? std::string("nothing found") : problems[0]);
    }
}

TEST_F(MeadowCourseTest, DescriptionsReadBack)
{
    int total = 0;
    for (int number = 1; number <= 9; number++) {
        SCOPED_TRACE(number);
        snprintf(g_hole_name, sizeof g_hole_name, "stale");
        g_hole_par = -1;
        app_read_hole_description((hole_base(number) + ".txt").c_str());
        const DataHoleLayout &hole = g_data_course_holes[number - 1];
        EXPECT_STREQ(g_hole_name, hole.title);
        EXPECT_LE(strlen(g_hole_name), 14u);
        EXPECT_EQ(g_hole_par, hole.par);
        EXPECT_TRUE(g_hole_par >= 1 && g_hole_par <= 9);
        total += g_hole_par;
    }
    // The set screen's reader; the file's lines end in CR LF like the other shipped texts.
    const std::string text = test_read_file(std::string(ZAV_RUN_DIR) + "/" + SET_FOLDER + "/desc.txt");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 4);
    char lines[kSetDescriptionLines][kSetDescriptionLength];
    menu_course_set_read_description(text.data(), text.size(), lines);
    const std::string first = lines[0];
    EXPECT_EQ(first.find("Meadow"), 0u) << first;
    EXPECT_NE(first.find("9 holes"), std::string::npos) << first;
    EXPECT_NE(first.find("par " + std::to_string(total)), std::string::npos) << first;
    for (int k = 1; k < 4; k++) EXPECT_GT(strlen(lines[k]), 0u) << k;
}

TEST_F(MeadowCourseTest, PreviewsShowTheHole)
{
    // The fairway's top as the theme lights it: the grass picture's mean colour, times the first
    // theme's ambient plus its sun at the palette scene's light vector on a face looking up.
    DataPicture grass("data/themes/garden/tex/05_grass", 0);
    ASSERT_TRUE(grass.loaded);
    double mean[3] = {};
    for (int y = 0; y < grass.image.height; y++)
        for (int x = 0; x < grass.image.width; x++)
            for (int c = 0; c < 3; c++) mean[c] += grass.at(x, y)[c];
    ConfigRestore config;
    config_read_file(g_main_config_table, "data/txt/script.txt");
    const double ambient[3] = {g_theme_ambient_r[0] / 100.0, g_theme_ambient_g[0] / 100.0, g_theme_ambient_b[0] / 100.0};
    const double sun[3] = {g_theme_light_r[0] / 100.0, g_theme_light_g[0] / 100.0, g_theme_light_b[0] / 100.0};
    data_test_free_config_texts();
    auto palette = std::make_unique<SceneWorld>();
    palette->renderer = &g_render_context;
    ASSERT_EQ(scene_load(palette.get(), "data/themes/garden/blocs.qel", kSceneLoadKeepBuffers), 0);
    const float *l = palette->light_vector;
    const double facing = l[1] / std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
    world_release_and_reset(palette.get());
    world_release_effects(palette.get());
    double fairway[3];
    for (int c = 0; c < 3; c++)
        fairway[c] = std::min(255.0, mean[c] / (grass.image.width * grass.image.height) * (ambient[c] + sun[c] * facing));

    std::vector<std::vector<uint8_t>> seen;
    for (int number = 1; number <= 9; number++) {
        SCOPED_TRACE(number);
        DataPicture preview((hole_base(number) + ".png").c_str(), 0);
        ASSERT_TRUE(preview.loaded);
        int near = 0;
        const int pixels = preview.image.width * preview.image.height;
        for (int k = 0; k < pixels; k++) {
            const uint8_t *p = preview.image.pixels + 4 * k;
            bool close = true;
            for (int c = 0; c < 3; c++) close &= std::abs(p[c] - fairway[c]) <= 24;
            near += close;
        }
        const double share = double(near) / pixels;
        printf("figure: hole%02d preview fairway %.1f%%\n", number, 100 * share);
        // A square picture of a lane running across it from the south-west shows much meadow: the
        // longest holes come to about 9%.
        EXPECT_GE(share, 0.08);
        EXPECT_LE(share, 0.60);
        std::vector<uint8_t> bytes(preview.image.pixels, preview.image.pixels + 4 * pixels);
        EXPECT_EQ(std::find(seen.begin(), seen.end(), bytes), seen.end()) << "the same as an earlier preview";
        seen.push_back(bytes);
    }
}

// Every object of a hole gets its lightmaps as course play lights a plain hole: the atlas holds a
// whole hole, so none falls back to the reduced form.
TEST_F(MeadowCourseTest, LightsWhole)
{
    for (int number = 1; number <= 9; number++) {
        SCOPED_TRACE(number);
        SceneWorld *world = load_hole(number, 0x5C);  // as course play opens a plain hole
        world->face_list_byte = 0;
        world_setup_lighting_textures(world);
        world_alloc_all_map_slots(world);
        for (int32_t i = 0; i < world->object_count; i++)
            if (strcmp(world->objects[i]->name, "PALES") == 0) world->objects[i]->object_type = 3;
        world_build_object_face_lists(world, -2);
        for (int32_t i = 0; i < world->object_count; i++) world->objects[i]->object_type = 2;
        int unlit = 0;
        for (int32_t i = 0; i < world->object_count; i++) {
            lightmap_compute_all(world, i);
            if (world->objects[i]->face_count > 0 && !world->lightmaps[i]) unlit++;
        }
        printf("figure: hole%02d lit %d objects, %d without lightmaps\n", number, int(world->object_count), unlit);
        EXPECT_EQ(unlit, 0);
        lightmap_atlas_free(&g_render_context);
    }
}

// A piece the editor puts anywhere but where the design has it stops the build before anything is
// written: a rail with no floor under it, a second tee, a tile outside the editor's field.
TEST_F(MeadowCourseTest, BuilderRefusesMisplacedPieces)
{
    TempDir temp;
    TestPathRestore restore;
    for (const char *part : {"data/txt", "data/themes/garden"}) {
        fs::create_directories(temp / part);
        fs::copy(std::string(ZAV_RUN_DIR) + "/" + part, temp / part, fs::copy_options::recursive);
    }
    sys_path_reset(temp.path.c_str(), (temp / "user").c_str());
    fs::create_directories(temp / "scratch");
    ASSERT_TRUE(data_course_load_palette("data/themes/garden/blocs.qel"));
    data_course_use_folders("scratch");
    const DataHoleTile tee = {'S', -1, 0, false, "NSW", ""}, cup = {'U', 0, 0, false, "NSE", ""};
    const struct {
        const char *fault;
        DataHoleLayout hole;
    } cases[] = {
        {"rail without a floor", {"Bad", 2, {tee, cup, {'X', 1, 0, false, "N", ""}}, {}, {}, {}}},
        {"two tees", {"Bad", 2, {tee, cup, {'S', 1, 0, false, "", ""}}, {}, {}, {}}},
        {"outside the field", {"Bad", 2, {tee, {'U', 13, 0, false, "", ""}}, {}, {}, {}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fault);
        EXPECT_FALSE(data_course_build_hole(c.hole, 1));
    }
    EXPECT_FALSE(fs::exists(temp / "data/parcours"));
    // The same pieces where they belong build and save.
    EXPECT_TRUE(data_course_build_hole({"Good", 2, {tee, cup}, {}, {}, {}}, 1));
    EXPECT_TRUE(fs::exists(temp / "data/parcours/Meadow/hole01.png"));
    for (SceneWorld *world : {&g_hole_world, &g_menu_world}) {
        world_release_and_reset(world);
        world_release_effects(world);
    }
    data_test_free_config_texts();
}

// course_data run into two fresh run folders holding what zavdata writes, with the player's
// folders pointed at an empty one.
struct ToolRuns {
    TempDir temp;
    std::string home = temp / "home";
    int status[2] = {-1, -1};

    ToolRuns()
    {
        fs::create_directories(home);
        for (int k = 0; k < 2; k++) {
            const std::string run = temp / (k ? "b" : "a");
            fs::create_directories(run);
            fs::copy(std::string(ZAV_RUN_DIR) + "/data", run + "/data", fs::copy_options::recursive);
            fs::remove_all(run + "/data/parcours");
            fs::remove(run + "/data/themes/garden/blocs.qel");
            const std::string command = "HOME='" + home + "' ZAVGOLF_DRIVE_C='" + home + "' XDG_DATA_HOME='" + home +
                                        "' '" + ZAV_COURSE_DATA_TOOL + "' '" + run + "'";
            status[k] = std::system(command.c_str());
        }
    }
};

const ToolRuns &tool_runs()
{
    static ToolRuns runs;
    return runs;
}

std::map<std::string, std::string> read_tree(const std::string &root)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(root))
        files[fs::relative(entry.path(), root).string()] =
            entry.is_regular_file() ? test_read_file(entry.path().string()) : std::string("<folder>");
    return files;
}

TEST_F(MeadowCourseTest, PlayerFoldersUntouched)
{
    const ToolRuns &runs = tool_runs();
    EXPECT_EQ(runs.status[0], 0);
    EXPECT_EQ(runs.status[1], 0);
    EXPECT_TRUE(fs::is_empty(runs.home));
    // Nothing beside the data folder either: no log, no scratch folder left behind.
    for (const char *run : {"a", "b"})
        for (const fs::directory_entry &entry : fs::directory_iterator(runs.temp / run))
            EXPECT_EQ(entry.path().filename(), "data") << run;
}

TEST_F(MeadowCourseTest, SameTreeTwice)
{
    const ToolRuns &runs = tool_runs();
    std::map<std::string, std::string> a = read_tree(runs.temp / "a"), b = read_tree(runs.temp / "b");
    EXPECT_TRUE(a.count("data/parcours/Meadow/hole09.png"));
    EXPECT_TRUE(a.count("data/themes/garden/blocs.qel"));
    ASSERT_EQ(a.size(), b.size());
    for (const auto &[path, bytes] : a) {
        auto other = b.find(path);
        ASSERT_NE(other, b.end()) << path;
        EXPECT_TRUE(bytes == other->second) << path;
        EXPECT_EQ(path.find(".tmp"), std::string::npos) << path;
    }
}

}  // namespace
