// The stream a frame decoder reads, with what its sources ask of it again and
// again: sample sizes, the sample holding a position's picture (empty samples
// repeat the picture before them), key frames. Internal to platform/codec;
// used on the decoder's calling thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/vfw.h"

namespace codec {

class StreamSamples {
 public:
  StreamSamples(PAVISTREAM stream, LONG length) : m_stream(stream), m_length(length) {}

  LONG length() const { return m_length; }

  // Size of sample i, or -1 when it cannot be read.
  [[nodiscard]] LONG Size(LONG i) const;
  // Reads sample i, which must hold size bytes, into buffer.
  [[nodiscard]] bool Read(LONG i, void* buffer, LONG size) const;
  // Reads sample i into `into`; false when it is empty or cannot be read.
  [[nodiscard]] bool Read(LONG i, std::vector<std::uint8_t>& into) const;
  // The first sample from i on that holds data, or length().
  LONG NextWithData(LONG i) const;
  // The sample holding the picture of position n: n itself, or the last
  // sample before it with data when n is empty. -1 when there is none.
  [[nodiscard]] LONG PictureSample(LONG n);

  // The key frame at or before i, or -1.
  [[nodiscard]] LONG KeyAtOrBefore(LONG i) const;
  [[nodiscard]] bool IsKey(LONG i) const;
  // Every sample holding data decodes alone, whatever the file's index says
  // (writers of such streams often mark only the first one).
  void SetEverySampleKey() { m_everySampleKey = true; }

 private:
  PAVISTREAM m_stream;
  LONG m_length;
  bool m_everySampleKey = false;
  LONG m_lastAsked = -1;    // the last position asked for
  LONG m_lastPicture = -1;  // and the sample holding its picture
};

}  // namespace codec
