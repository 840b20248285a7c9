// The playback loop in the dialog: the host drives the player controls on
// the UI thread and hands each frame to the video surface.
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "avi_view/playback_loop.h"
#include "ui/dialog_seam.h"
#include "ui/main_dlg.h"
#include "ui/ui_thread.h"
#include "ui/video_surface.h"

namespace ui {
namespace {

// A decoded frame (bottom-up blue, green, red rows, 4-byte aligned) as an
// image the surface paints quickly.
QImage FrameImage(const BITMAPINFOHEADER& header, const std::uint8_t* pixels) {
  const int width = header.biWidth;
  const int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  if (width <= 0 || height <= 0 || header.biBitCount != 24) return QImage();
  const std::ptrdiff_t stride = (std::ptrdiff_t(width) * 3 + 3) & ~std::ptrdiff_t(3);
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return image;
  for (int y = 0; y < height; ++y) {
    const int sourceRow = header.biHeight < 0 ? y : height - 1 - y;
    const std::uint8_t* from = pixels + sourceRow * stride;
    auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x, from += 3) to[x] = qRgb(from[2], from[1], from[0]);
  }
  return image;
}

// Called on the playback worker only.
class GuiPlaybackHost final : public avi_view::PlaybackHost {
 public:
  explicit GuiPlaybackHost(CMainDlg* dialog) : m_dialog(dialog) {}

  avi_view::PlaybackState& State() override { return *m_dialog; }
  std::optional<std::string> ChooseFile() override {
    FileDialogRequest request;
    request.defaultExt = "avi";
    request.initialName = "Save.avi";
    request.filter = "Audio Video Interleaved File (*.avi)|*.avi||";
    return FileDialogFromAnyThread(m_dialog, request);
  }
  void Message(const std::string& text, const std::string& caption) override {
    MessageBoxFromAnyThread(nullptr, text, caption, MB_OK);
  }
  void SetDialogCaption(const std::string& caption) override {
    RunOnUiThread([&] { m_dialog->setWindowTitle(QString::fromLocal8Bit(caption.c_str())); });
  }
  void SetBoxes(const std::string& fps, const std::string& cols, const std::string& rows) override {
    RunOnUiThread([&] {
      m_dialog->m_fpsEdit->setText(QString::fromStdString(fps));
      m_dialog->m_colsEdit->setText(QString::fromStdString(cols));
      m_dialog->m_rowsEdit->setText(QString::fromStdString(rows));
    });
  }
  void ShowPlayer(bool player) override {
    RunOnUiThread([&] {
      m_dialog->m_fileList.widget()->setVisible(!player);
      m_dialog->m_display->setVisible(player);
      m_dialog->m_slider->setVisible(player);
      if (!player) m_dialog->m_display->clearFrame();
    });
  }
  void SetSliderRange(std::int32_t minimum, std::int32_t maximum) override {
    RunOnUiThread([&] { m_dialog->m_slider->setRange(minimum, maximum); });
  }
  void SetSliderPos(std::int32_t position) override {
    RunOnUiThread([&] { m_dialog->m_slider->setValue(position); });
  }
  void SetViewCaption(const std::string& caption) override {
    RunOnUiThread([&] { m_dialog->m_viewButton->setText(QString::fromStdString(caption)); });
  }
  void DrawFrame(const BITMAPINFOHEADER& header, const std::uint8_t* pixels, std::int32_t, std::int32_t) override {
    // The surface takes its own copy; the decoder's buffer is reused.
    m_dialog->m_display->showFrame(FrameImage(header, pixels));
  }

 private:
  CMainDlg* m_dialog;
};

}  // namespace

int ViewAviThread(CMainDlg* dialog, std::uint64_t generation) {
  GuiPlaybackHost host(dialog);
  return avi_view::ViewAviJob(host, generation);
}

}  // namespace ui
