#include "ui/video_surface.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QPainter>

namespace ui {

VideoSurface::VideoSurface(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void VideoSurface::showFrame(QImage frame) {
  {
    QMutexLocker lock(&m_mutex);
    m_frame = std::move(frame);
  }
  QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::AutoConnection);
}

void VideoSurface::clearFrame() { showFrame(QImage()); }

QImage VideoSurface::currentFrame() const {
  QMutexLocker lock(&m_mutex);
  return m_frame;
}

void VideoSurface::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QImage frame = currentFrame();
  if (frame.isNull()) {
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    return;
  }
  painter.drawImage(rect(), frame);
}

}  // namespace ui
