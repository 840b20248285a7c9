// RIFF/AVI layout constants shared by the AVI writer and reader, with the
// bitmap core's little-endian field access and format size limit. Internal to
// platform/avifile.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/dib/layout.h"
#include "platform/dib/little_endian.h"
#include "platform/wintypes.h"

namespace avifile {

constexpr FOURCC kFccRiff = mmioFOURCC('R', 'I', 'F', 'F');
constexpr FOURCC kFccList = mmioFOURCC('L', 'I', 'S', 'T');
constexpr FOURCC kFccAvi = mmioFOURCC('A', 'V', 'I', ' ');
constexpr FOURCC kFccAvix = mmioFOURCC('A', 'V', 'I', 'X');
constexpr FOURCC kFccHdrl = mmioFOURCC('h', 'd', 'r', 'l');
constexpr FOURCC kFccAvih = mmioFOURCC('a', 'v', 'i', 'h');
constexpr FOURCC kFccStrl = mmioFOURCC('s', 't', 'r', 'l');
constexpr FOURCC kFccStrh = mmioFOURCC('s', 't', 'r', 'h');
constexpr FOURCC kFccStrf = mmioFOURCC('s', 't', 'r', 'f');
constexpr FOURCC kFccStrn = mmioFOURCC('s', 't', 'r', 'n');
constexpr FOURCC kFccIndx = mmioFOURCC('i', 'n', 'd', 'x');
constexpr FOURCC kFccOdml = mmioFOURCC('o', 'd', 'm', 'l');
constexpr FOURCC kFccDmlh = mmioFOURCC('d', 'm', 'l', 'h');
constexpr FOURCC kFccMovi = mmioFOURCC('m', 'o', 'v', 'i');
constexpr FOURCC kFccRec = mmioFOURCC('r', 'e', 'c', ' ');
constexpr FOURCC kFccIdx1 = mmioFOURCC('i', 'd', 'x', '1');
constexpr FOURCC kFccJunk = mmioFOURCC('J', 'U', 'N', 'K');

constexpr DWORD AVIF_HASINDEX = 0x00000010;

// OpenDML index types (bIndexType).
constexpr std::uint8_t kIndexOfIndexes = 0x00;
constexpr std::uint8_t kIndexOfChunks = 0x01;
// Standard index entry: bit 31 of the size marks a frame that is NOT a key frame.
constexpr std::uint32_t kStdIndexDeltaFrame = 0x80000000u;

// Super index entries reserved in every stream header list.
constexpr std::uint32_t kSuperIndexEntries = 256;
constexpr std::uint32_t kSuperIndexHeaderSize = 24;
constexpr std::uint32_t kStdIndexHeaderSize = 24;
// The dmlh chunk's data, as most writers reserve it.
constexpr std::uint32_t kDmlhSize = 248;
constexpr std::uint32_t kStrhSize = 56;

using dib::GetLE16;
using dib::GetLE32;
using dib::GetLE64;
using dib::PutLE16;
using dib::PutLE32;
using dib::PutLE64;

using dib::kMaxFormatBytes;

// The chunk id of stream n's samples: two decimal digits and a type
// ("00db", "00dc", "01wb").
inline FOURCC StreamChunkId(unsigned stream, char a, char b) {
  return mmioFOURCC(static_cast<char>('0' + stream / 10 % 10), static_cast<char>('0' + stream % 10), a, b);
}
inline bool IsUncompressed(DWORD biCompression) {
  return biCompression == BI_RGB || biCompression == BI_BITFIELDS;
}

}  // namespace avifile
