#include "app/main_app.h"

#include <QCoreApplication>

#include "ui/main_dlg.h"

namespace {

// The image library is started before the dialog and stopped after it ends.
std::uintptr_t StartImageLibrary() { return 0; }
void StopImageLibrary(std::uintptr_t) {}

}  // namespace

bool CMainApp::InitInstance() {
  // The key the settings would live under; nothing is ever stored.
  QCoreApplication::setOrganizationName(QStringLiteral("Kestrix AVI Drop"));
  const std::uintptr_t token = StartImageLibrary();
  {
    ui::CMainDlg dialog;
    dialog.show();
    dialog.exec();
    StopImageLibrary(token);
  }
  return false;
}
