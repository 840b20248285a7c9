// The file list's commands, working on the list box alone: adding files
// (drops, pastes, folders looked through off the UI thread), the keys that
// arrange, delete and step the selection, sorting, clearing, and the list's
// menu. Needs no dialog, so each command is testable on a bare list.
// UI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/work_queue.h"

class QMenu;
class QPoint;
class QWidget;

namespace ui {

class CListBox;

class FileListCommands : public QObject {
  Q_OBJECT

 public:
  // list must have its widget before any command runs; owner owns the
  // questions and the menu.
  FileListCommands(CListBox& list, QWidget* owner);
  ~FileListCommands() override;

  // A key offered by the list (its virtual-key code): the commands of the
  // key table act while an entry is selected; S sorts at any time. Returns
  // kKeyHandled or kKeyDefault.
  int OnKey(int vkey);

  // Adds paths at the end in the order given: folders become the pictures
  // in them, looked for off the UI thread, and the order of additions holds
  // across folders still being looked through.
  void AddFiles(const std::vector<std::string>& paths);
  // The files (or pasted path text) on the clipboard, through AddFiles.
  void Paste();
  // Whether folders are still being looked through; their pictures, and
  // anything added after them, join the list when done.
  bool Adding() const { return !m_pendingAdds.empty(); }

  // The order of a whole list: indexes into paths.
  using Order = std::function<std::vector<std::size_t>(const std::vector<std::string>& paths)>;
  // Reorders the whole list; the selection and the caret stay with their
  // entries.
  void SortBy(const Order& order);
  // In natural order of the names.
  void Sort();
  // Reorders the whole list by an order that reads the files (their headers
  // may sit on a slow disk), worked out off the UI thread. The result is
  // applied only if the list still holds the same entries in the same order
  // when it comes: edits made meanwhile win.
  void SortInBackground(Order order);
  // Whether such a sort is still being worked out.
  bool Sorting() const { return m_sortsRunning > 0; }

  void ClearSelection();
  // Asks "Clear?" and empties the list (and drops folders still being looked
  // through) on Yes.
  void AskToClear();
  // Empties the list and drops pending folders, without asking.
  void Empty();

  // The list's menu. Each entry is enabled by its rule when the menu opens.
  enum class EnabledWhen { Always, Selection, TwoEntries, ClipboardFiles };
  QMenu* Menu() const { return m_menu.get(); }
  // Adds an entry at the end of the menu (objectName name; a tab and a key in
  // text only show the key).
  void AddMenuCommand(const char* name, const QString& text, EnabledWhen when, std::function<void()> run);
  void AddMenuSeparator();
  // Pops the menu up at a position on the screen; returns at once.
  void PopUpMenu(const QPoint& globalPos);

 signals:
  // N or P moved the selection: the caret entry is to be previewed.
  void PreviewRequested();

 private:
  void MoveEntry(int oldIndex, int newIndex, bool selectAfter);
  void MoveSelectedToEnd();
  void MoveSelectedToTop();
  void MoveSelectedUp();
  void MoveSelectedDown();
  void DeleteSelected();
  // N and P: one selected entry to its neighbour; false when none moved.
  bool StepSelection(bool next);
  std::vector<std::string> Entries() const;
  // Reorders the list: entry k becomes the one at sorted[k].
  void ApplyOrder(const std::vector<std::size_t>& sorted);
  void FlushPendingAdds();
  void DropPendingAdds();
  bool IsEnabled(EnabledWhen when) const;

  CListBox& m_list;
  QWidget* m_owner;
  std::unique_ptr<QMenu> m_menu;  // each action's data holds its EnabledWhen

  struct PendingAdd {
    std::vector<std::string> paths;
    bool done = false;
    kernel::WorkQueue::Ticket ticket = 0;
  };
  std::deque<std::shared_ptr<PendingAdd>> m_pendingAdds;  // in the order of the drops
  int m_sortsRunning = 0;
  // Last, so it goes first: its destructor aborts and waits for a scan that
  // may still post its result to this object.
  kernel::WorkQueue m_folderScans{1};
  kernel::WorkQueue m_sorts{1};
};

}  // namespace ui
