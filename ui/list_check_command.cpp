#include "ui/list_check_command.h"

#include <QProgressDialog>
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "avi_build/list_check.h"
#include "ui/dialog_seam.h"
#include "ui/list_box.h"

namespace ui {
namespace {

// Progress is posted at most this often: a header takes far less time than
// the UI thread needs to show a step.
constexpr auto kProgressEvery = std::chrono::milliseconds(50);

}  // namespace

ListCheckCommand::ListCheckCommand(CListBox& list, QWidget* owner, std::function<std::uint32_t()> fps)
    : QObject(owner), m_list(list), m_owner(owner), m_fps(std::move(fps)) {}

ListCheckCommand::~ListCheckCommand() = default;

void ListCheckCommand::Run() {
  if (Running()) {
    if (m_progress) m_progress->show();
    return;
  }
  const std::uint32_t fps = m_fps();
  if (fps == 0) return;
  auto entries = std::make_shared<std::vector<std::string>>();
  for (int n = 0, count = m_list.GetCount(); n < count; ++n) entries->push_back(m_list.GetText(n));
  // What a cancelled or earlier check posts late is dropped by its number.
  const std::uint64_t run = ++m_run;

  // Not the owner's child: the owner's children are its template's controls.
  // Shown only when the check lasts; Cancel drops the report.
  m_progress = std::make_unique<QProgressDialog>(QStringLiteral("Checking the list…"), QStringLiteral("Cancel"), 0,
                                                 int(entries->size()));
  m_progress->setWindowTitle(QStringLiteral("Check List"));
  m_progress->setMinimumDuration(500);
  m_progress->setAutoReset(false);
  connect(m_progress.get(), &QProgressDialog::canceled, this, [this] {
    m_work.Abort(m_ticket);
    m_ticket = 0;
    ++m_run;
    m_progress.reset();
    emit Finished();
  });

  m_ticket = m_work.Post([this, entries, fps, run](const std::atomic<bool>& aborted) {
    auto last = std::chrono::steady_clock::now();
    const avi_build::ListCheck check = avi_build::CheckList(*entries, fps, [&](int n, int count) {
      if (aborted.load()) return false;
      const auto now = std::chrono::steady_clock::now();
      if (now - last >= kProgressEvery) {
        last = now;
        QMetaObject::invokeMethod(
            this, [this, n, count, run] { if (run == m_run) Progress(n, count); }, Qt::QueuedConnection);
      }
      return true;
    });
    if (aborted.load()) return;
    QMetaObject::invokeMethod(
        this, [this, check, run] { if (run == m_run) Done(check); }, Qt::QueuedConnection);
  });
  if (m_ticket == 0) {
    // No helper thread could be had: check here.
    Done(avi_build::CheckList(*entries, fps));
  }
}

void ListCheckCommand::Progress(int n, int count) {
  if (m_progress) m_progress->setValue(std::min(n, count));
}

void ListCheckCommand::Done(const avi_build::ListCheck& check) {
  m_ticket = 0;
  m_progress.reset();
  Dialogs().messageBox(m_owner, check.text, "Check List", MB_OK);
  emit Finished();
}

}  // namespace ui
