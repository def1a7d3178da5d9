// Module loading: MOD signatures and the fifteen-sample form, XM files holding impossible sizes,
// the module table, files cut short.
#include "tests/sound/music_test_util.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

MusicWriterSong mod_song(const std::string &tag, int channels)
{
    MusicWriterSong song;
    song.name = "mod song";
    song.tag = tag;
    song.channels = channels;
    song.orders = {0};
    MusicWriterSample sample;
    sample.data = music_test_constant(16, 0x1000);
    song.samples.push_back(sample);
    music_writer_cell(song, 0, 63, channels - 1) = {music_writer_amiga_period(2, 0), 1, 0, 0xC, 0x20};
    return song;
}

MusicWriterSong xm_song()
{
    MusicWriterSong song;
    song.name = "xm song";
    song.channels = 2;
    song.orders = {0, 1, 0};
    song.speed = 5;
    song.bpm = 140;
    song.restart = 1;
    song.flags = 1;
    music_writer_cell(song, 0, 0, 0, 32) = {49, 1, 0x30, 0xA, 0x0F};
    music_writer_cell(song, 1, 3, 1, 16) = {97, 0, 0, 0, 0};
    MusicWriterSample sample;
    sample.data = {100, -200, 300, 32767, -32768, 0};
    sample.sixteen_bit = true;
    MusicWriterInstrument instrument = music_test_instrument(sample);
    instrument.volume.points = {{0, 64}, {10, 32}, {20, 0}};
    instrument.volume.type = 1;
    instrument.fadeout = 256;
    song.instruments.push_back(instrument);
    return song;
}

// Offset of the first instrument in an XM file written from `song`.
size_t xm_instruments_offset(MusicWriterSong song)
{
    song.instruments.clear();
    return music_write_xm(song).size();
}

struct ModuleFree {
    void operator()(MusicModule *module) const { music_free_module(module); }
};
using ModulePtr = std::unique_ptr<MusicModule, ModuleFree>;

ModulePtr load(const std::string &bytes, bool xm) { return ModulePtr(music_test_load(bytes, xm)); }

}  // namespace

// ---- MOD ----------------------------------------------------------------------------------------

// Files of other trackers have no MOD tag at offset 1080: they are refused before their patterns
// are read, not read as four-channel MODs.
TEST(MusicLoadMod, OnlyModSignaturesAreRead)
{
    TempDir dir;
    // An S3M head: its signature at 44, a 4000-byte file.
    std::string s3m = std::string("s3m song") + std::string(20, '\0') +
                      std::string("\x1a\x10\0\0\x02\0\x01\0\x01\0\0\0\x20\x13\x02\0SCRM", 20);
    s3m.resize(4000, '\x40');
    std::string it = "IMPMit song";
    it.resize(4000, '\x01');
    std::string flt8 = music_write_mod(mod_song("M.K.", 4)), many = flt8, dots = flt8;
    flt8.replace(1080, 4, "FLT8");
    many.replace(1080, 4, "32CH");
    dots.replace(1080, 4, ".X.X");
    for (const std::string *bytes : {&s3m, &it, &flt8, &many, &dots}) {
        SCOPED_TRACE(bytes->substr(0, 4));
        EXPECT_FALSE(load(*bytes, false));
        test_write_file(dir / "other.zik", *bytes);
        music_reset_player();
        EXPECT_EQ(music_load_module((dir / "other.zik").c_str()), -1);
        EXPECT_EQ(g_music_module_count, 0);
    }
}

// The oldest MODs: 15 sample headers, no tag, four channels, the orders right before the patterns.
TEST(MusicLoadMod, FifteenSampleFormIsRead)
{
    MusicWriterSong song = mod_song("M.K.", 4);
    song.orders = {1, 0};
    music_writer_cell(song, 1, 5, 2) = {music_writer_amiga_period(3, 0), 1, 0, 0xC, 0x30};
    std::string full = music_write_mod(song);
    // Title and samples 1 to 15, song length and restart, 128 orders, then patterns and data.
    std::string old = full.substr(0, 20 + 15 * 30) + full.substr(950, 130) + full.substr(1084);
    ModulePtr module = load(old, false);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->channel_count, 4);
    EXPECT_EQ(module->song_length, 2);
    EXPECT_EQ(module->pattern_count, 2);
    EXPECT_EQ(module->patterns[1].columns[2][5].parameter, 0x30);
    EXPECT_EQ(module->patterns[0].columns[3][63].parameter, 0x20);
    ASSERT_EQ(module->samples[1].length, 16);
    EXPECT_EQ(module->samples[1].data[3], 0x1000);
    // Cut short, it is no module at all.
    EXPECT_FALSE(load(old.substr(0, old.size() - 1), false));
}

// ---- XM -----------------------------------------------------------------------------------------

// Sizes that no module has: the load fails, without reading or allocating past the file.
TEST(MusicLoadXm, ImpossibleSizesFailToLoad)
{
    MusicWriterSong song = xm_song();
    std::string good = music_write_xm(song);
    size_t instrument = xm_instruments_offset(song);
    auto patched = [&](size_t offset, std::initializer_list<uint8_t> values) {
        std::string bytes = good;
        for (uint8_t v : values) bytes[offset++] = char(v);
        return bytes;
    };
    EXPECT_TRUE(load(good, true));
    EXPECT_FALSE(load(patched(68, {0, 0}), true));    // no channels
    EXPECT_FALSE(load(patched(68, {33, 0}), true));   // 33 channels
    EXPECT_FALSE(load(patched(70, {0x2C, 1}), true));  // 300 patterns
    EXPECT_FALSE(load(patched(60, {10, 0, 0, 0}), true));  // header smaller than its fields
    EXPECT_FALSE(load(patched(60, {0xFF, 0xFF, 0xFF, 0x7F}), true));  // order part past the file
    EXPECT_FALSE(load(patched(336, {3, 0, 0, 0}), true));  // pattern header smaller than its fields
    EXPECT_FALSE(load(patched(instrument + 27, {0xE8, 3}), true));  // 1000 samples
    EXPECT_FALSE(load(patched(instrument + 29, {10, 0, 0, 0}), true));  // sample headers of 10 bytes
    EXPECT_FALSE(load(patched(instrument + 263, {0xFF, 0xFF, 0xFF, 0x7F}), true));  // sample past the file
    EXPECT_FALSE(load(patched(instrument, {0xFF, 0xFF, 0xFF, 0x7F}), true));  // header past the file
    EXPECT_FALSE(load(std::string("Extended Module: "), true));
    EXPECT_FALSE(load(std::string(1083, '\0'), false));  // a MOD without its tag
    EXPECT_FALSE(load(std::string(1084, '\0'), false));  // nor its first pattern
}

// ---- the table ----------------------------------------------------------------------------------

TEST(MusicLoadTable, ModulesAreAddedInLoadOrder)
{
    TempDir dir;
    std::string xm = dir / "music1.zik", mod = dir / "menu.ZIK";
    ASSERT_TRUE(music_writer_save(xm.c_str(), music_write_xm(xm_song())));
    ASSERT_TRUE(music_writer_save(mod.c_str(), music_write_mod(mod_song("M.K.", 4))));
    EXPECT_TRUE(test_read_file(xm + ".tmp").empty());
    EXPECT_EQ(music_check_xm_file(xm.c_str()), 1);
    EXPECT_EQ(music_check_xm_file(mod.c_str()), 0);
    EXPECT_EQ(music_check_xm_file((dir / "missing.zik").c_str()), 0);

    music_reset_player();
    EXPECT_EQ(g_music_module_count, 0);
    EXPECT_EQ(music_load_module(xm.c_str()), 0);
    EXPECT_EQ(g_music_module_loaded, 1);
    EXPECT_EQ(music_load_module(mod.c_str()), 1);
    EXPECT_EQ(g_music_module_count, 2);
    EXPECT_EQ(g_music_current_index, 0);
    EXPECT_EQ(g_music_current_module.load(), g_music_modules[0]);
    EXPECT_EQ(g_music_modules[0]->type, 1);
    EXPECT_EQ(g_music_modules[1]->type, 0);
    // A missing or broken file adds nothing.
    EXPECT_EQ(music_load_module((dir / "missing.zik").c_str()), -1);
    test_write_file(dir / "broken.zik", test_read_file(xm).substr(0, 500));
    EXPECT_EQ(music_load_module((dir / "broken.zik").c_str()), -1);
    EXPECT_EQ(music_load_module(nullptr), -1);
    EXPECT_EQ(g_music_module_count, 2);

    for (int i = 0; i < g_music_module_count; i++) music_free_module(g_music_modules[i]);
    music_reset_player();
    EXPECT_EQ(g_music_current_module.load(), nullptr);
    EXPECT_EQ(g_music_module_loaded, 1);  // never cleared
}

TEST(MusicLoadTable, AFullTableRefusesMore)
{
    TempDir dir;
    std::string mod = dir / "menu.zik";
    ASSERT_TRUE(music_writer_save(mod.c_str(), music_write_mod(mod_song("M.K.", 4))));
    music_reset_player();
    for (int i = 0; i < MUSIC_MAX_MODULES; i++) ASSERT_EQ(music_load_module(mod.c_str()), i);
    EXPECT_EQ(music_load_module(mod.c_str()), -1);
    for (int i = 0; i < g_music_module_count; i++) music_free_module(g_music_modules[i]);
    music_reset_player();
}

// Every file cut short fails cleanly; only the whole file loads.
TEST(MusicLoadTable, ModulesCutShortFailCleanly)
{
    MusicWriterSong xm = xm_song();
    MusicWriterSample extra;
    extra.data = {1, 2, 3, 4, 5, 6, 7};
    xm.instruments.push_back(music_test_instrument(extra));
    xm.instruments.push_back(MusicWriterInstrument());
    MusicWriterSong mod = mod_song("M.K.", 4);
    mod.samples.push_back(mod.samples[0]);
    for (bool is_xm : {true, false}) {
        std::string bytes = is_xm ? music_write_xm(xm) : music_write_mod(mod);
        for (size_t length = 1; length < bytes.size(); length++)
            EXPECT_FALSE(load(bytes.substr(0, length), is_xm)) << (is_xm ? "xm " : "mod ") << length;
        EXPECT_TRUE(load(bytes, is_xm));
    }
}
