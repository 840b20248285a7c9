#include "platform/avifile/avi_writer.h"

#include <algorithm>
#include <cstring>

#include "platform/avifile/out_file.h"
#include "platform/avifile/riff_layout.h"

namespace avifile {

namespace {

constexpr std::uint64_t kMaxPartLimit = 2ull << 30;

void AppendLE16(std::vector<std::uint8_t>& v, std::uint16_t x) {
  std::uint8_t b[2];
  PutLE16(b, x);
  v.insert(v.end(), b, b + 2);
}
void AppendLE32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  std::uint8_t b[4];
  PutLE32(b, x);
  v.insert(v.end(), b, b + 4);
}
void AppendLE64(std::vector<std::uint8_t>& v, std::uint64_t x) {
  std::uint8_t b[8];
  PutLE64(b, x);
  v.insert(v.end(), b, b + 8);
}
void AppendZeros(std::vector<std::uint8_t>& v, std::size_t n) { v.insert(v.end(), n, 0); }

// Starts a chunk in v and returns the offset of its size field in v.
std::size_t StartChunk(std::vector<std::uint8_t>& v, FOURCC id) {
  AppendLE32(v, id);
  AppendLE32(v, 0);
  return v.size() - 4;
}
// Fills the size of the chunk started at sizeField and pads it to even length.
void EndChunk(std::vector<std::uint8_t>& v, std::size_t sizeField) {
  PutLE32(v.data() + sizeField, static_cast<std::uint32_t>(v.size() - sizeField - 4));
  if (v.size() & 1) v.push_back(0);
}

std::uint32_t ClampU32(std::uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v); }

}  // namespace

HRESULT AviWriter::Create(const char* path, std::unique_ptr<AviWriter>* writer) {
  std::unique_ptr<OutFile> out = OutFile::Open(path);
  if (!out) return AVIERR_FILEOPEN;
  writer->reset(new AviWriter(std::move(out)));
  return AVIERR_OK;
}

AviWriter::AviWriter(std::unique_ptr<OutFile> out) : m_out(std::move(out)) {}

AviWriter::~AviWriter() = default;

HRESULT AviWriter::Fail() {
  m_error = AVIERR_FILEWRITE;
  return m_error;
}

HRESULT AviWriter::AddStream(const AVISTREAMINFOA& info) {
  if (m_hasStream || m_headersWritten) return AVIERR_UNSUPPORTED;
  if (info.fccType != streamtypeVIDEO) return AVIERR_UNSUPPORTED;
  m_info = info;
  m_hasStream = true;
  m_chunkId = StreamChunkId(0, 'd', 'b');
  return AVIERR_OK;
}

HRESULT AviWriter::SetFormat(LONG pos, const void* format, LONG size) {
  if (!m_hasStream) return AVIERR_BADHANDLE;
  if (!format) return AVIERR_BADPARAM;
  if (pos != 0 || m_headersWritten) return AVIERR_UNSUPPORTED;  // no format changes
  if (size < static_cast<LONG>(sizeof(BITMAPINFOHEADER)) || static_cast<std::uint32_t>(size) > kMaxFormatBytes)
    return AVIERR_BADSIZE;
  const auto* bytes = static_cast<const std::uint8_t*>(format);
  m_format.assign(bytes, bytes + size);
  m_uncompressed = IsUncompressed(GetLE32(bytes + 16));  // biCompression
  m_chunkId = StreamChunkId(0, 'd', m_uncompressed ? 'b' : 'c');
  return AVIERR_OK;
}

HRESULT AviWriter::SetPartLimit(std::uint64_t bytes) {
  if (bytes == 0 || bytes > kMaxPartLimit) return AVIERR_BADPARAM;
  m_partLimit = bytes;
  return AVIERR_OK;
}

HRESULT AviWriter::SetFrameSource(LONG pos, const char* source, const char* time) {
  if (!m_hasStream || m_finished) return AVIERR_BADHANDLE;
  if (pos < 0 || static_cast<std::uint32_t>(pos) >= FrameCount()) return AVIERR_BADPARAM;
  if (m_sources.size() < FrameCount()) m_sources.resize(FrameCount());
  FrameSource& f = m_sources[static_cast<std::size_t>(pos)];
  f.path = source ? source : "";
  f.time = time ? time : "";
  return AVIERR_OK;
}

AVISTREAMINFOA AviWriter::Info() const {
  AVISTREAMINFOA info = m_info;
  info.dwLength = FrameCount();
  info.dwSuggestedBufferSize = std::max(info.dwSuggestedBufferSize, m_largestChunk);
  return info;
}

bool AviWriter::WriteHeaders() {
  std::int32_t width = m_info.rcFrame.right - m_info.rcFrame.left;
  std::int32_t height = m_info.rcFrame.bottom - m_info.rcFrame.top;
  if (m_format.size() >= sizeof(BITMAPINFOHEADER)) {
    width = static_cast<std::int32_t>(GetLE32(m_format.data() + 4));
    height = static_cast<std::int32_t>(GetLE32(m_format.data() + 8));
    if (height < 0) height = height == INT32_MIN ? INT32_MAX : -height;
  }
  std::uint32_t usPerFrame = 0;
  if (m_info.dwRate > 0) {
    usPerFrame = ClampU32((1000000ull * m_info.dwScale + m_info.dwRate / 2) / m_info.dwRate);
  }

  std::vector<std::uint8_t> h;
  h.reserve(8192);
  AppendLE32(h, kFccRiff);
  AppendLE32(h, 0);  // RIFF size, patched when the part closes
  AppendLE32(h, kFccAvi);
  const std::size_t hdrl = StartChunk(h, kFccList);
  AppendLE32(h, kFccHdrl);

  const std::size_t avih = StartChunk(h, kFccAvih);
  const std::size_t avihData = h.size();
  AppendLE32(h, usPerFrame);                       // dwMicroSecPerFrame
  AppendLE32(h, 0);                                // dwMaxBytesPerSec, patched
  AppendLE32(h, 0);                                // dwPaddingGranularity
  AppendLE32(h, AVIF_HASINDEX);                    // dwFlags
  AppendLE32(h, 0);                                // dwTotalFrames, patched
  AppendLE32(h, 0);                                // dwInitialFrames
  AppendLE32(h, m_hasStream ? 1 : 0);              // dwStreams
  AppendLE32(h, m_info.dwSuggestedBufferSize);     // dwSuggestedBufferSize, patched
  AppendLE32(h, static_cast<std::uint32_t>(width));   // dwWidth
  AppendLE32(h, static_cast<std::uint32_t>(height));  // dwHeight
  AppendZeros(h, 16);                              // dwReserved[4]
  EndChunk(h, avih);

  std::size_t strhData = 0;
  std::size_t indxChunk = 0;
  if (m_hasStream) {
    const std::size_t strl = StartChunk(h, kFccList);
    AppendLE32(h, kFccStrl);

    const std::size_t strh = StartChunk(h, kFccStrh);
    strhData = h.size();
    AppendLE32(h, m_info.fccType);
    AppendLE32(h, m_info.fccHandler);
    AppendLE32(h, m_info.dwFlags);
    AppendLE16(h, m_info.wPriority);
    AppendLE16(h, m_info.wLanguage);
    AppendLE32(h, m_info.dwInitialFrames);
    AppendLE32(h, m_info.dwScale);
    AppendLE32(h, m_info.dwRate);
    AppendLE32(h, m_info.dwStart);
    AppendLE32(h, 0);  // dwLength, patched
    AppendLE32(h, m_info.dwSuggestedBufferSize);
    AppendLE32(h, m_info.dwQuality);
    AppendLE32(h, m_info.dwSampleSize);
    // rcFrame: four 16-bit values in the file.
    AppendLE16(h, static_cast<std::uint16_t>(m_info.rcFrame.left));
    AppendLE16(h, static_cast<std::uint16_t>(m_info.rcFrame.top));
    AppendLE16(h, static_cast<std::uint16_t>(m_info.rcFrame.right));
    AppendLE16(h, static_cast<std::uint16_t>(m_info.rcFrame.bottom));
    EndChunk(h, strh);

    const std::size_t strf = StartChunk(h, kFccStrf);
    h.insert(h.end(), m_format.begin(), m_format.end());
    EndChunk(h, strf);

    const std::size_t nameLength = strnlen(m_info.szName, sizeof m_info.szName);
    if (nameLength > 0) {
      const std::size_t strn = StartChunk(h, kFccStrn);
      h.insert(h.end(), m_info.szName, m_info.szName + nameLength);
      h.push_back(0);
      EndChunk(h, strn);
    }

    // The super index, reserved as JUNK; it becomes 'indx' only if the file
    // grows a second part, so a one-part file stays a plain AVI.
    indxChunk = h.size();
    const std::size_t indx = StartChunk(h, kFccJunk);
    AppendZeros(h, kSuperIndexHeaderSize + 16 * kSuperIndexEntries);
    EndChunk(h, indx);
    EndChunk(h, strl);
  }

  // The OpenDML header list, reserved the same way.
  const std::size_t odmlChunk = h.size();
  const std::size_t odml = StartChunk(h, kFccJunk);
  AppendLE32(h, kFccOdml);
  AppendLE32(h, kFccDmlh);
  AppendLE32(h, kDmlhSize);
  AppendZeros(h, kDmlhSize);  // dwTotalFrames and reserved
  EndChunk(h, odml);
  EndChunk(h, hdrl);

  const std::size_t movi = h.size();
  StartChunk(h, kFccList);
  AppendLE32(h, kFccMovi);

  const std::uint64_t base = m_out->Tell();
  if (!m_out->Append(h)) return false;
  m_headersWritten = true;
  m_avihData = base + avihData;
  m_strhData = base + strhData;
  m_indxChunk = base + indxChunk;
  m_odmlChunk = base + odmlChunk;
  m_parts.clear();
  m_parts.push_back(Part{base, base + movi, base + h.size(), 0});
  return true;
}

std::uint64_t AviWriter::ClosingBytes(const Part& part, std::size_t frames) const {
  std::uint64_t bytes = 8 + kStdIndexHeaderSize + 8ull * frames;  // ix00
  if (&part == &m_parts.front()) bytes += 8 + 16ull * frames;       // idx1
  return bytes;
}

HRESULT AviWriter::WriteFrame(LONG start, const void* data, LONG size, DWORD flags) {
  if (!m_hasStream || m_finished) return AVIERR_BADHANDLE;
  if (m_error != AVIERR_OK) return m_error;
  if (size < 0 || (size > 0 && !data)) return AVIERR_BADPARAM;
  if (start != -1 && static_cast<std::uint32_t>(start) != FrameCount()) return AVIERR_BADPARAM;
  if (m_format.empty()) return AVIERR_BADFORMAT;
  if (FrameCount() >= 0x7FFFFFFFu) return AVIERR_BADSIZE;
  if (!m_headersWritten && !WriteHeaders()) return Fail();

  const std::uint32_t dataSize = static_cast<std::uint32_t>(size);
  const std::uint64_t chunkBytes = 8ull + dataSize + (dataSize & 1);
  const Part& part = m_parts.back();
  const std::size_t framesInPart = m_entries.size() - part.firstFrame;
  if (framesInPart > 0 &&
      m_out->Tell() + chunkBytes + ClosingBytes(part, framesInPart + 1) - part.riffStart > m_partLimit) {
    // The super index has room for this many parts; the file is full.
    if (m_parts.size() >= kSuperIndexEntries) return AVIERR_BADSIZE;
    if (!ClosePart(true) || !StartPart()) return Fail();
  }

  // An uncompressed picture stands on its own, whatever the caller flagged.
  const bool key = (flags & AVIIF_KEYFRAME) != 0 || (m_uncompressed && dataSize > 0);
  m_entries.push_back(Entry{m_out->Tell(), dataSize, key});
  m_largestChunk = std::max(m_largestChunk, dataSize);
  if (!m_out->AppendChunk(m_chunkId, data, dataSize)) return Fail();
  return AVIERR_OK;
}

bool AviWriter::StartPart() {
  const std::uint64_t riffStart = m_out->Tell();
  std::uint8_t h[24];
  PutLE32(h, kFccRiff);
  PutLE32(h + 4, 0);  // patched when the part closes
  PutLE32(h + 8, kFccAvix);
  PutLE32(h + 12, kFccList);
  PutLE32(h + 16, 0);
  PutLE32(h + 20, kFccMovi);
  if (!m_out->Append(h, sizeof h)) return false;
  m_parts.push_back(Part{riffStart, riffStart + 12, riffStart + 24, m_entries.size()});
  return true;
}

bool AviWriter::WriteStandardIndex(Part& part) {
  const std::size_t first = part.firstFrame;
  const std::size_t count = m_entries.size() - first;
  const std::uint64_t base = part.moviStart + 8;  // the 'movi' fourcc
  std::vector<std::uint8_t> v;
  v.reserve(std::min<std::size_t>(8 + kStdIndexHeaderSize + 8 * count, 64 << 10));
  const std::uint64_t ixOffset = m_out->Tell();
  AppendLE32(v, mmioFOURCC('i', 'x', '0', '0'));
  AppendLE32(v, ClampU32(kStdIndexHeaderSize + 8ull * count));
  AppendLE16(v, 2);  // wLongsPerEntry
  v.push_back(0);    // bIndexSubType
  v.push_back(kIndexOfChunks);  // bIndexType
  AppendLE32(v, static_cast<std::uint32_t>(count));  // nEntriesInUse
  AppendLE32(v, m_chunkId);  // dwChunkId
  AppendLE64(v, base);       // qwBaseOffset
  AppendLE32(v, 0);          // dwReserved3
  for (std::size_t i = first; i < m_entries.size(); ++i) {
    const Entry& e = m_entries[i];
    AppendLE32(v, static_cast<std::uint32_t>(e.offset + 8 - base));  // dwOffset: the data
    AppendLE32(v, e.size | (e.key ? 0 : kStdIndexDeltaFrame));       // dwSize
    if (v.size() >= (64 << 10)) {
      if (!m_out->Append(v)) return false;
      v.clear();
    }
  }
  if (!m_out->Append(v)) return false;
  part.ixOffset = ixOffset;
  part.ixSize = ClampU32(8 + kStdIndexHeaderSize + 8ull * count);
  return true;
}

bool AviWriter::WriteLegacyIndex(const Part& part) {
  const std::size_t count = m_entries.size() - part.firstFrame;
  const std::uint64_t base = part.moviStart + 8;  // offsets count from the 'movi' fourcc
  std::vector<std::uint8_t> v;
  v.reserve(std::min<std::size_t>(8 + 16 * count, 64 << 10));
  AppendLE32(v, kFccIdx1);
  AppendLE32(v, ClampU32(16ull * count));
  for (std::size_t i = part.firstFrame; i < m_entries.size(); ++i) {
    const Entry& e = m_entries[i];
    AppendLE32(v, m_chunkId);                               // ckid
    AppendLE32(v, e.key ? AVIIF_KEYFRAME : 0);              // dwFlags
    AppendLE32(v, static_cast<std::uint32_t>(e.offset - base));  // dwChunkOffset
    AppendLE32(v, e.size);                                  // dwChunkLength
    if (v.size() >= (64 << 10)) {
      if (!m_out->Append(v)) return false;
      v.clear();
    }
  }
  return m_out->Append(v);
}

bool AviWriter::ClosePart(bool withStandardIndex) {
  Part& part = m_parts.back();
  if (withStandardIndex && !WriteStandardIndex(part)) return false;
  if (!m_out->PatchLE32(part.moviStart + 4, ClampU32(m_out->Tell() - part.moviStart - 8))) return false;
  if (&part == &m_parts.front() && !WriteLegacyIndex(part)) return false;
  if (!m_out->PatchLE32(part.riffStart + 4, ClampU32(m_out->Tell() - part.riffStart - 8))) return false;
  part.closed = true;
  part.closeEnd = m_out->Tell();
  return true;
}

// The table is the last chunk of the last RIFF part, after its index, so
// readers that stop at the index never see it and the others skip a JUNK.
bool AviWriter::WriteSourceTable() {
  Part& part = m_parts.back();
  const std::vector<std::uint8_t> table = EncodeSourceTable(0, m_sources, m_entries.size());
  std::uint8_t header[8];
  PutLE32(header, kFccJunk);
  PutLE32(header + 4, static_cast<std::uint32_t>(table.size()));
  static const std::uint8_t pad = 0;
  if (!m_out->Append(header, sizeof header) || !m_out->Append(table) ||
      ((table.size() & 1) && !m_out->Append(&pad, 1)) || !m_out->Flush())
    return false;
  if (!m_out->PatchLE32(part.riffStart + 4, ClampU32(m_out->Tell() - part.riffStart - 8))) return false;
  part.closeEnd = m_out->Tell();
  return true;
}

bool AviWriter::PatchHeaders(bool hasLegacyIndex) {
  const std::uint32_t total = FrameCount();
  const std::uint32_t firstPartFrames =
      m_parts.size() > 1 ? static_cast<std::uint32_t>(m_parts[1].firstFrame) : total;
  std::uint64_t bytesPerSec = 0;
  if (m_info.dwScale > 0) bytesPerSec = static_cast<std::uint64_t>(m_largestChunk) * m_info.dwRate / m_info.dwScale;
  const std::uint32_t bufferSize = std::max(m_info.dwSuggestedBufferSize, m_largestChunk);

  bool ok = m_out->PatchLE32(m_avihData + 4, ClampU32(bytesPerSec)) &&          // dwMaxBytesPerSec
            m_out->PatchLE32(m_avihData + 12, hasLegacyIndex ? AVIF_HASINDEX : 0) &&  // dwFlags
            m_out->PatchLE32(m_avihData + 16, firstPartFrames) &&              // dwTotalFrames
            m_out->PatchLE32(m_avihData + 28, bufferSize);                     // dwSuggestedBufferSize
  if (!ok) return false;
  if (!m_hasStream) return true;
  ok = m_out->PatchLE32(m_strhData + 32, total) &&  // dwLength
       m_out->PatchLE32(m_strhData + 36, bufferSize);  // dwSuggestedBufferSize
  if (!ok || m_parts.size() < 2) return ok;

  // OpenDML: the super index lists every part's ix00, and dmlh counts all frames.
  std::vector<std::uint8_t> v;
  AppendLE32(v, kFccIndx);
  v.resize(v.size() + 4);  // the reserved size stays
  std::uint32_t used = 0;
  for (const Part& part : m_parts) used += part.ixSize > 0 ? 1 : 0;
  AppendLE16(v, 4);  // wLongsPerEntry
  v.push_back(0);    // bIndexSubType
  v.push_back(kIndexOfIndexes);  // bIndexType
  AppendLE32(v, used);       // nEntriesInUse
  AppendLE32(v, m_chunkId);  // dwChunkId
  AppendZeros(v, 12);        // dwReserved[3]
  for (std::size_t i = 0; i < m_parts.size(); ++i) {
    const Part& part = m_parts[i];
    if (part.ixSize == 0) continue;
    const std::size_t end = i + 1 < m_parts.size() ? m_parts[i + 1].firstFrame : m_entries.size();
    AppendLE64(v, part.ixOffset);  // qwOffset
    AppendLE32(v, part.ixSize);    // dwSize
    AppendLE32(v, static_cast<std::uint32_t>(end - part.firstFrame));  // dwDuration
  }
  if (!m_out->Patch(m_indxChunk, v.data(), 4) || !m_out->Patch(m_indxChunk + 8, v.data() + 8, v.size() - 8))
    return false;
  return m_out->PatchLE32(m_odmlChunk, kFccList) && m_out->PatchLE32(m_odmlChunk + 20, total);  // dwTotalFrames
}

HRESULT AviWriter::Flush() {
  if (m_error == AVIERR_OK && !m_out->Flush()) Fail();
  return m_error;
}

void AviWriter::Recover() {
  const std::uint64_t durable = m_out->Durable();
  if (!m_headersWritten) {
    m_out->Rewind(0);
    return;
  }
  while (m_parts.size() > 1 && m_parts.back().headerEnd > durable) {
    m_entries.resize(m_parts.back().firstFrame);
    m_parts.pop_back();
  }
  if (m_parts.front().headerEnd > durable) {
    // Not even the headers reached the file: start over with them.
    m_parts.clear();
    m_entries.clear();
    m_headersWritten = false;
    m_out->Rewind(0);
    return;
  }
  Part& part = m_parts.back();
  if (part.closed && part.closeEnd <= durable) {
    m_out->Rewind(part.closeEnd);
    return;
  }
  part.closed = false;
  part.ixSize = 0;
  auto chunkEnd = [](const Entry& e) { return e.offset + 8 + e.size + (e.size & 1); };
  while (m_entries.size() > part.firstFrame && chunkEnd(m_entries.back()) > durable) m_entries.pop_back();
  m_out->Rewind(m_entries.size() > part.firstFrame ? chunkEnd(m_entries.back()) : part.headerEnd);
}

HRESULT AviWriter::Finish() {
  if (m_finished) return m_finishResult;
  m_finished = true;
  if (m_error != AVIERR_OK) Recover();

  if (!m_headersWritten && !WriteHeaders()) Fail();
  if (m_headersWritten && !m_parts.back().closed) {
    const bool odml = m_parts.size() > 1;
    if (!ClosePart(odml) || !m_out->Flush()) {
      // No room for the index: keep the frames, with sizes that match them,
      // and let readers scan.
      Fail();
      Recover();
      if (m_headersWritten && !m_parts.back().closed) {
        // Best effort: the failure is recorded already.
        const Part& part = m_parts.back();
        (void)m_out->PatchLE32(part.moviStart + 4, ClampU32(m_out->Tell() - part.moviStart - 8));
        (void)m_out->PatchLE32(part.riffStart + 4, ClampU32(m_out->Tell() - part.riffStart - 8));
      }
    }
  }
  if (m_headersWritten && m_parts.back().closed && !m_sources.empty()) {
    const Part& part = m_parts.back();
    const std::uint64_t closeEnd = part.closeEnd;
    const std::uint32_t riffSize = ClampU32(closeEnd - part.riffStart - 8);
    if (!WriteSourceTable()) {
      // No room for the table: the file keeps its frames and index as they
      // were closed.
      Fail();
      m_out->Rewind(closeEnd);
      (void)m_out->PatchLE32(part.riffStart + 4, riffSize);
    }
  }
  if (m_headersWritten && !PatchHeaders(m_parts.front().closed)) Fail();
  if (!m_out->Close()) Fail();
  m_finishResult = m_error;
  return m_finishResult;
}

}  // namespace avifile
