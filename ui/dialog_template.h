// Dialog templates as data, laid out in dialog units and converted to pixels
// with the dialog font's average character width and height, as Windows does.
#pragma once

#include <QFont>
#include <QRect>
#include <array>

namespace ui {

enum class ControlKind { PushButton, CheckBox, Edit, Trackbar, ListBox, StaticText, BlackFrame };

struct ControlTemplate {
  const char* name;  // the id's name; the widget's objectName
  int id;
  ControlKind kind;
  const char* caption;
  QRect dlu;  // x, y, width, height in dialog units
};

struct DialogTemplate {
  const char* caption;
  int widthDlu;
  int heightDlu;
  int fontPointSize;
};

extern const DialogTemplate kMainDialog;
// The twenty-one controls of the main dialog in creation (and tab) order.
extern const std::array<ControlTemplate, 21> kMainDialogControls;
// Controls the dialog adds after them: "Fit", the placement that keeps a
// picture's proportions (it and "Clip" exclude each other).
extern const std::array<ControlTemplate, 1> kMainDialogExtraControls;
extern const DialogTemplate kPreviewDialog;

// Horizontal and vertical dialog base units of a font, in pixels: the average
// width of the Latin letters and the character height.
struct DialogBaseUnits {
  int x = 0;
  int y = 0;
};
DialogBaseUnits BaseUnitsOf(const QFont& font);
// The dialog font at the template's point size.
QFont DialogFont(const DialogTemplate& dialog);

int DluToPixelsX(const DialogBaseUnits& units, int dlu);
int DluToPixelsY(const DialogBaseUnits& units, int dlu);
QRect DluToPixels(const DialogBaseUnits& units, const QRect& dlu);

}  // namespace ui
