// Fuzz target of the module loaders: the input is a module file (XM when it opens with
// "Extended M", MOD otherwise), read from memory by the same readers music_load_module uses; a
// module that loads is played for a few ticks.
#include "tests/sound/music_test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    music_test_fuzz_one(data, size, 8);
    return 0;
}
