// stillweaver: the main dialog, with the files named on the command line.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/main_app.h"
#include "app/open_files.h"

int main(int argc, char** argv) {
  // --help and --version need no display: answered before Qt starts.
  const app::Arguments early = app::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (early.action == app::ArgumentAction::Help) return std::fputs(app::kHelp, stdout) < 0 ? 1 : 0;
  if (early.action == app::ArgumentAction::Version) return std::puts("stillweaver " STILLWEAVER_VERSION) < 0 ? 1 : 0;

  QApplication application(argc, argv);  // takes Qt's own options out of argv
  QApplication::setApplicationName(QStringLiteral("Stillweaver"));
  const app::Arguments arguments = app::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (arguments.action == app::ArgumentAction::UsageError) {
    std::fprintf(stderr, "stillweaver: %s\nusage: stillweaver [--help] [--version] [FILE...]\n",
                 arguments.error.c_str());
    return 2;
  }
  CMainApp app;
  app.m_open = app::PlanOpen(arguments.files);
  for (const std::string& problem : app.m_open.problems) std::fprintf(stderr, "stillweaver: %s\n", problem.c_str());
  app.InitInstance();
  return 0;
}
