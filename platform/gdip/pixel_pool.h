// Pixel and file memory of the picture services. Internal to platform/gdip.
//
// Large blocks go back to a small pool when released and are handed out
// again: decoding one picture after another asks for the same sizes each
// time, and on the virtual machines we run on, first touches of freshly
// mapped pages cost more than the decoding itself. The pool keeps only
// blocks wholly in memory and gives way to blocks it cannot serve, so it
// adds no more than its bound to the memory of the picture being decoded.
// Zeroed blocks that come fresh stay untouched (and out of memory) until
// written. Any thread may allocate and release. On a thread that keeps
// picture memory, large blocks come from those it keeps (decode_memory.h).
#pragma once

#include <cstddef>
#include <memory>

#include "platform/gdip/decode_memory.h"
#include "platform/wintypes.h"

namespace gdip {

struct PoolReturn {
  std::size_t capacity = 0;
  std::size_t kept = 0;  // a kept block's used bytes
  KeptRole role = KeptRole::kNone;
  void operator()(BYTE* block) const;
};
using PixelBuffer = std::unique_ptr<BYTE, PoolReturn>;
// Null when the memory is not there. With `dirty` given, a zeroed block the
// pool serves comes as it was and *dirty is set: the caller clears what it
// does not write (the block is in memory already, so that costs none).
// `role` names what the block holds, for threads that keep picture memory.
[[nodiscard]] PixelBuffer AllocatePixels(std::size_t bytes, bool zeroed, bool* dirty = nullptr,
                                         KeptRole role = KeptRole::kNone);
// Frees every pooled block (at library shutdown).
void DrainPixelPool();

}  // namespace gdip
