#include "ui/quit_guard.h"

#include "ui/dialog_seam.h"

namespace ui {

std::string QuitQuestion(int entries, const std::vector<std::string>& runningJobs) {
  if (entries <= 0 && runningJobs.empty()) return {};
  std::string text = "Quit Stillweaver?";
  if (entries > 0) text += " The list of " + std::to_string(entries) + " entries will be lost.";
  if (!runningJobs.empty()) {
    text += "\n\nRunning jobs stop after their current frame, with their files finished:";
    for (const std::string& name : runningJobs) text += "\n" + name;
  }
  return text;
}

bool ConfirmQuit(QWidget* owner, int entries, const std::vector<std::string>& runningJobs) {
  const std::string question = QuitQuestion(entries, runningJobs);
  return question.empty() || Dialogs().messageBox(owner, question, "Stillweaver", MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

}  // namespace ui
