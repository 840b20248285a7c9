// The table of each frame's source picture, carried in a JUNK chunk at the
// end of the file so that players skip it. Internal to platform/avifile.
//
// Layout of the chunk's data, little-endian:
//   "SWSOURCE"  signature
//   u32 version (1), u32 stream number, u32 entry count
//   per frame: u32 path bytes, path; u16 time bytes, time
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace avifile {

struct FrameSource {
  std::string path;  // as listed when the file was made
  std::string time;  // "YYYY:MM:DD HH:MM:SS.nnnnnnnnn" or empty
};

struct SourceTable {
  std::uint32_t stream = 0;
  std::vector<FrameSource> frames;
};

// Largest table written or read: data beyond it is left out (writing) or
// the table is refused (reading), so a damaged size never costs memory.
constexpr std::uint64_t kMaxSourceTableBytes = 256ull << 20;
constexpr char kSourceTableSignature[8] = {'S', 'W', 'S', 'O', 'U', 'R', 'C', 'E'};
constexpr std::uint32_t kSourceTableHeaderBytes = 20;

// The chunk data for the first count frames, or fewer when the table would
// pass kMaxSourceTableBytes (frames left out have no source).
std::vector<std::uint8_t> EncodeSourceTable(std::uint32_t stream, const std::vector<FrameSource>& frames,
                                            std::size_t count);
// Whether data starts like a table.
bool HasSourceSignature(const std::uint8_t* data, std::size_t size);
// The table in data, or nothing when it is damaged anywhere. Entries past
// maxFrames (the frames the stream has) are not read, so memory follows the
// frames the file really holds.
std::optional<SourceTable> DecodeSourceTable(const std::uint8_t* data, std::size_t size, std::size_t maxFrames);

}  // namespace avifile
