#include "ui/video_surface.h"

#include <QPainter>

namespace ui {

VideoSurface::VideoSurface(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void VideoSurface::showFrame(QImage frame) {
  m_frame = std::move(frame);
  update();
}

void VideoSurface::clearFrame() { showFrame(QImage()); }

void VideoSurface::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (m_frame.isNull()) {
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    return;
  }
  painter.drawImage(rect(), m_frame);
}

}  // namespace ui
