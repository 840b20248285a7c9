// Key frames told by the samples themselves: for streams whose index does
// not say which samples start a picture of their own (no index, a part found
// by scanning, or an index that marks none), and to drop the key flag an
// index puts on a predicted picture. Internal to platform/avifile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace avifile {

class KeyFrameProbe {
 public:
  // The leading bytes of a sample IsKey needs: picture headers come first.
  static constexpr std::size_t kPrefixBytes = 8192;

  // Null when the samples cannot tell: uncompressed or intra-only formats
  // (every sample is a key frame), or a codec libavcodec has no parser for.
  [[nodiscard]] static std::unique_ptr<KeyFrameProbe> Open(const std::vector<std::uint8_t>& format);
  ~KeyFrameProbe();
  KeyFrameProbe(const KeyFrameProbe&) = delete;
  KeyFrameProbe& operator=(const KeyFrameProbe&) = delete;

  // What a sample, given whole or its first kPrefixBytes, says of itself.
  // Samples go in stream order: headers seen earlier (sequence parameters)
  // help read later ones.
  enum class Kind { kKey, kPredicted, kUnknown };
  [[nodiscard]] Kind Probe(const std::uint8_t* data, std::size_t size);

  // Whether the codec may store pictures out of display order (H.264, HEVC,
  // MPEG-4 Part 2, MPEG-1/2, VC-1): only such streams have packed B-frames,
  // whose splitting leaves a key flag on a predicted picture.
  [[nodiscard]] bool Reorders() const;

 private:
  struct Impl;
  explicit KeyFrameProbe(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m;
};

}  // namespace avifile
