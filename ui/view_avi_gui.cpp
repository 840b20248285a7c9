// The playback loop in the dialog: the host drives the player controls on
// the UI thread and hands each frame to the video surface.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "avi_view/playback_loop.h"
#include "ui/dialog_seam.h"
#include "ui/main_dlg.h"
#include "ui/ui_thread.h"
#include "ui/video_surface.h"

namespace ui {
namespace {

// A decoded frame (32-bit rows from the top, blue, green, red, 255) copied
// into `image`, whose pixels have that very layout (Format_RGB32 is
// 0xffRRGGBB in memory order): one copy of the whole frame, no pixel
// converted, and the surface paints it stretched reading only the pixels
// it shows. `image` is sized anew only when the frame's size changed.
void CopyFrame(const BITMAPINFOHEADER& header, const std::uint8_t* pixels, QImage* image) {
  const int width = header.biWidth;
  const int height = -header.biHeight;
  if (width <= 0 || height <= 0 || header.biBitCount != 32) {
    *image = QImage();
    return;
  }
  if (image->width() != width || image->height() != height || image->format() != QImage::Format_RGB32)
    *image = QImage(width, height, QImage::Format_RGB32);
  if (image->isNull()) return;
  // QImage pads rows to 4 bytes, so 32-bit rows lie back to back as in the frame.
  std::memcpy(image->bits(), pixels, std::size_t(width) * 4 * std::size_t(height));
}

// What the loop last asked the player to show, handed to the UI thread as
// one posted update: a UI thread that falls behind finds only the newest
// frame, slider position and caption, never a backlog.
struct PendingView {
  std::mutex mutex;
  std::optional<QImage> frame;
  std::optional<std::int32_t> sliderPos;
  std::optional<std::int32_t> position;  // the frame index the caption shows
  std::string source;                    // that frame's source picture, if the file records it
  bool posted = false;
};

// Called on the playback worker only.
class GuiPlaybackHost final : public avi_view::PlaybackHost {
 public:
  explicit GuiPlaybackHost(CMainDlg* dialog) : m_dialog(dialog), m_pending(std::make_shared<PendingView>()) {}

  avi_view::PlaybackState& State() override { return m_dialog->m_playback; }
  std::optional<std::string> ChooseFile() override {
    std::optional<std::string> given;
    RunOnUiThread([&] {
      given = std::exchange(m_dialog->m_fileToView, std::nullopt);
      // Saved frames go beside the file, as after the file dialog.
      if (given) QDir::setCurrent(QFileInfo(QFile::decodeName(QByteArray::fromStdString(*given))).absolutePath());
    });
    if (given) return given;
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
    // Posted updates still on their way are shown first: the UI thread runs
    // its posted work in order.
    RunOnUiThread([&] {
      m_dialog->m_fileList.widget()->setVisible(!player);
      m_dialog->m_display->setVisible(player);
      m_dialog->m_slider->setVisible(player);
      m_dialog->m_frameLabel->setVisible(player);
      m_dialog->m_frameLabel->clear();
      m_dialog->OnSize(m_dialog->width(), m_dialog->height());
      if (!player) m_dialog->m_display->clearFrame();
    });
  }
  void SetSliderRange(std::int32_t minimum, std::int32_t maximum) override {
    RunOnUiThread([&] { m_dialog->m_slider->setRange(minimum, maximum); });
  }
  void SetSliderPos(std::int32_t position) override {
    Update([&](PendingView& view) { view.sliderPos = position; });
  }
  void ShowPosition(std::int32_t index, std::int32_t, const std::string& source) override {
    Update([&](PendingView& view) {
      view.position = index;
      view.source = source;
    });
  }
  void ExportFailed(const std::string& text, const std::string& caption) override {
    // Shown without waiting for the answer: the playback goes on meanwhile.
    QMetaObject::invokeMethod(
        m_dialog, [dialog = m_dialog, text, caption] { Dialogs().messageBox(dialog, text, caption, MB_OK); },
        Qt::QueuedConnection);
  }
  void SetViewCaption(const std::string& caption) override {
    RunOnUiThread([&] { m_dialog->m_viewButton->setText(QString::fromStdString(caption)); });
  }
  WORD FrameBitCount() const override { return 32; }
  void DrawFrame(const BITMAPINFOHEADER& header, const std::uint8_t* pixels, std::int32_t, std::int32_t) override {
    // Copied here, off the UI thread, into an image neither the surface nor
    // a pending update holds; the decoder's buffer is reused.
    QImage* image = FreeImage();
    CopyFrame(header, pixels, image);
    QImage frame = *image;
    Update([&](PendingView& view) { view.frame = std::move(frame); });
  }

 private:
  template <typename F>
  void Update(F change) {
    bool post = false;
    {
      std::lock_guard<std::mutex> lock(m_pending->mutex);
      change(*m_pending);
      post = !std::exchange(m_pending->posted, true);
    }
    if (!post) return;
    // Runs only while the dialog exists; the pending view lives as long as
    // the posted call.
    QMetaObject::invokeMethod(
        m_dialog, [dialog = m_dialog, pending = m_pending] { ShowPending(dialog, *pending); }, Qt::QueuedConnection);
  }

  // UI thread.
  static void ShowPending(CMainDlg* dialog, PendingView& pending) {
    std::optional<QImage> frame;
    std::optional<std::int32_t> sliderPos, position;
    std::string source;
    {
      std::lock_guard<std::mutex> lock(pending.mutex);
      frame = std::move(pending.frame);
      sliderPos = pending.sliderPos;
      position = pending.position;
      source = std::move(pending.source);
      pending.frame.reset();
      pending.sliderPos.reset();
      pending.position.reset();
      pending.source.clear();
      pending.posted = false;
    }
    if (sliderPos) dialog->m_slider->setValue(*sliderPos);
    // With the direction the user set last: a Direction click made after the
    // frame was drawn has shown its caption already and must not be undone.
    if (position) {
      const avi_view::PlaybackValues v = dialog->m_playback.Values();
      dialog->m_viewButton->setText(QString::fromStdString(avi_view::PositionCaption(*position, v.m_direction)));
      dialog->m_frameLabel->setText(QString::fromUtf8(
          avi_view::FrameLabel(*position, v.m_frameCount, v.m_streamRate, v.m_streamScale, source).c_str()));
      // The whole path where the label has room only for the name.
      dialog->m_frameLabel->setToolTip(QString::fromLocal8Bit(source.c_str()));
    }
    if (frame) dialog->m_display->showFrame(std::move(*frame));
  }

  // One the surface shows, one on its way, one being filled: a frame's
  // memory is allocated (and faulted in) once, not once a frame.
  QImage* FreeImage() {
    for (QImage& image : m_images)
      if (image.isNull() || image.isDetached()) return &image;
    m_images[0] = QImage();  // all held elsewhere: let the holders keep it
    return &m_images[0];
  }

  CMainDlg* m_dialog;
  std::shared_ptr<PendingView> m_pending;
  std::array<QImage, 3> m_images;
};

}  // namespace

int ViewAviThread(CMainDlg* dialog, std::uint64_t generation) {
  GuiPlaybackHost host(dialog);
  return avi_view::ViewAviJob(host, generation);
}

}  // namespace ui
