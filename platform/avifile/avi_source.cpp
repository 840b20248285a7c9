#include "platform/avifile/avi_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <optional>
#include <unordered_set>

#include "platform/avifile/key_frames.h"
#include "platform/avifile/riff_layout.h"

namespace avifile {

namespace {

constexpr std::size_t kCacheBytes = 16 << 10;
constexpr unsigned kMaxStreams = 100;  // two decimal digits in chunk ids
constexpr int kMaxIndexDepth = 3;
constexpr std::size_t kMaxFrames = 0x7FFFFFFF;

struct Range {
  std::uint64_t begin;
  std::uint64_t end;
};

struct Chunk {
  FOURCC id;
  std::uint32_t size;    // as declared
  std::uint64_t header;  // offset of the fourcc
  std::uint64_t data;    // offset of the data
  std::uint64_t end;     // end of the data, clamped to the parent
};

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// The stream number of a sample chunk id ("01dc" is stream 1), or -1 for ids
// that are not samples (lists, indexes, palette changes).
int SampleStream(FOURCC id) {
  const std::uint8_t a = id & 0xFF, b = (id >> 8) & 0xFF, c = (id >> 16) & 0xFF, d = id >> 24;
  if (!IsDigit(a) || !IsDigit(b)) return -1;
  if ((c == 'i' && d == 'x') || (c == 'p' && d == 'c')) return -1;
  return (a - '0') * 10 + (b - '0');
}

[[nodiscard]] bool PReadAll(int fd, void* dst, std::size_t size, std::uint64_t offset, std::size_t* got) {
  auto* out = static_cast<std::uint8_t*>(dst);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *got = done;
      return false;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  *got = done;
  return true;
}

}  // namespace

// One pass over the file's structure. Reads go through a small cache, so
// walking many small chunks costs few system calls.
class Parser {
 public:
  Parser(AviSource& source, std::uint64_t fileSize) : m_source(source), m_fileSize(fileSize) {}

  HRESULT Run();

 private:
  struct StreamParse {
    bool hasStrh = false;
    std::uint64_t indxData = 0;
    std::uint32_t indxSize = 0;
    bool hasIndx = false;
    std::vector<FrameEntry> idx1Frames;
    std::vector<bool> idx1Keys;
  };

  [[nodiscard]] bool Read(std::uint64_t offset, void* dst, std::size_t size);
  [[nodiscard]] bool ReadChunk(std::uint64_t pos, std::uint64_t parentEnd, Chunk* chunk);
  std::uint64_t NextChunk(const Chunk& chunk) const {
    return chunk.data + chunk.size + (chunk.size & 1);
  }
  [[nodiscard]] bool ReadFourcc(std::uint64_t offset, FOURCC* fcc) {
    std::uint8_t b[4];
    if (!Read(offset, b, 4)) return false;
    *fcc = GetLE32(b);
    return true;
  }

  void WalkFirstRiff(std::uint64_t begin, std::uint64_t end);
  void WalkLaterParts(std::uint64_t begin);
  void ParseHdrl(const Chunk& hdrl);
  void ParseStrl(const Chunk& strl);
  void ParseIdx1();
  [[nodiscard]] bool ReadOdmlIndex(unsigned stream, std::uint64_t data, std::uint64_t size, int depth,
                     std::vector<FrameEntry>* frames, std::vector<bool>* keys);
  void Scan(unsigned stream, std::uint64_t from, std::vector<FrameEntry>* frames, std::vector<bool>* keys);
  void BuildIndex(unsigned stream);
  void NoteJunk(const Chunk& junk);
  void ParseSourceTable();

  AviSource& m_source;
  std::uint64_t m_fileSize;
  std::vector<std::uint8_t> m_cache;
  std::uint64_t m_cacheStart = 0;
  bool m_ioError = false;

  bool m_hasHdrl = false;
  std::uint32_t m_usPerFrame = 0;
  std::vector<StreamParse> m_parse;     // per listed stream, in strl order
  std::vector<int> m_streamOfNumber;    // strl number -> index in m_source.m_streams, or -1
  std::vector<Range> m_movi;            // data of each movi list (after the 'movi' fourcc)
  std::uint64_t m_moviFourcc = 0;       // of the first part, base of relative idx1 offsets
  bool m_hasIdx1 = false;
  Chunk m_idx1{};
  std::unordered_set<std::uint64_t> m_visitedIndexes;
  bool m_hasSourceTable = false;
  Chunk m_sourceTable{};
};

bool Parser::Read(std::uint64_t offset, void* dst, std::size_t size) {
  if (offset > m_fileSize || size > m_fileSize - offset) return false;
  if (size == 0) return true;
  if (size > kCacheBytes / 2) {
    std::size_t got = 0;
    if (!PReadAll(m_source.m_fd, dst, size, offset, &got)) m_ioError = true;
    return got == size;
  }
  if (offset < m_cacheStart || offset + size > m_cacheStart + m_cache.size()) {
    m_cache.resize(kCacheBytes);
    std::size_t got = 0;
    if (!PReadAll(m_source.m_fd, m_cache.data(), kCacheBytes, offset, &got)) m_ioError = true;
    m_cache.resize(got);
    m_cacheStart = offset;
    if (got < size) return false;
  }
  std::memcpy(dst, m_cache.data() + (offset - m_cacheStart), size);
  return true;
}

bool Parser::ReadChunk(std::uint64_t pos, std::uint64_t parentEnd, Chunk* chunk) {
  std::uint8_t h[8];
  if (pos > parentEnd || parentEnd - pos < 8 || !Read(pos, h, 8)) return false;
  chunk->id = GetLE32(h);
  chunk->size = GetLE32(h + 4);
  chunk->header = pos;
  chunk->data = pos + 8;
  chunk->end = std::min<std::uint64_t>(chunk->data + chunk->size, parentEnd);
  return true;
}

HRESULT Parser::Run() {
  std::uint8_t h[12];
  if (m_fileSize < 12 || !Read(0, h, 12)) return m_ioError ? AVIERR_FILEREAD : AVIERR_BADFORMAT;
  if (GetLE32(h) != kFccRiff || GetLE32(h + 8) != kFccAvi) return AVIERR_BADFORMAT;
  const std::uint32_t riffSize = GetLE32(h + 4);
  // A size below the header's own is a placeholder of an unfinished file.
  std::uint64_t riffEnd = riffSize < 4 ? m_fileSize : std::min<std::uint64_t>(8ull + riffSize, m_fileSize);
  WalkFirstRiff(12, riffEnd);
  if (m_movi.empty() && riffEnd < m_fileSize) {
    // The RIFF size stops short of the data; trust the file instead.
    m_hasHdrl = false;
    m_usPerFrame = 0;
    m_source.m_streams.clear();
    m_parse.clear();
    m_streamOfNumber.clear();
    m_hasIdx1 = false;
    riffEnd = m_fileSize;
    WalkFirstRiff(12, riffEnd);
  } else {
    WalkLaterParts(riffEnd + (riffEnd & 1));
  }
  if (m_ioError) return AVIERR_FILEREAD;
  if (!m_hasHdrl) return AVIERR_BADFORMAT;

  ParseIdx1();
  for (unsigned i = 0; i < m_source.m_streams.size(); ++i) BuildIndex(i);
  ParseSourceTable();
  return m_ioError ? AVIERR_FILEREAD : AVIERR_OK;
}

void Parser::WalkFirstRiff(std::uint64_t begin, std::uint64_t end) {
  Chunk c;
  for (std::uint64_t pos = begin; ReadChunk(pos, end, &c); pos = NextChunk(c)) {
    if (c.id == kFccList) {
      FOURCC type;
      if (end - c.data < 4 || !ReadFourcc(c.data, &type)) break;
      if (type == kFccHdrl && !m_hasHdrl) {
        ParseHdrl(c);
      } else if (type == kFccMovi && m_movi.empty()) {
        // An unfinished writer leaves the size 0: the list runs to the end.
        const std::uint64_t listEnd = c.size <= 4 ? end : c.end;
        m_moviFourcc = c.data;
        m_movi.push_back(Range{c.data + 4, listEnd});
        if (c.size <= 4) break;
      }
    } else if (c.id == kFccIdx1 && !m_hasIdx1) {
      m_hasIdx1 = true;
      m_idx1 = c;
    } else if (c.id == kFccJunk) {
      NoteJunk(c);
    }
    if (NextChunk(c) > end) break;
  }
}

void Parser::WalkLaterParts(std::uint64_t begin) {
  Chunk riff;
  for (std::uint64_t pos = begin; ReadChunk(pos, m_fileSize, &riff); pos = NextChunk(riff)) {
    if (riff.id == kFccRiff) {
      FOURCC type;
      if (m_fileSize - riff.data < 4 || !ReadFourcc(riff.data, &type) || type != kFccAvix) break;
      const std::uint64_t partEnd = riff.size <= 4 ? m_fileSize : riff.end;
      Chunk c;
      bool hasMovi = false;
      for (std::uint64_t p = riff.data + 4; ReadChunk(p, partEnd, &c); p = NextChunk(c)) {
        FOURCC listType;
        if (!hasMovi && c.id == kFccList && partEnd - c.data >= 4 && ReadFourcc(c.data, &listType) &&
            listType == kFccMovi) {
          hasMovi = true;
          m_movi.push_back(Range{c.data + 4, c.size <= 4 ? partEnd : c.end});
          if (c.size <= 4) break;
        } else if (c.id == kFccJunk) {
          NoteJunk(c);
        }
        if (NextChunk(c) > partEnd) break;
      }
      if (riff.size <= 4) break;
    } else if (riff.id != kFccJunk) {
      break;
    }
    if (NextChunk(riff) > m_fileSize) break;
  }
}

void Parser::ParseHdrl(const Chunk& hdrl) {
  m_hasHdrl = true;
  Chunk c;
  for (std::uint64_t pos = hdrl.data + 4; ReadChunk(pos, hdrl.end, &c); pos = NextChunk(c)) {
    if (c.id == kFccAvih && c.end - c.data >= 4) {
      std::uint8_t b[4];
      if (Read(c.data, b, 4)) m_usPerFrame = GetLE32(b);
    } else if (c.id == kFccList) {
      FOURCC type;
      if (c.end - c.data >= 4 && ReadFourcc(c.data, &type) && type == kFccStrl) {
        if (m_streamOfNumber.size() >= kMaxStreams) break;
        ParseStrl(c);
      }
    }
    if (NextChunk(c) > hdrl.end) break;
  }
}

void Parser::ParseStrl(const Chunk& strl) {
  StreamData stream;
  StreamParse parse;
  Chunk c;
  for (std::uint64_t pos = strl.data + 4; ReadChunk(pos, strl.end, &c); pos = NextChunk(c)) {
    const std::uint64_t available = c.end - c.data;
    if (c.id == kFccStrh && !parse.hasStrh) {
      // Short (older) headers leave the later fields 0.
      std::uint8_t b[kStrhSize] = {};
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(available, kStrhSize));
      if (n >= 8 && Read(c.data, b, n)) {
        parse.hasStrh = true;
        AVISTREAMINFOA& i = stream.info;
        i.fccType = GetLE32(b);
        i.fccHandler = GetLE32(b + 4);
        i.dwFlags = GetLE32(b + 8);
        i.wPriority = GetLE16(b + 12);
        i.wLanguage = GetLE16(b + 14);
        i.dwInitialFrames = GetLE32(b + 16);
        i.dwScale = GetLE32(b + 20);
        i.dwRate = GetLE32(b + 24);
        i.dwStart = GetLE32(b + 28);
        i.dwLength = GetLE32(b + 32);
        i.dwSuggestedBufferSize = GetLE32(b + 36);
        i.dwQuality = GetLE32(b + 40);
        i.dwSampleSize = GetLE32(b + 44);
        i.rcFrame.left = static_cast<std::int16_t>(GetLE16(b + 48));
        i.rcFrame.top = static_cast<std::int16_t>(GetLE16(b + 50));
        i.rcFrame.right = static_cast<std::int16_t>(GetLE16(b + 52));
        i.rcFrame.bottom = static_cast<std::int16_t>(GetLE16(b + 54));
      }
    } else if (c.id == kFccStrf && stream.format.empty() && available <= kMaxFormatBytes) {
      stream.format.resize(static_cast<std::size_t>(available));
      if (!Read(c.data, stream.format.data(), stream.format.size())) stream.format.clear();
    } else if (c.id == kFccStrn && stream.info.szName[0] == 0) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(available, sizeof stream.info.szName - 1));
      char name[sizeof stream.info.szName] = {};
      if (Read(c.data, name, n)) std::memcpy(stream.info.szName, name, sizeof name);
    } else if (c.id == kFccIndx && !parse.hasIndx) {
      parse.hasIndx = true;
      parse.indxData = c.data;
      parse.indxSize = static_cast<std::uint32_t>(available);
    }
    if (NextChunk(c) > strl.end) break;
  }
  if (!parse.hasStrh) {
    m_streamOfNumber.push_back(-1);
    return;
  }
  m_streamOfNumber.push_back(static_cast<int>(m_source.m_streams.size()));
  m_source.m_streams.push_back(std::move(stream));
  m_parse.push_back(std::move(parse));
}

void Parser::ParseIdx1() {
  if (!m_hasIdx1 || m_movi.empty()) return;
  const std::uint64_t count = (m_idx1.end - m_idx1.data) / 16;
  // Offsets count from the 'movi' fourcc, or (some writers) from the file's
  // start: the first sample entry tells which, by naming the chunk it points at.
  std::uint64_t base = 0;
  bool baseKnown = false;
  std::uint8_t e[16];
  for (std::uint64_t i = 0; i < count && !baseKnown; ++i) {
    if (!Read(m_idx1.data + 16 * i, e, 16)) return;
    const FOURCC id = GetLE32(e);
    if (SampleStream(id) < 0) continue;
    const std::uint32_t offset = GetLE32(e + 8);
    for (std::uint64_t candidate : {m_moviFourcc, std::uint64_t{0}}) {
      FOURCC found;
      if (ReadFourcc(candidate + offset, &found) && found == id) {
        base = candidate;
        baseKnown = true;
        break;
      }
    }
    if (!baseKnown) return;  // an index that points nowhere is no index
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!Read(m_idx1.data + 16 * i, e, 16)) return;
    const int number = SampleStream(GetLE32(e));
    if (number < 0 || static_cast<std::size_t>(number) >= m_streamOfNumber.size()) continue;
    const int s = m_streamOfNumber[static_cast<std::size_t>(number)];
    if (s < 0) continue;
    const std::uint32_t flags = GetLE32(e + 4);
    const std::uint64_t data = base + GetLE32(e + 8) + 8;
    const std::uint32_t size = GetLE32(e + 12);
    // Past the end of a truncated file: the scan after the index takes over.
    if (data > m_fileSize || size > m_fileSize - data) return;
    StreamParse& parse = m_parse[static_cast<std::size_t>(s)];
    if (parse.idx1Frames.size() >= kMaxFrames) continue;
    parse.idx1Frames.push_back(FrameEntry{data, size});
    parse.idx1Keys.push_back((flags & AVIIF_KEYFRAME) != 0);
  }
}

// Reads an OpenDML index (a super index of indexes, or a standard index of
// chunks) whose data is at data. Returns false when it is unusable or points
// past the file; entries read up to there are kept.
bool Parser::ReadOdmlIndex(unsigned stream, std::uint64_t data, std::uint64_t size, int depth,
                           std::vector<FrameEntry>* frames, std::vector<bool>* keys) {
  if (depth > kMaxIndexDepth || size < kStdIndexHeaderSize) return false;
  if (!m_visitedIndexes.insert(data).second) return false;  // loops
  std::uint8_t h[kStdIndexHeaderSize];
  if (!Read(data, h, sizeof h)) return false;
  const std::uint16_t longsPerEntry = GetLE16(h);
  const std::uint8_t indexType = h[3];
  const std::uint64_t declared = GetLE32(h + 4);
  const int owner = SampleStream(GetLE32(h + 8));
  // dwChunkId names the stream; an index of another stream is not ours.
  if (owner >= 0 && static_cast<unsigned>(owner) != stream) return false;

  if (indexType == kIndexOfIndexes) {
    if (longsPerEntry != 4) return false;
    const std::uint64_t count = std::min(declared, (size - kSuperIndexHeaderSize) / 16);
    for (std::uint64_t i = 0; i < count; ++i) {
      std::uint8_t e[16];
      if (!Read(data + kSuperIndexHeaderSize + 16 * i, e, 16)) return false;
      const std::uint64_t offset = GetLE64(e);
      Chunk c;
      if (!ReadChunk(offset, m_fileSize, &c)) return false;
      if (c.data + c.size > m_fileSize) return false;
      if (!ReadOdmlIndex(stream, c.data, c.size, depth + 1, frames, keys)) return false;
    }
    return count == declared;
  }
  if (indexType != kIndexOfChunks || (longsPerEntry != 2 && longsPerEntry != 3)) return false;
  const std::uint64_t base = GetLE64(h + 12);
  if (base >= m_fileSize) return false;
  const std::uint64_t entryBytes = 4ull * longsPerEntry;
  const std::uint64_t count = std::min(declared, (size - kStdIndexHeaderSize) / entryBytes);
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint8_t e[12];
    if (!Read(data + kStdIndexHeaderSize + entryBytes * i, e, 8)) return false;
    const std::uint64_t frame = base + GetLE32(e);
    const std::uint32_t rawSize = GetLE32(e + 4);
    const std::uint32_t frameSize = rawSize & ~kStdIndexDeltaFrame;
    if (frame > m_fileSize || frameSize > m_fileSize - frame) return false;
    if (frames->size() >= kMaxFrames) return false;
    frames->push_back(FrameEntry{frame, frameSize});
    keys->push_back((rawSize & kStdIndexDeltaFrame) == 0);
  }
  return count == declared;
}

// Collects the stream's sample chunks from the movi lists, from offset from
// on. 'rec ' lists are entered; a chunk that does not fit ends its list.
void Parser::Scan(unsigned stream, std::uint64_t from, std::vector<FrameEntry>* frames,
                  std::vector<bool>* keys) {
  for (const Range& movi : m_movi) {
    if (movi.end <= from) continue;
    std::uint64_t pos = std::max(movi.begin, from);
    Chunk c;
    while (ReadChunk(pos, movi.end, &c)) {
      if (c.id == kFccList) {
        FOURCC type;
        if (c.size < 4 || !ReadFourcc(c.data, &type)) break;
        pos = type == kFccRec ? c.data + 4 : NextChunk(c);
        continue;
      }
      if (c.data + c.size > movi.end) break;
      if (SampleStream(c.id) == static_cast<int>(stream)) {
        if (frames->size() >= kMaxFrames) return;
        frames->push_back(FrameEntry{c.data, c.size});
        keys->push_back(false);  // unknown: see BuildIndex
      }
      pos = NextChunk(c);
    }
  }
}

void Parser::BuildIndex(unsigned s) {
  StreamData& stream = m_source.m_streams[s];
  StreamParse& parse = m_parse[s];
  unsigned number = 0;
  while (m_streamOfNumber[number] != static_cast<int>(s)) ++number;

  std::vector<FrameEntry> frames;
  std::vector<bool> keys;
  if (parse.hasIndx) {
    m_visitedIndexes.clear();
    // A damaged index keeps the entries read before the damage; the scan
    // below finds the samples after them.
    (void)ReadOdmlIndex(number, parse.indxData, parse.indxSize, 0, &frames, &keys);
  }
  if (frames.empty()) {
    frames = std::move(parse.idx1Frames);
    keys = std::move(parse.idx1Keys);
  }
  // Whatever lies past the last indexed sample is found by scanning: the rest
  // of a truncated index, parts an unfinished writer did not index, AVIX parts
  // beside a lone idx1. In a finished file this reads a chunk header or two.
  std::uint64_t from = 0;
  for (const FrameEntry& f : frames) from = std::max<std::uint64_t>(from, f.offset + f.size + (f.size & 1));
  std::size_t indexed = frames.size();
  Scan(number, from, &frames, &keys);

  // An entry naming the same bytes as the one before it repeats its picture,
  // as FFmpeg reads it: it becomes an empty sample, so a decoder shows the
  // picture it has instead of decoding it again (an index can name one
  // small sample of a huge picture millions of times), and it is no key
  // frame to start at.
  const bool video = stream.info.fccType == streamtypeVIDEO;
  if (video)
    for (std::size_t i = frames.size(); i-- > 1;)
      if (frames[i].size > 0 && frames[i].offset == frames[i - 1].offset && frames[i].size == frames[i - 1].size)
        frames[i].size = 0;

  // Empty samples repeat the previous picture and are never key frames. A
  // raw picture always is one. Where the index does not say (samples found
  // by scanning, or an index that marks none), the samples tell.
  const bool uncompressed = video && stream.format.size() >= 20 && IsUncompressed(GetLE32(stream.format.data() + 16));
  if (std::find(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(indexed), true) ==
      keys.begin() + static_cast<std::ptrdiff_t>(indexed))
    indexed = 0;
  bool told = false;
  if (video && !uncompressed) {
    if (std::unique_ptr<KeyFrameProbe> probe = KeyFrameProbe::Open(stream.format)) {
      told = indexed < frames.size();
      std::vector<std::uint8_t> prefix;
      for (std::size_t i = 0; i < frames.size(); ++i) {
        // Indexed key frames are checked too where the codec reorders:
        // writers that split packed B-frames leave the key flag on the
        // B-frame split off. Elsewhere the index is trusted, which spares
        // a read for each key frame of a long file.
        if (i < indexed && (!keys[i] || !probe->Reorders())) continue;
        prefix.resize(std::min<std::size_t>(frames[i].size, KeyFrameProbe::kPrefixBytes));
        const KeyFrameProbe::Kind kind = !prefix.empty() && Read(frames[i].offset, prefix.data(), prefix.size())
                                             ? probe->Probe(prefix.data(), prefix.size())
                                             : KeyFrameProbe::Kind::kUnknown;
        keys[i] = i < indexed ? kind != KeyFrameProbe::Kind::kPredicted : kind == KeyFrameProbe::Kind::kKey;
      }
    }
  }
  // Where nothing is known to be a key frame, everything counts as one.
  const bool anyKey = std::find(keys.begin(), keys.end(), true) != keys.end();
  const bool everyKey = uncompressed || !anyKey || (indexed == 0 && !told);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const bool key = frames[i].size > 0 && (everyKey || keys[i]);
    if (key) stream.keys.push_back(static_cast<std::int32_t>(i));
  }
  stream.frames = std::move(frames);

  // Length and buffer size describe the samples found, so a caller sizing a
  // buffer from them never trusts the file's header.
  AVISTREAMINFOA& info = stream.info;
  info.dwLength = static_cast<DWORD>(stream.frames.size());
  info.dwSuggestedBufferSize = 0;
  for (const FrameEntry& f : stream.frames) info.dwSuggestedBufferSize = std::max(info.dwSuggestedBufferSize, f.size);
  if (info.dwRate == 0 || info.dwScale == 0) {
    // A rate the viewer can divide by: the main header's frame time, or 25.
    const std::uint32_t rate = m_usPerFrame > 0 ? 1000000 : 25;
    const std::uint32_t scale = m_usPerFrame > 0 ? m_usPerFrame : 1;
    const std::uint32_t g = std::gcd(rate, scale);
    info.dwRate = rate / g;
    info.dwScale = scale / g;
  }
  if (info.rcFrame.right <= info.rcFrame.left || info.rcFrame.bottom <= info.rcFrame.top) {
    if (info.fccType == streamtypeVIDEO && stream.format.size() >= 12) {
      const std::int32_t width = static_cast<std::int32_t>(GetLE32(stream.format.data() + 4));
      const std::int32_t height = static_cast<std::int32_t>(GetLE32(stream.format.data() + 8));
      info.rcFrame = RECT{0, 0, std::max(width, 0), height == INT32_MIN ? INT32_MAX : std::abs(height)};
    }
  }
}

// A JUNK chunk may hold the frames' source table; the last one found counts.
void Parser::NoteJunk(const Chunk& junk) {
  std::uint8_t head[8];
  if (junk.size < kSourceTableHeaderBytes || junk.end - junk.data < sizeof head || !Read(junk.data, head, sizeof head))
    return;
  if (!HasSourceSignature(head, sizeof head)) return;
  m_hasSourceTable = true;
  m_sourceTable = junk;
}

// A table that is cut short, too large or damaged anywhere is ignored: the
// frames play the same without it.
void Parser::ParseSourceTable() {
  if (!m_hasSourceTable) return;
  const Chunk& c = m_sourceTable;
  if (c.size > kMaxSourceTableBytes || c.end - c.data < c.size) return;
  std::vector<std::uint8_t> data(c.size);
  if (!Read(c.data, data.data(), data.size())) return;
  // The stream number comes first, so that only its frames are decoded.
  const std::uint32_t number = GetLE32(data.data() + 12);
  if (number >= m_streamOfNumber.size() || m_streamOfNumber[number] < 0) return;
  StreamData& stream = m_source.m_streams[static_cast<std::size_t>(m_streamOfNumber[number])];
  std::optional<SourceTable> table = DecodeSourceTable(data.data(), data.size(), stream.frames.size());
  if (table) stream.sources = std::move(table->frames);
}

HRESULT AviSource::Open(const char* path, std::unique_ptr<AviSource>* source) {
  // Non-blocking, so a FIFO without a writer (or a device that waits) is
  // refused below instead of holding the caller forever.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return AVIERR_FILEOPEN;
  std::unique_ptr<AviSource> s(new AviSource(fd));
  struct stat st;
  if (::fstat(fd, &st) != 0) return AVIERR_FILEREAD;
  if (!S_ISREG(st.st_mode)) return AVIERR_FILEOPEN;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return AVIERR_FILEREAD;
  if (st.st_size == 0) return AVIERR_NODATA;
  Parser parser(*s, static_cast<std::uint64_t>(st.st_size));
  const HRESULT hr = parser.Run();
  if (hr != AVIERR_OK) return hr;
  *source = std::move(s);
  return AVIERR_OK;
}

AviSource::~AviSource() { ::close(m_fd); }

HRESULT AviSource::ReadSample(const StreamData& stream, LONG pos, void* buffer, LONG bufferSize,
                              LONG* bytes) const {
  if (pos < 0 || static_cast<std::size_t>(pos) >= stream.frames.size()) return AVIERR_BADPARAM;
  const FrameEntry& frame = stream.frames[static_cast<std::size_t>(pos)];
  const std::uint32_t size = frame.size;
  if (size > 0x7FFFFFFFu) return AVIERR_BADSIZE;
  if (bytes) *bytes = static_cast<LONG>(size);
  if (!buffer) return AVIERR_OK;
  if (bufferSize < 0 || static_cast<std::uint32_t>(bufferSize) < size) return AVIERR_BUFFERTOOSMALL;
  std::size_t got = 0;
  if (!PReadAll(m_fd, buffer, size, frame.offset, &got) || got != size) return AVIERR_FILEREAD;
  return AVIERR_OK;
}

}  // namespace avifile
