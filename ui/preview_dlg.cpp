#include "ui/preview_dlg.h"

#include <QImage>
#include <QKeyEvent>
#include <QPainter>

#include "ui/dialog_template.h"

namespace ui {
namespace {

// Paints the library's finished pixels with a QPainter.
class PainterSurface final : public DrawingSurface {
 public:
  explicit PainterSurface(QPainter& painter) : m_painter(painter) {}
  void PutPixels(INT x, INT y, INT width, INT height, const BYTE* pixels, INT stride) override {
    const QImage image(pixels, width, height, stride, QImage::Format_RGB32);
    m_painter.drawImage(x, y, image);
  }

 private:
  QPainter& m_painter;
};

}  // namespace

CPreviewDlg::CPreviewDlg() : QDialog(nullptr) { setObjectName(QStringLiteral("IDD_PREVIEW")); }

CPreviewDlg::~CPreviewDlg() = default;

void CPreviewDlg::Create(QWidget* parent) {
  setParent(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromLocal8Bit(m_title.c_str()));
  setSizeGripEnabled(false);
  // Showing the preview leaves the keyboard with the file list.
  setAttribute(Qt::WA_ShowWithoutActivating);
  const QFont font = DialogFont(kPreviewDialog);
  setFont(font);
  const DialogBaseUnits units = BaseUnitsOf(font);
  resize(DluToPixelsX(units, kPreviewDialog.widthDlu), DluToPixelsY(units, kPreviewDialog.heightDlu));
  m_created = true;
}

void CPreviewDlg::SetPicture(std::unique_ptr<Bitmap> picture) {
  m_picture.reset();
  m_picture = std::move(picture);
}

void CPreviewDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PainterSurface surface(painter);
  GpGraphics* graphics = nullptr;
  if (GdipCreateFromHDC(&surface, &graphics) == Ok) {
    // With no picture the call fails quietly and nothing is drawn.
    (void)GdipDrawImageRectI(graphics, m_picture ? m_picture->asImage() : nullptr, 0, 0, width(), height());
    (void)GdipDeleteGraphics(graphics);
  }
  setWindowTitle(QString::fromLocal8Bit(m_title.c_str()));
}

void CPreviewDlg::keyPressEvent(QKeyEvent* event) {
  // Enter and Esc end a modeless dialog: it hides, keeping its picture.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    hide();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace ui
