// Opening a hole with the real scene code on the headless device, in a temporary user folder: the
// lit copy made once per theme and reused, rebuilt when damaged, the progress fractions, and the
// cases that write no copy.
#include "course/editor.h"
#include "course/hole.h"
#include "game/files.h"
#include "tests/course/course_test_util.h"
#include "tests/test_util.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The lighting's progress fractions (null text); the reader reports with a text.
std::vector<float> g_lighting_fractions;
void record_progress(const char *text, float fraction)
{
    if (!text) g_lighting_fractions.push_back(fraction);
}

struct HoleOpen : ::testing::Test {
    TestFolders folders;
    SceneTestDevice device;
    std::string qel = folders.temp / "QEL", perso = folders.temp / "QELPERSO", saves = folders.temp / "Saves";
    char *folder_globals[3] = {g_lit_cache_folder, g_lit_cache_folder_personal, g_saves_folder};
    std::string old_folders[3];

    void SetUp() override
    {
        const std::string mine[3] = {qel, perso, saves + "/"};
        for (int k = 0; k < 3; k++) {
            old_folders[k] = folder_globals[k];
            snprintf(folder_globals[k], FOLDER_PATH_MAX, "%s", mine[k].c_str());
        }
        fs::create_directories(qel);  // the shell makes the roots at start-up
        fs::create_directories(perso);
        g_theme_index = 0;
        const float sun[3] = {0.48f, 0.8f, 0.36f};
        memcpy(g_menu_world.light_vector, sun, sizeof sun);
        g_hole_world.load_progress = record_progress;
        g_lighting_fractions.clear();
    }
    void TearDown() override
    {
        g_hole_world.load_progress = nullptr;
        hole_free_shadows();
        world_release_and_reset(&g_hole_world);
        world_release_and_reset(&g_menu_world);
        course_decal_release_storage();
        scene_shutdown();
        for (int k = 0; k < 3; k++) snprintf(folder_globals[k], FOLDER_PATH_MAX, "%s", old_folders[k].c_str());
        g_theme_index = 0;
    }

    std::string plain(const char *hole) const { return folders.run + "/data/parcours/c/" + hole + ".qel"; }
    std::string copy(const char *hole, char letter = 'A') const { return qel + "/c/" + hole + letter + ".qel"; }

    // A plain hole file of blocks named as given, side by side near the middle, and plants.
    static void write_hole(const std::string &path, const std::vector<const char *> &names, int32_t plants = 0)
    {
        SceneTestWorld source;
        for (size_t k = 0; k < names.size(); k++) {
            MeshObject *block = scene_test_make_block(names[k], 2.0f, 1.0f, 2.0f);
            block->position[0] = 3.0f * float(k);
            scene_add_object(source.world.get(), block);
        }
        for (int32_t k = 0; k < plants; k++) scene_test_add_plant(source.world.get(), k);
        fs::create_directories(fs::path(path).parent_path());
        ASSERT_EQ(scene_save(source.world.get(), path.c_str(), 0, 0, 0, 2), 1);
    }

    // The files under the lit-copy roots, relative to the temporary folder, in order.
    std::vector<std::string> cached() const
    {
        std::vector<std::string> names;
        for (const std::string &root : {qel, perso})
            for (const auto &entry : fs::recursive_directory_iterator(root))
                if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), folders.temp.path).string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace

TEST_F(HoleOpen, LitCopyMadeOnceAndReused)
{
    write_hole(plain("hole01"), {"START", "BLOC", "BLOC"}, 1);
    ASSERT_EQ(hole_open("hole01", "c", 0), 1);
    EXPECT_EQ(g_hole_world.lit, 1);
    EXPECT_EQ(g_hole_world.object_count, 3);
    EXPECT_NE(g_hole_world.shadow_masks[0], nullptr);  // the plant's shadow was built
    EXPECT_EQ(cached(), std::vector<std::string>{"QEL/c/hole01A.qel"});
    const std::string lit = test_read_file(copy("hole01"));

    // The second opening reads the copy alone: no plain file, no lighting, nothing written.
    hole_free_shadows();
    fs::remove(plain("hole01"));
    g_lighting_fractions.clear();
    ASSERT_EQ(hole_open("hole01", "c", 0), 1);
    EXPECT_EQ(g_hole_world.object_count, 3);
    EXPECT_TRUE(g_lighting_fractions.empty());
    EXPECT_EQ(test_read_file(copy("hole01")), lit);
    EXPECT_EQ(cached(), std::vector<std::string>{"QEL/c/hole01A.qel"});

    // Another theme: a second copy beside the first.
    hole_free_shadows();
    write_hole(plain("hole01"), {"START", "BLOC", "BLOC"}, 1);
    g_theme_index = 1;
    ASSERT_EQ(hole_open("hole01", "c", 0), 1);
    EXPECT_EQ(cached(), (std::vector<std::string>{"QEL/c/hole01A.qel", "QEL/c/hole01B.qel"}));
}

// A hole written again after its lit copy was made (a renewed course): the copy, older than the
// plain file, is of the hole as it was, so the hole is lit afresh and the copy written again, which
// the next opening reads as it is.
TEST_F(HoleOpen, LitCopyOlderThanItsHoleIsLitAgain)
{
    write_hole(plain("hole01"), {"START", "BLOC"});
    ASSERT_EQ(hole_open("hole01", "c", 0), 1);
    hole_free_shadows();
    write_hole(plain("hole01"), {"START", "BLOC", "BLOC"});
    fs::last_write_time(copy("hole01"), fs::last_write_time(plain("hole01")) - std::chrono::seconds(5));
    g_lighting_fractions.clear();
    ASSERT_EQ(hole_open("hole01", "c", 0), 1);
    EXPECT_EQ(g_hole_world.object_count, 3);
    EXPECT_FALSE(g_lighting_fractions.empty());
    SceneTestWorld check;
    ASSERT_EQ(scene_load(check.world.get(), copy("hole01").c_str(), 0x5C), 1);
    EXPECT_EQ(check.world->object_count, 3);

    hole_free_shadows();
    g_lighting_fractions.clear();
    ASSERT_EQ(hole_open("hole01", "c", 0), 1);
    EXPECT_TRUE(g_lighting_fractions.empty());
    EXPECT_EQ(cached(), std::vector<std::string>{"QEL/c/hole01A.qel"});
}

TEST_F(HoleOpen, EditorMadeHoleReadFromTheSavesAndCachedApart)
{
    write_hole(saves + "/mine/hole02.qel", {"START", "BLOC"});
    g_theme_index = 15;
    ASSERT_EQ(hole_open("hole02", "mine", 1), 1);
    EXPECT_EQ(g_hole_world.object_count, 2);
    EXPECT_EQ(cached(), std::vector<std::string>{"QELPERSO/mine/hole02P.qel"});
    char name[20];
    EXPECT_EQ(hole_plain_path(0, "c", "a-long-hole-name", name, sizeof name), 0);
    EXPECT_STREQ(name, "");
}

TEST_F(HoleOpen, PlainFileWithLightmapsSavedWithoutLighting)
{
    write_hole(plain("hole01"), {"START", "BLOC"});
    ASSERT_EQ(hole_open("hole01", "c", 0), 1);
    fs::copy_file(copy("hole01"), plain("hole03"));  // a plain file that holds lightmaps
    g_lighting_fractions.clear();
    ASSERT_EQ(hole_open("hole03", "c", 0), 1);
    EXPECT_TRUE(g_lighting_fractions.empty());
    EXPECT_EQ(g_hole_world.lit, 1);  // the reader's: it lit the world from the file's lightmaps
    SceneTestWorld check;
    EXPECT_EQ(scene_load(check.world.get(), copy("hole03").c_str(), 0x5C), 1);
}

TEST_F(HoleOpen, ProgressFractionsWithTheExactPalesNameSilent)
{
    const struct {
        const char *hole;
        std::vector<const char *> names;
    } cases[] = {
        {"pales", {"START", "PALES", "PALESX", "pales", "XPALES", "BLOC"}},
        {"empty", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.hole);
        write_hole(plain(c.hole), c.names);
        g_lighting_fractions.clear();
        ASSERT_EQ(hole_open(c.hole, "c", 0), 1);
        const int32_t n = int32_t(c.names.size());
        std::vector<float> want = {0.1f};
        for (int32_t i = 0; i < n; i++) want.push_back(0.1f + 0.45f * float(i) / float(n));
        for (int32_t i = 0; i < n; i++)
            if (strcmp(c.names[size_t(i)], "PALES") != 0) want.push_back(0.55f + 0.45f * float(i) / float(n));
        ASSERT_EQ(g_lighting_fractions.size(), want.size());
        for (size_t k = 0; k < want.size(); k++) EXPECT_FLOAT_EQ(g_lighting_fractions[k], want[k]) << k;
        for (int32_t i = 0; i < n; i++) {
            EXPECT_EQ(g_hole_world.objects[i]->object_type, 2) << i;
            EXPECT_EQ(g_hole_world.prepare_modes[i], strcmp(c.names[size_t(i)], "PALES") ? 1 : 2) << i;  // reduced
        }
        EXPECT_TRUE(fs::exists(copy(c.hole)));
    }
}

TEST_F(HoleOpen, DamagedLitCopyRebuilt)
{
    write_hole(plain("hole05"), {"START", "BLOC"});
    ASSERT_EQ(hole_open("hole05", "c", 0), 1);
    const std::string path = copy("hole05"), good = test_read_file(path);
    const struct {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"cut short", good.substr(0, good.size() / 2)},
        {"empty", ""},
        {"without lightmaps", test_read_file(plain("hole05"))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        hole_free_shadows();
        test_write_file(path, c.bytes);
        g_lighting_fractions.clear();
        ASSERT_EQ(hole_open("hole05", "c", 0), 1);
        EXPECT_FALSE(g_lighting_fractions.empty());  // lit again from the plain file
        EXPECT_EQ(g_hole_world.object_count, 2);
        EXPECT_EQ(test_read_file(path), good);
    }
}

TEST_F(HoleOpen, NoCopyWithoutALetterOrAWritableRootAndNoHoleWithoutAPlainFile)
{
    write_hole(plain("hole06"), {"START", "BLOC"});
    for (int32_t theme : {20, 16, -1}) {
        SCOPED_TRACE(theme);
        g_theme_index = theme;
        ASSERT_EQ(hole_open("hole06", "c", 0), 1);
        EXPECT_EQ(g_hole_world.lit, 1);  // lit in memory
        EXPECT_EQ(g_hole_world.object_count, 2);
    }
    g_theme_index = 0;
    test_write_file(folders.temp / "file", "x");  // a root that cannot hold folders
    snprintf(g_lit_cache_folder, sizeof g_lit_cache_folder, "%s", (folders.temp / "file").c_str());
    EXPECT_EQ(hole_open("hole06", "c", 0), 1);
    EXPECT_EQ(g_hole_world.lit, 1);
    snprintf(g_lit_cache_folder, sizeof g_lit_cache_folder, "%s", qel.c_str());

    test_write_file(plain("broken"), "SCNF short");
    for (const char *hole : {"missing", "broken"}) {
        SCOPED_TRACE(hole);
        EXPECT_EQ(hole_open(hole, "c", 0), 0);
        EXPECT_EQ(g_hole_world.object_count, 0);
    }
    EXPECT_TRUE(cached().empty());
}

namespace {

// A flat grey picture of side x side as "<run>/<name>.png".
void write_grey_picture(const std::string &run, const char *name, int32_t side, uint8_t grey)
{
    std::vector<uint8_t> pixels(size_t(side) * size_t(side) * 4, grey);
    ImageData image = {pixels.data(), side, side, 1, 0};
    ASSERT_EQ(png_write_file((run + "/" + name + ".png").c_str(), &image), 1);
}

// The width of what texture slot `slot` holds; 0 when it is free.
int32_t slot_width(int32_t slot)
{
    const TextureTable &table = g_render_context.main_textures;
    return table.slots && table.slots[slot] ? table.slots[slot]->width : 0;
}

}  // namespace

// Both worlds put their texture k in slot k (and its normal map in 640 + k): leaving one world
// must leave the other's pictures in place.
TEST_F(HoleOpen, LeavingOneWorldKeepsTheTexturesTheOtherDrawsWith)
{
    write_grey_picture(folders.run, "theme", 16, 90);
    write_grey_picture(folders.run, "own", 32, 200);
    ASSERT_EQ(scene_set_texture(&g_menu_world, 5, "theme", 0), 1);
    world_alloc_all_map_slots(&g_menu_world);
    world_free_maps_and_objects(&g_menu_world);  // as the theme's load leaves it
    ASSERT_EQ(slot_width(5), 16);
    ASSERT_EQ(slot_width(SCENE_MAP_TEXTURE_BASE + 5), 16);
    {
        // A hole file that carries its own texture 5, as one saved from a world that loaded it.
        SceneTestWorld source;
        ASSERT_EQ(scene_set_texture(source.world.get(), 5, "own", 0), 1);
        scene_add_object(source.world.get(), scene_test_make_block("START", 2.0f, 1.0f, 2.0f));
        fs::create_directories(fs::path(plain("hole01")).parent_path());
        ASSERT_EQ(scene_save(source.world.get(), plain("hole01").c_str(), 0, 0, 0, 2), 1);
    }

    // Play leaves the hole: the menu world draws with its own pictures again.
    ASSERT_EQ(hole_open("hole01", "c", 0), 1);
    EXPECT_EQ(slot_width(5), 32);
    hole_free_shadows();
    world_release_and_reset(&g_hole_world);
    EXPECT_EQ(slot_width(5), 16);
    EXPECT_EQ(slot_width(SCENE_MAP_TEXTURE_BASE + 5), 16);

    // The theme is released under an open hole: the hole keeps its pictures.
    fs::remove(copy("hole01"));  // lit again, with its normal maps
    ASSERT_EQ(hole_open("hole01", "c", 0), 1);
    world_release_and_reset(&g_menu_world);
    EXPECT_EQ(slot_width(5), 32);
    EXPECT_EQ(slot_width(SCENE_MAP_TEXTURE_BASE + 5), 32);
    hole_free_shadows();
    world_release_and_reset(&g_hole_world);
    EXPECT_EQ(slot_width(5), 0);
    EXPECT_EQ(slot_width(SCENE_MAP_TEXTURE_BASE + 5), 0);
}

// A hole saved when every face's material byte was its texture id (1 to 4 here, blended by their
// low bits) opens with the texture id above clear blending bits, drawn opaque, lit copy included;
// a face already in the new form, and one without a texture, keep their bytes.
TEST_F(HoleOpen, OlderSavesGetTheirFacesMaterials)
{
    SceneTestWorld source;
    MeshObject *block = scene_test_make_block("BLOC", 2.0f, 1.0f, 2.0f);
    for (int32_t f = 0; f < block->face_count; f++) block->faces[f].material = uint16_t(block->faces[f].texture_id);
    block->faces[0].texture_id = 7, block->faces[0].material = 28;
    block->faces[1].texture_id = 0, block->faces[1].material = 0;
    scene_add_object(source.world.get(), scene_test_make_block("START", 2.0f, 1.0f, 2.0f));
    scene_add_object(source.world.get(), block);
    fs::create_directories(fs::path(plain("hole03")).parent_path());
    ASSERT_EQ(scene_save(source.world.get(), plain("hole03").c_str(), 0, 0, 0, 2), 1);

    for (int opening = 0; opening < 2; opening++) {  // lit from the plain file, then from its copy
        SCOPED_TRACE(opening);
        hole_free_shadows();
        ASSERT_EQ(hole_open("hole03", "c", 0), 1);
        const MeshObject *opened = g_hole_world.objects[1];
        ASSERT_NE(opened, nullptr);
        EXPECT_EQ(opened->faces[0].material, 28);
        EXPECT_EQ(opened->faces[1].material, 0);
        for (int32_t f = 2; f < opened->face_count; f++)
            EXPECT_EQ(opened->faces[f].material, opened->faces[f].texture_id << 2) << f;
        if (const MeshObject *companion = g_hole_world.companions[1]) {
            for (int32_t f = 2; f < companion->face_count; f++) EXPECT_EQ(companion->faces[f].material & 3, 0) << f;
        }
        ASSERT_NE(g_hole_world.render_objects[1], nullptr);
        for (const RenderObject *part = g_hole_world.render_objects[1]; part; part = part->child)
            for (const ListNode<RenderDrawRange> *n = part->ranges.first; n; n = n->next)
                EXPECT_EQ(n->value.material_bits, 0);
    }
}

// An older save's face with texture id 16383 still fits a material (16383 << 2 is 65532); from
// 16384 on the id would shift out of the 16 bits (16384 became material 0, 16385 the tee's turf):
// such a hole is refused whole, as a file that cannot be read, by the play's opener, its lit copy
// and the headless play alike.
TEST_F(HoleOpen, OldMaterialIdsThatDoNotFitAreRefused)
{
    const struct {
        uint32_t id;
        bool opens;
    } cases[] = {{16383, true}, {16384, false}, {65535, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.id);
        const std::string name = "id" + std::to_string(c.id);
        {
            SceneTestWorld source;
            MeshObject *block = scene_test_make_block("BLOC", 2.0f, 1.0f, 2.0f);
            block->faces[2].texture_id = int16_t(uint16_t(c.id));
            block->faces[2].material = uint16_t(c.id);
            scene_add_object(source.world.get(), scene_test_make_block("START", 2.0f, 1.0f, 2.0f));
            scene_add_object(source.world.get(), block);
            fs::create_directories(fs::path(plain(name.c_str())).parent_path());
            ASSERT_EQ(scene_save(source.world.get(), plain(name.c_str()).c_str(), 0, 0, 0, 2), 1);
        }
        hole_free_shadows();
        ASSERT_EQ(hole_open(name.c_str(), "c", 0), c.opens ? 1 : 0);
        EXPECT_EQ(fs::exists(copy(name.c_str())), c.opens);
        if (c.opens) {
            ASSERT_EQ(g_hole_world.object_count, 2);
            EXPECT_EQ(g_hole_world.objects[1]->faces[2].material, 65532);
        } else {
            EXPECT_EQ(g_hole_world.object_count, 0);
        }

        CoursePlay sim;
        EXPECT_EQ(play_sim_open(&sim.state, plain(name.c_str()).c_str()), c.opens ? 1 : 0);
        world_release_and_reset(&g_hole_world);
    }

    // A lit copy that holds such a face (made from the good plain file, altered since) is not
    // trusted: the hole is lit again from the plain file and the copy written anew.
    hole_free_shadows();
    ASSERT_EQ(hole_open("id16383", "c", 0), 1);
    {
        SceneTestWorld altered;
        ASSERT_EQ(scene_load(altered.world.get(), copy("id16383").c_str(), 0x5C), 1);
        MeshFace &face = altered.world->objects[1]->faces[2];
        face.texture_id = 16384, face.material = 16384;
        ASSERT_EQ(scene_save(altered.world.get(), copy("id16383").c_str(), 1, 1, 0, 10), 1);
    }
    SceneTestWorld check;
    ASSERT_EQ(scene_load(check.world.get(), copy("id16383").c_str(), 0x5C), 1);  // still a copy with lightmaps
    ASSERT_EQ(check.world->objects[1]->faces[2].material, 16384);
    hole_free_shadows();
    g_lighting_fractions.clear();
    ASSERT_EQ(hole_open("id16383", "c", 0), 1);
    EXPECT_FALSE(g_lighting_fractions.empty());
    EXPECT_EQ(g_hole_world.objects[1]->faces[2].material, 65532);
    SceneTestWorld rewritten;
    ASSERT_EQ(scene_load(rewritten.world.get(), copy("id16383").c_str(), 0x5C), 1);
    EXPECT_EQ(rewritten.world->objects[1]->faces[2].material, 65532);
}
