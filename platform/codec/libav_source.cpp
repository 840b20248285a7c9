#include "platform/codec/libav_source.h"

#include "platform/codec/picture_cache.h"

namespace codec {

std::unique_ptr<LibavSource> LibavSource::Open(StreamSamples& samples, std::vector<std::uint8_t> format) {
  std::unique_ptr<VideoDecoder> decoder = VideoDecoder::Open(format.data(), format.size(), true);
  if (!decoder) return nullptr;
  if (decoder->everySampleKey()) samples.SetEverySampleKey();
  return std::unique_ptr<LibavSource>(new LibavSource(samples, std::move(decoder), std::move(format)));
}

LibavSource::LibavSource(StreamSamples& samples, std::unique_ptr<VideoDecoder> decoder,
                         std::vector<std::uint8_t> format)
    : FrameSource(decoder->width(), decoder->height()),
      m_samples(samples),
      m_decoder(std::move(decoder)),
      m_format(std::move(format)),
      m_position(static_cast<std::size_t>(samples.length()), -1) {}

bool LibavSource::KeepPicturesIn(PictureCache* cache) {
  m_kept = cache;
  return cache != nullptr;
}

bool LibavSource::ShowKept(const AVFrame& picture, DibImage& out) { return m_decoder->ConvertTo(picture, out); }

void LibavSource::Restart(LONG from, LONG key) {
  m_decoder->Flush();
  m_started = true;
  m_drained = false;
  m_runStart = from;
  m_nextSend = from;
  m_nextOut = from;
  m_lastOut = -1;
  m_anchor = key;
  m_anchorSeen = false;
  m_leading = 0;
  m_leadingNext = key;
}

// Feeds the next sample, or the end of the stream. 0 when something went
// in, -1 when the stream has ended. A decoder that holds pictures back
// (reordering, frame threads) gives them up only when later samples or the
// end come, so feeding goes on through samples that give nothing.
int LibavSource::Feed() {
  if (m_drained) return -1;
  if (m_nextSend >= m_samples.length()) {
    m_drained = true;
    (void)m_decoder->SendEnd();  // the pictures it holds come out, or EOF does
    return 0;
  }
  const LONG i = m_nextSend++;
  const LONG size = m_samples.Size(i);
  if (size <= 0) return 0;  // empty: no picture of its own; unreadable: lost
  AVPacket* packet = m_decoder->NewPacket(static_cast<std::size_t>(size));
  if (!packet || !m_samples.Read(i, packet->data, size)) return 0;
  packet->pts = packet->dts = i;
  // A sample the decoder rejects simply yields no picture.
  (void)m_decoder->Send(packet, m_samples.IsKey(i));
  return 0;
}

// Where a picture belongs; -1 when it lies before the anchor; kLost when
// the run cannot be numbered (its start gives no pictures of its own).
// Without reordering a picture carries the index of its sample.
LONG LibavSource::DisplayPosition(const AVFrame& picture) {
  const bool hasPts = picture.pts != AV_NOPTS_VALUE && picture.pts >= 0 && picture.pts < m_samples.length();
  const LONG sampleIndex = hasPts ? static_cast<LONG>(picture.pts) : -1;
  LONG position;
  if (!m_reordering) {
    position = hasPts ? sampleIndex : m_nextOut;
  } else if (hasPts && m_position[sampleIndex] >= 0 && (m_anchorSeen || sampleIndex >= m_anchor)) {
    // Numbered by an earlier run: the count goes on from here.
    position = m_position[sampleIndex];
    m_anchorSeen = true;
  } else if (!m_anchorSeen && hasPts) {
    if (sampleIndex < m_anchor) return -1;
    if (sampleIndex > m_anchor) {
      // Leading pictures are stored right after the key frame. One from
      // further on means the decoder skipped the key frame's picture: the
      // key frame only starts a refresh that the pictures before complete.
      LONG between = 0;
      const LONG most = m_leading + m_decoder->reorderDepth();
      for (LONG i = m_anchor + 1; i < sampleIndex && between <= most; ++i) between += m_samples.Size(i) != 0;
      if (between > most) return kLost;
      ++m_leading;
      position = m_leadingNext;
      m_leadingNext = m_samples.NextWithData(position + 1);
    } else {
      m_anchorSeen = true;
      position = m_leadingNext;
    }
  } else {
    position = m_nextOut;
  }
  if (hasPts && m_reordering && m_position[sampleIndex] < 0) m_position[sampleIndex] = position;
  m_nextOut = m_samples.NextWithData(position + 1);
  return position;
}

// Going backwards, the pictures decoded on the way to s are kept: the ones
// before it are most likely asked next.
LONG LibavSource::Show(LONG s, bool backward, DibImage& out) {
  int backOff = m_backOff;
  for (;;) {
    LONG key = m_samples.KeyAtOrBefore(s);
    if (key < 0) key = 0;  // no key frame before it: try from the start
    // Go on from where the decoder is when the picture is still ahead and no
    // key frame lies between; otherwise start again at the key frame.
    const bool goOn = m_started && m_lastOut < s && key <= m_nextSend && (!m_reordering || s >= m_anchor);
    bool keep = false;
    LONG from = key;
    int keysBack = 0;
    if (!goOn) {
      // A leading picture, or one whose key frame's position is unknown,
      // needs the GOP before.
      if (m_reordering && (m_position[key] < 0 || s < m_position[key]) && key > 0) {
        const LONG previous = m_samples.KeyAtOrBefore(key - 1);
        if (previous >= 0) from = previous;
      }
      for (; keysBack < backOff && from > 0; ++keysBack) {
        const LONG previous = m_samples.KeyAtOrBefore(from - 1);
        if (previous < 0) break;
        from = previous;
      }
      if (from == m_exhaustedFrom && s > m_exhaustedAfter) return -1;
      Restart(from, key);
      keep = m_kept && backward && s > from;
      if (keep) m_kept->Clear();
    }
    const LONG shown = Run(s, keep, out);
    if (shown == kRenumbered) continue;
    // A run from a key frame that lost s started at a point whose pictures
    // need earlier ones (an intra-refresh recovery point, an open GOP whose
    // decoder drops what refers back): start further back, twice as far
    // each time, and remember how far served.
    if (goOn || shown == s || from == 0 || m_decoder->intraOnly() || keysBack < backOff || backOff >= kMaxBackOff) {
      if (shown == s && !goOn) m_backOff = keysBack;
      return shown;
    }
    backOff = backOff == 0 ? 1 : 2 * backOff;
  }
}

// Takes pictures out of the decoder, feeding it as it asks, up to the one of
// s. kRenumbered when the run must start afresh.
LONG LibavSource::Run(LONG s, bool keep, DibImage& out) {
  int errors = 0;
  for (;;) {
    const int r = m_decoder->Receive();
    if (r == 0) {
      if (!m_reordering && m_decoder->reorders()) {
        // Only now the stream shows B-frames: number this run afresh.
        m_reordering = true;
        if (m_kept) m_kept->Clear();  // numbered as if in sample order
        m_started = false;
        return kRenumbered;
      }
      const LONG position = DisplayPosition(m_decoder->picture());
      if (position == kLost) {
        m_started = false;
        return -1;
      }
      if (position < 0) continue;
      m_lastOut = position;
      if (keep && position <= s) m_kept->Add(position, m_decoder->picture());
      if (position < s) continue;
      // Past it means the wanted picture was lost; this one serves the next
      // request, which is most likely for it.
      return m_decoder->ConvertTo(out) ? position : -1;
    }
    if (r == AVERROR_EOF) {
      // Nothing after m_lastOut comes from this start: asking again for a
      // later frame costs nothing, however long the undecodable run was.
      m_exhaustedFrom = m_runStart;
      m_exhaustedAfter = m_lastOut;
      m_started = false;
      return -1;
    }
    // A damaged sample gave no picture. Once drained, the decoder still
    // gives up the pictures it holds behind the error, then the end.
    if (r != AVERROR(EAGAIN) && m_drained && ++errors < kMaxErrorsAfterEnd) continue;
    // It wants more: feed on. Every round feeds one sample or stops, so
    // this ends.
    if (Feed() < 0) return -1;
  }
}

std::function<bool()> LibavSource::PrepareAlone(LONG s, DibImage& out) {
  if (m_laneFailed || m_reordering || m_decoder->reorders() || m_decoder->frameThreaded()) return {};
  const LONG size = m_samples.Size(s);
  if (size <= 0 || !m_samples.IsKey(s)) return {};
  if (!m_laneDecoder) {
    m_laneDecoder = VideoDecoder::Open(m_format.data(), m_format.size(), false);
    if (!m_laneDecoder) {
      m_laneFailed = true;
      return {};
    }
  }
  AVPacket* packet = m_laneDecoder->NewPacket(static_cast<std::size_t>(size));
  if (!packet || !m_samples.Read(s, packet->data, size)) return {};
  packet->pts = packet->dts = s;
  VideoDecoder* decoder = m_laneDecoder.get();
  DibImage* target = &out;
  return [decoder, target, packet, s] {
    decoder->Flush();
    (void)decoder->Send(packet, true);  // a rejected sample shows as no picture below
    int r = decoder->Receive();
    if (r == AVERROR(EAGAIN)) {
      (void)decoder->SendEnd();
      r = decoder->Receive();
    }
    return r == 0 && decoder->picture().pts == s && decoder->ConvertTo(*target);
  };
}

}  // namespace codec
