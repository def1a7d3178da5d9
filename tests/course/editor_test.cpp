// The hole editor's model, operations and files on a small palette (DECORBLOC 2 x 1 x 2, a START
// pad half a block high, a flat BLOC) arranged as the theme loader arranges it.
#include "course/editor.h"
#include "course/editor_frame.h"
#include "game/app.h"
#include "game/files.h"
#include "game/menu_theme.h"
#include "script/config_main.h"
#include "tests/course/course_test_util.h"
#include "tests/test_util.h"

#include <array>
#include <cmath>
#include <filesystem>
#include <vector>

namespace {

struct EditorFixture : ::testing::Test {
    int32_t start = -1, bloc = -1;
    void SetUp() override
    {
        world_release_and_reset(&g_menu_world);
        scene_add_object(&g_menu_world, scene_test_make_block("DECORBLOC", 2.0f, 1.0f, 2.0f));
        scene_add_object(&g_menu_world, scene_test_make_block("START", 2.0f, 0.5f, 2.0f));
        scene_add_object(&g_menu_world, scene_test_make_block("BLOC", 2.0f, 1.0f, 2.0f));
        menu_theme_arrange_palette(&g_menu_world);
        for (int32_t i = 0; i < g_menu_world.object_count; i++) {
            if (hole_name_is(g_menu_world.objects[i]->name, "START")) start = i;
            if (hole_name_is(g_menu_world.objects[i]->name, "BLOC")) bloc = i;
        }
        editor_start_new_course();
    }
    void TearDown() override
    {
        world_release_and_reset(&g_hole_world);
        world_release_and_reset(&g_menu_world);
        lightmap_atlas_free(&g_render_context);  // the grid's lighting set-up made it; a later test remakes the context
        g_block_step = 0.5f;
        g_block_snap_x = g_block_snap_z = 0.0f;
    }
};

using HoleEditorModel = EditorFixture;

TEST_F(HoleEditorModel, GroundGridWinding)
{
    ASSERT_EQ(g_hole_world.object_count, 225);
    EXPECT_EQ(g_first_block_index, 225);
    for (int32_t k = 0; k < 225; k++) {
        SCOPED_TRACE(k);
        const MeshObject *tile = g_hole_world.objects[k];
        EXPECT_STREQ(tile->name, "GROUND");
        EXPECT_EQ(tile->position[0], float(-70 + 10 * (k / 15)));
        EXPECT_EQ(tile->position[2], float(-70 + 10 * (k % 15)));
        ASSERT_EQ(tile->face_count, 2);
        for (int32_t f = 0; f < 2; f++) {
            EXPECT_EQ(tile->faces[f].material, g_material_ground);
            EXPECT_NEAR(tile->faces[f].normal[1], -1.0f, 1e-6f);
        }
    }
}

TEST_F(HoleEditorModel, SnapAndClampOfTheGroundPoint)
{
    const struct {
        float snap, x, z, want_x, want_z;
    } cases[] = {
        {0.0625f, 0.1f, 0.2f, 0.0625f, 0.1875f},      // down to the grid
        {0.0625f, -0.1f, -0.2f, -0.0625f, -0.1875f},  // toward zero on the negative side
        {0.0625f, 1000.0f, -1000.0f, 50.0f, -50.0f},
        {0.0625f, INFINITY, NAN, 50.0f, -50.0f},
        {0.0f, 0.1f, -0.3f, 0.1f, -0.3f},  // a zero step never divides
    };
    ASSERT_FLOAT_EQ(g_block_snap_x, 0.0625f);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.x);
        g_block_snap_x = g_block_snap_z = c.snap;
        float p[3] = {c.x, 3.0f, c.z};
        editor_snap_ground_point(p);
        EXPECT_FLOAT_EQ(p[0], c.want_x);
        EXPECT_FLOAT_EQ(p[1], 0.0f);
        EXPECT_FLOAT_EQ(p[2], c.want_z);
    }
}

TEST_F(HoleEditorModel, PlaceStackAndMove)
{
    // A START on bare ground stands one step up and is no longer held.
    EXPECT_FLOAT_EQ(g_hole_world.objects[editor_place_block_at(start, 3.0f, 4.0f, 0, 0.0f)]->position[1], -0.5f);
    EXPECT_EQ(g_editor.held_palette_index, -1);
    int32_t top = -1;
    for (int k = 0; k < 3; k++) top = editor_place_block_at(bloc, 10.0f, 10.0f, 90 * k, 0.0f);
    ASSERT_EQ(top, 228);
    for (int k = 0; k < 3; k++) EXPECT_FLOAT_EQ(g_hole_world.objects[226 + k]->position[1], -1.0f * float(k));
    EXPECT_FLOAT_EQ(g_hole_world.objects[228]->rotation[1], 180.0f);

    // Looking straight down on the stack, the top block is picked.
    vec3_set(g_camera_eye, 10.0f, -20.0f, 10.01f);
    vec3_set(g_camera_target, 10.0f, 0.0f, 10.0f);
    const float over[3] = {10.0f, 0.0f, 10.0f}, away[3] = {-20.0f, 0.0f, -20.0f};
    ASSERT_EQ(editor_select_at(over), 1);
    EXPECT_EQ(g_editor.selected_object, 228);
    EXPECT_FLOAT_EQ(g_editor.raise, 2.0f);
    EXPECT_EQ(g_editor.yaw, 180);

    // Moved onto bare ground, it keeps the height raise gives it.
    editor_move_selected(away);
    EXPECT_FLOAT_EQ(g_hole_world.objects[228]->position[1], -2.0f);
    editor_raise_by(-1.0f);
    editor_drop_selected(away);
    EXPECT_EQ(g_editor.selected_object, -1);
    EXPECT_FLOAT_EQ(g_hole_world.objects[228]->position[0], -20.0f);
    EXPECT_FLOAT_EQ(g_hole_world.objects[228]->position[1], -1.5f);

    // The last block takes a deleted block's index; a GROUND tile is never deleted as a block.
    g_editor.selected_object = 226;
    ASSERT_EQ(editor_delete_selected(), 1);
    ASSERT_EQ(g_hole_world.object_count, 228);
    EXPECT_FLOAT_EQ(g_hole_world.objects[226]->position[0], -20.0f);
    EXPECT_EQ(g_hole_world.objects[228], nullptr);
    EXPECT_EQ(g_editor.selected_object, -1);
    g_editor.selected_object = 3;
    EXPECT_EQ(editor_delete_selected(), 0);
}

TEST_F(HoleEditorModel, RefusesTheSixteenthPlantASecondStartAndThe501stObject)
{
    for (int32_t k = 0; k < kEditorMaxPlants; k++)
        ASSERT_EQ(editor_add_plant_at(k % 2 ? kVegetalBush : kVegetalTree, float(k), 5.0f), k);
    EXPECT_EQ(editor_add_plant_at(kVegetalTree, 0.0f, 0.0f), -1);
    EXPECT_EQ(g_hole_world.vegetal_count, kEditorMaxPlants);
    ASSERT_GE(editor_place_block_at(start, 0.0f, 0.0f, 0, 0.0f), 0);
    EXPECT_EQ(editor_take_block(start), 0);
    while (g_hole_world.object_count < 499) scene_add_object(&g_hole_world, mesh_duplicate(g_menu_world.objects[bloc]));
    EXPECT_GE(editor_place_block_at(bloc, 30.0f, 30.0f, 0, 0.0f), 0);  // the 500th
    EXPECT_EQ(g_editor.too_many_blocks, 0);
    EXPECT_EQ(editor_place_block_at(bloc, 30.0f, 30.0f, 0, 0.0f), -1);
    EXPECT_EQ(g_editor.too_many_blocks, 1);
    EXPECT_EQ(g_hole_world.object_count, 500);
}

TEST_F(HoleEditorModel, ZeroStepsNeverDivide)
{
    g_block_step = g_block_snap_x = g_block_snap_z = 0.0f;
    editor_place_block_at(bloc, 1.1f, 1.1f, 0, 0.0f);
    const int32_t i = editor_place_block_at(bloc, 1.1f, 1.1f, 0, 0.0f);
    ASSERT_GE(i, 0);
    EXPECT_FLOAT_EQ(g_hole_world.objects[i]->position[0], 1.1f);
    EXPECT_FLOAT_EQ(g_hole_world.objects[i]->position[1], -1.0f);
    editor_raise_by(3.0f);
    EXPECT_FLOAT_EQ(g_editor.raise, 0.0f);
}

// ---- files ----------------------------------------------------------------------------------------

struct HoleEditorFiles : EditorFixture {
    TempDir temp;
    std::string saves = temp / "Saves", personal = temp / "QELPERSO";
    char old_saves[FOLDER_PATH_MAX], old_personal[FOLDER_PATH_MAX];
    char *old_themes[THEME_MAX];
    char theme_name[4] = "T";
    void SetUp() override
    {
        EditorFixture::SetUp();
        memcpy(old_saves, g_saves_folder, sizeof old_saves);
        memcpy(old_personal, g_lit_cache_folder_personal, sizeof old_personal);
        memcpy(old_themes, g_theme_names, sizeof old_themes);
        snprintf(g_saves_folder, sizeof g_saves_folder, "%s/", saves.c_str());
        snprintf(g_lit_cache_folder_personal, sizeof g_lit_cache_folder_personal, "%s", personal.c_str());
        std::filesystem::create_directories(saves + "/course");
        for (int k = 0; k < THEME_MAX; k++) g_theme_names[k] = k < 3 ? theme_name : nullptr;
    }
    void TearDown() override
    {
        memcpy(g_saves_folder, old_saves, sizeof old_saves);
        memcpy(g_lit_cache_folder_personal, old_personal, sizeof old_personal);
        memcpy(g_theme_names, old_themes, sizeof old_themes);
        EditorFixture::TearDown();
    }
    // Which lit copies of course/<hole> for the letters A to D exist (after writing all four if `make`).
    std::string lit_copies(const char *course, const char *hole, bool make = false)
    {
        std::string present;
        for (char letter = 'A'; letter <= 'D'; letter++) {
            const std::string path = personal + "/" + course + "/" + hole + letter + ".qel";
            if (make) test_write_file(path, "x");
            if (std::filesystem::exists(path)) present += letter;
        }
        return present;
    }
};

TEST_F(HoleEditorFiles, DescriptionRoundTripsWithTheQuoteReplaced)
{
    snprintf(g_editor.hole_name, sizeof g_editor.hole_name, "course/hole00");
    editor_read_hole_description();  // no file yet: nothing changes
    EXPECT_EQ(g_edit_par, 4);
    snprintf(g_edit_text, sizeof g_edit_text, "The \"long\" one");
    g_edit_par = 7;
    ASSERT_EQ(editor_write_description(), 1);
    EXPECT_EQ(g_editor.thumbnail_requested, 1);
    g_edit_text[0] = '\0';
    g_edit_par = 1;
    editor_read_hole_description();
    EXPECT_STREQ(g_edit_text, "The 'long' one");
    EXPECT_EQ(g_edit_length, 14);
    EXPECT_EQ(g_edit_par, 7);
}

TEST_F(HoleEditorFiles, HoleNamesTable)
{
    snprintf(g_saves_folder, sizeof g_saves_folder, "/home/Pat/.game/Saves/");
    const struct {
        bool relative;
        const char *name, *want;
    } cases[] = {
        {true, "/home/Pat/.game/Saves/course/hole03", "course/hole03"},
        {true, "\\HOME\\pat/.GAME\\saves\\Mine\\hole17", "Mine\\hole17"},  // separators and case mixed
        {true, "/elsewhere/course/hole03", "/elsewhere/course/hole03"},
        {true, "course/hole03", "course/hole03"},
        {false, "/home/p/.game/Saves/c/hole01.qel", "/home/p/.game/Saves/c/hole01"},
        {false, "/a.b/c\\hole", "/a.b/c\\hole"},  // only the last part's extension goes
        {false, "hole.x.qel", "hole.x"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        snprintf(g_editor.hole_name, sizeof g_editor.hole_name, "%s", c.name);
        if (c.relative) editor_relative_hole_name();
        else editor_strip_extension(g_editor.hole_name);
        EXPECT_STREQ(g_editor.hole_name, c.want);
    }
    char out[64];
    EXPECT_EQ(hole_lit_copy_path("/q", "c", "hole01", 15, out, sizeof out), 1);
    EXPECT_STREQ(out, "/q/c/hole01P.qel");
    EXPECT_EQ(hole_lit_copy_path("/q", "c", "hole01", 16, out, sizeof out), 0);
    EXPECT_EQ(hole_lit_copy_path("/q", "c", "hole01", -1, out, sizeof out), 0);
    EXPECT_STREQ(out, "");
}

TEST_F(HoleEditorFiles, SaveWritesItsFlagsAndDeletesTheLitCopiesOfTheThemesOnly)
{
    ASSERT_GE(editor_place_block_at(start, 0.0f, 0.0f, 0, 0.0f), 0);
    const std::string path = saves + "/course/hole02.qel";
    for (const int32_t lit_view : {0, 1}) {
        SCOPED_TRACE(lit_view);
        ASSERT_EQ(lit_copies("course", "hole02", true), "ABCD");
        g_editor.lit_view = lit_view;
        g_save_dialog_mode = 1;
        ASSERT_EQ(editor_save_hole_to(path.c_str()), 1);
        EXPECT_EQ(lit_copies("course", "hole02"), "D");  // three themes: A, B and C
        const std::string bytes = test_read_file(path);
        ASSERT_GE(bytes.size(), 12u);
        uint32_t flags = 0;
        for (int k = 3; k >= 0; k--) flags = flags << 8 | uint8_t(bytes[8 + k]);
        EXPECT_EQ(flags, lit_view ? 0x70Eu : 2u);
        EXPECT_EQ(g_hole_world.lit, lit_view);
        EXPECT_STREQ(g_editor.hole_name, "course/hole02");
        EXPECT_EQ(g_save_dialog_mode, 0);
    }
    g_editor.lit_view = 0;
}

TEST_F(HoleEditorFiles, SaveLoadRoundTrip)
{
    ASSERT_GE(editor_place_block_at(start, -4.0f, 2.0f, 0, 0.0f), 0);
    ASSERT_GE(editor_place_block_at(bloc, 4.0f, 2.0f, 90, 0.0f), 0);
    ASSERT_GE(editor_place_block_at(bloc, 4.0f, 2.0f, 270, 0.0f), 0);
    ASSERT_GE(editor_add_plant_at(kVegetalTree, 20.0f, -10.0f), 0);
    ASSERT_GE(editor_add_plant_at(kVegetalBush, -20.0f, 10.0f), 0);
    std::vector<std::pair<std::string, std::array<float, 6>>> before;
    for (int32_t i = 0; i < g_hole_world.object_count; i++) {
        const MeshObject *o = g_hole_world.objects[i];
        before.push_back({o->name, {o->position[0], o->position[1], o->position[2], o->rotation[0], o->rotation[1], o->rotation[2]}});
    }
    const VegetalParams plant = g_hole_world.vegetal_params[1];
    const std::string path = saves + "/course/hole05.qel";
    ASSERT_EQ(editor_save_hole_to(path.c_str()), 1);

    world_release_and_reset(&g_hole_world);
    EXPECT_EQ(scene_load(&g_hole_world, path.c_str(), 0x4C), 0);
    ASSERT_EQ(g_hole_world.object_count, int32_t(before.size()));
    EXPECT_EQ(g_hole_world.first_block_index, 225);
    for (size_t i = 0; i < before.size(); i++) {
        SCOPED_TRACE(i);
        const MeshObject *o = g_hole_world.objects[i];
        EXPECT_EQ(before[i].first, o->name);
        for (int k = 0; k < 3; k++) {
            EXPECT_FLOAT_EQ(o->position[k], before[i].second[k]);
            EXPECT_FLOAT_EQ(o->rotation[k], before[i].second[3 + k]);
        }
    }
    ASSERT_EQ(g_hole_world.vegetal_count, 2);
    EXPECT_EQ(g_hole_world.vegetal_params[1].kind, kVegetalBush);
    EXPECT_FLOAT_EQ(g_hole_world.vegetal_params[1].crown_radius, plant.crown_radius);
    EXPECT_FLOAT_EQ(g_hole_world.vegetal_slots[1][0].position[0], -20.0f);
    EXPECT_FLOAT_EQ(g_hole_world.vegetal_slots[1][1].position[2], 10.0f);
}

TEST_F(HoleEditorFiles, ReopeningAHoleRestoresItsNameAndPar)
{
    ASSERT_GE(editor_place_block_at(start, 0.0f, 0.0f, 0, 0.0f), 0);
    const std::string path = saves + "/course/hole06.qel";
    ASSERT_EQ(editor_save_hole_to(path.c_str()), 1);
    snprintf(g_edit_text, sizeof g_edit_text, "Windmill");
    g_edit_par = 5;
    ASSERT_EQ(editor_write_description(), 1);
    snprintf(g_edit_text, sizeof g_edit_text, "Another");
    g_edit_length = 7, g_edit_par = 2;
    ASSERT_EQ(editor_open_hole(path.c_str(), 1), 1);
    EXPECT_STREQ(g_edit_text, "Windmill");
    EXPECT_EQ(g_edit_length, 8);
    EXPECT_EQ(g_edit_par, 5);
}

TEST_F(HoleEditorFiles, AFailedSaveKeepsTheNameAndTheLitCopies)
{
    ASSERT_EQ(lit_copies("missing", "hole01", true), "ABCD");
    snprintf(g_editor.hole_name, sizeof g_editor.hole_name, "course/hole00");
    g_save_dialog_mode = 1;
    EXPECT_EQ(editor_save_hole_to((saves + "/missing/hole01.qel").c_str()), 0);
    EXPECT_EQ(lit_copies("missing", "hole01"), "ABCD");
    EXPECT_STREQ(g_editor.hole_name, "course/hole00");
    EXPECT_EQ(g_save_dialog_mode, 1);
}

TEST_F(HoleEditorFiles, FunctionKeysStayInTheCourse)
{
    const std::string course = saves + "/course/";
    ASSERT_GE(editor_place_block_at(start, 0.0f, 0.0f, 0, 0.0f), 0);
    ASSERT_EQ(editor_save_hole_to((course + "hole17.qel").c_str()), 1);  // 226 objects
    ASSERT_EQ(editor_save_hole_to((course + "hole05.qel").c_str()), 1);
    ASSERT_GE(editor_place_block_at(bloc, 8.0f, 0.0f, 0, 0.0f), 0);
    ASSERT_EQ(editor_save_hole_to((course + "hole00.qel").c_str()), 1);  // 227
    ASSERT_EQ(editor_save_hole_to((course + "holeA.qel").c_str()), 1);
    const int kF1 = VK_F1, kF2 = VK_F1 + 1;
    const struct {
        const char *name;
        int key;
        int32_t load_dialog, save_dialog;
        const char *want;  // null: nothing happens
        int32_t objects;
    } cases[] = {
        {"course/hole17", kF2, 0, 0, "course/hole00", 227},
        {"course/hole00", kF1, 0, 0, "course/hole17", 226},
        {"course/hole05", kF2, 0, 0, nullptr, 0},  // no hole06
        {"course/holeA", kF2, 0, 0, nullptr, 0},
        {"course/hole7", kF1, 0, 0, nullptr, 0},
        {"course/hole17", kF2, 1, 0, nullptr, 0},
        {"course/hole17", kF2, 0, 1, nullptr, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " F" << c.key - kF1 + 1 << " " << c.load_dialog << c.save_dialog);
        editor_start_new_course();
        snprintf(g_editor.hole_name, sizeof g_editor.hole_name, "%s", c.name);
        g_load_dialog_open = c.load_dialog;
        g_save_dialog_mode = c.save_dialog;
        g_key_down[c.key] = 1;
        editor_function_keys();
        EXPECT_EQ(g_key_down[c.key], 0);
        EXPECT_STREQ(g_editor.hole_name, c.want ? c.want : c.name);
        EXPECT_EQ(g_hole_world.object_count, c.want ? c.objects : 225);
        EXPECT_EQ(g_editor_frame.ask, kEditorAskNone);
    }
    g_load_dialog_open = g_save_dialog_mode = 0;
}

TEST_F(HoleEditorFiles, AnUnreadableHoleOpensAsAnEmptyGridUnderNoName)
{
    test_write_file(saves + "/course/hole03.qel", "not a scene");
    {
        // An older save whose face's texture id (its material) no material byte can hold.
        SceneTestWorld source;
        MeshObject *block = scene_test_make_block("BLOC", 2.0f, 1.0f, 2.0f);
        block->faces[0].texture_id = 16384, block->faces[0].material = 16384;
        scene_add_object(source.world.get(), block);
        ASSERT_EQ(scene_save(source.world.get(), (saves + "/course/hole05.qel").c_str(), 0, 0, 0, 2), 1);
    }
    for (const char *hole : {"hole03", "hole05"}) {
        SCOPED_TRACE(hole);
        ASSERT_GE(editor_place_block_at(start, 0.0f, 0.0f, 0, 0.0f), 0);
        snprintf(g_editor.hole_name, sizeof g_editor.hole_name, "course/hole02");
        EXPECT_EQ(editor_open_hole((saves + "/course/" + hole + ".qel").c_str(), 1), 0);
        EXPECT_EQ(g_hole_world.object_count, 225);
        EXPECT_STREQ(g_editor.hole_name, menu_text(MENU_NIVONULL));
        EXPECT_EQ(g_editor_frame.message, MENU_ERR2);
        EXPECT_EQ(g_editor.changed, 0);
        g_editor_frame.message = -1;
    }
}

TEST_F(HoleEditorFiles, OpeningFromTheDialogLooksAtTheBlocksButNotTheDecor)
{
    ASSERT_GE(editor_place_block_at(start, -4.0f, 10.0f, 0, 0.0f), 0);
    ASSERT_GE(editor_place_block_at(bloc, 8.0f, 20.0f, 0, 0.0f), 0);
    int32_t decorbloc = -1;
    for (int32_t i = 0; i < g_menu_world.object_count; i++)
        if (hole_name_is(g_menu_world.objects[i]->name, "DECORBLOC")) decorbloc = i;
    ASSERT_GE(editor_place_block_at(decorbloc, 40.0f, 40.0f, 0, 0.0f), 0);
    const std::string path = saves + "/course/hole04.qel";
    ASSERT_EQ(editor_save_hole_to(path.c_str()), 1);
    for (const int from_dialog : {0, 1}) {
        SCOPED_TRACE(from_dialog);
        vec3_set(g_camera_target, 1.0f, -1.0f, 1.0f);
        g_editor.changed = 1;
        ASSERT_EQ(editor_open_hole(path.c_str(), from_dialog), 1);
        EXPECT_EQ(g_editor.changed, 0);
        EXPECT_EQ(g_first_block_index, 225);
        EXPECT_STREQ(g_editor.hole_name, "course/hole04");
        EXPECT_FLOAT_EQ(g_camera_target[0], from_dialog ? 2.0f : 1.0f);
        EXPECT_FLOAT_EQ(g_camera_target[2], from_dialog ? 15.0f : 1.0f);
    }
}

}  // namespace
