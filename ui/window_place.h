// Where the dialog's windows go on the screen. UI thread only.
#pragma once

#include <QSize>

class QWidget;

namespace ui {

// Gives window its first and smallest size: the template's, within the
// free area of its screen.
void FitToScreen(QWidget* window, const QSize& templateSize);

// Puts the preview's top-left corner at the main window's top-right corner,
// keeping the preview's size.
void PlaceBeside(QWidget* mainWindow, QWidget* preview);

}  // namespace ui
