#include "ui/dialog_template.h"

#include <QFontMetrics>

#include "ui/resource.h"

namespace ui {

const DialogTemplate kMainDialog = {"Stillweaver", 338, 304, 8};
const DialogTemplate kPreviewDialog = {"Image Preview", 196, 147, 8};

const std::array<ControlTemplate, 21> kMainDialogControls = {{
    {"IDC_VIEW_AVI", IDC_VIEW_AVI, ControlKind::PushButton, "View AVI", {0, 0, 41, 12}},
    {"IDC_DIRECTION", IDC_DIRECTION, ControlKind::PushButton, "Direction", {0, 12, 41, 12}},
    {"IDC_STEP", IDC_STEP, ControlKind::PushButton, "Step", {0, 25, 41, 12}},
    {"IDC_CLOSE_VIEW", IDC_CLOSE_VIEW, ControlKind::PushButton, "Close", {42, 0, 41, 12}},
    {"IDC_PLAY_PAUSE", IDC_PLAY_PAUSE, ControlKind::PushButton, "Play/Pause", {41, 12, 41, 12}},
    {"IDC_WRITE_FILES", IDC_WRITE_FILES, ControlKind::CheckBox, "WriteFiles", {44, 27, 47, 10}},
    {"IDC_MAKE_AVI", IDC_MAKE_AVI, ControlKind::PushButton, "Make AVI", {84, 0, 41, 12}},
    {"IDC_CLEAR_SEL", IDC_CLEAR_SEL, ControlKind::PushButton, "Clr Sel", {84, 12, 41, 12}},
    {"IDC_CLIP", IDC_CLIP, ControlKind::CheckBox, "Clip", {129, 1, 27, 10}},
    {"IDC_COLS", IDC_COLS, ControlKind::Edit, "", {185, 1, 34, 14}},
    {"IDC_ROWS", IDC_ROWS, ControlKind::Edit, "", {243, 1, 34, 14}},
    {"IDC_FPS", IDC_FPS, ControlKind::Edit, "", {297, 1, 34, 14}},
    {"IDC_POSITION", IDC_POSITION, ControlKind::Trackbar, "", {7, 42, 324, 16}},
    {"IDC_FILE_LIST", IDC_FILE_LIST, ControlKind::ListBox, "", {7, 60, 324, 236}},
    {"IDC_STATIC", IDC_STATIC, ControlKind::StaticText, "Rows:", {220, 1, 21, 8}},
    {"IDC_STATIC", IDC_STATIC, ControlKind::StaticText, "Cols:", {165, 1, 17, 8}},
    {"IDC_STATIC", IDC_STATIC, ControlKind::StaticText, "FPS:", {279, 2, 16, 8}},
    {"IDC_DISPLAY", IDC_DISPLAY, ControlKind::BlackFrame, "", {8, 61, 323, 235}},
    {"IDC_STATIC", IDC_STATIC, ControlKind::StaticText, "Drag and drop files into the list box to make an AVI File.",
     {130, 16, 179, 8}},
    {"IDC_STATIC", IDC_STATIC, ControlKind::StaticText, "Use the arrow keys to arrange the order.", {130, 24, 134, 8}},
    {"IDC_STATIC", IDC_STATIC, ControlKind::StaticText, "Press Make AVI and select the codec to use.",
     {129, 32, 143, 8}},
}};

const std::array<ControlTemplate, 1> kMainDialogExtraControls = {{
    {"IDC_FIT", IDC_FIT, ControlKind::CheckBox, "Fit", {275, 25, 24, 10}},
}};

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // Windows rounds the average of the 52 letters to the nearest pixel.
  return {(width / 26 + 1) / 2, metrics.height()};
}

QFont DialogFont(const DialogTemplate& dialog) {
  // The Windows dialog font is a logical name; here it is the system's sans
  // serif face at the template's size.
  QFont font(QStringLiteral("MS Shell Dlg"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(dialog.fontPointSize);
  return font;
}

int DluToPixelsX(const DialogBaseUnits& units, int dlu) { return (dlu * units.x + 2) / 4; }
int DluToPixelsY(const DialogBaseUnits& units, int dlu) { return (dlu * units.y + 4) / 8; }

QRect DluToPixels(const DialogBaseUnits& units, const QRect& dlu) {
  const int left = DluToPixelsX(units, dlu.x());
  const int top = DluToPixelsY(units, dlu.y());
  const int right = DluToPixelsX(units, dlu.x() + dlu.width());
  const int bottom = DluToPixelsY(units, dlu.y() + dlu.height());
  return QRect(left, top, right - left, bottom - top);
}

}  // namespace ui
