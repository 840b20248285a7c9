#include "avi_view/avi_reader.h"

#include <cstdio>

#include "avi_build/avi_error_name.h"

namespace avi_view {

std::atomic<std::int32_t> g_readerCount{0};

AviReader::AviReader(std::string path, const MessageFn& message, LPBITMAPINFOHEADER wanted) {
  if (g_readerCount.fetch_add(1) == 0) AVIFileInit();

  char text[256];
  HRESULT hr = AVIFileOpenA(&m_aviFile, path.c_str(), OF_READ, nullptr);
  if (hr != AVIERR_OK) {
    m_aviFile = nullptr;
    std::snprintf(text, sizeof text, "Couldn't open the AVI file (%s)", AviErrorName(hr));
  } else if ((hr = AVIFileGetStream(m_aviFile, &m_videoStream, streamtypeVIDEO, 0)) != AVIERR_OK) {
    m_videoStream = nullptr;
    std::snprintf(text, sizeof text, "Couldn't open Video Stream (%s)", AviErrorName(hr));
  } else {
    (void)AVIStreamInfoA(m_videoStream, &m_streamInfo, sizeof m_streamInfo);  // an open stream always has one
    m_decoder = AVIStreamGetFrameOpen(m_videoStream, wanted);
    if (m_decoder) return;
    std::snprintf(text, sizeof text, "Couldn't open Video Frame");
  }
  if (message) message(text, "Error");
}

AviReader::~AviReader() {
  // Handles of a file being read release without anything to report.
  if (m_decoder) (void)AVIStreamGetFrameClose(m_decoder);
  if (m_videoStream) (void)AVIStreamRelease(m_videoStream);
  if (m_aviFile) (void)AVIFileRelease(m_aviFile);
  if (g_readerCount.fetch_sub(1) == 1) AVIFileExit();
}

}  // namespace avi_view
