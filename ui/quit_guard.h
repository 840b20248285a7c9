// Before the dialog ends: the list of hand-ordered entries and the running
// Make-AVI jobs are work the user would lose, so quitting asks first.
// UI thread only.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace ui {

// The question to ask before quitting with `entries` entries in the list and
// the named jobs running; empty when nothing would be lost.
std::string QuitQuestion(int entries, const std::vector<std::string>& runningJobs);

// Asks QuitQuestion through the dialog seam, No being the default. True when
// the dialog may end: nothing to lose, or the user answered Yes.
bool ConfirmQuit(QWidget* owner, int entries, const std::vector<std::string>& runningJobs);

}  // namespace ui
