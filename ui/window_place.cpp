#include "ui/window_place.h"

#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace ui {
namespace {

// What the window manager's frame may take around the client area, before
// the window is shown and its real frame is known: a title bar and borders.
QMargins FrameAllowance(const QWidget* widget) {
  const int border = 4;
  const int title = std::max(widget->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, widget),
                             2 * widget->fontMetrics().height());
  return QMargins(border, title + border, border, border);
}

// The window's frame as the window system has it, else as it will be with
// the allowance around the client area.
QRect FrameOf(const QWidget* window, const QMargins& estimate) {
  const QWindow* handle = window->windowHandle();
  if (handle && window->isVisible()) return handle->frameGeometry();
  return QRect(window->pos(), window->size().grownBy(estimate));
}

QRect Available(const QWidget* window) {
  const QScreen* screen = window->screen();
  return screen ? screen->availableGeometry() : QRect();
}

}  // namespace

QPoint NearestInside(const QPoint& wanted, const QSize& frameSize, const QRect& available) {
  const int x = std::max(std::min(wanted.x(), available.x() + available.width() - frameSize.width()), available.x());
  const int y =
      std::max(std::min(wanted.y(), available.y() + available.height() - frameSize.height()), available.y());
  return QPoint(x, y);
}

void FitToScreen(QWidget* window, const QSize& templateSize) {
  // Smaller than the template, controls would be cut; larger than the free
  // area of the screen, the title bar or the bottom would leave it.
  QSize size = templateSize;
  const QRect available = Available(window);
  if (available.isEmpty()) {
    window->setMinimumSize(size);
    window->resize(size);
    return;
  }
  const QMargins allowance = FrameAllowance(window);
  size = size.boundedTo(available.marginsRemoved(allowance).size()).expandedTo(QSize(1, 1));
  window->setMinimumSize(size);
  window->resize(size);
  // A top-level widget's position is its frame's.
  const QSize frame = size.grownBy(allowance);
  window->move(NearestInside(available.center() - QPoint(frame.width() / 2, frame.height() / 2), frame, available));
}

bool KeepOnScreen(QWidget* window) {
  const QRect available = Available(window);
  QWindow* handle = window->windowHandle();
  if (available.isEmpty() || !handle || !window->isVisible()) return false;
  const bool known = handle->frameMargins() != QMargins();
  const QRect frame = handle->frameGeometry();
  const QPoint inside = NearestInside(frame.topLeft(), frame.size(), available);
  if (inside != frame.topLeft()) handle->setFramePosition(inside);
  return known;
}

void PlaceBeside(QWidget* mainWindow, QWidget* preview) {
  // The windows' own frames are used: a widget's copy of its frame can date
  // from while the window manager was still building it. The main window's
  // frame margins stand for the preview's until it has its own.
  const QWindow* mainHandle = mainWindow->windowHandle();
  const QMargins margins =
      mainHandle && mainWindow->isVisible() ? mainHandle->frameMargins() : FrameAllowance(mainWindow);
  const QRect frame = FrameOf(mainWindow, margins);
  const QRect previewFrame = FrameOf(preview, margins);
  const QPoint corner =
      NearestInside(QPoint(frame.x() + frame.width(), frame.y()), previewFrame.size(), Available(mainWindow));
  if (QWindow* handle = preview->windowHandle(); handle && preview->isVisible())
    handle->setFramePosition(corner);
  else
    preview->move(corner);
}

}  // namespace ui
