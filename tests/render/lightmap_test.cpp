// The lightmap atlas: blocks never overlap, uploads land on their texels, limits and release.
#include "tests/render/render_test_util.h"

#include "platform/system.h"
#include "tests/test_util.h"

#include <array>
#include <random>
#include <vector>

namespace {

class RenderAtlasTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(false);
        *render_var_ref(context, "W") = 1;  // 32-bit pages: texels read back exactly
    }

    void TearDown() override
    {
        g_lightmap_tile_size = 16;
        RenderTest::TearDown();
    }

    const LightmapBlock &block(int32_t id) { return list_get_atlas_page(&context->atlas_blocks, id)->value; }

    // Every pair of blocks on one page is disjoint, and each lies inside its page.
    void expect_disjoint()
    {
        std::vector<std::array<int32_t, 5>> rects;
        for (ListNode<LightmapBlock> *n = context->atlas_blocks.first; n; n = n->next) {
            int32_t r[4];
            lightmap_block_rect(context, &n->value, r);
            EXPECT_GE(r[0], 0);
            EXPECT_LE(r[0] + r[2], 128);
            EXPECT_LE(r[1] + r[3], 128);
            rects.push_back({n->value.page, r[0], r[1], r[2], r[3]});
        }
        for (size_t i = 0; i < rects.size(); i++) {
            for (size_t j = i + 1; j < rects.size(); j++) {
                const auto &a = rects[i], &b = rects[j];
                bool apart = a[0] != b[0] || a[1] + a[3] <= b[1] || b[1] + b[3] <= a[1] || a[2] + a[4] <= b[2] ||
                             b[2] + b[4] <= a[2];
                EXPECT_TRUE(apart) << "blocks " << i << " and " << j;
            }
        }
    }

    uint32_t page_texel(int32_t page, int x, int y)
    {
        IDirect3DTexture9 *texture = context->lightmap_textures.slots[page]->texture;
        D3DLOCKED_RECT locked;
        if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return 0xDEADBEEF;
        uint32_t bits;
        memcpy(&bits, static_cast<uint8_t *>(locked.pBits) + y * locked.Pitch + x * 4, 4);
        texture->UnlockRect(0);
        return bits;
    }
};

TEST_F(RenderAtlasTest, MixedSizesNeverOverlapForBothPoliciesAndTileSizes)
{
    std::mt19937 random(7);
    for (int32_t tile : {16, 32}) {
        for (int32_t groups : {1, 3}) {
            for (bool extended : {false, true}) {
                g_lightmap_tile_size = tile;
                *render_var_ref(context, "B") = groups;
                if (extended)
                    lightmap_atlas_reset_ex(context, 0, 0, 0, 0, 0, 0, 0, 0, 0);
                else
                    lightmap_atlas_reset(context, 0, 0, 0);
                const int32_t sizes[3] = {1, 2, 4};
                for (int i = 0; i < 300; i++) {
                    int32_t size = sizes[random() % 3];
                    int32_t id = size == 4 ? lightmap_atlas_alloc_block(context)
                                           : lightmap_atlas_alloc_cells(context, size);
                    EXPECT_EQ(block(id).width_cells, size);
                    EXPECT_GE(block(id).page, extended ? 8 : 1);
                }
                expect_disjoint();
                lightmap_atlas_free(context);
            }
        }
    }
}

// Each block goes to the first free place from the top of its page, as a search of the page's
// cells before it finds; after the atlas is freed and made again (new maps, maybe at the old
// addresses), the search starts from the top again.
TEST_F(RenderAtlasTest, FirstFitFromTheTopOfEachPage)
{
    std::mt19937 random(11);
    const int32_t cells = 512 / 16;
    for (int32_t groups : {1, 3}) {
        *render_var_ref(context, "B") = groups;
        for (int round = 0; round < 2; round++) {
            SCOPED_TRACE(testing::Message() << groups << " groups, round " << round);
            lightmap_atlas_reset(context, 0, 0, 0);
            for (int i = 0; i < 1500; i++) {
                std::vector<std::vector<uint8_t>> before(kTextureSlots);
                for (int32_t page = 0; page < kTextureSlots; page++)
                    if (context->occupancy[page])
                        before[page].assign(context->occupancy[page], context->occupancy[page] + cells * cells);
                const int32_t size = 1 << (random() % 3);
                const int32_t id = size == 4 ? lightmap_atlas_alloc_block(context) : lightmap_atlas_alloc_cells(context, size);
                ASSERT_GT(id, 0);
                const LightmapBlock &b = block(id);
                std::vector<uint8_t> &map = before[b.page];
                if (map.empty()) map.assign(size_t(cells * cells), 0);
                const int32_t expected = lightmap_atlas_find_free_cells(map.data(), cells, size, size);
                ASSERT_EQ(b.tile_row * 4 + b.cell_row, expected >> 16) << i;
                ASSERT_EQ(b.tile_column * 4 + b.cell_column, expected & 0xFFFF) << i;
            }
            EXPECT_GT(context->atlas_blocks.count, 1500);
            lightmap_atlas_free(context);
        }
    }
}

TEST_F(RenderAtlasTest, UploadsLandOnTheBlocksTexelsWithOrWithoutCopies)
{
    lightmap_atlas_reset(context, 0, 0, 0);
    int32_t id = lightmap_atlas_alloc_cells(context, 2);  // 8 x 8 texels at (16, 0)
    int32_t rect[4];
    lightmap_block_rect(context, &block(id), rect);
    ASSERT_EQ(rect[0], 16);
    std::vector<uint8_t> rgba(8 * 8 * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = uint8_t(i / 4);
        rgba[i + 1] = 0x20;
        rgba[i + 2] = 0x30;
        rgba[i + 3] = 0x99;
    }
    lightmap_atlas_upload_block(id, context, rgba.data());
    EXPECT_EQ(page_texel(1, 16, 0), 0x00002030u);
    EXPECT_EQ(page_texel(1, 23, 7), 0x003F2030u);
    EXPECT_EQ(page_texel(1, 24, 0), 0u);
    ASSERT_NE(block(id).pixel_copy, nullptr);
    EXPECT_EQ(memcmp(block(id).pixel_copy, rgba.data(), rgba.size()), 0);
    EXPECT_EQ(context->lightmap_textures.slots[1]->dirty.count, 1);

    // RGB uploads keep the fourth bytes of the copy as they were: zero.
    int32_t other = lightmap_atlas_alloc_cells(context, 1);
    const uint8_t rgb[4 * 4 * 3] = {1, 2, 3};
    lightmap_atlas_upload_block_rgb(other, context, rgb);
    ASSERT_NE(block(other).pixel_copy, nullptr);
    EXPECT_EQ(block(other).pixel_copy[0], 1);
    EXPECT_EQ(block(other).pixel_copy[3], 0);
    lightmap_atlas_free_page_pixels(context);
    EXPECT_EQ(block(other).pixel_copy, nullptr);
    *render_var_ref(context, "V") = 0;
    lightmap_atlas_upload_block_rgb(other, context, rgb);
    EXPECT_EQ(block(other).pixel_copy, nullptr);
    EXPECT_EQ(page_texel(1, 24, 0), 0x00010203u);
}

TEST_F(RenderAtlasTest, LimitsAndRelease)
{
    // Group counts beyond the table are clamped, none below one.
    *render_var_ref(context, "B") = 99;
    lightmap_atlas_reset(context, 0, 0, 0);
    EXPECT_NE(context->occupancy[16], nullptr);
    EXPECT_EQ(context->occupancy[17], nullptr);
    lightmap_atlas_free(context);
    *render_var_ref(context, "B") = 0;
    lightmap_atlas_reset(context, 0, 0, 0);
    EXPECT_EQ(context->current_group, 0);

    // No page after the last slot: block 0 is handed out, and the log says why.
    TempDir dir;
    TestPathRestore restore;
    sys_path_reset(dir.path.c_str(), (dir / "c").c_str());
    context->group_pages[0] = 2047;
    for (int i = 0; i < 64; i++) EXPECT_EQ(block(lightmap_atlas_alloc_block(context)).page, 2047);
    int32_t count = context->atlas_blocks.count;
    EXPECT_EQ(lightmap_atlas_alloc_block(context), 0);
    EXPECT_EQ(context->atlas_blocks.count, count);
    EXPECT_NE(test_read_file(dir / "rar3a_log.txt").find("no page left"), std::string::npos);

    // An upload to a page without texture record only writes the copy.
    lightmap_atlas_free(context);
    EXPECT_EQ(context->lightmap_textures.records.count, 0);
    LightmapBlock orphan = {};
    orphan.page = 5;
    orphan.width_cells = orphan.height_cells = 1;
    list_add_atlas_page(&context->atlas_blocks, orphan);
    const uint8_t rgba[16 * 4] = {};
    lightmap_atlas_upload_block(0, context, rgba);
    lightmap_atlas_upload_block(7, context, rgba);  // an id past the list reads block 0
    EXPECT_NE(block(0).pixel_copy, nullptr);
    lightmap_atlas_free(context);
    lightmap_atlas_upload_block(0, context, rgba);  // no blocks at all

    // Blocks read back from a scene file may hold anything: one outside its page has no texels.
    lightmap_atlas_reset(context, 0, 0, 0);
    const int32_t bad[][4] = {{1 << 29, 0, 0, 1}, {0, -3, 0, 1}, {0, 0, 2, 1 << 28}, {8, 0, 0, 4}, {0, 0, 0, -4}};
    for (const int32_t *b : bad) {
        LightmapBlock wild = {};
        wild.page = 1;
        wild.tile_column = b[0];
        wild.tile_row = b[1];
        wild.cell_column = b[2];
        wild.width_cells = wild.height_cells = b[3];
        list_add_atlas_page(&context->atlas_blocks, wild);
        int32_t rect[4];
        lightmap_block_rect(context, &block(context->atlas_blocks.count - 1), rect);
        EXPECT_EQ(rect[2] * rect[3], 0) << b[0] << " " << b[1] << " " << b[2] << " " << b[3];
        lightmap_atlas_upload_block(context->atlas_blocks.count - 1, context, rgba);
        lightmap_atlas_upload_block_rgb(context->atlas_blocks.count - 1, context, rgba);
        EXPECT_EQ(block(context->atlas_blocks.count - 1).pixel_copy, nullptr);
    }
}

}  // namespace
