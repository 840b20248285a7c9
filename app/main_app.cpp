#include "app/main_app.h"

#include <QCoreApplication>

#include "platform/gdiplus.h"
#include "ui/main_dlg.h"

bool CMainApp::InitInstance() {
  // The key the settings would live under; nothing is ever stored.
  QCoreApplication::setOrganizationName(QStringLiteral("Kestrix AVI Drop"));
  GdiplusStartupInput input;
  std::uintptr_t token = 0;
  (void)GdiplusStartup(&token, &input, nullptr);  // version 1 is always there
  {
    ui::CMainDlg dialog;
    dialog.show();
    app::OpenFiles(dialog, m_open);
    dialog.exec();
    // The library stops while the dialog still exists; the dialog holds no
    // picture by then.
    GdiplusShutdown(token);
  }
  return false;
}
