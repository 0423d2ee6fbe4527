// Chromola's audio library: the BASS_* C API that the player calls.
//
// The player resolves every function by name at run time, so the names and
// signatures below are the contract; this header gives clients the types and
// constants. Every function is callable from any thread. A failing call
// returns 0 (FALSE or a handle of 0), (QWORD)-1 for lengths and positions,
// (DWORD)-1 for BASS_ChannelGetData or a negative number of seconds, and sets
// the calling thread's error code (BASS_ErrorGetCode); a successful call sets
// it to BASS_OK.
#ifndef CHROMOLA_LIBBASS_BASS_H
#define CHROMOLA_LIBBASS_BASS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
typedef DWORD HSTREAM;
typedef DWORD HMUSIC;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define BASSVERSION 0x204
#define BASS_VERSION_NUMBER 0x02040000u

// Error codes returned by BASS_ErrorGetCode.
#define BASS_OK 0
#define BASS_ERROR_MEM 1        // out of memory
#define BASS_ERROR_FILEOPEN 2   // the file could not be opened (missing, unreadable, a folder)
#define BASS_ERROR_DRIVER 3     // the output device failed while starting
#define BASS_ERROR_HANDLE 5     // not a channel of the kind asked for
#define BASS_ERROR_FORMAT 6     // unsupported sample format
#define BASS_ERROR_POSITION 7   // position beyond the channel's end
#define BASS_ERROR_INIT 8       // BASS_Init has not been called
#define BASS_ERROR_START 9      // output could not start
#define BASS_ERROR_ALREADY 14   // already initialised
#define BASS_ERROR_NOCHAN 18    // no free channel slot
#define BASS_ERROR_ILLTYPE 19   // unknown option or mode
#define BASS_ERROR_ILLPARAM 20  // a parameter is out of range
#define BASS_ERROR_DEVICE 23    // no such output device
#define BASS_ERROR_NOTAVAIL 37  // the requested data or feature is not available
#define BASS_ERROR_DECODE 38    // not available on a decoding channel
#define BASS_ERROR_FILEFORM 41  // the file's content is not a format this call plays
#define BASS_ERROR_ENDED 45     // a decoding channel has been read to its end
#define BASS_ERROR_UNKNOWN -1

// Channel creation flags.
#define BASS_SAMPLE_MONO 2
#define BASS_SAMPLE_LOOP 4
#define BASS_SAMPLE_SOFTWARE 16
#define BASS_MUSIC_RAMP 0x200
#define BASS_MUSIC_RAMPS 0x400
#define BASS_SAMPLE_FLOAT 256
#define BASS_STREAM_DECODE 0x200000
#define BASS_MUSIC_DECODE BASS_STREAM_DECODE
#define BASS_UNICODE 0x80000000u

// Position modes.
#define BASS_POS_BYTE 0
// A decoding module's place in its song (BASS_ChannelGetPosition only): the
// order in the low word, the row in the high word, as of the last frame read.
#define BASS_POS_MUSIC_ORDER 1

// BASS_ChannelGetAttribute on a decoding module, as of the last frame read:
// the tracker's tempo (in the usual tempo mode a tick lasts 2.5 / tempo
// seconds) and its speed in ticks per row. A row thus lasts
// speed * 2.5 / tempo seconds, and at 4 rows a beat the song goes at
// 6 * tempo / speed beats per minute.
#define BASS_ATTRIB_MUSIC_BPM 0x103
#define BASS_ATTRIB_MUSIC_SPEED 0x104

// BASS_ChannelGetData: 2048-frame FFT, 1024 float magnitudes.
#define BASS_DATA_FFT2048 0x80000003u
// BASS_ChannelGetData on a decoding channel: the length in bytes, this flag
// or'ed in for float samples.
#define BASS_DATA_FLOAT 0x40000000u

// BASS_SetConfig options: global volumes, 0..10000.
#define BASS_CONFIG_GVOL_SAMPLE 4
#define BASS_CONFIG_GVOL_STREAM 5
#define BASS_CONFIG_GVOL_MUSIC 6

// BASS_ChannelIsActive results.
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

#if defined(__GNUC__)
#define BASSDEF(type) __attribute__((visibility("default"))) type
#else
#define BASSDEF(type) type
#endif

BASSDEF(DWORD) BASS_GetVersion(void);
BASSDEF(BOOL) BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid);
BASSDEF(BOOL) BASS_SetConfig(DWORD option, DWORD value);
BASSDEF(int) BASS_ErrorGetCode(void);
BASSDEF(BOOL) BASS_Free(void);
BASSDEF(DWORD)
BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
BASSDEF(DWORD)
BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags, DWORD freq);
BASSDEF(BOOL) BASS_ChannelPlay(DWORD handle, BOOL restart);
BASSDEF(BOOL) BASS_StreamFree(DWORD handle);
BASSDEF(BOOL) BASS_MusicFree(DWORD handle);
BASSDEF(QWORD) BASS_ChannelGetLength(DWORD handle, DWORD mode);
BASSDEF(QWORD) BASS_ChannelGetPosition(DWORD handle, DWORD mode);
// Only the module attributes above, only on a decoding module (elsewhere
// BASS_ERROR_NOTAVAIL; BASS_ERROR_ILLTYPE for another attribute).
BASSDEF(BOOL) BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value);
BASSDEF(double) BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
BASSDEF(QWORD) BASS_ChannelSeconds2Bytes(DWORD handle, double pos);
BASSDEF(BOOL) BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
BASSDEF(DWORD) BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);
BASSDEF(DWORD) BASS_ChannelIsActive(DWORD handle);

// Decoding channels (BASS_STREAM_DECODE, BASS_MUSIC_DECODE): no output; the
// caller reads the samples in order with BASS_ChannelGetData(handle, buffer,
// bytes [| BASS_DATA_FLOAT]), which returns the bytes written (whole frames)
// and, once everything has been read, (DWORD)-1 with BASS_ERROR_ENDED. The
// samples are at the file's rate (a module's: the rate asked for, else the
// output's), in its channels or mixed to mono with BASS_SAMPLE_MONO, floats
// with BASS_SAMPLE_FLOAT else 16-bit; positions and lengths count bytes of
// that format. BASS_ChannelPlay fails with BASS_ERROR_DECODE, as does the
// spectrum; BASS_ChannelIsActive is BASS_ACTIVE_PLAYING until the end has
// been read. BASS_Free frees them with the other channels. A module's
// timing (BASS_POS_MUSIC_ORDER, the music attributes) is that of the last
// frame read: a caller reading a few milliseconds at a time sees each row
// begin, to within what it read. After the song's last row it reads as its
// first row again.

// ---------------------------------------------------------------------------
// This library's own additions, not part of the classic API above: live
// capture of the sound the computer plays (an output's monitor) or of an
// input such as a microphone, through the sound server. A capture channel's
// handle is accepted by BASS_ChannelGetData (BASS_DATA_FFT2048, the same
// scale and window as for a stream: the newest 2048 frames, mixed to mono;
// it never waits on the sound server), BASS_ChannelIsActive
// (BASS_ACTIVE_PLAYING while its source is there, BASS_ACTIVE_STALLED once it
// has gone; GetData then reads silence) and BASS_StreamFree; the other
// channel calls fail with BASS_ERROR_NOTAVAIL, BASS_MusicFree with
// BASS_ERROR_HANDLE. The usual rules hold: failure values and the calling
// thread's error code. A capture's samples, as a decoding channel's: with a
// length in bytes (| BASS_DATA_FLOAT for floats, else 16-bit)
// BASS_ChannelGetData returns the frames captured since the last such call,
// mixed to mono, as many as fit (and 0 when there are none yet); frames
// older than about 85 ms at the call are lost. BASS_ChannelSeconds2Bytes
// counts its mono 16-bit frames at the rate it records now (so 1.0 gives
// twice the rate). Capture needs no BASS_Init, works beside an
// initialised output, and BASS_Free leaves it running.

typedef struct CHROMOLA_CAPTURE_SOURCE {
    char id[256];           // the source's name on the sound server
    char description[256];  // for people
    BOOL isMonitor;         // the monitor of an output
    BOOL isDefaultMonitor;  // the monitor of the default output
    BOOL isDefaultInput;    // the default input
} CHROMOLA_CAPTURE_SOURCE;

// Fills up to `max` entries of `sources` (NULL when `max` is 0) and returns
// how many sources there are (which may be more than `max`), or -1 (error
// code set: BASS_ERROR_DEVICE when no sound server answers, as for
// CHROMOLA_CaptureStart).
BASSDEF(int) CHROMOLA_CaptureSources(CHROMOLA_CAPTURE_SOURCE* sources, int max);

// What CHROMOLA_CaptureStart captures when `source` is NULL.
#define CHROMOLA_CAPTURE_OUTPUT 1  // the default output's monitor, following the default output
#define CHROMOLA_CAPTURE_INPUT 2   // the default input at the time of the call

// Starts capturing `source` (an id from CHROMOLA_CaptureSources; `which` is
// then ignored), or with a NULL source what `which` names; returns the
// channel's handle, or 0 (error code set: BASS_ERROR_DEVICE when no sound
// server answers: at once when there is none, after 0.5 s when one takes the
// connection but does not answer; BASS_ERROR_ILLPARAM for an unknown source,
// an empty id or an unknown `which`). Only the default output's capture moves
// to another source (when the default output changes or goes); any other
// stays on its source and stalls when that goes.
BASSDEF(DWORD) CHROMOLA_CaptureStart(const char* source, DWORD which);

#ifdef __cplusplus
}
#endif

#endif  // CHROMOLA_LIBBASS_BASS_H
