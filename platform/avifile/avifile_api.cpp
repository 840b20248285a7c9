// The AVI file and stream handles: reference counting and argument checks
// over AviWriter (files created for writing) and AviSource (files opened for
// reading).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/avifile/avi_source.h"
#include "platform/avifile/avi_writer.h"
#include "platform/avifile.h"

struct AviStream {
  std::atomic<LONG> refs{0};
  AviFile* file = nullptr;
  std::size_t index = 0;  // in the reader's streams; 0 for the writer's one
};

struct AviFile {
  std::atomic<LONG> refs{1};
  std::unique_ptr<avifile::AviWriter> writer;  // exactly one of these two
  std::unique_ptr<avifile::AviSource> source;
  std::vector<std::unique_ptr<AviStream>> streams;
};

namespace {

std::atomic<int> g_initCount{0};

AviStream* NewStreamHandle(AviFile* file, std::size_t index) {
  auto stream = std::make_unique<AviStream>();
  stream->file = file;
  stream->index = index;
  file->streams.push_back(std::move(stream));
  return file->streams.back().get();
}

// Hands out one more reference to a stream. A referenced stream holds one
// reference to its file.
PAVISTREAM AddStreamRef(AviStream* stream) {
  if (stream->refs.fetch_add(1) == 0) stream->file->refs.fetch_add(1);
  return stream;
}

const avifile::StreamData* SourceStream(PAVISTREAM pavi) {
  if (!pavi || !pavi->file->source) return nullptr;
  return &pavi->file->source->Streams()[pavi->index];
}

}  // namespace

void AVIFileInit() { g_initCount.fetch_add(1); }

void AVIFileExit() { g_initCount.fetch_sub(1); }

HRESULT AVIFileOpenA(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID* lpHandler) {
  if (!ppfile) return AVIERR_BADPARAM;
  *ppfile = nullptr;
  if (!szFile || lpHandler) return AVIERR_BADPARAM;
  auto file = std::make_unique<AviFile>();
  if (uMode & OF_CREATE) {
    const HRESULT hr = avifile::AviWriter::Create(szFile, &file->writer);
    if (hr != AVIERR_OK) return hr;
  } else if (uMode & (OF_WRITE | 0x0002 /* OF_READWRITE */)) {
    return AVIERR_UNSUPPORTED;  // existing files are not edited
  } else {
    const HRESULT hr = avifile::AviSource::Open(szFile, &file->source);
    if (hr != AVIERR_OK) return hr;
    for (std::size_t i = 0; i < file->source->Streams().size(); ++i) NewStreamHandle(file.get(), i);
  }
  *ppfile = file.release();
  return AVIERR_OK;
}

LONG AVIFileRelease(PAVIFILE pfile) {
  if (!pfile) return AVIERR_BADHANDLE;
  const LONG left = pfile->refs.fetch_sub(1) - 1;
  if (left > 0) return left;
  const HRESULT result = pfile->writer ? pfile->writer->Finish() : AVIERR_OK;
  delete pfile;
  return result;
}

HRESULT AVIFileCreateStreamA(PAVIFILE pfile, PAVISTREAM* ppavi, const AVISTREAMINFOA* psi) {
  if (!ppavi) return AVIERR_BADPARAM;
  *ppavi = nullptr;
  if (!pfile) return AVIERR_BADHANDLE;
  if (!psi) return AVIERR_BADPARAM;
  if (!pfile->writer) return AVIERR_READONLY;
  const HRESULT hr = pfile->writer->AddStream(*psi);
  if (hr != AVIERR_OK) return hr;
  *ppavi = AddStreamRef(NewStreamHandle(pfile, 0));
  return AVIERR_OK;
}

HRESULT AVIStreamSetFormat(PAVISTREAM pavi, LONG lPos, const void* lpFormat, LONG cbFormat) {
  if (!pavi) return AVIERR_BADHANDLE;
  if (!pavi->file->writer) return AVIERR_READONLY;
  return pavi->file->writer->SetFormat(lPos, lpFormat, cbFormat);
}

HRESULT AVIStreamWrite(PAVISTREAM pavi, LONG lStart, LONG lSamples, const void* lpBuffer, LONG cbBuffer,
                       DWORD dwFlags, LONG* plSampWritten, LONG* plBytesWritten) {
  if (plSampWritten) *plSampWritten = 0;
  if (plBytesWritten) *plBytesWritten = 0;
  if (!pavi) return AVIERR_BADHANDLE;
  if (!pavi->file->writer) return AVIERR_READONLY;
  if (lSamples != 1) return AVIERR_BADPARAM;
  const HRESULT hr = pavi->file->writer->WriteFrame(lStart, lpBuffer, cbBuffer, dwFlags);
  if (hr != AVIERR_OK) return hr;
  if (plSampWritten) *plSampWritten = 1;
  if (plBytesWritten) *plBytesWritten = cbBuffer;
  return AVIERR_OK;
}

LONG AVIStreamRelease(PAVISTREAM pavi) {
  if (!pavi || pavi->refs.load() <= 0) return AVIERR_BADHANDLE;
  const LONG left = pavi->refs.fetch_sub(1) - 1;
  if (left > 0) return left;
  AviFile* file = pavi->file;
  const HRESULT flushed = file->writer ? file->writer->Flush() : AVIERR_OK;
  // When this was the file's last reference too, the file is finished now
  // and its result is the one to report.
  const LONG fileResult = AVIFileRelease(file);
  return fileResult < 0 ? fileResult : flushed;
}

HRESULT AVIFileGetStream(PAVIFILE pfile, PAVISTREAM* ppavi, DWORD fccType, LONG lParam) {
  if (!ppavi) return AVIERR_BADPARAM;
  *ppavi = nullptr;
  if (!pfile) return AVIERR_BADHANDLE;
  if (lParam < 0) return AVIERR_NODATA;
  LONG seen = 0;
  for (const auto& stream : pfile->streams) {
    const DWORD type = pfile->writer ? pfile->writer->Info().fccType
                                     : pfile->source->Streams()[stream->index].info.fccType;
    if (fccType != 0 && type != fccType) continue;
    if (seen++ == lParam) {
      *ppavi = AddStreamRef(stream.get());
      return AVIERR_OK;
    }
  }
  return AVIERR_NODATA;
}

HRESULT AVIStreamInfoA(PAVISTREAM pavi, AVISTREAMINFOA* psi, LONG lSize) {
  if (!pavi) return AVIERR_BADHANDLE;
  if (!psi || lSize < 0) return AVIERR_BADPARAM;
  const AVISTREAMINFOA info = pavi->file->writer ? pavi->file->writer->Info() : SourceStream(pavi)->info;
  std::memcpy(psi, &info, std::min<std::size_t>(static_cast<std::size_t>(lSize), sizeof info));
  return AVIERR_OK;
}

HRESULT AVIStreamReadFormat(PAVISTREAM pavi, LONG lPos, void* lpFormat, LONG* lpcbFormat) {
  (void)lPos;  // formats do not change along a stream
  if (!pavi) return AVIERR_BADHANDLE;
  if (!lpcbFormat) return AVIERR_BADPARAM;
  const std::vector<std::uint8_t>& format =
      pavi->file->writer ? pavi->file->writer->Format() : SourceStream(pavi)->format;
  if (!lpFormat) {
    *lpcbFormat = static_cast<LONG>(format.size());
    return AVIERR_OK;
  }
  if (*lpcbFormat < 0) return AVIERR_BADPARAM;
  const std::size_t n = std::min(format.size(), static_cast<std::size_t>(*lpcbFormat));
  if (n > 0) std::memcpy(lpFormat, format.data(), n);
  *lpcbFormat = static_cast<LONG>(n);
  return AVIERR_OK;
}

HRESULT AVIStreamRead(PAVISTREAM pavi, LONG lStart, LONG lSamples, void* lpBuffer, LONG cbBuffer, LONG* plBytes,
                      LONG* plSamples) {
  if (plBytes) *plBytes = 0;
  if (plSamples) *plSamples = 0;
  if (!pavi) return AVIERR_BADHANDLE;
  const avifile::StreamData* stream = SourceStream(pavi);
  if (!stream) return AVIERR_UNSUPPORTED;  // streams being written are not read back
  if (lSamples == 0 || lSamples < -1) return AVIERR_BADPARAM;
  LONG bytes = 0;
  const HRESULT hr = pavi->file->source->ReadSample(*stream, lStart, lpBuffer, cbBuffer, &bytes);
  if (plBytes && (hr == AVIERR_OK || hr == AVIERR_BUFFERTOOSMALL)) *plBytes = bytes;
  if (hr != AVIERR_OK) return hr;
  if (plSamples) *plSamples = 1;
  return AVIERR_OK;
}

LONG AVIStreamLength(PAVISTREAM pavi) {
  if (!pavi) return -1;
  if (pavi->file->writer) return static_cast<LONG>(pavi->file->writer->FrameCount());
  return static_cast<LONG>(SourceStream(pavi)->frames.size());
}

LONG AVIStreamFindSample(PAVISTREAM pavi, LONG lPos, LONG lFlags) {
  const avifile::StreamData* stream = SourceStream(pavi);
  if (!stream || lPos < 0 || static_cast<std::size_t>(lPos) >= stream->frames.size()) return -1;
  if (!(lFlags & FIND_KEY)) return lPos;
  const std::vector<std::int32_t>& keys = stream->keys;
  if (lFlags & FIND_NEXT) {
    auto it = std::lower_bound(keys.begin(), keys.end(), lPos);
    return it == keys.end() ? -1 : *it;
  }
  auto it = std::upper_bound(keys.begin(), keys.end(), lPos);
  return it == keys.begin() ? -1 : *(it - 1);
}

HRESULT AVIFileSetPartLimit(PAVIFILE pfile, std::uint64_t bytes) {
  if (!pfile) return AVIERR_BADHANDLE;
  if (!pfile->writer) return AVIERR_READONLY;
  return pfile->writer->SetPartLimit(bytes);
}

HRESULT AVIStreamSetFrameSource(PAVISTREAM pavi, LONG lPos, const char* szSource, const char* szTime) {
  if (!pavi) return AVIERR_BADHANDLE;
  if (!pavi->file->writer) return AVIERR_READONLY;
  return pavi->file->writer->SetFrameSource(lPos, szSource, szTime);
}

HRESULT AVIStreamFrameSource(PAVISTREAM pavi, LONG lPos, const char** pszSource, const char** pszTime) {
  if (!pavi) return AVIERR_BADHANDLE;
  if (!pszSource || !pszTime) return AVIERR_BADPARAM;
  *pszSource = nullptr;
  *pszTime = nullptr;
  const avifile::StreamData* stream = SourceStream(pavi);
  if (!stream) return AVIERR_UNSUPPORTED;  // streams being written are not read back
  if (lPos < 0 || static_cast<std::size_t>(lPos) >= stream->frames.size()) return AVIERR_BADPARAM;
  if (static_cast<std::size_t>(lPos) >= stream->sources.size()) return AVIERR_NODATA;
  const avifile::FrameSource& source = stream->sources[static_cast<std::size_t>(lPos)];
  if (source.path.empty()) return AVIERR_NODATA;
  *pszSource = source.path.c_str();
  *pszTime = source.time.c_str();
  return AVIERR_OK;
}

bool AVIStreamHasFrameSources(PAVISTREAM pavi) {
  const avifile::StreamData* stream = SourceStream(pavi);
  return stream && !stream->sources.empty();
}
