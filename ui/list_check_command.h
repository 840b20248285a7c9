// "Check List…" on the list's menu: the entries' headers looked at on a
// helper thread (avi_build::CheckList, the report stillweaver-cli check
// prints) while a progress window counts them, the report then shown in a
// message box. A long list leaves the dialog responsive. UI thread only.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/kernel/work_queue.h"

class QProgressDialog;
class QWidget;

namespace avi_build {
struct ListCheck;
}

namespace ui {

class CListBox;

class ListCheckCommand : public QObject {
  Q_OBJECT

 public:
  // fps gives the rate the running time is counted at when a check starts,
  // or 0 to start none (the dialog has told the user why).
  ListCheckCommand(CListBox& list, QWidget* owner, std::function<std::uint32_t()> fps);
  ~ListCheckCommand() override;

  // Checks the list as it is now; while a check runs, shows its progress.
  void Run();
  bool Running() const { return m_ticket != 0; }

 signals:
  // A check ended: its report answered, or cancelled.
  void Finished();

 private:
  void Progress(int n, int count);
  void Done(const avi_build::ListCheck& check);

  CListBox& m_list;
  QWidget* m_owner;
  std::function<std::uint32_t()> m_fps;
  std::unique_ptr<QProgressDialog> m_progress;
  kernel::WorkQueue::Ticket m_ticket = 0;
  std::uint64_t m_run = 0;  // the check whose posts count
  // Last, so it goes first: it aborts and waits for a check that may still
  // post to this object.
  kernel::WorkQueue m_work{1};
};

}  // namespace ui
