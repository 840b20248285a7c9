// The file list: a QListWidget that behaves as a multiple-selection Windows
// list box (a click toggles one entry, arrow keys move only the caret), offers
// its keys to its owner first, takes dropped files and scrolls sideways over a
// fixed extent; and CListBox, the index-based operations the dialog uses.
#pragma once

#include <QListWidget>
#include <functional>
#include <string>
#include <vector>

namespace ui {

class FileListWidget : public QListWidget {
  Q_OBJECT

 public:
  explicit FileListWidget(QWidget* parent = nullptr);

  // Every key pressed in the list is first offered here with its Windows
  // virtual-key code and the caret index. The answer: -2 the key is dealt
  // with; -1 the list applies its own handling; 0 or more, the caret moves to
  // that entry.
  std::function<int(int vkey, int caretIndex)> onVKeyToItem;
  // Local files dropped on the list, as 8-bit paths in the order given.
  std::function<void(const std::vector<std::string>& paths)> onDropFiles;
  // A double-click anywhere in the list.
  std::function<void()> onDoubleClick;
  // The user changed the selection with the mouse or the keyboard (not the
  // program's own changes).
  std::function<void()> onSelChange;
  // The user asked for the list's menu (right button or the menu key), at
  // a position on the screen.
  std::function<void(const QPoint& globalPos)> onContextMenu;

  void setHorizontalExtent(int pixels);
  int horizontalExtent() const { return m_horizontalExtent; }

  // Counts programmatic selection changes so they are not reported as the
  // user's.
  class ProgramChange {
   public:
    explicit ProgramChange(FileListWidget* list) : m_list(list) { ++m_list->m_programChanges; }
    ~ProgramChange() { --m_list->m_programChanges; }
    ProgramChange(const ProgramChange&) = delete;
    ProgramChange& operator=(const ProgramChange&) = delete;

   private:
    FileListWidget* m_list;
  };

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void updateGeometries() override;

 private:
  int m_horizontalExtent = 0;
  int m_programChanges = 0;
  bool m_selChangePending = false;
};

// Windows virtual-key code of a Qt key, or 0 when it has none here.
int VirtualKeyOf(int qtKey);

// Local file paths carried by drag-and-drop or clipboard data, as 8-bit paths:
// file URLs, or else plain text with one absolute path or file URL a line
// (other lines are left out).
std::vector<std::string> LocalFilePaths(const class QMimeData* data);

// Accepts a drag or drop of local files as a copy (or a link), never as a
// move; false, with the event ignored, when it carries none or offers neither.
bool AcceptDropAsCopy(class QDropEvent* event);

// Index-based list-box operations over a FileListWidget. UI thread only.
class CListBox {
 public:
  void attach(FileListWidget* widget) { m_widget = widget; }
  FileListWidget* widget() const { return m_widget; }
  bool IsWindow() const { return m_widget != nullptr; }

  int GetCount() const;
  std::string GetText(int index) const;  // empty when index is outside
  int GetSel(int index) const;           // >0 selected, 0 not, -1 outside
  int GetSelCount() const;
  int GetCurSel() const;                 // the caret entry, -1 when none
  int SetCaretIndex(int index);          // moves the caret; the selection stays
  int AddString(const std::string& text);
  int InsertString(int index, const std::string& text);  // -1: at the end
  int DeleteString(int index);           // entries left, or -1 outside
  void ResetContent();
  // index -1 applies to every entry. Selecting an entry makes it the caret.
  int SetSel(int index, bool select);
  int SetTopIndex(int index);
  int GetTopIndex() const;
  void SetHorizontalExtent(int pixels);

 private:
  FileListWidget* m_widget = nullptr;
};

}  // namespace ui
