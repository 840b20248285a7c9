// Where the dialog's windows go on the screen: their frames (title bar
// included) stay inside the screen's available area. UI thread only.
#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace ui {

// Gives window its first and smallest size: the template's, within the
// free area of its screen, and a place centred in that area.
void FitToScreen(QWidget* window, const QSize& templateSize);

// Moves a shown window so that its frame lies inside the available area of
// its screen, once the window manager has framed it. True when the real
// frame was known (the window is placed for good).
bool KeepOnScreen(QWidget* window);

// Puts the preview's frame at the main window's top-right corner when there
// is room, else at the nearest place inside the screen, keeping its size.
void PlaceBeside(QWidget* mainWindow, QWidget* preview);

// Where a frame of frameSize goes: at wanted, moved the least to lie inside
// available (its top-left corner inside when it is larger).
QPoint NearestInside(const QPoint& wanted, const QSize& frameSize, const QRect& available);

}  // namespace ui
