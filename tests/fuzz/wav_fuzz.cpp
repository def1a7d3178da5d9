// Fuzz target of the WAV effect loader: the input is the file, read from memory through the same
// stream loader that sound_load_wav uses, on the headless audio back end.
#include "sound/sound.h"
#include "sound/sound_local.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("ZAVGOLF_HEADLESS", "1", 1);
    return sound_init_system(nullptr) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;  // fmemopen needs a byte; an empty file fails at the first read anyway
    FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    SoundEffect *effect = sound_load_wav_stream(file, "fuzz input");
    sound_release_buffer(effect);
    return 0;
}
