// Note periods: the octave table in 1/8 semitone steps and the finetune table of MOD periods.
#include "sound/music_local.h"

namespace {

const int32_t octave_periods[105] = {
    15356, 15245, 15136, 15027, 14919, 14811, 14705, 14599, 14494, 14390, 14286, 14183, 14081, 13980, 13879,
    13780, 13680, 13582, 13484, 13387, 13291, 13195, 13100, 13006, 12913, 12820, 12727, 12636, 12545, 12455,
    12365, 12276, 12188, 12100, 12013, 11927, 11841, 11756, 11671, 11587, 11504, 11421, 11339, 11257, 11176,
    11096, 11016, 10937, 10858, 10780, 10702, 10625, 10549, 10473, 10398, 10323, 10249, 10175, 10102, 10029,
    9957,  9885,  9814,  9743,  9673,  9604,  9535,  9466,  9398,  9330,  9263,  9197,  9130,  9065,  8999,
    8935,  8870,  8807,  8743,  8680,  8618,  8556,  8494,  8433,  8373,  8312,  8253,  8193,  8134,  8076,
    8018,  7960,  7903,  7846,  7789,  7733,  7678,  7622,  7568,  7513,  7459,  7405,  7352,  7299,  7247,
};

}  // namespace

const int32_t *const g_music_octave_periods = octave_periods + 8;
int32_t g_music_period_table[16][120];

int32_t music_compute_abs(int32_t value) { return value < 0 ? -value : value; }

int32_t music_compute_note_period(int32_t note, int32_t finetune)
{
    // Notes below 0 come from negative relative notes; they play as the lowest note.
    if (note < 0) note = 0;
    if (note > 119) note = 119;
    if (finetune < -128) finetune = -128;
    if (finetune > 127) finetune = 127;
    int32_t octave = note / 12;
    int32_t semitone = note - 12 * octave;
    int32_t step = finetune / 16;
    double frac = ((finetune + 128) % 16) / 16.0;
    int32_t i = 8 * semitone + step;
    int32_t a, b;
    if (octave >= 1) {
        a = (2 * g_music_octave_periods[i]) / (1 << (octave - 1));
        b = (2 * g_music_octave_periods[i + 1]) / (1 << (octave - 1));
    } else {
        a = 4 * g_music_octave_periods[i];
        b = 4 * g_music_octave_periods[i + 1];
    }
    return int32_t((1.0 - frac) * a + frac * b);
}

void music_build_period_table(void)
{
    for (int32_t row = 0; row < 16; row++) {
        int32_t finetune = 8 * row - 64;
        for (int32_t note = 0; note < 108; note++)
            g_music_period_table[row][note] = music_compute_note_period(note, finetune) / 4;
    }
}

double music_convert_period_to_frequency(int32_t period) { return period > 0 ? 28634112.0 / period : 0.0; }
