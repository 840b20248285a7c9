#include "ui/list_commands.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <algorithm>

#include "ui/dialog_seam.h"
#include "ui/list_box.h"
#include "ui/natural_order.h"
#include "ui/picture_folder.h"
#include "ui/virtual_keys.h"

namespace ui {

FileListCommands::FileListCommands(CListBox& list, QWidget* owner) : QObject(owner), m_list(list), m_owner(owner) {
  // Not a child of the owner: the owner's children are its template's
  // controls, in order.
  m_menu = std::make_unique<QMenu>();
  m_menu->setObjectName(QStringLiteral("IDR_LIST_MENU"));
  // The key beside each command is the one the list answers; the menu only
  // shows it.
  auto key = [this](const char* name, const char* text, int vkey) {
    AddMenuCommand(name, QString::fromLatin1(text), EnabledWhen::Selection, [this, vkey] { OnKey(vkey); });
  };
  key("ID_MOVE_UP", "Move &Up\tUp", VK_UP);
  key("ID_MOVE_DOWN", "Move &Down\tDown", VK_DOWN);
  key("ID_MOVE_TOP", "Move to &Top\tHome", VK_HOME);
  key("ID_MOVE_END", "Move to &End\tEnd", VK_END);
  key("ID_DELETE", "De&lete\tDel", VK_DELETE);
  AddMenuSeparator();
  AddMenuCommand("ID_CLEAR_SEL", QStringLiteral("&Clear Selection"), EnabledWhen::Selection,
                 [this] { ClearSelection(); });
  AddMenuCommand("ID_PASTE", QStringLiteral("&Paste\tCtrl+V"), EnabledWhen::ClipboardFiles, [this] { Paste(); });
  AddMenuSeparator();
  AddMenuCommand("ID_SORT", QStringLiteral("&Sort by Name\tS"), EnabledWhen::TwoEntries, [this] { Sort(); });
}

FileListCommands::~FileListCommands() = default;

int FileListCommands::OnKey(int vkey) {
  if (vkey == 'S') {
    // Sorting concerns the whole list, so it needs no selection.
    Sort();
    return kKeyHandled;
  }
  if (m_list.GetSelCount() == 0) return kKeyDefault;
  switch (vkey) {
    case VK_END: MoveSelectedToEnd(); return kKeyHandled;
    case VK_HOME: MoveSelectedToTop(); return kKeyHandled;
    case VK_UP: MoveSelectedUp(); return kKeyHandled;
    case VK_DOWN: MoveSelectedDown(); return kKeyHandled;
    case VK_DELETE: DeleteSelected(); return kKeyHandled;
    case 'N':
    case 'P':
      if (StepSelection(vkey == 'N')) emit PreviewRequested();
      return kKeyDefault;
    default: return kKeyDefault;
  }
}

void FileListCommands::MoveEntry(int oldIndex, int newIndex, bool selectAfter) {
  const std::string text = m_list.GetText(oldIndex);
  m_list.DeleteString(oldIndex);
  m_list.InsertString(newIndex, text);
  if (selectAfter) m_list.SetSel(newIndex, true);
}

void FileListCommands::MoveSelectedToEnd() {
  const int count = m_list.GetCount();
  for (int n = count - 2; n >= 0; --n)
    if (m_list.GetSel(n) > 0) MoveEntry(n, count - 1, false);
}

void FileListCommands::MoveSelectedToTop() {
  for (int i = 1; i < m_list.GetCount(); ++i)
    if (m_list.GetSel(i) > 0) MoveEntry(i, 0, false);
}

void FileListCommands::MoveSelectedUp() {
  for (int i = 1; i < m_list.GetCount(); ++i)
    if (m_list.GetSel(i) > 0) MoveEntry(i, i - 1, true);
}

void FileListCommands::MoveSelectedDown() {
  const int count = m_list.GetCount();
  for (int n = count - 2; n >= 0; --n)
    if (m_list.GetSel(n) > 0) MoveEntry(n, n + 1, true);
}

void FileListCommands::DeleteSelected() {
  const int count = m_list.GetCount();
  for (int n = count - 1; n >= 0; --n)
    if (m_list.GetSel(n) > 0) m_list.DeleteString(n);
}

bool FileListCommands::StepSelection(bool next) {
  if (m_list.GetCount() < 2) return false;
  int from = -1;
  if (next) {
    for (int i = 0; i < m_list.GetCount() - 1 && from < 0; ++i)
      if (m_list.GetSel(i) > 0) from = i;
  } else {
    for (int n = m_list.GetCount() - 1; n >= 1 && from < 0; --n)
      if (m_list.GetSel(n) > 0) from = n;
  }
  if (from < 0) return false;
  const int to = next ? from + 1 : from - 1;
  m_list.SetSel(from, false);
  m_list.SetSel(to, true);
  m_list.SetTopIndex(to);
  return true;
}

void FileListCommands::AddFiles(const std::vector<std::string>& paths) {
  const bool hasFolder = std::any_of(paths.begin(), paths.end(), IsFolder);
  if (!hasFolder && m_pendingAdds.empty()) {
    for (const std::string& path : paths) m_list.AddString(path);
    return;
  }
  auto add = std::make_shared<PendingAdd>();
  m_pendingAdds.push_back(add);
  if (!hasFolder) {
    add->paths = paths;
    add->done = true;
    return;  // joins the list behind the folders dropped before it
  }
  // A folder may hold thousands of files, or sit on a slow disk: the window
  // must not wait for it.
  add->ticket = m_folderScans.Post([this, add, paths](const std::atomic<bool>& aborted) {
    std::vector<std::string> expanded = ExpandFolders(paths, &aborted);
    if (aborted.load()) return;
    QMetaObject::invokeMethod(
        this,
        [this, add, expanded = std::move(expanded)]() mutable {
          add->paths = std::move(expanded);
          add->done = true;
          FlushPendingAdds();
        },
        Qt::QueuedConnection);
  });
  if (add->ticket == 0) {
    add->paths = ExpandFolders(paths);
    add->done = true;
    FlushPendingAdds();
  }
}

void FileListCommands::FlushPendingAdds() {
  while (!m_pendingAdds.empty() && m_pendingAdds.front()->done) {
    const std::shared_ptr<PendingAdd> add = m_pendingAdds.front();
    m_pendingAdds.pop_front();
    for (const std::string& path : add->paths) m_list.AddString(path);
  }
}

void FileListCommands::DropPendingAdds() {
  // A scan still running ends on its own; what it finds has nowhere to go.
  for (const auto& add : m_pendingAdds)
    if (add->ticket != 0) m_folderScans.Abort(add->ticket);
  m_pendingAdds.clear();
}

void FileListCommands::Paste() { AddFiles(LocalFilePaths(QApplication::clipboard()->mimeData())); }

std::vector<std::string> FileListCommands::Entries() const {
  std::vector<std::string> paths;
  const int count = m_list.GetCount();
  paths.reserve(std::size_t(std::max(count, 0)));
  for (int i = 0; i < count; ++i) paths.push_back(m_list.GetText(i));
  return paths;
}

void FileListCommands::SortBy(const Order& order) {
  if (m_list.GetCount() < 2) return;
  ApplyOrder(order(Entries()));
}

void FileListCommands::SortInBackground(Order order) {
  if (m_list.GetCount() < 2) return;
  std::vector<std::string> paths = Entries();
  auto run = [this, order = std::move(order), paths](const std::atomic<bool>& aborted) {
    std::vector<std::size_t> sorted = order(paths);
    if (aborted.load()) return;
    QMetaObject::invokeMethod(
        this,
        [this, paths, sorted = std::move(sorted)] {
          --m_sortsRunning;
          if (Entries() == paths) ApplyOrder(sorted);
        },
        Qt::QueuedConnection);
  };
  ++m_sortsRunning;
  if (m_sorts.Post(run) == 0) {
    --m_sortsRunning;
    ApplyOrder(order(paths));
  }
}

void FileListCommands::ApplyOrder(const std::vector<std::size_t>& sorted) {
  const std::vector<std::string> paths = Entries();
  if (sorted.size() != paths.size()) return;
  std::vector<bool> selected;
  selected.reserve(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) selected.push_back(m_list.GetSel(int(i)) > 0);
  const int caret = m_list.GetCurSel();
  m_list.ResetContent();
  int newCaret = -1;
  for (std::size_t k = 0; k < sorted.size(); ++k) m_list.AddString(paths[sorted[k]]);
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    if (selected[sorted[k]]) m_list.SetSel(int(k), true);
    if (int(sorted[k]) == caret) newCaret = int(k);
  }
  if (newCaret >= 0) {
    m_list.SetCaretIndex(newCaret);
    m_list.widget()->scrollToItem(m_list.widget()->item(newCaret));
  }
}

void FileListCommands::Sort() { SortBy(NaturalOrder); }

void FileListCommands::ClearSelection() {
  const int count = m_list.GetCount();
  for (int n = count - 1; n >= 0; --n) m_list.SetSel(n, false);
}

void FileListCommands::AskToClear() {
  if (Dialogs().messageBox(m_owner, "Clear?", "Erase List", MB_YESNO | MB_DEFBUTTON2) == IDYES) Empty();
}

void FileListCommands::Empty() {
  DropPendingAdds();  // a folder dropped before the emptying stays out too
  m_list.ResetContent();
}

void FileListCommands::AddMenuCommand(const char* name, const QString& text, EnabledWhen when,
                                      std::function<void()> run) {
  QAction* action = m_menu->addAction(text);
  action->setObjectName(QString::fromLatin1(name));
  action->setData(int(when));
  connect(action, &QAction::triggered, this, std::move(run));
}

void FileListCommands::AddMenuSeparator() { m_menu->addSeparator()->setData(int(EnabledWhen::Always)); }

bool FileListCommands::IsEnabled(EnabledWhen when) const {
  switch (when) {
    case EnabledWhen::Always: return true;
    case EnabledWhen::Selection: return m_list.GetSelCount() > 0;
    case EnabledWhen::TwoEntries: return m_list.GetCount() >= 2;
    case EnabledWhen::ClipboardFiles: return !LocalFilePaths(QApplication::clipboard()->mimeData()).empty();
  }
  return true;
}

void FileListCommands::PopUpMenu(const QPoint& globalPos) {
  for (QAction* action : m_menu->actions()) action->setEnabled(IsEnabled(EnabledWhen(action->data().toInt())));
  m_menu->popup(globalPos);
}

}  // namespace ui
