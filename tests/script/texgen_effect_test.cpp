// Picture effects of the texture scripts: ONDE, ONDEOMBREE and EMBOSS against the formulas.
#include "tests/script/texgen_test_util.h"

#include <cmath>

namespace {

class TexgenEffectTest : public TexgenTest {
protected:
    void SetUp() override
    {
        TexgenTest::SetUp();
        texgen_set_output_size(160, 128);
    }
};

}  // namespace
