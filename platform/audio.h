// The DirectSound 8 stand-in: device enumeration and creation, static and looping buffers of 16-bit
// PCM at 44100 Hz with their play cursors, and one mixer that sums every playing buffer into 16-bit
// stereo at 44100 Hz. Two back ends share it: SDL2 audio, and a headless one (ZAVGOLF_HEADLESS) whose
// clock a test advances and whose output it reads.
//
// Buffers behave as the game relies on: Play starts from the current position; a one-shot that
// reaches its end stops and rewinds to 0; Stop keeps the position; Lock gives two regions when the
// range wraps; the play cursor advances in real time while the buffer plays. Every call may be made
// from any thread. No audio device is not an error: enumeration then offers only the primary entry.
#pragma once

#include "platform/system.h"

#include <cstdint>

typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint16_t WORD;
typedef uint8_t BYTE;

#ifndef GUID_DEFINED
#define GUID_DEFINED
struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
#endif

#define SUCCEEDED(hr) ((HRESULT)(hr) >= 0)
#define FAILED(hr) ((HRESULT)(hr) < 0)

#define DS_OK HRESULT(0)
#define DSERR_GENERIC HRESULT(0x80004005u)
#define DSERR_NOINTERFACE HRESULT(0x80004002u)
#define DSERR_INVALIDPARAM HRESULT(0x80070057u)
#define DSERR_OUTOFMEMORY HRESULT(0x8007000Eu)
#define DSERR_NOAGGREGATION HRESULT(0x80040110u)
#define DSERR_CONTROLUNAVAIL HRESULT(0x8878001Eu)
#define DSERR_INVALIDCALL HRESULT(0x88780032u)
#define DSERR_BADFORMAT HRESULT(0x88780064u)
#define DSERR_NODRIVER HRESULT(0x88780078u)
#define DSERR_BUFFERLOST HRESULT(0x88780096u)

// Cooperative levels.
#define DSSCL_NORMAL 1
#define DSSCL_PRIORITY 2
#define DSSCL_EXCLUSIVE 3
#define DSSCL_WRITEPRIMARY 4

// Buffer description flags; only 44100 Hz 16-bit PCM of one or two channels is accepted.
#define DSBCAPS_STATIC 0x00000002u
#define DSBCAPS_CTRLFREQUENCY 0x00000020u
#define DSBCAPS_CTRLPAN 0x00000040u
#define DSBCAPS_CTRLVOLUME 0x00000080u
#define DSBCAPS_GETCURRENTPOSITION2 0x00010000u

#define DSBPLAY_LOOPING 0x00000001u
#define DSBLOCK_ENTIREBUFFER 0x00000002u

#define DSBSTATUS_PLAYING 0x00000001u
#define DSBSTATUS_BUFFERLOST 0x00000002u
#define DSBSTATUS_LOOPING 0x00000004u

// Volume in hundredths of a decibel: gain 10^(volume / 2000), DSBVOLUME_MIN being silence.
#define DSBVOLUME_MIN (-10000)
#define DSBVOLUME_MAX 0

#define DSBSIZE_MIN 4u
#define DSBSIZE_MAX 0x0FFFFFFFu

#define WAVE_FORMAT_PCM 1

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};

// dwSize is 36 (the record's size on 32-bit Windows) or sizeof(DSBUFFERDESC); both are accepted.
struct DSBUFFERDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwBufferBytes;
    DWORD dwReserved;
    WAVEFORMATEX *lpwfxFormat;
    GUID guid3DAlgorithm;
};

// A sound buffer. QueryInterface for IID_IDirectSoundBuffer8 gives the same object with one more
// reference; the memory goes with the last Release.
struct IDirectSoundBuffer8 {
    HRESULT QueryInterface(const GUID &iid, void **out);
    ULONG AddRef();
    ULONG Release();
    // Region 1 runs from `offset` to at most the end; region 2 from 0 holds the rest when the range
    // wraps (else null and 0). DSBLOCK_ENTIREBUFFER ignores `bytes` and gives the whole buffer.
    HRESULT Lock(DWORD offset, DWORD bytes, void **region1, DWORD *bytes1, void **region2, DWORD *bytes2,
                 DWORD flags);
    HRESULT Unlock(void *region1, DWORD bytes1, void *region2, DWORD bytes2);
    // Plays from the current position; on a playing buffer it goes on and takes the new flags.
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags);
    // Stops and keeps the position.
    HRESULT Stop();
    HRESULT SetVolume(LONG volume);
    HRESULT GetVolume(LONG *volume);
    // The play cursor is the byte offset of the next frame to be mixed; the write cursor equals it.
    HRESULT GetCurrentPosition(DWORD *play_cursor, DWORD *write_cursor);
    HRESULT GetStatus(DWORD *status);
    // Clears the lost state. A lost buffer goes on playing, but Lock and Play fail until then.
    HRESULT Restore();

protected:
    IDirectSoundBuffer8() = default;
};
typedef IDirectSoundBuffer8 IDirectSoundBuffer;

// The device. It lives until its own reference and those its buffers hold are all released.
struct IDirectSound8 {
    ULONG AddRef();
    ULONG Release();
    // New buffers start stopped at position 0, volume 0. The headless back end fills them with a
    // pattern (0x5A bytes), so that a caller who forgets to clear one hears it in tests.
    HRESULT CreateSoundBuffer(const DSBUFFERDESC *desc, IDirectSoundBuffer **buffer, void *outer);
    HRESULT SetCooperativeLevel(HWND window, DWORD level);

protected:
    IDirectSound8() = default;
};

extern const GUID IID_IDirectSoundBuffer8;

typedef BOOL (*LPDSENUMCALLBACKA)(GUID *device, const char *description, const char *module, void *context);

// Calls back for the primary driver (null id) first, then once per output device, while the
// callback returns TRUE.
HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, void *context);
// Only the default device (null id) can be opened; DSERR_NODRIVER when there is none.
HRESULT DirectSoundCreate8(const GUID *device, IDirectSound8 **out, void *outer);

// ---- controls for tests and tools ---------------------------------------------------------------

// Headless back end: output devices that enumeration offers after the primary entry (1 at start;
// 0 makes sound start-up fail as on a machine without audio).
void audio_headless_set_device_count(int count);

#define AUDIO_FAIL_CREATE 1       // DirectSoundCreate8 gives DSERR_NODRIVER
#define AUDIO_FAIL_COOPERATIVE 2  // SetCooperativeLevel gives DSERR_GENERIC
#define AUDIO_FAIL_BUFFER 4       // CreateSoundBuffer gives DSERR_OUTOFMEMORY
// Headless back end: the calls that fail from now on (an OR of AUDIO_FAIL_*, 0 for none).
void audio_headless_set_failures(int flags);

// Headless back end: mixes `frames` stereo frames now, advancing every playing buffer. Returns the
// frames mixed (0 when `device` is not headless).
int audio_headless_advance(IDirectSound8 *device, int frames);
// Headless back end: 1 makes the device's clock follow the wall clock (for threaded tests), 0
// leaves it to audio_headless_advance (the default).
void audio_headless_set_paced(IDirectSound8 *device, int paced);

// Any back end: keeps the mixer's output from now on in a queue of up to `frames` stereo frames;
// output beyond that is dropped. Returns 1, or 0 on failure.
int audio_capture_start(IDirectSound8 *device, int frames);
// Moves up to `max_frames` of the oldest captured frames into `out` (left, right interleaved);
// returns the frames moved.
int audio_capture_read(IDirectSound8 *device, int16_t *out, int max_frames);
void audio_capture_stop(IDirectSound8 *device);

// Any back end: puts a buffer into the lost state, as when another program takes the device.
void audio_buffer_set_lost(IDirectSoundBuffer8 *buffer);
// Buffers alive in the process, on every device.
int audio_live_buffer_count(void);
