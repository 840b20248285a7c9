// The black frame on which playback shows its frames (IDC_DISPLAY): each
// frame handed over is painted stretched over the whole area, without keeping
// its proportions, following the widget's size.
#pragma once

#include <QImage>
#include <QMutex>
#include <QWidget>

namespace ui {

class VideoSurface : public QWidget {
  Q_OBJECT

 public:
  explicit VideoSurface(QWidget* parent = nullptr);

  // Takes a frame to show and schedules a repaint. Any thread may call it.
  void showFrame(QImage frame);
  // Forgets the frame: the surface is a black frame again.
  void clearFrame();
  QImage currentFrame() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  mutable QMutex m_mutex;
  QImage m_frame;
};

}  // namespace ui
