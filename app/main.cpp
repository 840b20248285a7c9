// stillweaver: the main dialog. It takes no command-line options.
#include <QApplication>

#include "app/main_app.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Stillweaver"));
  CMainApp app;
  app.InitInstance();
  return 0;
}
