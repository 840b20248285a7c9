// Frame decoders: AVIStreamGetFrameOpen, AVIStreamGetFrame and
// AVIStreamGetFrameClose, written on the public stream-reading functions.
// Uncompressed streams are converted by our own code, the rest decoded by
// libavcodec, Motion JPEG by libjpeg-turbo where it can. Access is
// frame-exact: the next frame costs one decode, any other is decoded
// forward from the nearest key frame at or before it. A
// request behind the one before (playing backwards) keeps the pictures
// decoded on the way to it, so the next steps back are served from memory.
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/codec/dib_image.h"
#include "platform/codec/jpeg_decoder.h"
#include "platform/codec/lane_worker.h"
#include "platform/codec/picture_cache.h"
#include "platform/codec/rgb_convert.h"
#include "platform/codec/video_decoder.h"
#include "platform/dib/layout.h"
#include "platform/vfw.h"

namespace {

// How many samples past the wanted one may go in before its picture must
// have come out: the longest reorder delay (16) plus a frame-thread pipeline.
constexpr LONG kMaxLookahead = 64;

}  // namespace

struct AviGetFrame {
  PAVISTREAM stream = nullptr;
  LONG length = 0;
  codec::DibImage dib;
  LONG shown = -1;  // the sample whose picture the DIB holds
  LONG lastAsked = -1;    // the last position asked for
  LONG lastPicture = -1;  // and the sample holding its picture
  LONG lastWanted = -1;   // the picture sample asked for last

  // Uncompressed streams.
  std::optional<codec::RgbConverter> rgb;
  std::vector<std::uint8_t> sample;

  // Compressed streams.
  std::unique_ptr<codec::VideoDecoder> decoder;
  // Motion JPEG: every sample is a picture of its own, decoded straight into
  // the DIB; libavcodec takes the samples that path leaves.
  bool jpeg = false;
  bool started = false;   // the decoder has been fed from a key frame on
  bool drained = false;   // it was told the stream ended
  LONG runStart = 0;      // the key frame the decoder was last started at
  LONG nextSend = 0;      // next sample to feed
  LONG nextOut = 0;       // display position of the next picture, counted
  LONG lastOut = -1;      // display position of the last picture out
  // Streams whose pictures come out in another order than their samples
  // (B-frames) are numbered by counting pictures in display order from a key
  // frame, the anchor. With open GOPs the pictures stored after a key frame
  // but shown before it ("leading") need the previous GOP, so a run starts
  // one key frame earlier unless the anchor's position is already known.
  bool reordering = false;
  LONG anchor = 0;
  bool anchorSeen = false;
  LONG leading = 0;
  std::vector<LONG> keyPosition;  // display position of a key sample's picture, -1 unknown
  // Pictures kept from the last run decoded for a request behind the one
  // before, up to it: the steps back that follow take them from here.
  codec::PictureCache cache;

  // A second lane for decoders without threads of their own: after frame s
  // the lane decodes frame s + 2 (s - 2 going backwards), if that is a key
  // frame (any Motion JPEG sample), with a decoder of its own while this one
  // decodes the frame between, so two frames decode at once. The caller's
  // thread reads the lane's sample; the lane touches only its own decoder,
  // sample and DIB.
  std::vector<std::uint8_t> format;
  std::unique_ptr<codec::VideoDecoder> laneDecoder;
  std::vector<std::uint8_t> laneSample;  // Motion JPEG
  codec::DibImage laneDib;
  LONG lanePosition = -1;  // the frame the lane decodes or holds, -1 none
  bool laneFailed = false;
  codec::LaneWorker lane;  // last of the lane's members: it stops before they go

  // Size of sample i, or -1 when it cannot be read.
  LONG SampleSize(LONG i) const {
    LONG bytes = 0;
    if (AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, nullptr) != AVIERR_OK) return -1;
    return bytes;
  }
  // The sample holding the picture of position n: n itself, or the last
  // sample before it with data when n is empty (empty samples repeat the
  // previous picture). -1 when there is none.
  LONG PictureSample(LONG n) {
    LONG found = -1;
    for (LONG i = n; i >= 0; --i) {
      const LONG size = SampleSize(i);
      if (size != 0) {
        found = size > 0 ? i : -1;
        break;
      }
      // A long run of empty samples is walked once, not once per frame.
      if (i - 1 == lastAsked) {
        found = lastPicture;
        break;
      }
    }
    lastAsked = n;
    lastPicture = found;
    return found;
  }
  LONG NextWithData(LONG i) const {
    while (i < length && SampleSize(i) == 0) ++i;
    return i;
  }

  bool ReadSample(LONG s, std::vector<std::uint8_t>& into) const;
  bool ShowUncompressed(LONG s);
  bool ShowJpeg(LONG s);
  bool ShowDecoded(LONG s, bool backward);
  bool ShowCached(LONG s);
  bool TakeFromLane(LONG s);
  void StartLane(LONG s, LONG step);
  void Restart(LONG from, LONG key);
  int Feed(LONG wanted);
  LONG DisplayPosition(const AVFrame& picture);
};

bool AviGetFrame::ReadSample(LONG s, std::vector<std::uint8_t>& into) const {
  const LONG size = SampleSize(s);
  if (size <= 0) return false;
  into.resize(static_cast<std::size_t>(size));
  LONG bytes = 0;
  return AVIStreamRead(stream, s, 1, into.data(), size, &bytes, nullptr) == AVIERR_OK;
}

bool AviGetFrame::ShowJpeg(LONG s) {
  shown = -1;
  if (!ReadSample(s, sample) || !codec::DecodeJpegSample(sample.data(), sample.size(), dib)) return false;
  shown = s;
  return true;
}

bool AviGetFrame::ShowUncompressed(LONG s) {
  shown = -1;
  const LONG size = SampleSize(s);
  if (size < 0 || static_cast<std::size_t>(size) < rgb->sampleBytes()) return false;
  LONG bytes = 0;
  if (rgb->identity() && static_cast<std::size_t>(size) == dib.pixelBytes()) {
    // Already the output's rows: read them straight into place.
    if (AVIStreamRead(stream, s, 1, dib.pixels(), size, &bytes, nullptr) != AVIERR_OK) return false;
  } else {
    sample.resize(static_cast<std::size_t>(size));
    if (AVIStreamRead(stream, s, 1, sample.data(), size, &bytes, nullptr) != AVIERR_OK) return false;
    if (!rgb->Convert(sample.data(), sample.size(), dib)) return false;
  }
  shown = s;
  return true;
}

void AviGetFrame::Restart(LONG from, LONG key) {
  decoder->Flush();
  started = true;
  drained = false;
  runStart = from;
  nextSend = from;
  nextOut = from;
  lastOut = -1;
  anchor = key;
  anchorSeen = false;
  leading = 0;
}

// Feeds the next sample, or the end of the stream. 0 when something went
// in, -1 when nothing more may go in for this request.
int AviGetFrame::Feed(LONG wanted) {
  if (drained) return -1;
  if (nextSend >= length) {
    drained = true;
    decoder->SendEnd();
    return 0;
  }
  if (nextSend > wanted + kMaxLookahead) return -1;
  const LONG i = nextSend++;
  const LONG size = SampleSize(i);
  if (size <= 0) return 0;  // empty: no picture of its own; unreadable: lost
  AVPacket* packet = decoder->NewPacket(static_cast<std::size_t>(size));
  LONG bytes = 0;
  if (!packet || AVIStreamRead(stream, i, 1, packet->data, size, &bytes, nullptr) != AVIERR_OK) return 0;
  packet->pts = packet->dts = i;
  // A sample the decoder rejects simply yields no picture.
  decoder->Send(packet);
  return 0;
}

// Where a picture belongs, or -1 when it lies before the anchor. Without
// reordering a picture carries the index of its sample.
LONG AviGetFrame::DisplayPosition(const AVFrame& picture) {
  const bool hasPts = picture.pts != AV_NOPTS_VALUE && picture.pts >= 0 && picture.pts < length;
  const LONG sampleIndex = hasPts ? static_cast<LONG>(picture.pts) : -1;
  LONG position;
  if (!reordering) {
    position = hasPts ? sampleIndex : nextOut;
  } else if (!anchorSeen && hasPts) {
    if (sampleIndex < anchor) return -1;
    if (sampleIndex > anchor) {
      position = anchor + leading++;
    } else {
      anchorSeen = true;
      position = keyPosition[anchor] >= 0 ? keyPosition[anchor] : anchor + leading;
      keyPosition[anchor] = position;
    }
  } else {
    position = nextOut;
    if (hasPts && keyPosition[sampleIndex] < 0 && AVIStreamIsKeyFrame(stream, sampleIndex))
      keyPosition[sampleIndex] = position;
  }
  nextOut = NextWithData(position + 1);
  return position;
}

// Going backwards, the pictures decoded on the way to s are kept: the ones
// before it are most likely asked next.
bool AviGetFrame::ShowDecoded(LONG s, bool backward) {
  LONG key = AVIStreamFindSample(stream, s, FIND_KEY | FIND_PREV);
  if (key < 0) key = 0;  // no key frame before it: try from the start
  // Go on from where the decoder is when the picture is still ahead and no
  // key frame lies between; otherwise start again at the key frame.
  const bool goOn = started && lastOut < s && key <= nextSend && (!reordering || s >= anchor);
  bool keep = false;
  if (!goOn) {
    LONG from = key;
    // A leading picture, or one whose key frame's position is unknown, needs
    // the GOP before.
    if (reordering && (keyPosition[key] < 0 || s < keyPosition[key]) && key > 0) {
      const LONG previous = AVIStreamFindSample(stream, key - 1, FIND_KEY | FIND_PREV);
      if (previous >= 0) from = previous;
    }
    Restart(from, key);
    keep = backward && s > from;
    if (keep) cache.Clear();
  }
  for (;;) {
    const int r = decoder->Receive();
    if (r == 0) {
      if (!reordering && decoder->reorders()) {
        // Only now the stream shows B-frames: number this run afresh.
        reordering = true;
        cache.Clear();  // numbered as if in sample order
        if (runStart > 0) {
          started = false;
          return ShowDecoded(s, backward);
        }
        anchorSeen = true;  // nothing leads the stream's first picture
      }
      const LONG position = DisplayPosition(decoder->picture());
      if (position < 0) continue;
      lastOut = position;
      if (keep && position <= s) cache.Add(position, decoder->picture());
      if (position < s) continue;
      // Past it means the wanted picture was lost; keep this one for the
      // next request, which is most likely for it.
      shown = -1;
      if (!decoder->ConvertTo(dib)) return false;
      shown = position;
      return position == s;
    }
    if (r == AVERROR_EOF) {
      started = false;  // start afresh next time
      return false;
    }
    // It wants more, or a damaged sample gave no picture: feed on. Every
    // round feeds one sample or stops, so this ends.
    if (Feed(s) < 0) return false;
  }
}

bool AviGetFrame::ShowCached(LONG s) {
  const AVFrame* picture = cache.Find(s);
  if (!picture) return false;
  shown = -1;
  if (!decoder->ConvertTo(*picture, dib)) return false;
  shown = s;
  return true;
}

// Takes the picture of s when the lane made it; otherwise only waits for the
// lane so it is free again.
bool AviGetFrame::TakeFromLane(LONG s) {
  if (lanePosition < 0) return false;
  const bool done = lane.Wait();
  const bool hit = done && lanePosition == s;
  lanePosition = -1;
  if (!hit) return false;
  std::swap(dib, laneDib);
  shown = s;
  return true;
}

void AviGetFrame::StartLane(LONG s, LONG step) {
  const LONG next = s + 2 * step;
  if (laneFailed || lanePosition >= 0 || next < 0 || next >= length) return;
  if (jpeg) {
    if (!laneDib.Allocate(dib.width(), dib.height())) {
      laneFailed = true;
      return;
    }
    if (!ReadSample(next, laneSample)) return;
    const std::vector<std::uint8_t>* sample = &laneSample;
    codec::DibImage* out = &laneDib;
    if (lane.Start([sample, out] { return codec::DecodeJpegSample(sample->data(), sample->size(), *out); }))
      lanePosition = next;
    return;
  }
  if (reordering || decoder->reorders() || decoder->frameThreaded()) return;
  const LONG size = SampleSize(next);
  if (size <= 0 || !AVIStreamIsKeyFrame(stream, next)) return;
  if (!laneDecoder) {
    laneDecoder = codec::VideoDecoder::Open(format.data(), format.size(), false);
    if (!laneDecoder || !laneDib.Allocate(dib.width(), dib.height())) {
      laneFailed = true;
      return;
    }
  }
  AVPacket* packet = laneDecoder->NewPacket(static_cast<std::size_t>(size));
  LONG bytes = 0;
  if (!packet || AVIStreamRead(stream, next, 1, packet->data, size, &bytes, nullptr) != AVIERR_OK) return;
  packet->pts = packet->dts = next;
  codec::VideoDecoder* decoder = laneDecoder.get();
  codec::DibImage* out = &laneDib;
  const bool started = lane.Start([decoder, out, packet, next] {
    decoder->Flush();
    decoder->Send(packet);
    int r = decoder->Receive();
    if (r == AVERROR(EAGAIN)) {
      decoder->SendEnd();
      r = decoder->Receive();
    }
    return r == 0 && decoder->picture().pts == next && decoder->ConvertTo(*out);
  });
  if (!started) return;  // no thread to be had: the frame decodes when asked for
  lanePosition = next;
}

PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM pavi, LPBITMAPINFOHEADER lpbiWanted) {
  if (!pavi) return nullptr;
  if (lpbiWanted && lpbiWanted != AVIGETFRAMEF_BESTDISPLAYFMT &&
      (lpbiWanted->biBitCount != 24 || lpbiWanted->biCompression != BI_RGB))
    return nullptr;  // only the best display format is made
  AVISTREAMINFOA info{};
  if (AVIStreamInfoA(pavi, &info, sizeof info) != AVIERR_OK || info.fccType != streamtypeVIDEO) return nullptr;
  LONG formatSize = 0;
  if (AVIStreamReadFormat(pavi, 0, nullptr, &formatSize) != AVIERR_OK || formatSize < 40 ||
      static_cast<std::size_t>(formatSize) > dib::kMaxFormatBytes)
    return nullptr;
  std::vector<std::uint8_t> format(static_cast<std::size_t>(formatSize));
  if (AVIStreamReadFormat(pavi, 0, format.data(), &formatSize) != AVIERR_OK || formatSize < 40) return nullptr;
  format.resize(static_cast<std::size_t>(formatSize));

  auto pg = std::make_unique<AviGetFrame>();
  pg->stream = pavi;
  pg->length = AVIStreamLength(pavi);
  if (pg->length < 0) return nullptr;
  codec::RgbConverter rgb;
  if (rgb.Init(format.data(), format.size())) {
    pg->rgb = rgb;
  } else {
    pg->decoder = codec::VideoDecoder::Open(format.data(), format.size());
    if (!pg->decoder) return nullptr;
    pg->keyPosition.assign(static_cast<std::size_t>(pg->length), -1);
    pg->jpeg = pg->decoder->codecId() == AV_CODEC_ID_MJPEG && codec::JpegDecodesFourcc(pg->decoder->fourcc());
    pg->format = format;
  }
  const int width = pg->rgb ? pg->rgb->width() : pg->decoder->width();
  const int height = pg->rgb ? pg->rgb->height() : pg->decoder->height();
  if (!pg->dib.Allocate(width, height)) return nullptr;
  return pg.release();
}

void* AVIStreamGetFrame(PGETFRAME pg, LONG lPos) {
  if (!pg || lPos < 0 || lPos >= pg->length) return nullptr;
  const LONG s = pg->PictureSample(lPos);
  if (s < 0) return nullptr;
  if (s == pg->shown) return pg->dib.header();
  if (pg->rgb) return pg->ShowUncompressed(s) ? pg->dib.header() : nullptr;
  const bool backward = s < pg->lastWanted;
  pg->lastWanted = s;
  if (pg->ShowCached(s)) return pg->dib.header();
  // While the lane works on a frame just ahead, this one decodes beside it.
  const LONG step = backward ? -1 : 1;
  const LONG ahead = (pg->lanePosition - s) * step;
  const bool laneAhead = pg->lanePosition >= 0 && ahead > 0 && ahead <= 2;
  const bool taken = !laneAhead && pg->TakeFromLane(s);
  if (!taken && !(pg->jpeg && pg->ShowJpeg(s)) && !pg->ShowDecoded(s, backward)) {
    // libavcodec may have gone on to the next sample's picture; that one is
    // libjpeg-turbo's to make when it is asked for, as in any other order.
    if (pg->jpeg) pg->shown = -1;
    return nullptr;
  }
  pg->StartLane(s, step);
  return pg->dib.header();
}

codec::PictureCache* codec::FrameDecoderCache(PGETFRAME pg) { return pg && pg->decoder ? &pg->cache : nullptr; }

HRESULT AVIStreamGetFrameClose(PGETFRAME pg) {
  if (!pg) return AVIERR_BADHANDLE;
  delete pg;
  return AVIERR_OK;
}
