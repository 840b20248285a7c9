// The black frame on which playback shows its frames (IDC_DISPLAY): each
// frame handed over is painted stretched over the whole area, without keeping
// its proportions, following the widget's size. UI thread only.
#pragma once

#include <QImage>
#include <QWidget>

namespace ui {

class VideoSurface : public QWidget {
  Q_OBJECT

 public:
  explicit VideoSurface(QWidget* parent = nullptr);

  // Takes a frame to show and schedules a repaint.
  void showFrame(QImage frame);
  // Forgets the frame: the surface is a black frame again.
  void clearFrame();
  const QImage& currentFrame() const { return m_frame; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage m_frame;
};

}  // namespace ui
