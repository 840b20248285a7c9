#include "platform/codec/picture_cache.h"

#include <algorithm>

namespace codec {

namespace {

// The bytes a picture's buffers hold.
std::size_t PictureBytes(const AVFrame& picture) {
  std::size_t bytes = 0;
  for (const AVBufferRef* buffer : picture.buf)
    if (buffer) bytes += buffer->size;
  for (int i = 0; i < picture.nb_extended_buf; ++i) bytes += picture.extended_buf[i]->size;
  return bytes;
}

}  // namespace

void PictureCache::Add(LONG position, const AVFrame& picture) {
  if (!m_pictures.empty() && position <= m_pictures.back().position) Clear();
  const std::size_t bytes = PictureBytes(picture);
  // A picture without buffers of its own cannot be kept by reference.
  if (bytes == 0 || bytes > m_budget) return;
  DropUntilRoomFor(bytes);
  FramePtr kept(av_frame_alloc());
  if (!kept || av_frame_ref(kept.get(), &picture) < 0) return;
  m_pictures.push_back({position, std::move(kept), bytes});
  m_bytes += bytes;
  m_peak = std::max(m_peak, m_bytes);
}

const AVFrame* PictureCache::Find(LONG position) const {
  const auto at = std::lower_bound(m_pictures.begin(), m_pictures.end(), position,
                                   [](const Entry& e, LONG p) { return e.position < p; });
  return at != m_pictures.end() && at->position == position ? at->picture.get() : nullptr;
}

void PictureCache::Clear() {
  m_pictures.clear();
  m_bytes = 0;
}

void PictureCache::SetBudget(std::size_t bytes) {
  m_budget = bytes;
  DropUntilRoomFor(0);
}

void PictureCache::DropUntilRoomFor(std::size_t bytes) {
  while (!m_pictures.empty() && m_bytes + bytes > m_budget) {
    m_bytes -= m_pictures.front().bytes;
    m_pictures.pop_front();
  }
}

}  // namespace codec
