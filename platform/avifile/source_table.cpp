#include "platform/avifile/source_table.h"

#include <algorithm>
#include <cstring>

#include "platform/avifile/riff_layout.h"

namespace avifile {

namespace {

constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kMaxTime = 0xFFFF;

std::size_t EntryBytes(const FrameSource& f) {
  return 4 + f.path.size() + 2 + std::min(f.time.size(), kMaxTime);
}

}  // namespace

std::vector<std::uint8_t> EncodeSourceTable(std::uint32_t stream, const std::vector<FrameSource>& frames,
                                            std::size_t count) {
  count = std::min(count, frames.size());
  std::uint64_t bytes = kSourceTableHeaderBytes;
  std::size_t fit = 0;
  for (; fit < count; ++fit) {
    const std::uint64_t entry = EntryBytes(frames[fit]);
    if (bytes + entry > kMaxSourceTableBytes) break;
    bytes += entry;
  }
  std::vector<std::uint8_t> v(static_cast<std::size_t>(bytes));
  std::uint8_t* p = v.data();
  std::memcpy(p, kSourceTableSignature, 8);
  PutLE32(p + 8, kVersion);
  PutLE32(p + 12, stream);
  PutLE32(p + 16, static_cast<std::uint32_t>(fit));
  p += kSourceTableHeaderBytes;
  for (std::size_t i = 0; i < fit; ++i) {
    const FrameSource& f = frames[i];
    PutLE32(p, static_cast<std::uint32_t>(f.path.size()));
    std::memcpy(p + 4, f.path.data(), f.path.size());
    p += 4 + f.path.size();
    const std::size_t time = std::min(f.time.size(), kMaxTime);
    PutLE16(p, static_cast<std::uint16_t>(time));
    std::memcpy(p + 2, f.time.data(), time);
    p += 2 + time;
  }
  return v;
}

bool HasSourceSignature(const std::uint8_t* data, std::size_t size) {
  return size >= sizeof kSourceTableSignature && std::memcmp(data, kSourceTableSignature, 8) == 0;
}

std::optional<SourceTable> DecodeSourceTable(const std::uint8_t* data, std::size_t size, std::size_t maxFrames) {
  if (size < kSourceTableHeaderBytes || size > kMaxSourceTableBytes || !HasSourceSignature(data, size))
    return std::nullopt;
  if (GetLE32(data + 8) != kVersion) return std::nullopt;
  SourceTable table;
  table.stream = GetLE32(data + 12);
  const std::uint32_t count = GetLE32(data + 16);
  // Every entry takes at least 6 bytes: a count beyond that is damage.
  if (count > (size - kSourceTableHeaderBytes) / 6) return std::nullopt;
  const std::size_t wanted = std::min<std::size_t>(count, maxFrames);
  table.frames.reserve(wanted);
  std::size_t pos = kSourceTableHeaderBytes;
  for (std::size_t i = 0; i < wanted; ++i) {
    if (size - pos < 4) return std::nullopt;
    const std::uint32_t path = GetLE32(data + pos);
    pos += 4;
    if (size - pos < path) return std::nullopt;
    FrameSource f;
    f.path.assign(reinterpret_cast<const char*>(data + pos), path);
    pos += path;
    if (size - pos < 2) return std::nullopt;
    const std::uint16_t time = GetLE16(data + pos);
    pos += 2;
    if (size - pos < time) return std::nullopt;
    f.time.assign(reinterpret_cast<const char*>(data + pos), time);
    pos += time;
    // A name with a NUL in it would be cut short by every caller.
    if (f.path.find('\0') != std::string::npos || f.time.find('\0') != std::string::npos) return std::nullopt;
    table.frames.push_back(std::move(f));
  }
  return table;
}

}  // namespace avifile
