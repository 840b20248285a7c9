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

}  // namespace

void FitToScreen(QWidget* window, const QSize& templateSize) {
  // Smaller than the template, controls would be cut; larger than the free
  // area of the screen, the title bar or the bottom would leave it.
  QSize size = templateSize;
  if (const QScreen* where = window->screen())
    size = size.boundedTo(where->availableGeometry().marginsRemoved(FrameAllowance(window)).size())
               .expandedTo(QSize(1, 1));
  window->setMinimumSize(size);
  window->resize(size);
}

void PlaceBeside(QWidget* mainWindow, QWidget* preview) {
  // The windows' own frames are used: a widget's copy of its frame can date
  // from while the window manager was still building it.
  const QRect frame = mainWindow->windowHandle() ? mainWindow->windowHandle()->frameGeometry()
                                                 : mainWindow->frameGeometry();
  const QPoint corner(frame.x() + frame.width(), frame.y());
  if (QWindow* handle = preview->windowHandle(); handle && preview->isVisible())
    handle->setFramePosition(corner);
  else
    preview->move(corner);
}

}  // namespace ui
