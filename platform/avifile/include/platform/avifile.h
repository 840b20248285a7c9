// AVI files and streams under their Video for Windows names. Every HRESULT is
// 0 (AVIERR_OK) on success or one of the AVIERR_ codes below. All functions
// may be called from any thread; one handle is used by one thread at a time.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// ---------------------------------------------------------------------------
// Result codes

constexpr HRESULT MakeAviErr(std::uint32_t v) { return static_cast<HRESULT>(v); }
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_UNSUPPORTED = MakeAviErr(0x80044065u);
constexpr HRESULT AVIERR_BADFORMAT = MakeAviErr(0x80044066u);
constexpr HRESULT AVIERR_MEMORY = MakeAviErr(0x80044067u);
constexpr HRESULT AVIERR_INTERNAL = MakeAviErr(0x80044068u);
constexpr HRESULT AVIERR_BADFLAGS = MakeAviErr(0x80044069u);
constexpr HRESULT AVIERR_BADPARAM = MakeAviErr(0x8004406Au);
constexpr HRESULT AVIERR_BADSIZE = MakeAviErr(0x8004406Bu);
constexpr HRESULT AVIERR_BADHANDLE = MakeAviErr(0x8004406Cu);
constexpr HRESULT AVIERR_FILEREAD = MakeAviErr(0x8004406Du);
constexpr HRESULT AVIERR_FILEWRITE = MakeAviErr(0x8004406Eu);
constexpr HRESULT AVIERR_FILEOPEN = MakeAviErr(0x8004406Fu);
constexpr HRESULT AVIERR_COMPRESSOR = MakeAviErr(0x80044070u);
constexpr HRESULT AVIERR_NOCOMPRESSOR = MakeAviErr(0x80044071u);
constexpr HRESULT AVIERR_READONLY = MakeAviErr(0x80044072u);
constexpr HRESULT AVIERR_NODATA = MakeAviErr(0x80044073u);
constexpr HRESULT AVIERR_BUFFERTOOSMALL = MakeAviErr(0x80044074u);
constexpr HRESULT AVIERR_CANTCOMPRESS = MakeAviErr(0x80044075u);
constexpr HRESULT AVIERR_USERABORT = MakeAviErr(0x800440C6u);
constexpr HRESULT AVIERR_ERROR = MakeAviErr(0x800440C7u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeAviErr(0x80040154u);

// ---------------------------------------------------------------------------
// AVI files and streams

constexpr FOURCC streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
constexpr FOURCC streamtypeAUDIO = mmioFOURCC('a', 'u', 'd', 's');

// Index flags of a sample (idx1 dwFlags).
constexpr DWORD AVIIF_LIST = 0x00000001;
constexpr DWORD AVIIF_KEYFRAME = 0x00000010;

// AVIFileOpenA modes.
constexpr UINT OF_READ = 0x0000;
constexpr UINT OF_WRITE = 0x0001;
constexpr UINT OF_CREATE = 0x1000;

struct AVISTREAMINFOA {
  DWORD fccType;
  DWORD fccHandler;
  DWORD dwFlags;
  DWORD dwCaps;
  WORD wPriority;
  WORD wLanguage;
  DWORD dwScale;
  DWORD dwRate;
  DWORD dwStart;
  DWORD dwLength;
  DWORD dwInitialFrames;
  DWORD dwSuggestedBufferSize;
  DWORD dwQuality;
  DWORD dwSampleSize;
  RECT rcFrame;
  DWORD dwEditCount;
  DWORD dwFormatChangeCount;
  char szName[64];
};
static_assert(sizeof(AVISTREAMINFOA) == 140);

struct AviFile;    // reference-counted; see AVIFileRelease
struct AviStream;  // reference-counted; holds a reference to its file
using PAVIFILE = AviFile*;
using PAVISTREAM = AviStream*;

// Starts / stops the AVI library. Pairs may nest and repeat.
void AVIFileInit();
void AVIFileExit();

// Opens szFile for reading (uMode OF_READ) or creates it, replacing any old
// file (OF_WRITE | OF_CREATE). lpHandler must be null. Errors: AVIERR_FILEOPEN
// (missing, no permission; for reading, anything but a regular file, such as
// a directory, a FIFO or a device, without waiting on it), AVIERR_FILEREAD,
// AVIERR_BADFORMAT (not an AVI), AVIERR_NODATA (empty file), AVIERR_BADPARAM.
[[nodiscard]] HRESULT AVIFileOpenA(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID* lpHandler);

// Drops one reference. When references remain, returns their count (> 0).
// The last reference finishes a file opened for writing and returns 0, or an
// AVIERR_ code (AVIERR_FILEWRITE on a full disk) when anything could not be
// written. Readers return 0.
[[nodiscard]] LONG AVIFileRelease(PAVIFILE pfile);

// Writing: creates the next stream. Only one video stream per file is
// supported for writing.
[[nodiscard]] HRESULT AVIFileCreateStreamA(PAVIFILE pfile, PAVISTREAM* ppavi, const AVISTREAMINFOA* psi);
[[nodiscard]] HRESULT AVIStreamSetFormat(PAVISTREAM pavi, LONG lPos, const void* lpFormat, LONG cbFormat);
// Appends lSamples (must be 1) samples of cbBuffer bytes at lStart (must be the
// next position). dwFlags: AVIIF_KEYFRAME or 0.
[[nodiscard]] HRESULT AVIStreamWrite(PAVISTREAM pavi, LONG lStart, LONG lSamples, const void* lpBuffer,
                       LONG cbBuffer, DWORD dwFlags, LONG* plSampWritten, LONG* plBytesWritten);

// Drops one reference to the stream (and the stream's reference to its file).
// Returns remaining references (> 0); 0 when this was the last and everything
// written to the stream so far reached the file; an AVIERR_ code otherwise.
[[nodiscard]] LONG AVIStreamRelease(PAVISTREAM pavi);

// Reading. fccType streamtypeVIDEO or 0 (any); lParam the index among
// streams of that type. AVIERR_NODATA when there is no such stream.
[[nodiscard]] HRESULT AVIFileGetStream(PAVIFILE pfile, PAVISTREAM* ppavi, DWORD fccType, LONG lParam);
// Copies the stream header, at most lSize bytes. For a file being read,
// dwLength is the number of samples found and dwSuggestedBufferSize the
// largest of them, whatever the file's header claims.
[[nodiscard]] HRESULT AVIStreamInfoA(PAVISTREAM pavi, AVISTREAMINFOA* psi, LONG lSize);
// Copies the stream format (strf) into lpFormat, at most *lpcbFormat bytes,
// and sets *lpcbFormat to the bytes copied; with lpFormat null, sets
// *lpcbFormat to the format's size.
[[nodiscard]] HRESULT AVIStreamReadFormat(PAVISTREAM pavi, LONG lPos, void* lpFormat, LONG* lpcbFormat);
// Reads sample lStart (lSamples must be 1). With lpBuffer null, reports the
// sample's size in *plBytes. AVIERR_BUFFERTOOSMALL when cbBuffer is short;
// AVIERR_BADPARAM outside the stream. A zero-length sample reads 0 bytes.
[[nodiscard]] HRESULT AVIStreamRead(PAVISTREAM pavi, LONG lStart, LONG lSamples, void* lpBuffer, LONG cbBuffer,
                      LONG* plBytes, LONG* plSamples);
// Number of samples in the stream.
[[nodiscard]] LONG AVIStreamLength(PAVISTREAM pavi);
// Key-frame search: lFlags FIND_KEY with FIND_PREV or FIND_NEXT. Returns the
// position found, or -1 (also for lPos outside the stream). Empty samples are
// never key frames. O(log n).
constexpr LONG FIND_NEXT = 0x0001;
constexpr LONG FIND_PREV = 0x0004;
constexpr LONG FIND_KEY = 0x0010;
[[nodiscard]] LONG AVIStreamFindSample(PAVISTREAM pavi, LONG lPos, LONG lFlags);
inline bool AVIStreamIsKeyFrame(PAVISTREAM pavi, LONG lPos) {
  return AVIStreamFindSample(pavi, lPos, FIND_KEY | FIND_PREV) == lPos;
}

// Not a Video for Windows call: the size at which a file being written
// continues in a further RIFF part (OpenDML). Default 1 GiB; tests lower it.
// Call before the first AVIStreamWrite.
[[nodiscard]] HRESULT AVIFileSetPartLimit(PAVIFILE pfile, std::uint64_t bytes);

// Not Video for Windows calls: which picture each frame was made from. The
// table travels in a JUNK chunk at the end of the file, which players skip.
//
// Writing: records frame lPos's source (the path as listed) and its capture
// time ("YYYY:MM:DD HH:MM:SS.nnnnnnnnn", or empty); lPos is a frame already
// written. The table is written when the file is finished; one that does not
// fit on the disk makes the file's last release report AVIERR_FILEWRITE and
// leaves the frames and their index as they were.
[[nodiscard]] HRESULT AVIStreamSetFrameSource(PAVISTREAM pavi, LONG lPos, const char* szSource, const char* szTime);
// Reading: frame lPos's source and time, valid while the stream is held.
// AVIERR_NODATA when the file records none for that frame.
[[nodiscard]] HRESULT AVIStreamFrameSource(PAVISTREAM pavi, LONG lPos, const char** pszSource, const char** pszTime);
// Whether the stream's file records the frames' sources. A damaged table
// counts as none.
[[nodiscard]] bool AVIStreamHasFrameSources(PAVISTREAM pavi);
