#include "platform/codec/stream_samples.h"

namespace codec {

LONG StreamSamples::Size(LONG i) const {
  LONG bytes = 0;
  if (AVIStreamRead(m_stream, i, 1, nullptr, 0, &bytes, nullptr) != AVIERR_OK) return -1;
  return bytes;
}

bool StreamSamples::Read(LONG i, void* buffer, LONG size) const {
  LONG bytes = 0;
  return AVIStreamRead(m_stream, i, 1, buffer, size, &bytes, nullptr) == AVIERR_OK;
}

bool StreamSamples::Read(LONG i, std::vector<std::uint8_t>& into) const {
  const LONG size = Size(i);
  if (size <= 0) return false;
  into.resize(static_cast<std::size_t>(size));
  return Read(i, into.data(), size);
}

LONG StreamSamples::NextWithData(LONG i) const {
  while (i < m_length && Size(i) == 0) ++i;
  return i;
}

LONG StreamSamples::KeyAtOrBefore(LONG i) const {
  if (!m_everySampleKey) return AVIStreamFindSample(m_stream, i, FIND_KEY | FIND_PREV);
  if (i >= m_length) return -1;
  for (; i >= 0; --i)
    if (Size(i) > 0) return i;
  return -1;
}

bool StreamSamples::IsKey(LONG i) const {
  if (m_everySampleKey) return i >= 0 && i < m_length && Size(i) > 0;
  return AVIStreamIsKeyFrame(m_stream, i);
}

LONG StreamSamples::PictureSample(LONG n) {
  LONG found = -1;
  for (LONG i = n; i >= 0; --i) {
    const LONG size = Size(i);
    if (size != 0) {
      found = size > 0 ? i : -1;
      break;
    }
    // A long run of empty samples is walked once, not once per frame.
    if (i - 1 == m_lastAsked) {
      found = m_lastPicture;
      break;
    }
  }
  m_lastAsked = n;
  m_lastPicture = found;
  return found;
}

}  // namespace codec
