// Fuzz target of the Ogg Vorbis effect decoder: the input is the file, read from memory through the
// same stream decoder that sound_load_effect uses, then down-mixed and resampled into an effect as the loader does.
// libogg and libvorbis have no coverage instrumentation, so the target repairs each page's CRC
// first: mutations then reach the decoder instead of stopping at the page check.
#include "sound/sound.h"
#include "sound/sound_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t ogg_crc(const uint8_t *data, size_t size)
{
    uint32_t crc = 0;
    for (size_t i = 0; i < size; i++) {
        crc ^= uint32_t(data[i]) << 24;
        for (int bit = 0; bit < 8; bit++) crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

void repair_page_crcs(uint8_t *data, size_t size)
{
    size_t at = 0;
    while (at + 27 <= size && memcmp(data + at, "OggS", 4) == 0) {
        size_t segments = data[at + 26];
        if (at + 27 + segments > size) return;
        size_t length = 27 + segments;
        for (size_t i = 0; i < segments; i++) length += data[at + 27 + i];
        if (at + length > size) return;
        memset(data + at + 22, 0, 4);
        uint32_t crc = ogg_crc(data + at, length);
        for (int i = 0; i < 4; i++) data[at + 22 + size_t(i)] = uint8_t(crc >> (8 * i));
        at += length;
    }
}

}  // namespace

// libvorbisfile 1.3.7 loses its 8-byte list of stream serial numbers when opening a damaged stream
// fails inside the library; the leak is not ours to mend.
extern "C" const char *__lsan_default_suppressions() { return "leak:libvorbisfile.so\n"; }

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("ZAVGOLF_HEADLESS", "1", 1);
    return sound_init_system(nullptr) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;  // fmemopen needs a byte; an empty file is not Ogg
    uint8_t *copy = static_cast<uint8_t *>(malloc(size));
    memcpy(copy, data, size);
    repair_page_crcs(copy, size);
    FILE *file = fmemopen(copy, size, "rb");
    int8_t *decoded = sound_decode_ogg_stream(file);
    // Every byte of the promised size must be there for the down-mix.
    if (decoded) sound_release_buffer(sound_effect_from_ogg(decoded));
    free(copy);
    return 0;
}
