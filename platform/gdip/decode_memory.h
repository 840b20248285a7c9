// Memory the picture decoders keep from one picture to the next on threads
// that asked for it (platform/picture_memory.h). Internal to platform/gdip.
//
// A photograph's decoding asks for the same large blocks every time: its
// file, its pixels and, progressive, every coefficient until the last scan
// (tens of megabytes). Asked from the system, each is faulted in page by
// page and zeroed, then given back, for every picture. A keeping thread
// holds a few such blocks instead. Each is reserved at kKeptPictureBlock
// and comes zeroed, so only the pages pictures have used are in memory: a
// larger picture after smaller ones grows a block in place, and a block's
// used part is counted against kKeptPictureBytes.
#pragma once

#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>

namespace gdip {

// What a kept block holds for each picture: the same sizes come again in
// the same roles.
enum class KeptRole { kNone, kFile, kPixels, kCoefficients };

struct KeptBlock {
  void* memory = nullptr;
  std::size_t capacity = 0;
  std::size_t used = 0;  // bytes from the start that may hold old data
};

// Whether the calling thread keeps picture memory.
bool KeepsPictureMemory();

// A block of at least `bytes` for `role` when the calling thread keeps
// picture memory and `bytes` fits a kept block: the one it holds for the
// role, or a new one; *dirty is then how many bytes from its start may hold
// old data (the rest is zero). A block with null memory otherwise, or when
// memory ran out.
[[nodiscard]] KeptBlock TakeKeptBlock(KeptRole role, std::size_t bytes, std::size_t* dirty);
// Keeps a block from TakeKeptBlock for `role` on the calling thread, or
// frees it.
void GiveBackKeptBlock(KeptRole role, KeptBlock block);

// The used bytes of the blocks the calling thread holds.
std::size_t KeptMemoryBytes();

// Gives cinfo's whole-picture coefficient arrays the kept memory (on other
// threads, memory freed with the picture as libjpeg's own is) and zeroes
// them only where libjpeg needs zeros. Call right after
// jpeg_create_decompress, under the caller's error jump: it may fail as
// libjpeg's allocations do. Takes cinfo->client_data.
void UseKeptMemory(j_common_ptr cinfo);

}  // namespace gdip
