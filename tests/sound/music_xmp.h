// libxmp's calls for the comparison tests and the benchmark, looked up in the shared library at run
// time so that nothing of it is linked.
#pragma once

#include <dlfcn.h>
#include <xmp.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

struct MusicXmp {
    void *library = nullptr;
    decltype(&::xmp_create_context) create_context;
    decltype(&::xmp_load_module_from_memory) load_module_from_memory;
    decltype(&::xmp_start_player) start_player;
    decltype(&::xmp_set_player) set_player;
    decltype(&::xmp_play_frame) play_frame;
    decltype(&::xmp_play_buffer) play_buffer;
    decltype(&::xmp_get_frame_info) get_frame_info;
    decltype(&::xmp_end_player) end_player;
    decltype(&::xmp_release_module) release_module;
    decltype(&::xmp_free_context) free_context;
};

// The calls, or null when libxmp.so.4 is not installed.
inline const MusicXmp *music_xmp()
{
    static MusicXmp x;
    static bool tried = false;
    if (!tried) {
        tried = true;
        x.library = dlopen("libxmp.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!x.library) return nullptr;
        bool ok = true;
        auto find = [&](auto &function, const char *name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(x.library, name));
            ok = ok && function;
        };
        find(x.create_context, "xmp_create_context");
        find(x.load_module_from_memory, "xmp_load_module_from_memory");
        find(x.start_player, "xmp_start_player");
        find(x.set_player, "xmp_set_player");
        find(x.play_frame, "xmp_play_frame");
        find(x.play_buffer, "xmp_play_buffer");
        find(x.get_frame_info, "xmp_get_frame_info");
        find(x.end_player, "xmp_end_player");
        find(x.release_module, "xmp_release_module");
        find(x.free_context, "xmp_free_context");
        if (!ok) x.library = nullptr;
    }
    return x.library ? &x : nullptr;
}

// Plays module bytes through libxmp at 44100 Hz, as the comparisons want it (linear interpolation,
// FastTracker 2 or ProTracker rules, no stereo separation): `each(info, sums)` for every tick, at
// most `ticks`, with each frame's left plus right. Nothing when libxmp cannot load the bytes.
template <typename Each>
void music_xmp_play(const MusicXmp *x, const std::string &bytes, bool xm, int ticks, Each each)
{
    xmp_context context = x->create_context();
    if (x->load_module_from_memory(context, bytes.data(), long(bytes.size())) == 0) {
        x->start_player(context, 44100, 0);
        x->set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
        x->set_player(context, XMP_PLAYER_MODE, xm ? XMP_MODE_FT2 : XMP_MODE_PROTRACKER);
        x->set_player(context, XMP_PLAYER_MIX, 0);
        for (int i = 0; i < ticks && x->play_frame(context) == 0; i++) {
            xmp_frame_info info;
            x->get_frame_info(context, &info);
            const int16_t *frames = static_cast<const int16_t *>(info.buffer);
            std::vector<int> sums;
            for (int f = 0; f < info.buffer_size / 4; f++) sums.push_back(frames[2 * f] + frames[2 * f + 1]);
            each(info, sums);
        }
        x->end_player(context);
        x->release_module(context);
    }
    x->free_context(context);
}
