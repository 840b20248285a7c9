#include "app/open_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ui/main_dlg.h"

namespace app {

bool IsAviFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[12] = {};
  if (!in.read(head, sizeof head)) return false;
  return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
}

OpenPlan PlanOpen(const std::vector<std::string>& files) {
  OpenPlan plan;
  for (const std::string& file : files) {
    std::error_code error;
    const std::string path = std::filesystem::absolute(file, error).string();
    struct stat info {};
    if (error || ::stat(path.c_str(), &info) != 0) {
      plan.problems.push_back(file + ": " + std::strerror(error ? error.value() : errno));
      continue;
    }
    if (!S_ISREG(info.st_mode) || !IsAviFile(path)) {
      plan.list.push_back(path);
    } else if (!plan.view) {
      plan.view = path;
    } else {
      plan.problems.push_back(file + ": left out, one AVI is played at a time");
    }
  }
  return plan;
}

void OpenFiles(ui::CMainDlg& dialog, const OpenPlan& plan) {
  if (!plan.list.empty()) dialog.OnDropFiles(plan.list);
  if (plan.view) dialog.ViewAviFile(*plan.view);
}

}  // namespace app
