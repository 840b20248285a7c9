// Read access to the first video stream of an AVI file for one playback:
// the open file, the stream, its description and a frame decoder. The
// reader tells the user about its own failures and keeps the AVI library
// started while any reader exists.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/vfw.h"

namespace avi_view {

// Readers constructed and not yet closed, process-wide.
extern std::atomic<std::int32_t> g_readerCount;

class AviReader {
 public:
  // Shows a failure: text under a caption, no owner; returns when answered.
  using MessageFn = std::function<void(const std::string& text, const std::string& caption)>;

  // Opens path, its decoder making frames in the wanted format
  // (AVIStreamGetFrameOpen); a null m_decoder afterwards means a message was
  // shown.
  AviReader(std::string path, const MessageFn& message, LPBITMAPINFOHEADER wanted = AVIGETFRAMEF_BESTDISPLAYFMT);
  ~AviReader();
  AviReader(const AviReader&) = delete;
  AviReader& operator=(const AviReader&) = delete;

  [[nodiscard]] bool ready() const { return m_decoder != nullptr; }

  PAVIFILE m_aviFile = nullptr;
  PAVISTREAM m_videoStream = nullptr;
  AVISTREAMINFOA m_streamInfo{};
  PGETFRAME m_decoder = nullptr;
};

}  // namespace avi_view
