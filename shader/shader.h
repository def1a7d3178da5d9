// The shader-script compiler: what other subsystems may use. The compile entry and the release of
// a compiled script join this header with the parts that build them; the string utilities that
// the configuration, script, scene, game and course code share are in shader/shader_text.h.
#pragma once

#include "shader/shader_text.h"

// The state of compiling one script for one render object (kept in the render object).
struct ShaderCompiler;
