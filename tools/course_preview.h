// A hole's preview picture, drawn in software (the headless device keeps no pixels): an oblique
// orthographic view from the south-west, 55 degrees down, of the GROUND tiles and the blocks,
// framed on the blocks with a narrow border. Each face takes its texture's mean colour, lit by
// the hole's ambient colour and its sun (Lambert, on the side the camera sees); z-buffered at
// 1024 x 1024, then box-filtered to 256 x 256.
#pragma once

#include <cstdint>
#include <vector>

struct SceneWorld;

constexpr int DATA_PREVIEW_SIZE = 256;

// Its RGBA bytes (opaque, rows top down), DATA_PREVIEW_SIZE squared; empty without any block.
// `palette` holds the textures (a hole carries none). Updates the hole objects' world transforms.
std::vector<uint8_t> data_course_preview(SceneWorld *hole, const SceneWorld *palette);
// The same as a PNG at `path` (path layer), whole or not at all. 1, or 0.
bool data_course_write_preview(SceneWorld *hole, const SceneWorld *palette, const char *path);
