// Fuzz target of the JPEG 2000 reader (JP2 files and raw code streams); the input's size chooses the
// alpha mode.
#include "codecs/codecs.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ImageData image = {};
    if (jp2_load_memory(data, size, &image, (int)(size & 1))) {
        // Every byte of the picture must be there and written.
        volatile uint8_t sum = 0;
        for (size_t i = 0; i < (size_t)image.width * image.height * 4; i++) sum = sum + image.pixels[i];
        free(image.pixels);
    }
    return 0;
}
