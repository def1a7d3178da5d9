// Module loading: MOD tags, orders, cells and samples; XM header, packing, instruments and sample
// data; the module table; files cut short or holding impossible values.
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

TEST(MusicLoadMod, TagGivesChannelsAndOrderTable)
{
    struct Case {
        const char *tag;
        int written_channels, channels;
    } cases[] = {{"M.K.", 4, 4}, {"FLT4", 4, 4}, {".X.X", 4, 4}, {"8CHN", 8, 8},
                 {"6CHN", 6, 6}, {"16CH", 16, 16}, {"12CH", 16, 16}};
    for (const Case &c : cases) {
        MusicWriterSong song = mod_song(c.tag, c.written_channels);
        ModulePtr module = load(music_write_mod(song), false);
        ASSERT_TRUE(module) << c.tag;
        EXPECT_EQ(module->type, 0);
        EXPECT_EQ(module->channel_count, c.channels) << c.tag;
        const MusicCell &cell = module->patterns[0].columns[c.channels - 1][63];
        EXPECT_EQ(cell.effect, 0xC) << c.tag;
        EXPECT_EQ(cell.parameter, 0x20) << c.tag;
        EXPECT_EQ(module->samples[1].length, 16) << c.tag;
    }
}

TEST(MusicLoadMod, SixteenChannelTagReadsTwoHundredFiftySixOrders)
{
    MusicWriterSong song = mod_song("16CH", 16);
    song.orders.assign(201, 0);
    song.orders[200] = 1;
    ModulePtr module = load(music_write_mod(song), false);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->song_length, 201);
    EXPECT_EQ(module->orders[200], 1);
    EXPECT_EQ(module->pattern_count, 2);
}

TEST(MusicLoadMod, PatternCountComesFromTheSongsOrders)
{
    MusicWriterSong song = mod_song("M.K.", 4);
    song.orders = {0, 5, 3};
    std::string bytes = music_write_mod(song);
    bytes[952 + 3] = 9;  // an order past the song's length is not counted
    ModulePtr module = load(bytes, false);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->pattern_count, 6);
    EXPECT_EQ(module->song_length, 3);
    EXPECT_EQ(module->orders[1], 5);
    EXPECT_EQ(module->orders[3], 9);
}

TEST(MusicLoadMod, CellsDecodeSamplePeriodAndNote)
{
    MusicWriterSong song = mod_song("M.K.", 4);
    music_writer_cell(song, 0, 0, 0) = {428, 17, 0, 0xF, 0x7D};
    music_writer_cell(song, 0, 0, 1) = {0, 3, 0, 0, 0};
    music_writer_cell(song, 0, 0, 2) = {429, 0, 0, 0, 0};
    music_writer_cell(song, 0, 0, 3) = {15, 0, 0, 0, 0};
    music_writer_cell(song, 0, 1, 0) = {500, 0x23, 0, 0, 0};
    music_writer_cell(song, 0, 1, 1) = {856, 0, 0, 0, 0};
    ModulePtr module = load(music_write_mod(song), false);
    ASSERT_TRUE(module);
    MusicCell **columns = module->patterns[0].columns;
    EXPECT_EQ(columns[0][0].instrument, 17);
    EXPECT_EQ(columns[0][0].period, 428);
    EXPECT_EQ(columns[0][0].note, 49);
    EXPECT_EQ(columns[0][0].effect, 0xF);
    EXPECT_EQ(columns[0][0].parameter, 0x7D);
    EXPECT_EQ(columns[1][0].note, MUSIC_NO_NOTE);  // period 0
    EXPECT_EQ(columns[1][0].instrument, 3);
    EXPECT_EQ(columns[2][0].note, 49);    // within 2 of 427
    EXPECT_EQ(columns[3][0].note, 104);   // 17 is within 2 of 15 before 15 itself: the lowest index wins
    EXPECT_EQ(columns[0][1].note, MUSIC_NO_NOTE);  // no entry near 500
    EXPECT_EQ(columns[0][1].instrument, 0);  // sample 35 does not exist
    EXPECT_EQ(columns[1][1].note, 37);
}

TEST(MusicLoadMod, SampleHeadersAndData)
{
    MusicWriterSong song = mod_song("M.K.", 4);
    song.samples.resize(5);
    song.samples[0].data = {0x1234, -0x0100, 0x7F00, -0x8000};
    song.samples[0].finetune = -1;  // written as 15
    song.samples[1].data = music_test_constant(150, 0);
    song.samples[1].loop_start = 100;
    song.samples[1].loop_length = 100;  // past the data
    song.samples[1].finetune = -8;
    song.samples[2].data = music_test_constant(20, 0);
    song.samples[2].loop_start = 40;  // starts past the data
    song.samples[2].loop_length = 10;
    song.samples[3].data = music_test_constant(20, 0);
    song.samples[3].loop_start = 4;
    song.samples[3].loop_length = 8;
    std::string bytes = music_write_mod(song);
    bytes[20 + 4 * 30 + 24] = 0x17;  // sample 5: a finetune byte with its high nibble set
    bytes[20 + 4 * 30 + 25] = 0x7F;  // and a volume past 64
    ModulePtr module = load(bytes, false);
    ASSERT_TRUE(module);
    const MusicSample &s1 = module->samples[1];
    EXPECT_EQ(s1.length, 4);
    EXPECT_EQ(s1.finetune, -1);
    EXPECT_EQ(s1.volume, 64);
    ASSERT_NE(s1.data, nullptr);
    EXPECT_EQ(s1.data[0], 0x1200);
    EXPECT_EQ(s1.data[1], -0x0100);
    EXPECT_EQ(s1.data[2], 0x7F00);
    EXPECT_EQ(s1.data[3], -0x8000);
    for (int i = 4; i < 14; i++) EXPECT_EQ(s1.data[i], 0) << i;  // ten zero samples after the length
    EXPECT_EQ(module->samples[2].finetune, -8);
    EXPECT_EQ(module->samples[2].loop_start, 100);
    EXPECT_EQ(module->samples[2].loop_length, 50);
    EXPECT_EQ(module->samples[3].loop_start, 20);
    EXPECT_EQ(module->samples[3].loop_length, 0);
    EXPECT_EQ(module->samples[4].loop_start, 4);
    EXPECT_EQ(module->samples[4].loop_length, 8);
    EXPECT_EQ(module->samples[5].finetune, 7);
    EXPECT_EQ(module->samples[5].volume, 64);
    EXPECT_EQ(module->samples[6].data, nullptr);
    EXPECT_EQ(module->samples[6].length, 0);
}

// ---- XM -----------------------------------------------------------------------------------------

TEST(MusicLoadXm, HeaderOrdersAndPatterns)
{
    ModulePtr module = load(music_write_xm(xm_song()), true);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->type, 1);
    EXPECT_EQ(std::string(module->name, 7), "xm song");
    EXPECT_EQ(module->song_length, 3);
    EXPECT_EQ(module->restart_position, 1);
    EXPECT_EQ(module->channel_count, 2);
    EXPECT_EQ(module->pattern_count, 2);
    EXPECT_EQ(module->instrument_count, 1);
    EXPECT_EQ(module->linear_frequency, 1);
    EXPECT_EQ(module->default_speed, 5);
    EXPECT_EQ(module->default_bpm, 140);
    EXPECT_EQ(module->orders[1], 1);
    EXPECT_EQ(module->patterns[0].row_count, 32u);
    EXPECT_EQ(module->patterns[1].row_count, 16u);
    EXPECT_EQ(module->patterns[0].columns[2], nullptr);
    const MusicCell &cell = module->patterns[0].columns[0][0];
    EXPECT_EQ(cell.note, 49);
    EXPECT_EQ(cell.instrument, 1);
    EXPECT_EQ(cell.volume, 0x30);
    EXPECT_EQ(cell.effect, 0xA);
    EXPECT_EQ(cell.parameter, 0x0F);
    EXPECT_EQ(module->patterns[1].columns[1][3].note, MUSIC_KEY_OFF);
    const MusicCell &empty = module->patterns[0].columns[1][5];
    EXPECT_EQ(empty.note, MUSIC_NO_NOTE);
    EXPECT_EQ(empty.instrument | empty.volume | empty.effect | empty.parameter, 0);
}

TEST(MusicLoadXm, PackedBytesSayWhichFieldsFollow)
{
    MusicWriterSong song = xm_song();
    song.patterns.resize(1);
    song.orders = {0};
    song.patterns[0].rows = 2;
    // Row 0: an empty cell, then note and instrument only. Row 1: an unpacked cell, then effect
    // and parameter only.
    song.patterns[0].packed = std::string("\x80\x83\x31\x02", 4) + std::string("\x0C\x01\x40\x0F\x05", 5) +
                              std::string("\x98\x0E\xC3", 3);
    ModulePtr module = load(music_write_xm(song), true);
    ASSERT_TRUE(module);
    MusicCell **columns = module->patterns[0].columns;
    EXPECT_EQ(columns[0][0].note, MUSIC_NO_NOTE);
    EXPECT_EQ(columns[0][0].instrument, 0);
    EXPECT_EQ(columns[1][0].note, 0x31);
    EXPECT_EQ(columns[1][0].instrument, 2);
    EXPECT_EQ(columns[1][0].volume, 0);
    EXPECT_EQ(columns[1][0].effect, 0);
    EXPECT_EQ(columns[0][1].note, 12);
    EXPECT_EQ(columns[0][1].instrument, 1);
    EXPECT_EQ(columns[0][1].volume, 0x40);
    EXPECT_EQ(columns[0][1].effect, 0x0F);
    EXPECT_EQ(columns[0][1].parameter, 5);
    EXPECT_EQ(columns[1][1].note, MUSIC_NO_NOTE);
    EXPECT_EQ(columns[1][1].effect, 0x0E);
    EXPECT_EQ(columns[1][1].parameter, 0xC3);
    // The instrument after the pattern still loads.
    EXPECT_EQ(module->instruments[1].sample_count, 1);
}

TEST(MusicLoadXm, DataRunningOutMidCellRepeatsTheLastFieldByte)
{
    MusicWriterSong song = xm_song();
    song.orders = {0};
    song.patterns.resize(2);
    song.patterns[0].rows = 4;
    song.patterns[0].packed = std::string("\x9F\x31\x02", 3);
    song.patterns[1].rows = 4;
    song.patterns[1].packed = std::string("\x05", 1);  // an unpacked note with nothing after it
    ModulePtr module = load(music_write_xm(song), true);
    ASSERT_TRUE(module);
    const MusicCell &cell = module->patterns[0].columns[0][0];
    EXPECT_EQ(cell.note, 0x31);
    EXPECT_EQ(cell.instrument, 2);
    EXPECT_EQ(cell.volume, 2);
    EXPECT_EQ(cell.effect, 2);
    EXPECT_EQ(cell.parameter, 2);
    EXPECT_EQ(module->patterns[0].columns[1][0].note, MUSIC_NO_NOTE);  // nothing left for it
    const MusicCell &plain = module->patterns[1].columns[0][0];
    EXPECT_EQ(plain.note, 5);
    EXPECT_EQ(plain.instrument, 5);
    EXPECT_EQ(plain.parameter, 5);
}

TEST(MusicLoadXm, NoteZeroAndNotesPastKeyOffHoldNoNote)
{
    MusicWriterSong song = xm_song();
    song.orders = {0};
    song.patterns.resize(1);
    song.patterns[0].rows = 3;
    song.patterns[0].packed = std::string("\x81\x00\x81\x62\x81\x61\x81\x60\x81\xFF\x81\x01", 12);
    ModulePtr module = load(music_write_xm(song), true);
    ASSERT_TRUE(module);
    MusicCell **columns = module->patterns[0].columns;
    EXPECT_EQ(columns[0][0].note, MUSIC_NO_NOTE);
    EXPECT_EQ(columns[1][0].note, MUSIC_NO_NOTE);  // 98
    EXPECT_EQ(columns[0][1].note, 97);
    EXPECT_EQ(columns[1][1].note, 96);
    EXPECT_EQ(columns[0][2].note, MUSIC_NO_NOTE);  // 255
    EXPECT_EQ(columns[1][2].note, 1);
}

TEST(MusicLoadXm, InstrumentWithoutSamplesSkipsTheRestOfItsHeader)
{
    MusicWriterSong song = xm_song();
    song.instruments[0].samples[0].data = {1000, 2000};
    std::string bytes = music_write_xm(song);
    size_t at = xm_instruments_offset(song);
    // Instrument 1: no samples and a header of 40 bytes; the written one becomes instrument 2.
    std::string empty(40, '\x07');
    empty[0] = 40, empty[1] = empty[2] = empty[3] = 0;
    empty[27] = empty[28] = 0;
    bytes.insert(at, empty);
    bytes[72] = 2;
    ModulePtr module = load(bytes, true);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->instrument_count, 2);
    EXPECT_EQ(module->instruments[1].sample_count, 0);
    EXPECT_EQ(module->instruments[1].samples, nullptr);
    ASSERT_EQ(module->instruments[2].sample_count, 1);
    EXPECT_EQ(module->instruments[2].samples[0].length, 2);
    EXPECT_EQ(module->instruments[2].samples[0].data[1], 2000);
}

TEST(MusicLoadXm, InstrumentHeaderFields)
{
    MusicWriterSong song = xm_song();
    MusicWriterInstrument &instrument = song.instruments[0];
    instrument.samples.push_back(instrument.samples[0]);
    instrument.note_map.assign(96, 0);
    instrument.note_map[60] = 1;
    instrument.volume = {{{0, 64}, {4, 20}, {8, 40}}, 7, 1, 0, 2};
    instrument.panning = {{{0, 32}, {10, 0}}, 1, 1, 0, 1};
    instrument.fadeout = 0x0FFF;
    ModulePtr module = load(music_write_xm(song), true);
    ASSERT_TRUE(module);
    const MusicInstrument &i = module->instruments[1];
    EXPECT_EQ(i.sample_count, 2);
    EXPECT_EQ(i.note_map[60], 1);
    EXPECT_EQ(i.note_map[59], 0);
    EXPECT_EQ(i.note_map[100], 0);
    EXPECT_EQ(i.volume_envelope[1].position, 4);
    EXPECT_EQ(i.volume_envelope[1].value, 20);
    EXPECT_EQ(i.volume_point_count, 3);
    EXPECT_EQ(i.volume_type, 7);
    EXPECT_EQ(i.volume_sustain, 1);
    EXPECT_EQ(i.volume_loop_end, 2);
    EXPECT_EQ(i.panning_envelope[0].value, 32);
    EXPECT_EQ(i.panning_point_count, 2);
    EXPECT_EQ(i.panning_loop_end, 1);
    EXPECT_EQ(i.fadeout, 0x0FFF);
}

// Point numbers are file bytes that index 12 points, and values are 0 to 64.
TEST(MusicLoadXm, EnvelopePointNumbersAndValuesAreBounded)
{
    MusicWriterSong song = xm_song();
    std::string bytes = music_write_xm(song);
    size_t at = xm_instruments_offset(song);
    bytes[at + 129 + 2] = char(0xFF);  // value of volume point 0: 0xFFxx
    bytes[at + 129 + 3] = char(0xFF);
    for (int offset = 225; offset <= 232; offset++) bytes[at + offset] = char(200);
    ModulePtr module = load(bytes, true);
    ASSERT_TRUE(module);
    const MusicInstrument &i = module->instruments[1];
    EXPECT_EQ(i.volume_envelope[0].value, 64);
    EXPECT_EQ(i.volume_point_count, 12);
    EXPECT_EQ(i.panning_point_count, 12);
    EXPECT_EQ(i.volume_sustain, 11);
    EXPECT_EQ(i.volume_loop_start, 11);
    EXPECT_EQ(i.panning_loop_end, 11);
}

TEST(MusicLoadXm, SixteenBitSamplesAreHalvedAndDeltaDecoded)
{
    MusicWriterSong song = xm_song();
    MusicWriterSample &wide = song.instruments[0].samples[0];
    wide.data = music_test_constant(1000, 0);
    wide.data[0] = 100, wide.data[1] = -200, wide.data[2] = 32767, wide.data[3] = -32768, wide.data[999] = 5;
    wide.loop_start = 10;
    wide.loop_length = 500;
    wide.loop_type = 1;
    MusicWriterSample narrow;
    narrow.data = {0x7F00, -0x8000, 0x0100, -0x0100};
    narrow.sixteen_bit = false;
    narrow.finetune = -16;
    narrow.relative_note = -12;
    narrow.panning = 200;
    narrow.volume = 70;
    narrow.loop_type = 3;
    narrow.loop_start = 1;
    narrow.loop_length = 2;
    song.instruments[0].samples.push_back(narrow);
    std::string bytes = music_write_xm(song);
    size_t header = xm_instruments_offset(song) + 263;
    EXPECT_EQ(uint8_t(bytes[header + 14]), 0x11);  // 16-bit, forward loop
    EXPECT_EQ(uint8_t(bytes[header]) | uint8_t(bytes[header + 1]) << 8, 2000);  // length in bytes
    ModulePtr module = load(bytes, true);
    ASSERT_TRUE(module);
    const MusicSample &s = module->instruments[1].samples[0];
    EXPECT_EQ(s.is_16bit, 1);
    EXPECT_EQ(s.length, 1000);
    EXPECT_EQ(s.loop_start, 10);
    EXPECT_EQ(s.loop_length, 500);
    EXPECT_EQ(s.loop_type, 1);
    EXPECT_EQ(s.data[0], 100);
    EXPECT_EQ(s.data[1], -200);
    EXPECT_EQ(s.data[2], 32767);
    EXPECT_EQ(s.data[3], -32768);
    EXPECT_EQ(s.data[999], 5);
    const MusicSample &n = module->instruments[1].samples[1];
    EXPECT_EQ(n.is_16bit, 0);
    EXPECT_EQ(n.length, 4);
    EXPECT_EQ(n.data[0], 0x7F00);
    EXPECT_EQ(n.data[1], -0x8000);
    EXPECT_EQ(n.data[2], 0x0100);
    EXPECT_EQ(n.data[3], -0x0100);
    EXPECT_EQ(n.finetune, -16);
    EXPECT_EQ(n.relative_note, -12);
    EXPECT_EQ(n.panning, 200);
    EXPECT_EQ(n.volume, 64);
    EXPECT_EQ(n.loop_type, 1);  // bits 0 and 1 both set: forward
}

// A loop type with a loop of no length would divide by zero when played; a loop past the data
// would read past it.
TEST(MusicLoadXm, LoopsAreKeptInsideTheData)
{
    MusicWriterSong song = xm_song();
    std::vector<MusicWriterSample> &samples = song.instruments[0].samples;
    samples[0].data = music_test_constant(16, 0);
    samples[0].loop_type = 1;
    samples[0].loop_length = 0;
    for (int i = 0; i < 3; i++) samples.push_back(samples[0]);
    samples[1].loop_type = 2;
    samples[2].loop_start = 10;
    samples[2].loop_length = 100;
    samples[3].loop_start = 20;
    samples[3].loop_length = 4;
    ModulePtr module = load(music_write_xm(song), true);
    ASSERT_TRUE(module);
    const MusicSample *s = module->instruments[1].samples;
    EXPECT_EQ(s[0].loop_type, 0);
    EXPECT_EQ(s[1].loop_type, 0);
    EXPECT_EQ(s[2].loop_type, 1);
    EXPECT_EQ(s[2].loop_start, 10);
    EXPECT_EQ(s[2].loop_length, 6);
    EXPECT_EQ(s[3].loop_type, 0);
    EXPECT_EQ(s[3].loop_start + s[3].loop_length, 16);
}

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

TEST(MusicLoadXm, OddHeaderValuesAreBroughtIntoRange)
{
    MusicWriterSong song = xm_song();
    song.orders.assign(300, 1);
    song.bpm = 0;
    ModulePtr module = load(music_write_xm(song), true);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->song_length, 256);
    EXPECT_EQ(module->default_bpm, 32);  // a BPM of 0 has no tick rate

    std::string bytes = music_write_xm(xm_song());
    bytes[336 + 5] = 0, bytes[336 + 6] = 0;  // pattern 0 of no rows
    module = load(bytes, true);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->patterns[0].row_count, 64u);
    EXPECT_EQ(module->patterns[0].columns[0][0].note, 49);
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
