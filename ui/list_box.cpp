#include "ui/list_box.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QUrl>
#include <algorithm>

#include "ui/virtual_keys.h"

namespace ui {
namespace {

constexpr int kPathRole = Qt::UserRole;

QListWidgetItem* MakeItem(const std::string& text) {
  const QByteArray bytes = QByteArray::fromStdString(text);
  auto* item = new QListWidgetItem(QFile::decodeName(bytes));
  item->setData(kPathRole, bytes);  // the exact bytes, whatever their encoding
  return item;
}

}  // namespace

FileListWidget::FileListWidget(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::MultiSelection);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setAcceptDrops(true);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setUniformItemSizes(true);

  // One notification per user action, however many signals it raises.
  auto report = [this] {
    if (m_programChanges > 0 || m_selChangePending) return;
    m_selChangePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          m_selChangePending = false;
          if (onSelChange) onSelChange();
        },
        Qt::QueuedConnection);
  };
  connect(this, &QListWidget::itemSelectionChanged, this, report);
  connect(this, &QListWidget::currentRowChanged, this, report);
}

void FileListWidget::keyPressEvent(QKeyEvent* event) {
  const int vkey = VirtualKeyOf(event->key());
  if (vkey != 0 && onVKeyToItem) {
    const int answer = onVKeyToItem(vkey, currentRow());
    if (answer == kKeyHandled) {
      event->accept();
      return;
    }
    if (answer >= 0) {
      if (QListWidgetItem* target = item(answer)) {
        setCurrentItem(target, QItemSelectionModel::NoUpdate);
        scrollToItem(target);
      }
      event->accept();
      return;
    }
  }
  QListWidget::keyPressEvent(event);
}

void FileListWidget::focusInEvent(QFocusEvent* event) {
  // Qt puts the caret on the first entry when the list gains focus; that is
  // not the user's selection.
  ProgramChange quiet(this);
  QListWidget::focusInEvent(event);
}

bool AcceptDropAsCopy(QDropEvent* event) {
  // A file manager that sees a move deletes the user's originals: whatever
  // the source proposes, the list takes a copy, or a link when that is all
  // it offers.
  const Qt::DropActions offered = event->possibleActions();
  if (LocalFilePaths(event->mimeData()).empty() || !(offered & (Qt::CopyAction | Qt::LinkAction))) {
    event->ignore();
    return false;
  }
  event->setDropAction(offered & Qt::CopyAction ? Qt::CopyAction : Qt::LinkAction);
  event->accept();
  return true;
}

void FileListWidget::dragEnterEvent(QDragEnterEvent* event) { AcceptDropAsCopy(event); }

void FileListWidget::dragMoveEvent(QDragMoveEvent* event) { AcceptDropAsCopy(event); }

void FileListWidget::dropEvent(QDropEvent* event) {
  if (AcceptDropAsCopy(event) && onDropFiles) onDropFiles(LocalFilePaths(event->mimeData()));
}

void FileListWidget::mousePressEvent(QMouseEvent* event) {
  // The right button opens the menu; it never toggles an entry.
  if (event->button() == Qt::RightButton) {
    setFocus(Qt::MouseFocusReason);
    event->accept();
    return;
  }
  QListWidget::mousePressEvent(event);
}

void FileListWidget::contextMenuEvent(QContextMenuEvent* event) {
  if (!onContextMenu) {
    QListWidget::contextMenuEvent(event);
    return;
  }
  event->accept();
  onContextMenu(event->globalPos());
}

void FileListWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  QListWidget::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton && onDoubleClick) onDoubleClick();
}

void FileListWidget::setHorizontalExtent(int pixels) {
  m_horizontalExtent = std::max(0, pixels);
  // The bar stays put: letting it come and go with each range change would
  // resize the viewport and recompute the range without end.
  setHorizontalScrollBarPolicy(m_horizontalExtent > 0 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
  updateGeometries();
}

void FileListWidget::updateGeometries() {
  QListWidget::updateGeometries();
  if (m_horizontalExtent > 0) {
    QScrollBar* bar = horizontalScrollBar();
    bar->setRange(0, std::max(0, m_horizontalExtent - viewport()->width()));
    bar->setPageStep(viewport()->width());
  }
}

int VirtualKeyOf(int qtKey) {
  if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
    return qtKey;  // Qt and Windows share the ASCII codes here
  switch (qtKey) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: return 0;
  }
}

std::vector<std::string> LocalFilePaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data) return paths;
  QList<QUrl> urls = data->urls();
  if (urls.isEmpty() && data->hasFormat(QStringLiteral("x-special/gnome-copied-files"))) {
    // "copy" or "cut", then one URL per line.
    const QList<QByteArray> lines = data->data(QStringLiteral("x-special/gnome-copied-files")).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i)
      if (!lines[i].trimmed().isEmpty()) urls << QUrl::fromEncoded(lines[i].trimmed());
  }
  if (urls.isEmpty() && data->hasText()) {
    // A list of names copied from a terminal or an editor.
    for (const QString& line : data->text().split(QLatin1Char('\n'))) {
      const QString name = line.trimmed();
      if (name.startsWith(QLatin1Char('/')))
        urls << QUrl::fromLocalFile(name);
      else if (name.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        urls << QUrl(name);
    }
  }
  for (const QUrl& url : urls)
    if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  return paths;
}

// ---------------------------------------------------------------------------

int CListBox::GetCount() const { return m_widget->count(); }

std::string CListBox::GetText(int index) const {
  QListWidgetItem* item = m_widget->item(index);
  return item ? item->data(kPathRole).toByteArray().toStdString() : std::string();
}

int CListBox::GetSel(int index) const {
  QListWidgetItem* item = m_widget->item(index);
  if (!item) return -1;
  return item->isSelected() ? 1 : 0;
}

int CListBox::GetSelCount() const { return int(m_widget->selectionModel()->selectedIndexes().size()); }

int CListBox::GetCurSel() const { return m_widget->currentRow(); }

int CListBox::SetCaretIndex(int index) {
  FileListWidget::ProgramChange quiet(m_widget);
  if (index < 0 || index >= m_widget->count()) return -1;
  m_widget->selectionModel()->setCurrentIndex(m_widget->model()->index(index, 0), QItemSelectionModel::NoUpdate);
  return 0;
}

int CListBox::AddString(const std::string& text) { return InsertString(-1, text); }

int CListBox::InsertString(int index, const std::string& text) {
  FileListWidget::ProgramChange quiet(m_widget);
  if (index < 0 || index > m_widget->count()) index = m_widget->count();
  m_widget->insertItem(index, MakeItem(text));
  return index;
}

int CListBox::DeleteString(int index) {
  FileListWidget::ProgramChange quiet(m_widget);
  QListWidgetItem* item = m_widget->takeItem(index);
  if (!item) return -1;
  delete item;
  return m_widget->count();
}

void CListBox::ResetContent() {
  FileListWidget::ProgramChange quiet(m_widget);
  m_widget->clear();
}

int CListBox::SetSel(int index, bool select) {
  FileListWidget::ProgramChange quiet(m_widget);
  QItemSelectionModel* model = m_widget->selectionModel();
  const auto flag = select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect;
  if (index == -1) {
    for (int i = 0; i < m_widget->count(); ++i) model->select(m_widget->model()->index(i, 0), flag);
    return 0;
  }
  if (index < 0 || index >= m_widget->count()) return -1;
  const QModelIndex modelIndex = m_widget->model()->index(index, 0);
  model->select(modelIndex, flag);
  if (select) model->setCurrentIndex(modelIndex, QItemSelectionModel::NoUpdate);
  return 0;
}

int CListBox::SetTopIndex(int index) {
  QListWidgetItem* item = m_widget->item(index);
  if (!item) return -1;
  m_widget->scrollToItem(item, QAbstractItemView::PositionAtTop);
  return 0;
}

int CListBox::GetTopIndex() const {
  QListWidgetItem* item = m_widget->itemAt(1, 1);
  return item ? m_widget->row(item) : 0;
}

void CListBox::SetHorizontalExtent(int pixels) { m_widget->setHorizontalExtent(pixels); }

}  // namespace ui
