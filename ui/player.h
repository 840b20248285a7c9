// The player side of the dialog: the transport controls acting on the
// playback state, the playback workers, and View AVI's hand-over from one
// playback to the next without blocking the window. UI thread only.
#pragma once

#include <QObject>
#include <QSlider>
#include <cstdint>
#include <functional>

#include "ui/workers.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace avi_view {
class PlaybackState;
}

namespace ui {

// The position slider, keeping a trackbar's keys (Up, Left and PageUp move
// towards the start; QSlider runs Up and PageUp the other way) and reporting
// each user action as a trackbar scroll code, as WM_HSCROLL does.
class Trackbar : public QSlider {
  Q_OBJECT

 public:
  explicit Trackbar(QWidget* parent = nullptr);

 signals:
  // code: TB_LINEUP … TB_ENDTRACK; position: the thumb's, for the codes
  // that carry one.
  void hScroll(int code, int position);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

class Player : public QObject {
  Q_OBJECT

 public:
  struct Controls {
    QPushButton* viewButton;
    QSlider* slider;
    QLineEdit* fpsEdit;
    QCheckBox* writeFiles;
  };
  // run plays one file as the playback of the given generation, on a
  // worker thread.
  Player(avi_view::PlaybackState& state, const Controls& controls, std::function<void(std::uint64_t)> run,
         QObject* parent);

  // View AVI: a running playback is told to end, and the next one starts
  // once its worker has ended; the window stays responsive meanwhile.
  void ViewAvi();
  void PlayPause();
  void Direction();
  void Step();
  void CloseView();
  void FpsChange();
  void WriteFiles();
  void HScroll(int code, int position);
  // The stepping keys of a file on show: Space is Play/Pause, "." and ","
  // step one frame forward and back, pausing first. False for other keys.
  bool Key(int qtKey);

  // Ends any playback, also one whose worker has not begun its loop, and
  // forgets a View AVI waiting for it.
  void Stop();
  // Returns once every playback worker has ended, handling events.
  void WaitAll() { m_workers.WaitAll(); }
  int Running() const { return m_workers.Running(); }

 private:
  void Start();

  avi_view::PlaybackState& m_state;
  Controls m_controls;
  std::function<void(std::uint64_t)> m_run;
  bool m_inHScroll = false;
  bool m_pendingView = false;  // View AVI pressed while a playback was ending
  WorkerSet m_workers;
};

}  // namespace ui
