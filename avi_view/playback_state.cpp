#include "avi_view/playback_state.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

#include "avi_build/frame_rate.h"

namespace avi_view {
namespace {

void Scroll(PlaybackValues& v, int code, std::int32_t thumbPosition) {
  v.m_paused = 1;
  switch (code) {
    case TB_LINEUP: v.m_frame = WrapAdd(v.m_frame, -1); break;
    case TB_LINEDOWN: v.m_frame = WrapAdd(v.m_frame, 1); break;
    case TB_PAGEUP: v.m_frame = WrapAdd(v.m_frame, -10); break;
    case TB_PAGEDOWN: v.m_frame = WrapAdd(v.m_frame, 10); break;
    case TB_THUMBTRACK: v.m_frame = thumbPosition; break;
    case TB_TOP: v.m_frame = 0; break;
    case TB_BOTTOM:
      // Past the end on purpose: the loop's decode-failure rule then puts the
      // last frame up, going backward.
      v.m_direction = -1;
      v.m_frame = std::numeric_limits<std::int32_t>::max();
      break;
    default: break;
  }
}

}  // namespace

std::int32_t WrapAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t RoundedFps(std::uint32_t rate, std::uint32_t scale) {
  if (scale == 0) scale = 1;
  const std::uint64_t rounded = (std::uint64_t(rate) * 2 + scale) / (std::uint64_t(scale) * 2);
  if (rounded == 0) return rate == 0 ? 0 : 1;
  return rounded > std::uint64_t(std::numeric_limits<std::int32_t>::max()) ? std::numeric_limits<std::int32_t>::max()
                                                                            : std::int32_t(rounded);
}

void ApplyRequest(PlaybackValues& v, const PlaybackRequest& r) {
  switch (r.kind) {
    case PlaybackRequest::PlayPause: v.m_paused = r.value; break;
    case PlaybackRequest::Direction:
      v.m_direction = -v.m_direction;
      if (v.m_direction > 0 && v.m_paused != 0 && v.m_frame >= v.m_frameCount - 1) v.m_frame = 0;
      if (v.m_direction < 0 && v.m_paused != 0 && v.m_frame <= 0) v.m_frame = v.m_frameCount - 1;
      break;
    case PlaybackRequest::Step: v.m_frame = WrapAdd(v.m_frame, v.m_direction); break;
    case PlaybackRequest::Close: v.m_playing = 0; break;
    case PlaybackRequest::Stop:
      v.m_playing = 0;
      v.m_paused = 0;
      break;
    case PlaybackRequest::Fps:
      // The box shows what it stood for: keep the exact rate.
      if (r.value == v.m_playFps && (r.scale == 0 || std::uint64_t(r.rate) * v.m_scale == std::uint64_t(v.m_rate) * r.scale))
        break;
      v.m_playFps = r.value;
      v.m_rate = r.scale ? r.rate : std::uint32_t(r.value);
      v.m_scale = r.scale ? r.scale : 1;
      break;
    case PlaybackRequest::StreamRate:
      v.m_rate = r.rate;
      v.m_scale = r.scale == 0 ? 1 : r.scale;
      v.m_playFps = RoundedFps(v.m_rate, v.m_scale);
      v.m_streamRate = v.m_rate;
      v.m_streamScale = v.m_scale;
      break;
    case PlaybackRequest::WriteFiles: v.m_writeFiles = r.value != 0 ? 1 : 0; break;
    case PlaybackRequest::Scroll: Scroll(v, r.value, r.extra); break;
    case PlaybackRequest::FrameStep:
      v.m_paused = 1;
      v.m_frame = std::clamp<std::int64_t>(std::int64_t(v.m_frame) + r.value, 0,
                                           std::max<std::int64_t>(std::int64_t(v.m_frameCount) - 1, 0));
      break;
  }
}

PlaybackValues PlaybackState::Post(PlaybackRequest request) {
  PlaybackValues result;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    result = m_values;
    for (const PlaybackRequest& r : m_pending) ApplyRequest(result, r);
    // Play/Pause turns round the state the user sees, so a pause pressed as
    // the loop runs off an end (and pauses by itself) stays a pause.
    if (request.kind == PlaybackRequest::PlayPause) request.value = result.m_paused == 0 ? 1 : 0;
    ApplyRequest(result, request);
    if (m_attached != 0)
      m_pending.push_back(request);
    else
      m_values = result;  // nothing is pending while no loop runs
  }
  m_posted.notify_all();
  return result;
}

PlaybackValues PlaybackState::Values() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  PlaybackValues result = m_values;
  for (const PlaybackRequest& r : m_pending) ApplyRequest(result, r);
  return result;
}

std::uint64_t PlaybackState::NewPlayback() {
  std::uint64_t generation;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    generation = ++m_generation;
  }
  m_posted.notify_all();
  return generation;
}

bool PlaybackState::Attach(std::uint64_t generation, std::int32_t frameCount) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (Superseded(generation)) return false;
  for (const PlaybackRequest& r : m_pending) ApplyRequest(m_values, r);
  m_pending.clear();
  m_attached = generation;
  m_values.m_playing = 1;
  m_values.m_paused = 0;
  m_values.m_frameCount = frameCount;
  m_values.m_frame = 0;
  return true;
}

bool PlaybackState::BeginPass(std::uint64_t generation, PlaybackValues* values) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const PlaybackRequest& r : m_pending) ApplyRequest(m_values, r);
  m_pending.clear();
  *values = m_values;
  return m_values.m_playing != 0 && !Superseded(generation);
}

void PlaybackState::ApplyPending(PlaybackValues* values) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const PlaybackRequest& r : m_pending) ApplyRequest(m_values, r);
  m_pending.clear();
  *values = m_values;
}

void PlaybackState::EndPass(const PlaybackValues& values) {
  std::lock_guard<std::mutex> lock(m_mutex);
  // Requests posted during the pass stay queued: they apply on top of this.
  m_values = values;
}

void PlaybackState::Detach(std::uint64_t generation) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_attached != generation) return;
  for (const PlaybackRequest& r : m_pending) ApplyRequest(m_values, r);
  m_pending.clear();
  m_attached = 0;
  m_values.m_playing = 0;  // superseded loops end too
}

void PlaybackState::WaitUntil(std::chrono::steady_clock::time_point deadline, std::uint64_t generation) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_posted.wait_until(lock, deadline, [&] {
    if (Superseded(generation)) return true;
    if (m_pending.empty()) return false;
    PlaybackValues after = m_values;
    for (const PlaybackRequest& r : m_pending) ApplyRequest(after, r);
    return after.m_playing == 0 || after.m_paused != 0;
  });
}

void PlaybackState::WaitForRequest(std::uint64_t generation) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_posted.wait(lock, [&] { return !m_pending.empty() || Superseded(generation); });
}

std::string FrameLabel(std::int32_t index, std::int32_t frameCount, std::uint32_t rate, std::uint32_t scale,
                       const std::string& source) {
  const std::uint64_t ms =
      rate == 0 || index <= 0 ? 0 : std::uint64_t(index) * (scale == 0 ? 1 : scale) * 1000 / rate;
  char text[96];
  std::snprintf(text, sizeof text, "frame %d of %d \u00B7 %02llu:%02llu.%03llu", index + 1, frameCount,
                static_cast<unsigned long long>(ms / 60000), static_cast<unsigned long long>(ms / 1000 % 60),
                static_cast<unsigned long long>(ms % 1000));
  if (source.empty()) return text;
  // The name alone: a listed path may be long, and its folder is the same
  // for most frames.
  const std::size_t slash = source.find_last_of('/');
  const std::string name = slash == std::string::npos || slash + 1 == source.size() ? source : source.substr(slash + 1);
  return std::string(text) + " \u00B7 " + name;
}

std::string PositionCaption(std::int32_t index, std::int32_t direction) {
  const std::string number = std::to_string(index);
  if (direction > 0) return number + "->";
  if (direction < 0) return "<-" + number;
  return number;
}

void PlayPause(PlaybackState& state) { state.Post({PlaybackRequest::PlayPause}); }

std::string Direction(PlaybackState& state) {
  const PlaybackValues v = state.Post({PlaybackRequest::Direction});
  return PositionCaption(v.m_frame, v.m_direction);
}

void Step(PlaybackState& state) { state.Post({PlaybackRequest::Step}); }

void FrameStep(PlaybackState& state, std::int32_t by) { state.Post({PlaybackRequest::FrameStep, by}); }

void CloseView(PlaybackState& state) { state.Post({PlaybackRequest::Close}); }

void StopPlayback(PlaybackState& state) { state.Post({PlaybackRequest::Stop}); }

std::int32_t FpsFromText(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  std::int64_t value = 0;
  bool digits = false;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    digits = true;
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return 0;
  }
  if (!digits || negative) return 0;
  return static_cast<std::int32_t>(value);
}

void FpsChange(PlaybackState& state, const std::string& text) {
  avi_build::FrameRate rate;
  if (!avi_build::ParseFrameRate(text, &rate, true)) {
    state.Post({PlaybackRequest::Fps, FpsFromText(text)});  // 0: no delay between frames
    return;
  }
  PlaybackRequest request{PlaybackRequest::Fps, RoundedFps(rate.rate, rate.scale)};
  request.rate = rate.rate;
  request.scale = rate.scale;
  state.Post(request);
}

void WriteFiles(PlaybackState& state, bool checked) {
  state.Post({PlaybackRequest::WriteFiles, checked ? 1 : 0});
}

std::vector<std::int32_t> HScroll(PlaybackState& state, int code, std::int32_t thumbPosition) {
  const PlaybackValues v = state.Post({PlaybackRequest::Scroll, code, thumbPosition});
  return std::vector<std::int32_t>(code == TB_ENDTRACK ? 2 : 1, v.m_frame);
}

}  // namespace avi_view
