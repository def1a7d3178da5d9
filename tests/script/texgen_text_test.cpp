// Text layers of the texture scripts: many growing passes of a mask at once.
#include "tests/script/texgen_test_util.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

class TexgenTextTest : public TexgenTest {
protected:
    TexgenScript *script = nullptr;

    void TearDown() override
    {
        texgen_script_free(script);
        TexgenTest::TearDown();
    }

    // A script with one font "F" of the face and the block's extra lines.
    const TexgenFont &font(const std::string &lines, const char *face = "DejaVuSans.ttf")
    {
        texgen_script_free(script);
        std::filesystem::copy_file(TEXGEN_TEST_FONT_FOLDER + "/" + face, temp / face,
                                   std::filesystem::copy_options::skip_existing);
        script = read(
            texgen_test_u16("FONTES {\r\nF\r\n{\r\nFICHIER=\"" + std::string(face) + "\"\r\n" + lines + "}\r\n}\r\n"));
        EXPECT_EQ(script->font_count, 1);
        return script->fonts[0];
    }

    // The sum of FreeType's own rendering of each glyph of the text.
    static int64_t glyph_coverage(const TexgenFont &font, const char16_t *text)
    {
        int64_t sum = 0;
        for (; *text; text++) {
            FT_Load_Glyph(font.face, FT_Get_Char_Index(font.face, *text), FT_LOAD_IGNORE_TRANSFORM);
            FT_Render_Glyph(font.face->glyph, FT_RENDER_MODE_NORMAL);
            const FT_Bitmap &b = font.face->glyph->bitmap;
            for (unsigned r = 0; r < b.rows; r++)
                for (unsigned c = 0; c < b.width; c++) sum += b.buffer[r * b.pitch + c];
        }
        return sum;
    }
};

TEST(TexgenMaskTest, ManyGrowingPassesAtOnce)
{
    // The halo's passes taken at once give what as many single passes give, on masks with seeds
    // inside, on the border and in the corners, for every count up to past settling and for a count
    // whose single passes would take hours.
    std::mt19937 random(7);
    for (int round = 0; round < 60; round++) {
        int w = 1 + (int)(random() % 11), h = 1 + (int)(random() % 9);
        std::vector<uint8_t> start((size_t)w * h);
        int seeds = (int)(random() % 4);
        for (int s = 0; s < seeds; s++) start[random() % (w * h)] = (random() % 2) ? 255 : (uint8_t)(1 + random() % 200);
        uint8_t *step = (uint8_t *)malloc(start.size());
        memcpy(step, start.data(), start.size());
        for (int passes = 0; passes <= w + h + 4; passes++) {
            if (passes > 0) step = texgen_mask_grow(step, w, h);
            uint8_t *once = (uint8_t *)malloc(start.size());
            memcpy(once, start.data(), start.size());
            once = texgen_mask_grow_times(once, w, h, passes);
            ASSERT_EQ(std::vector<uint8_t>(once, once + start.size()), std::vector<uint8_t>(step, step + start.size()))
                << w << "x" << h << " round " << round << " passes " << passes;
            free(once);
        }
        // Settled: the last two counts repeat with a period of two.
        uint8_t *many = (uint8_t *)malloc(start.size());
        memcpy(many, start.data(), start.size());
        many = texgen_mask_grow_times(many, w, h, 1000000 + (w + h + 4) % 2);
        EXPECT_EQ(std::vector<uint8_t>(many, many + start.size()), std::vector<uint8_t>(step, step + start.size()))
            << w << "x" << h << " round " << round;
        free(many);
        free(step);
    }
}

}  // namespace
