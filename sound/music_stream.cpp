// The stream: the looping buffer on the sound device, the writer that fills what the play cursor
// has passed, the stream and mix threads, and starting, stopping, suspending and resuming them.
#include "sound/music_local.h"
#include "sound/sound.h"

#include <cstring>

// Whole playback (start to stop). The ring and its write cursor belong to the stream thread while
// the threads run; the main thread makes and releases them around the threads' lives.
std::atomic<int32_t> g_music_running{0};
IDirectSoundBuffer8 *g_music_stream_buffer;
int32_t g_music_write_cursor;
std::atomic<int32_t> g_music_block_ready{0};
std::atomic<int32_t> g_music_render_request{0};
std::atomic<int32_t> g_music_quit{0};
std::atomic<int32_t> g_music_threads_ended{0};
HANDLE g_music_stream_thread;
HANDLE g_music_mix_thread;

namespace {

// The size of the description record on the platform the game was written for.
const DWORD DESC_SIZE_32BIT = 36;
const DWORD STREAM_SLEEP_MS = 70;  // after a block written: the next is due 80 ms later
const DWORD IDLE_SLEEP_MS = 10;

int32_t g_threads_started;  // main thread only

bool quitting(void) { return g_music_quit.load(std::memory_order_acquire) != 0; }

DWORD play_cursor(void)
{
    DWORD play = 0;
    g_music_stream_buffer->GetCurrentPosition(&play, nullptr);
    return play;
}

// Bytes the play cursor has passed since the write cursor; equal cursors count as a free ring.
int32_t room_ahead(DWORD play)
{
    int32_t p = int32_t(play), w = g_music_write_cursor;
    return w < p ? p - w : p - w + MUSIC_RING_BYTES;
}

HANDLE start_thread(LPTHREAD_START_ROUTINE body)
{
    HANDLE thread = CreateThread(nullptr, 0, body, nullptr, 0, nullptr);
    if (!thread) {
        fprintf(stderr, "music: cannot start a player thread\n");
        return nullptr;
    }
    g_threads_started++;
    SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
    return thread;
}

void end_thread(HANDLE &thread)
{
    if (!thread) return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
}

void free_modules(void)
{
    if (g_music_module_loaded == 1) {
        int32_t count = g_music_module_count;
        for (int32_t i = 0; i < count && i < MUSIC_MAX_MODULES; i++) {
            music_free_module(g_music_modules[i]);
            g_music_modules[i] = nullptr;
        }
    }
    g_music_current_module = nullptr;
}

}  // namespace

// ---- the ring -----------------------------------------------------------------------------------

int32_t music_create_stream_buffer(int32_t frames)
{
    g_music_stream_buffer = nullptr;
    if (!g_sound_device || frames <= 0 || frames > MUSIC_RING_FRAMES) return 0;
    WAVEFORMATEX format;
    memset(&format, 0, sizeof format);
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.nAvgBytesPerSec = 176400;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    DSBUFFERDESC desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = DESC_SIZE_32BIT;
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_STATIC;
    desc.dwBufferBytes = DWORD(frames) * 4;
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer *ring = nullptr;
    if (FAILED(g_sound_device->CreateSoundBuffer(&desc, &ring, nullptr)) || !ring) return 0;

    void *region1 = nullptr, *region2 = nullptr;
    DWORD bytes1 = 0, bytes2 = 0;
    if (SUCCEEDED(ring->Lock(0, 0, &region1, &bytes1, &region2, &bytes2, DSBLOCK_ENTIREBUFFER))) {
        memset(region1, 0, bytes1);
        ring->Unlock(region1, bytes1, region2, bytes2);
    }
    g_music_stream_buffer = ring;
    g_music_write_cursor = 0;
    return 1;
}

void music_copy_bytes(void *destination, const void *source, int32_t bytes)
{
    if (bytes > 0) memcpy(destination, source, size_t(bytes));
}

void music_write_stream(const void *data, int32_t bytes)
{
    IDirectSoundBuffer8 *ring = g_music_stream_buffer;
    if (!ring || !data || bytes <= 0 || bytes > MUSIC_RING_BYTES) return;
    int32_t wanted = bytes <= MUSIC_RING_BYTES / 4 ? 4 * bytes : MUSIC_RING_BYTES;
    while (room_ahead(play_cursor()) < wanted) {
        if (quitting()) return;
        Sleep(1);
    }

    void *region1 = nullptr, *region2 = nullptr;
    DWORD bytes1 = 0, bytes2 = 0;
    DWORD at = DWORD(g_music_write_cursor);
    HRESULT result = ring->Lock(at, DWORD(bytes), &region1, &bytes1, &region2, &bytes2, 0);
    if (result == DSERR_BUFFERLOST) {
        ring->Restore();
        result = ring->Lock(at, DWORD(bytes), &region1, &bytes1, &region2, &bytes2, 0);
    }
    if (SUCCEEDED(result)) {
        int32_t first = int32_t(bytes1) < bytes ? int32_t(bytes1) : bytes;
        music_copy_bytes(region1, data, first);
        if (region2) {
            int32_t rest = int32_t(bytes2) < bytes - first ? int32_t(bytes2) : bytes - first;
            music_copy_bytes(region2, static_cast<const uint8_t *>(data) + first, rest);
        }
        ring->Unlock(region1, bytes1, region2, bytes2);
    }
    // A block that could not be written is skipped: the music goes on after it.
    g_music_write_cursor = (g_music_write_cursor + bytes) % MUSIC_RING_BYTES;
}

// ---- the threads --------------------------------------------------------------------------------

DWORD music_run_stream_thread(void *)
{
    g_music_buffered_frames = 0;
    if (g_music_running.load(std::memory_order_acquire) == 1) music_render(MUSIC_BLOCK_FRAMES);
    g_music_stream_buffer->Play(0, 0, DSBPLAY_LOOPING);
    g_music_write_cursor = 0;
    // Half the ring of silence first: the first block then goes where the cursor has been. A yield,
    // not a sleep, so that suspension still reaches this thread.
    while (!quitting() && play_cursor() < DWORD(MUSIC_RING_BYTES / 2)) Sleep(0);
    g_music_block_ready.store(1, std::memory_order_release);

    while (!quitting()) {
        if (g_music_running.load(std::memory_order_acquire) != 1) {
            Sleep(IDLE_SLEEP_MS);
            continue;
        }
        while (!quitting() && g_music_block_ready.load(std::memory_order_acquire) != 1) Sleep(1);
        if (quitting()) break;
        music_write_stream(g_music_output_block, MUSIC_BLOCK_BYTES);
        g_music_block_ready.store(0, std::memory_order_relaxed);
        g_music_render_request.store(1, std::memory_order_release);
        Sleep(STREAM_SLEEP_MS);
    }
    g_music_threads_ended.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

DWORD music_run_mix_thread(void *)
{
    while (!quitting()) {
        if (g_music_render_request.load(std::memory_order_acquire) == 1) {
            music_render(MUSIC_BLOCK_FRAMES);
            g_music_render_request.store(0, std::memory_order_relaxed);
            g_music_block_ready.store(1, std::memory_order_release);
        }
        Sleep(1);
    }
    g_music_threads_ended.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

// ---- start and stop -----------------------------------------------------------------------------

void music_start_playback(void)
{
    if (g_music_running.load(std::memory_order_acquire) == 1) return;
    if (!g_sound_device) {
        fprintf(stderr, "music: no sound device, no music\n");
        return;
    }
    g_music_buffered_frames = 0;
    music_build_period_table();
    music_build_clip_table();
    if (!g_music_clip_table || !music_create_stream_buffer(MUSIC_RING_FRAMES)) {
        fprintf(stderr, "music: cannot make the stream buffer, no music\n");
        music_free_clip_table();
        return;
    }
    memset(g_music_output_block, 0, sizeof g_music_output_block);
    memset(g_music_channel_buffers, 0, sizeof g_music_channel_buffers);
    music_begin_module();
    g_music_next_module.store(-1, std::memory_order_relaxed);
    // Flags left by an earlier run would let the mix thread render while the stream thread does.
    g_music_block_ready.store(0, std::memory_order_relaxed);
    g_music_render_request.store(0, std::memory_order_relaxed);
    g_music_quit.store(0, std::memory_order_relaxed);
    g_music_threads_ended.store(0, std::memory_order_relaxed);
    g_music_running.store(1, std::memory_order_release);

    g_threads_started = 0;
    g_music_stream_thread = start_thread(music_run_stream_thread);
    g_music_mix_thread = start_thread(music_run_mix_thread);
}

void music_stop_playback(void)
{
    if (g_music_running.load(std::memory_order_acquire) != 1) return;
    // A suspended thread would never see the quit flag.
    music_resume_threads();
    g_music_quit.store(1, std::memory_order_release);
    while (g_music_threads_ended.load(std::memory_order_acquire) < g_threads_started) Sleep(1);
    end_thread(g_music_stream_thread);
    end_thread(g_music_mix_thread);
    g_music_quit.store(0, std::memory_order_relaxed);

    free_modules();
    music_free_clip_table();
    g_music_stream_buffer->Release();
    g_music_stream_buffer = nullptr;
    g_music_running.store(0, std::memory_order_release);
}

void music_suspend_threads(void)
{
    SuspendThread(g_music_stream_thread);
    SuspendThread(g_music_mix_thread);
}

void music_resume_threads(void)
{
    ResumeThread(g_music_stream_thread);
    ResumeThread(g_music_mix_thread);
    SetThreadPriority(g_music_stream_thread, THREAD_PRIORITY_HIGHEST);
    SetThreadPriority(g_music_mix_thread, THREAD_PRIORITY_HIGHEST);
}
