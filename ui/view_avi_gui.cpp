// The playback loop in the dialog: the host drives the player controls on
// the UI thread and hands each frame to the video surface.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
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

// A decoded frame, 32-bit rows from the top, blue, green, red, 255: what a
// Format_RGB32 image holds in memory, so the surface paints the frame's own
// pixels, stretched, reading only those it shows. Null for another layout.
QImage FrameImage(const BITMAPINFOHEADER& header) {
  const int width = header.biWidth;
  const int height = -header.biHeight;
  if (width <= 0 || height <= 0 || header.biBitCount != 32) return QImage();
  const auto* pixels = reinterpret_cast<const uchar*>(&header) + sizeof(BITMAPINFOHEADER);
  return QImage(pixels, width, height, qsizetype(width) * 4, QImage::Format_RGB32);
}

// The same over a frame the decoder keeps as it is while it is held: the
// image holds it until the image's last copy is gone, on whichever thread.
QImage SharedFrameImage(std::shared_ptr<const BITMAPINFOHEADER> frame) {
  using Held = std::shared_ptr<const BITMAPINFOHEADER>;
  const QImage view = FrameImage(*frame);
  if (view.isNull()) return view;
  auto* held = new Held(std::move(frame));
  return QImage(view.constBits(), view.width(), view.height(), view.bytesPerLine(), view.format(),
                [](void* info) { delete static_cast<Held*>(info); }, held);
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
  void DrawFrame(const BITMAPINFOHEADER& header, const std::uint8_t*, std::int32_t, std::int32_t) override {
    // Valid only during the call: copied.
    QImage frame = FrameImage(header).copy();
    Update([&](PendingView& view) { view.frame = std::move(frame); });
  }
  void DrawSharedFrame(std::shared_ptr<const BITMAPINFOHEADER> frame, std::int32_t, std::int32_t) override {
    // Not copied: the surface paints the decoder's pixels, which stay as they
    // are while the surface or a pending update holds them (two at most).
    QImage image = SharedFrameImage(std::move(frame));
    Update([&](PendingView& view) { view.frame = std::move(image); });
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

  CMainDlg* m_dialog;
  std::shared_ptr<PendingView> m_pending;
};

}  // namespace

int ViewAviThread(CMainDlg* dialog, std::uint64_t generation) {
  GuiPlaybackHost host(dialog);
  return avi_view::ViewAviJob(host, generation);
}

}  // namespace ui
