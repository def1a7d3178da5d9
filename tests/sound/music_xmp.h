// libxmp's calls for the comparison tests and the benchmark, looked up in the shared library at run
// time so that nothing of it is linked.
#pragma once

#include <dlfcn.h>
#include <xmp.h>

#include <type_traits>

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
