// The "Image Preview" window: one picture, stretched over the whole client
// area, with the picture's path as its caption. UI thread only.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "platform/gdiplus.h"

namespace ui {

class CPreviewDlg : public QDialog {
  Q_OBJECT

 public:
  CPreviewDlg();
  ~CPreviewDlg() override;

  // Makes the window (hidden) with the main dialog as its parent.
  void Create(QWidget* parent);
  bool IsWindow() const { return m_created; }
  // Takes the picture to show; the one shown before is destroyed at once.
  void SetPicture(std::unique_ptr<Bitmap> picture);
  // Releases the picture (before the image library stops).
  void ReleasePicture() { m_picture.reset(); }

  std::unique_ptr<Bitmap> m_picture;
  std::string m_title = "Image Preview";

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool m_created = false;
};

}  // namespace ui
