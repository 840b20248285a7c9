// Plays an AVI in the real main dialog and counts the video surface's
// paints: the frames a user sees per second, decoding, handing over and
// painting included.
//   play_surface_bench FILE.avi [forward|backward] [SECONDS]
// Prints "shown N frames in S s: F frames/s, C ms CPU a frame" (the
// process's CPU time over the count, which a loaded machine distorts less
// than the rate). Run under X (bench/play.sh starts Xvfb).
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QSlider>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/dialog_seam.h"
#include "ui/main_dlg.h"
#include "ui/video_surface.h"

namespace {

// Answers the open dialog with the file; any message box ends the bench.
class Answers final : public ui::DialogSeam {
 public:
  explicit Answers(std::string file) : m_file(std::move(file)) {}
  int messageBox(QWidget*, const std::string& text, const std::string& caption, unsigned) override {
    std::fprintf(stderr, "play_surface_bench: %s: %s\n", caption.c_str(), text.c_str());
    std::_Exit(1);
  }
  std::optional<std::string> fileDialog(QWidget*, const ui::FileDialogRequest&) override { return m_file; }
  int chooseCompressor(QWidget*, const std::string&, const std::vector<CompressorChoice>&, CompressorSettings&) override {
    return -1;
  }

 private:
  std::string m_file;
};

class PaintCounter final : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: play_surface_bench FILE.avi [forward|backward] [SECONDS]\n");
    return 2;
  }
  bool backward = argc > 2 && std::string(argv[2]) == "backward";
  const double seconds = argc > 3 ? std::atof(argv[3]) : 5.0;
  Answers answers(argv[1]);
  ui::SetDialogs(&answers);
  ui::CMainDlg dialog;
  dialog.show();
  PaintCounter counter;
  dialog.m_display->installEventFilter(&counter);
  dialog.OnViewAvi();

  // The count starts at the first frame shown (backward: once playback has
  // turned at the last frame), so opening the file is not timed.
  QElapsedTimer clock;
  int start = -1;
  double cpuStart = 0;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (start < 0) {
      if (dialog.m_display->currentFrame().isNull()) return;
      if (backward) {
        // From the last frame, playing on.
        dialog.OnHScroll(avi_view::TB_THUMBTRACK, dialog.m_slider->maximum());
        dialog.OnDirection();
        if (dialog.m_playback.Values().m_paused) dialog.OnPlayPause();
        backward = false;
        return;
      }
      start = counter.paints;
      cpuStart = CpuSeconds();
      clock.start();
      return;
    }
    if (clock.elapsed() < seconds * 1000) return;
    const int shown = counter.paints - start;
    const double elapsed = double(clock.elapsed()) / 1000;
    const double cpu = CpuSeconds() - cpuStart;
    std::printf("shown %d frames in %.2f s: %.1f frames/s, %.1f ms CPU a frame\n", shown, elapsed, shown / elapsed,
                shown > 0 ? 1000 * cpu / shown : 0.0);
    std::fflush(stdout);
    dialog.OnCloseView();
    QTimer::singleShot(200, &app, [] { std::_Exit(0); });
    poll.stop();
  });
  poll.start();
  return app.exec();
}
