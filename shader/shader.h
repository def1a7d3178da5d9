// The shader-script compiler: what other subsystems may use. The string utilities that the
// configuration, script, scene, game and course code share are in shader/shader_text.h.
#pragma once

#include "shader/shader_text.h"

#include <cstdint>

// The state of compiling one script for one render object (kept in the render object).
struct ShaderCompiler;
struct ID3DXEffect;
struct IDirect3DDevice9;

// Render-object flag: the object carries an effect compiled from a shader script.
const uint32_t SHADER_OBJECT_EFFECT_READY = 0x4000;

// What the device offers, as the renderer's capability flags say it when the device is made.
struct ShaderDeviceCaps {
    uint8_t multitexture;  // more than one texture stage at once
    uint8_t dot3;          // the dot-product-3 texture operation
    uint8_t ps14;          // pixel shader 1.4 or later
    uint8_t ps20;          // pixel shader 2.0 or later
};

// The render-object fields the compile entry reads and writes, by address; the renderer fills one
// from its RenderObject (flags word, compiler pointer, effect pointer, device) and its caps.
struct ShaderObjectFields {
    uint32_t *flags;
    ShaderCompiler **compiler;
    ID3DXEffect **effect;
    IDirect3DDevice9 *device;
    ShaderDeviceCaps caps;
    void (*log_line)(const char *line);  // receives every message as well when not null
};

// Compiles a shader script into the object's effect (technique "T0" set) and marks the object
// ready. Null on success, else a malloc'd message for the caller to free, naming the 0-based
// script line. An object that already has its effect only gets its ready flag again; one whose
// last compile failed is compiled afresh.
char *shader_compile_object(const ShaderObjectFields *object, const char *script);
// What the object's release gives back of a compiled script: the effect, then the compiler with
// everything it owns (also after a failed compile); the ready flag is cleared.
void shader_release_object(const ShaderObjectFields *object);
// Frees everything a compiler owns; the record itself stays for the caller to delete.
void shader_release_compiler(ShaderCompiler *c);
