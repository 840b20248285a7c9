// AVI files, streams, frame decoders and installable compressors under their
// Video for Windows names: the AVI file services (platform/avifile.h) and, on
// top of them, the frame decoders and compressors of this library. Every
// HRESULT is 0 (AVIERR_OK) on success or an AVIERR_ code. All functions may
// be called from any thread; one handle is used by one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/avifile.h"
#include "platform/wintypes.h"

// ---------------------------------------------------------------------------
// Frame decoders

struct AviGetFrame;
using PGETFRAME = AviGetFrame*;

// Frame decoding. lpbiWanted AVIGETFRAMEF_BESTDISPLAYFMT (or null) asks for
// the format of AVIStreamGetFrame: a packed DIB, 40-byte header, 24-bit BI_RGB,
// bottom-up, no colour table. A BITMAPINFOHEADER asks for BI_RGB with
// biBitCount 24 (biHeight 0 or more: bottom-up, as above) or 32 (biHeight 0
// or less: top-down, each pixel blue, green, red, 255), at the stream's size
// (biWidth and biHeight 0 or the stream's). Null when no decoder exists for
// the stream or it cannot make the format asked for. The stream must stay
// open until the decoder is closed.
inline LPBITMAPINFOHEADER const AVIGETFRAMEF_BESTDISPLAYFMT =
    reinterpret_cast<LPBITMAPINFOHEADER>(static_cast<std::uintptr_t>(1));
[[nodiscard]] PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM pavi, LPBITMAPINFOHEADER lpbiWanted);
// The frame at lPos, owned by the decoder until its next call or its close;
// null outside the stream or for a frame that cannot be decoded.
[[nodiscard]] void* AVIStreamGetFrame(PGETFRAME pg, LONG lPos);
// The same frame, for a caller that keeps it beyond the next call: the
// decoder writes no frame its callers still hold, so the pixels stay as
// they are until the last copy of the pointer is gone, on any thread, the
// decoder's close included. A caller may hold at most
// AVISTREAMGETFRAME_MAXHELD frames of a decoder at once; asking for another
// then gives null, as does anything that gives AVIStreamGetFrame null.
constexpr int AVISTREAMGETFRAME_MAXHELD = 3;
[[nodiscard]] std::shared_ptr<const BITMAPINFOHEADER> AVIStreamGetFrameShared(PGETFRAME pg, LONG lPos);
[[nodiscard]] HRESULT AVIStreamGetFrameClose(PGETFRAME pg);

// ---------------------------------------------------------------------------
// Installable compressors

struct Compressor;  // one open compressor instance
using HIC = Compressor*;

constexpr DWORD ICTYPE_VIDEO = mmioFOURCC('v', 'i', 'd', 'c');
constexpr UINT ICMODE_COMPRESS = 1;

constexpr UINT ICM_USER = 0x4000;
constexpr UINT ICM_COMPRESS_GET_FORMAT = ICM_USER + 4;
constexpr UINT ICM_COMPRESS_GET_SIZE = ICM_USER + 5;
constexpr UINT ICM_COMPRESS_QUERY = ICM_USER + 6;
constexpr UINT ICM_COMPRESS_BEGIN = ICM_USER + 7;
constexpr UINT ICM_COMPRESS_END = ICM_USER + 9;
constexpr UINT ICM_COMPRESS_FRAMES_INFO = ICM_USER + 70;

constexpr LRESULT ICERR_OK = 0;
constexpr LRESULT ICERR_UNSUPPORTED = -1;
constexpr LRESULT ICERR_BADFORMAT = -2;
constexpr LRESULT ICERR_MEMORY = -3;
constexpr LRESULT ICERR_INTERNAL = -4;
constexpr LRESULT ICERR_BADPARAM = -6;
constexpr LRESULT ICERR_ERROR = -100;

constexpr LONG ICQUALITY_DEFAULT = -1;

// What ICM_COMPRESS_FRAMES_INFO tells a compressor about the sequence ahead.
struct ICCOMPRESSFRAMES {
  DWORD dwFlags;
  LPBITMAPINFOHEADER lpbiOutput;
  std::intptr_t lOutput;
  LPBITMAPINFOHEADER lpbiInput;
  std::intptr_t lInput;
  LONG lStartFrame;
  LONG lFrameCount;
  LONG lQuality;   // 0..10000, or ICQUALITY_DEFAULT
  LONG lDataRate;
  LONG lKeyRate;   // longest run from key frame to key frame; 0: the compressor's own choice
  DWORD dwRate;    // frames per second is dwRate / dwScale
  DWORD dwScale;
  DWORD dwOverheadPerFrame;
  DWORD dwReserved2;
  void* GetData;
  void* PutData;
};

struct COMPVARS {
  LONG cbSize;
  DWORD dwFlags;
  HIC hic;
  DWORD fccType;
  DWORD fccHandler;
  BITMAPINFO* lpbiIn;
  BITMAPINFO* lpbiOut;
  void* lpBitsOut;
  void* lpBitsPrev;
  LONG lFrame;
  LONG lKey;
  LONG lDataRate;
  LONG lQ;
  LONG lKeyCount;
  void* lpState;
  LONG cbState;
};

// One installed compressor, as ICInfo lists it.
struct ICINFO {
  DWORD fccType;     // ICTYPE_VIDEO
  DWORD fccHandler;  // the FourCC written into the stream format
  char szName[16];   // short name, e.g. "MJPG"
  char szDescription[128];  // display name, e.g. "Motion JPEG"
};

// Fills *lpicinfo with installed compressor number i (0-based) of fccType.
// Returns FALSE past the last one.
[[nodiscard]] BOOL ICInfo(DWORD fccType, DWORD i, ICINFO* lpicinfo);
// Opens the compressor with that handler FourCC (case-insensitive), or null.
[[nodiscard]] HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT wMode);
[[nodiscard]] LRESULT ICClose(HIC hic);

// ICM_COMPRESS_GET_FORMAT: dw1 the input BITMAPINFOHEADER*, dw2 the output
//   buffer or 0; returns the size of the output format in bytes (40 or more:
//   codec data follows the header), or an ICERR_ code (< 0) when the input is
//   not accepted.
// ICM_COMPRESS_GET_SIZE: dw1 input, dw2 output format; largest frame in bytes.
// ICM_COMPRESS_QUERY: dw1 input, dw2 0; ICERR_OK when the input is accepted.
// ICM_COMPRESS_BEGIN: dw1 input, dw2 output; ICERR_OK or an error.
// ICM_COMPRESS_END: both 0; ICERR_OK or an error.
// ICM_COMPRESS_FRAMES_INFO: dw1 an ICCOMPRESSFRAMES*, dw2 its size; before
//   ICM_COMPRESS_BEGIN. Compressors with inter frames then write a key frame
//   every lKeyRate frames, or once a second of video when lKeyRate is 0 (every
//   10 frames when never told the rate).
[[nodiscard]] LRESULT ICSendMessage(HIC hic, UINT msg, DWORD_PTR dw1, DWORD_PTR dw2);

// Compresses one frame of lpbiInput's format from lpBits into lpData, sets
// lpbiOutput->biSizeImage to its size and *lpdwFlags to AVIIF_KEYFRAME for a
// key frame (else 0). dwQuality 0..10000. Every call returns that frame (no
// encoder delay). ICERR_OK on success.
[[nodiscard]] DWORD ICCompress(HIC hic, DWORD dwFlags, LPBITMAPINFOHEADER lpbiOutput, void* lpData,
                 LPBITMAPINFOHEADER lpbiInput, void* lpBits, DWORD* lpckid, DWORD* lpdwFlags,
                 LONG lFrameNum, DWORD dwFrameSize, DWORD dwQuality, LPBITMAPINFOHEADER lpbiPrev,
                 void* lpPrev);

// The chooser that ICCompressorChoose asks: given the owner, the title and
// the offered entries (entry 0 is always "Full Frames (Uncompressed)" with
// fccHandler 0), returns the chosen entry's index, or -1 when cancelled, and
// leaves the chosen compressor's settings in `settings` (which holds the
// defaults when called). An entry that declines the frame cannot be chosen.
// The front end installs it (GUI dialog, CLI option, test script). It is
// called on the thread that calls ICCompressorChoose.
struct CompressorChoice {
  DWORD fccHandler = 0;  // 0 for uncompressed
  std::string name;
  std::string declined;  // why this compressor cannot take the frame; empty when it can
  bool hasQuality = false;      // takes CompressorSettings::quality
  bool hasKeyInterval = false;  // writes inter frames: takes CompressorSettings::keyInterval
};
// What the user may set for a compressor. Add a member with its default
// here; a chooser passes on what it does not know.
struct CompressorSettings {
  int quality = 85;     // 0..100
  int keyInterval = 0;  // frames from key frame to key frame; 0: one a second of video
  // Read the finished file back and check it. A setting of the job that the
  // chooser keeps beside the compressor's; ICCompressorChoose passes it on
  // to nobody, so a front end that offers it reads it from its chooser.
  bool verify = false;
};
using CompressorChooser = std::function<int(HWND owner, const std::string& title,
                                            const std::vector<CompressorChoice>& offered, CompressorSettings& settings)>;
// Installs the process-wide chooser (an empty function removes it). Returns
// the previous one.
CompressorChooser ICSetCompressorChooser(CompressorChooser chooser);

constexpr UINT ICMF_CHOOSE_KEYFRAME = 0x0001;
constexpr UINT ICMF_CHOOSE_DATARATE = 0x0002;
constexpr UINT ICMF_CHOOSE_PREVIEW = 0x0004;
// Offers "Full Frames (Uncompressed)" and every compressor, each saying
// whether it accepts pvIn (a BITMAPINFOHEADER*), and asks the installed
// chooser. TRUE when chosen: pc->hic is the opened compressor (0 for
// uncompressed), pc->fccHandler its FourCC, pc->lQ the quality set (0..10000,
// or ICQUALITY_DEFAULT where the compressor has none) and pc->lKey the
// key-frame interval set (0: the compressor's own). FALSE when cancelled,
// when the chosen compressor declines pvIn, when pc->cbSize is not 64, or
// when no chooser is installed.
[[nodiscard]] BOOL ICCompressorChoose(HWND hwnd, UINT uiFlags, void* pvIn, void* lpData, COMPVARS* pc,
                        const char* lpszTitle);
