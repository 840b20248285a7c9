// Files handed to stillweaver on its command line (a file manager's "Open
// with"): one AVI for the player, everything else for the list.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ui {
class CMainDlg;
}

namespace app {

struct OpenPlan {
  std::optional<std::string> view;  // the AVI to play
  std::vector<std::string> list;    // pictures and folders, as dropped
  std::vector<std::string> problems;  // one line each, for stderr
};

// Whether the file at path is an AVI, by its contents (RIFF "AVI ").
[[nodiscard]] bool IsAviFile(const std::string& path);

// Sorts the arguments, made absolute: the first AVI is played, further AVIs
// are left out, missing files are left out; each left-out file is a problem.
[[nodiscard]] OpenPlan PlanOpen(const std::vector<std::string>& files);

// Starts the plan on a shown dialog. UI thread.
void OpenFiles(ui::CMainDlg& dialog, const OpenPlan& plan);

}  // namespace app
