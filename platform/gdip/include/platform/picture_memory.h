// Memory the picture decoders keep from one picture to the next.
#pragma once

#include <cstdint>

// From now until the calling thread ends, the large blocks that decoding a
// picture needs (its file, its pixels, a progressive JPEG's coefficients)
// stay with the thread for its next picture instead of going back to the
// system. For threads that load one picture after another. A kept block
// holds at most kKeptPictureBlock; what all threads keep is bounded by
// kKeptPictureBytes, past which blocks are freed as usual.
void KeepPictureMemoryOnThisThread();

constexpr std::uint64_t kKeptPictureBlock = std::uint64_t{64} << 20;
constexpr std::uint64_t kKeptPictureBytes = std::uint64_t{160} << 20;
