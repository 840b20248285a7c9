#include "ui/main_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QWindow>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <limits>

#include "ui/dialog_seam.h"
#include "ui/dialog_template.h"
#include "ui/natural_order.h"
#include "ui/picture_folder.h"
#include "avi_build/make_avi.h"
#include "picture/load_picture.h"
#include "ui/resource.h"
#include "ui/ui_thread.h"
#include "ui/video_surface.h"

namespace ui {
namespace {

// Reads a number the way scanf's "%d" / "%u" does: blanks skipped, a sign,
// then digits up to the first other character; at least one digit. Numbers
// the member cannot hold, and negative ones for unsigned members, fail.
bool ScanNumber(const QString& text, bool isSigned, std::int64_t* value) {
  const QByteArray bytes = text.toLatin1();
  const char* p = bytes.constData();
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  const std::int64_t limit =
      isSigned ? std::int64_t(std::numeric_limits<std::int32_t>::max()) + (negative ? 1 : 0)
               : std::int64_t(std::numeric_limits<std::uint32_t>::max());
  std::int64_t magnitude = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) return false;
  }
  if (negative && !isSigned && magnitude != 0) return false;
  *value = negative ? -magnitude : magnitude;
  return true;
}

// The position slider keeps a trackbar's keys: Up, Left and PageUp move
// towards the start, Down, Right and PageDown towards the end. QSlider runs
// Up and PageUp the other way.
class Trackbar : public QSlider {
 public:
  using QSlider::QSlider;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    SliderAction action = SliderNoAction;
    switch (event->key()) {
      case Qt::Key_Up:
      case Qt::Key_Left: action = SliderSingleStepSub; break;
      case Qt::Key_Down:
      case Qt::Key_Right: action = SliderSingleStepAdd; break;
      case Qt::Key_PageUp: action = SliderPageStepSub; break;
      case Qt::Key_PageDown: action = SliderPageStepAdd; break;
      case Qt::Key_Home: action = SliderToMinimum; break;
      case Qt::Key_End: action = SliderToMaximum; break;
      default: QSlider::keyPressEvent(event); return;
    }
    triggerAction(action);
    event->accept();
  }
};

// What the window manager's frame may take around the client area, before
// the window is shown and its real frame is known: a title bar and borders.
QMargins FrameAllowance(const QWidget* widget) {
  const int border = 4;
  const int title = std::max(widget->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, widget),
                             2 * widget->fontMetrics().height());
  return QMargins(border, title + border, border, border);
}

QIcon MainIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addFile(QStringLiteral(":/res/stillweaver-%1.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace

CMainDlg::CMainDlg(QWidget* parent) : QDialog(parent), m_hIcon(MainIcon()) {
  setWindowTitle(QString::fromLatin1(kMainDialog.caption));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  setSizeGripEnabled(false);
  CreateControls();
  qApp->installEventFilter(this);
  // ICCompressorChoose asks the user through the dialog seam, on this thread.
  m_previousChooser = ICSetCompressorChooser(
      [](HWND owner, const std::string& title, const std::vector<CompressorChoice>& offered) {
        return RunOnUiThread(
            [&] { return Dialogs().chooseCompressor(static_cast<QWidget*>(owner), title, offered); });
      });
  connect(&m_viewWorkers, &WorkerSet::WorkerEnded, this, [this] {
    if (m_pendingView && m_viewWorkers.Running() == 0 && !m_closing) {
      m_pendingView = false;
      StartPlayback();
    }
  });
  OnInitDialog();
}

CMainDlg::~CMainDlg() {
  // No worker may outlive the object it reports to.
  m_closing = true;
  m_stopJobs = true;
  StopPlayback();
  m_viewWorkers.WaitAll();
  m_makeWorkers.WaitAll();
  qApp->removeEventFilter(this);
  ICSetCompressorChooser(std::move(m_previousChooser));
}

void CMainDlg::CreateControls() {
  const QFont font = DialogFont(kMainDialog);
  setFont(font);
  const DialogBaseUnits units = BaseUnitsOf(font);
  FitToScreen(QSize(DluToPixelsX(units, kMainDialog.widthDlu), DluToPixelsY(units, kMainDialog.heightDlu)));

  for (const ControlTemplate& t : kMainDialogControls) {
    const QString caption = QString::fromLatin1(t.caption);
    QWidget* widget = nullptr;
    switch (t.kind) {
      case ControlKind::PushButton: {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(true);  // a focused push button takes Enter, as on Windows
        widget = button;
        break;
      }
      case ControlKind::CheckBox:
        widget = new QCheckBox(caption, this);
        break;
      case ControlKind::Edit:
        widget = new QLineEdit(this);
        break;
      case ControlKind::Trackbar: {
        auto* slider = new Trackbar(Qt::Horizontal, this);
        slider->setTickPosition(QSlider::NoTicks);
        slider->setFocusPolicy(Qt::StrongFocus);
        widget = slider;
        break;
      }
      case ControlKind::ListBox:
        widget = new FileListWidget(this);
        break;
      case ControlKind::StaticText:
        widget = new QLabel(caption, this);
        break;
      case ControlKind::BlackFrame:
        widget = new VideoSurface(this);
        break;
    }
    widget->setObjectName(QString::fromLatin1(t.name));
    widget->setGeometry(DluToPixels(units, t.dlu));
    m_controls.push_back(widget);
  }

  // Control members, bound once.
  auto* list = findChild<FileListWidget*>(QStringLiteral("IDC_FILE_LIST"));
  m_fileList.attach(list);
  m_viewButton = findChild<QPushButton*>(QStringLiteral("IDC_VIEW_AVI"));
  m_display = findChild<VideoSurface*>(QStringLiteral("IDC_DISPLAY"));
  m_colsEdit = findChild<QLineEdit*>(QStringLiteral("IDC_COLS"));
  m_rowsEdit = findChild<QLineEdit*>(QStringLiteral("IDC_ROWS"));
  m_fpsEdit = findChild<QLineEdit*>(QStringLiteral("IDC_FPS"));
  m_slider = findChild<QSlider*>(QStringLiteral("IDC_POSITION"));

  // One row a running Make-AVI job, under the list: a button's height each.
  m_jobRowHeight = DluToPixelsY(units, 12);
  m_jobRowGap = DluToPixelsY(units, 2);
  m_jobNameWidth = DluToPixelsX(units, 60);
  m_jobsPanel = new QWidget(this);
  m_jobsPanel->setObjectName(QStringLiteral("MakeAviJobs"));
  auto* rows = new QVBoxLayout(m_jobsPanel);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(m_jobRowGap);
  m_jobsPanel->hide();

  // Message table.
  list->onDropFiles = [this](const std::vector<std::string>& paths) { OnDropFiles(paths); };
  list->onVKeyToItem = [this](int vkey, int caret) { return OnVKeyToItem(vkey, caret); };
  list->onDoubleClick = [this] { OnListDblClk(); };
  list->onSelChange = [this] { ShowPreview(); };
  list->onContextMenu = [this](const QPoint& globalPos) { OnListContextMenu(globalPos); };
  CreateListMenu();
  auto button = [this](const char* id) { return static_cast<QPushButton*>(control(id)); };
  connect(button("IDC_CLEAR_SEL"), &QPushButton::clicked, this, &CMainDlg::OnClearSel);
  connect(button("IDC_MAKE_AVI"), &QPushButton::clicked, this, &CMainDlg::OnMakeAvi);
  connect(button("IDC_VIEW_AVI"), &QPushButton::clicked, this, &CMainDlg::OnViewAvi);
  connect(button("IDC_PLAY_PAUSE"), &QPushButton::clicked, this, &CMainDlg::OnPlayPause);
  connect(button("IDC_DIRECTION"), &QPushButton::clicked, this, &CMainDlg::OnDirection);
  connect(button("IDC_STEP"), &QPushButton::clicked, this, &CMainDlg::OnStep);
  connect(button("IDC_CLOSE_VIEW"), &QPushButton::clicked, this, &CMainDlg::OnCloseView);
  connect(m_fpsEdit, &QLineEdit::textChanged, this, [this] {
    // The dialog's own data exchange does not count as a change.
    if (!m_inDataExchange) OnFpsChange();
  });
  connect(static_cast<QCheckBox*>(control("IDC_WRITE_FILES")), &QCheckBox::clicked, this, &CMainDlg::OnWriteFiles);
  connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub: OnHScroll(avi_view::TB_LINEUP, 0); break;
      case QAbstractSlider::SliderSingleStepAdd: OnHScroll(avi_view::TB_LINEDOWN, 0); break;
      case QAbstractSlider::SliderPageStepSub: OnHScroll(avi_view::TB_PAGEUP, 0); break;
      case QAbstractSlider::SliderPageStepAdd: OnHScroll(avi_view::TB_PAGEDOWN, 0); break;
      case QAbstractSlider::SliderToMinimum: OnHScroll(avi_view::TB_TOP, 0); break;
      case QAbstractSlider::SliderToMaximum: OnHScroll(avi_view::TB_BOTTOM, 0); break;
      case QAbstractSlider::SliderMove: OnHScroll(avi_view::TB_THUMBTRACK, m_slider->sliderPosition()); break;
      default: break;
    }
  });
  connect(m_slider, &QSlider::sliderReleased, this, [this] {
    OnHScroll(avi_view::TB_THUMBPOSITION, m_slider->sliderPosition());
    OnHScroll(avi_view::TB_ENDTRACK, m_slider->sliderPosition());
  });
}

void CMainDlg::FitToScreen(const QSize& templateSize) {
  // Smaller than the template, controls would be cut; larger than the free
  // area of the screen, the title bar or the bottom would leave it.
  QSize size = templateSize;
  if (const QScreen* where = screen())
    size = size.boundedTo(where->availableGeometry().marginsRemoved(FrameAllowance(this)).size())
               .expandedTo(QSize(1, 1));
  setMinimumSize(size);
  resize(size);
}

QWidget* CMainDlg::control(const char* idName) const {
  for (QWidget* widget : m_controls)
    if (widget->objectName() == QLatin1String(idName)) return widget;
  return nullptr;
}

bool CMainDlg::OnInitDialog() {
  UpdateData(false);
  setWindowIcon(m_hIcon);
  m_fileList.SetHorizontalExtent(4096);
  m_display->hide();
  m_slider->hide();
  m_viewButton->setFocus();
  return true;
}

bool CMainDlg::UpdateData(bool saveAndValidate) {
  bool ok = true;
  m_inDataExchange = true;
  DoDataExchange(saveAndValidate, &ok);
  m_inDataExchange = false;
  return ok;
}

void CMainDlg::DoDataExchange(bool saveAndValidate, bool* ok) {
  struct TextField {
    QLineEdit* edit;
    bool isSigned;
    const char* message;
  };
  auto exchange = [&](const TextField& field, std::int64_t current, auto store) {
    if (!*ok) return;
    if (!saveAndValidate) {
      const QString text = QString::number(current);
      if (field.edit->text() != text) field.edit->setText(text);
      return;
    }
    std::int64_t value = 0;
    if (!ScanNumber(field.edit->text(), field.isSigned, &value)) {
      Dialogs().messageBox(this, field.message, kMainDialog.caption, MB_OK);
      field.edit->setFocus();
      field.edit->selectAll();
      *ok = false;
      return;
    }
    store(value);
  };
  exchange({m_rowsEdit, true, "Please enter an integer."}, m_rows,
           [this](std::int64_t v) { m_rows = static_cast<std::int32_t>(v); });
  exchange({m_colsEdit, true, "Please enter an integer."}, m_cols,
           [this](std::int64_t v) { m_cols = static_cast<std::int32_t>(v); });
  exchange({m_fpsEdit, false, "Please enter a positive integer."}, m_fps,
           [this](std::int64_t v) { m_fps = static_cast<std::uint32_t>(v); });
  if (!*ok) return;

  auto* clip = static_cast<QCheckBox*>(control("IDC_CLIP"));
  auto* writeFiles = static_cast<QCheckBox*>(control("IDC_WRITE_FILES"));
  if (saveAndValidate) {
    m_clip = clip->isChecked() ? 1 : 0;
    avi_view::WriteFiles(*this, writeFiles->isChecked());
  } else {
    clip->setChecked(m_clip != 0);
    writeFiles->setChecked(Values().m_writeFiles != 0);
  }
}

void CMainDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  OnSize(event->size().width(), event->size().height());
}

void CMainDlg::OnSize(int cx, int cy) {
  if (!m_fileList.IsWindow()) return;
  // The rows of running jobs take their height from the bottom of the list.
  const auto rows = int(std::count_if(m_jobs.begin(), m_jobs.end(), [](const auto& job) { return job.second.row; }));
  const int jobsHeight = rows * (m_jobRowHeight + m_jobRowGap);
  // Qt cannot make a widget smaller than nothing; a minimised dialog's
  // negative sizes end as empty controls.
  m_fileList.widget()->resize(cx - 22, cy - 110 - jobsHeight);
  m_display->resize(cx - 22, cy - 110 - jobsHeight);
  if (rows > 0) {
    const QRect list = m_fileList.widget()->geometry();
    m_jobsPanel->setGeometry(list.x(), list.y() + list.height() + m_jobRowGap, cx - 22, jobsHeight - m_jobRowGap);
  }
}

void CMainDlg::LayOutJobs() {
  const bool any = std::any_of(m_jobs.begin(), m_jobs.end(), [](const auto& job) { return job.second.row; });
  m_jobsPanel->setVisible(any);
  if (any) m_jobsPanel->raise();
  OnSize(width(), height());
}

void CMainDlg::keyPressEvent(QKeyEvent* event) {
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    OnOK();  // no push button is the default: Enter means OK
    return;
  }
  QDialog::keyPressEvent(event);  // Escape ends up in reject()
}

void CMainDlg::accept() { OnOK(); }
void CMainDlg::reject() { OnCancel(); }

void CMainDlg::OnOK() {
  if (m_closing) return;
  // The boxes are checked before anything is undone, so a bad number costs
  // the user nothing.
  if (!UpdateData(true)) return;
  Close(QDialog::Accepted);
}

void CMainDlg::OnCancel() {
  if (m_closing) return;
  Close(QDialog::Rejected);
}

void CMainDlg::Close(int result) {
  m_closing = true;
  // Jobs finish the frame they are writing and then their file.
  m_stopJobs = true;
  StopPlayback();
  m_viewWorkers.WaitAll();
  m_makeWorkers.WaitAll();
  DropPendingAdds();
  m_fileList.ResetContent();
  // The last preview picture goes before the image library stops.
  m_preview.ReleasePicture();
  m_closing = false;
  m_stopJobs = false;
  QDialog::done(result);
}

void CMainDlg::StopPlayback() {
  m_pendingView = false;
  avi_view::CloseView(*this);
  NewPlayback();  // also ends a worker that has not begun its loop yet
}

// ---------------------------------------------------------------------------
// Make AVI and View AVI.

void CMainDlg::OnMakeAvi() {
  if (m_closing || !UpdateData(true)) return;
  const std::string problem = avi_build::CheckFrameSettings({m_cols, m_rows, m_fps, m_clip});
  if (!problem.empty()) {
    Dialogs().messageBox(this, problem, "Make AVI", MB_OK);
    return;
  }
  const int job = ++m_nextJob;
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  m_jobs[job].cancelled = cancelled;
  m_makeWorkers.Start([this, job, cancelled] { MakeAviThread(this, job, *cancelled); });
}

void CMainDlg::JobStarted(int job, const std::string& aviName) {
  const auto it = m_jobs.find(job);
  if (it == m_jobs.end() || it->second.row) return;
  JobRow& state = it->second;
  state.row = new QWidget(m_jobsPanel);
  state.row->setObjectName(QStringLiteral("MakeAviJob"));
  state.row->setFixedHeight(m_jobRowHeight);
  auto* layout = new QHBoxLayout(state.row);
  layout->setContentsMargins(0, 0, 0, 0);
  // Names of one width, so that the bars of several jobs line up.
  const QString fullName = QString::fromStdString(aviName);
  auto* name = new QLabel(state.row);
  name->setObjectName(QStringLiteral("MakeAviName"));
  name->setFixedWidth(m_jobNameWidth);
  name->setText(name->fontMetrics().elidedText(fullName, Qt::ElideMiddle, m_jobNameWidth));
  name->setToolTip(fullName);
  state.bar = new QProgressBar(state.row);
  state.bar->setObjectName(QStringLiteral("MakeAviProgress"));
  state.bar->setFormat(QStringLiteral("%v of %m"));
  state.bar->setRange(0, 0);  // busy until the first entry
  state.cancel = new QPushButton(QStringLiteral("Cancel"), state.row);
  state.cancel->setObjectName(QStringLiteral("MakeAviCancel"));
  connect(state.cancel, &QPushButton::clicked, this, [this, job] { OnCancelJob(job); });
  layout->addWidget(name);
  layout->addWidget(state.bar, 1);
  layout->addWidget(state.cancel);
  m_jobsPanel->layout()->addWidget(state.row);
  LayOutJobs();
}

void CMainDlg::SetJobProgress(int job, int n, int count) {
  const auto it = m_jobs.find(job);
  if (it == m_jobs.end()) return;
  if (count <= 0) {
    delete it->second.row;
    m_jobs.erase(it);
    LayOutJobs();
    return;
  }
  if (!it->second.bar) return;
  it->second.bar->setRange(0, count);
  it->second.bar->setValue(n + 1);
}

void CMainDlg::OnCancelJob(int job) {
  const auto it = m_jobs.find(job);
  if (it == m_jobs.end()) return;
  *it->second.cancelled = true;
  if (it->second.cancel) it->second.cancel->setEnabled(false);
}

void CMainDlg::OnViewAvi() {
  if (m_closing) return;
  if (Values().m_playing != 0 || m_viewWorkers.Running() > 0) {
    // The new playback starts once the old worker has ended; the window
    // stays responsive meanwhile.
    avi_view::StopPlayback(*this);
    m_pendingView = true;
    return;
  }
  StartPlayback();
}

void CMainDlg::StartPlayback() {
  const std::uint64_t generation = NewPlayback();
  m_viewWorkers.Start([this, generation] { ViewAviThread(this, generation); });
}

// ---------------------------------------------------------------------------
// Transport controls.

void CMainDlg::OnPlayPause() { avi_view::PlayPause(*this); }

void CMainDlg::OnDirection() {
  m_viewButton->setText(QString::fromStdString(avi_view::Direction(*this)));
}

void CMainDlg::OnStep() { avi_view::Step(*this); }

void CMainDlg::OnCloseView() { avi_view::CloseView(*this); }

void CMainDlg::OnFpsChange() { avi_view::FpsChange(*this, m_fpsEdit->text().toStdString()); }

void CMainDlg::OnWriteFiles() {
  avi_view::WriteFiles(*this, static_cast<QCheckBox*>(control("IDC_WRITE_FILES"))->isChecked());
}

void CMainDlg::OnHScroll(int code, int position) {
  if (m_inHScroll) return;  // our own position updates are not the user's scrolling
  m_inHScroll = true;
  for (std::int32_t sent : avi_view::HScroll(*this, code, position)) m_slider->setSliderPosition(sent);
  m_inHScroll = false;
}

// ---------------------------------------------------------------------------
// The file list.

void CMainDlg::AddFiles(const std::vector<std::string>& paths) {
  const bool hasFolder = std::any_of(paths.begin(), paths.end(), IsFolder);
  if (!hasFolder && m_pendingAdds.empty()) {
    for (const std::string& path : paths) m_fileList.AddString(path);
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

void CMainDlg::FlushPendingAdds() {
  while (!m_pendingAdds.empty() && m_pendingAdds.front()->done) {
    const std::shared_ptr<PendingAdd> add = m_pendingAdds.front();
    m_pendingAdds.pop_front();
    for (const std::string& path : add->paths) m_fileList.AddString(path);
  }
}

void CMainDlg::DropPendingAdds() {
  // A scan still running ends on its own; what it finds has nowhere to go.
  for (const auto& add : m_pendingAdds)
    if (add->ticket != 0) m_folderScans.Abort(add->ticket);
  m_pendingAdds.clear();
}

void CMainDlg::OnDropFiles(const std::vector<std::string>& paths) { AddFiles(paths); }

void CMainDlg::OnPaste() { AddFiles(LocalFilePaths(QApplication::clipboard()->mimeData())); }

bool CMainDlg::IsOwnWindow(QObject* object) const {
  auto* widget = qobject_cast<QWidget*>(object);
  return widget && (widget->window() == this || widget->window() == &m_preview);
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && IsOwnWindow(watched)) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_V && (key->modifiers() & Qt::ControlModifier) &&
        !(key->modifiers() & Qt::AltModifier)) {
      OnPaste();
      return true;  // consumed even when nothing was added
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CMainDlg::MoveEntry(int oldIndex, int newIndex, bool selectAfter) {
  const std::string text = m_fileList.GetText(oldIndex);
  m_fileList.DeleteString(oldIndex);
  m_fileList.InsertString(newIndex, text);
  if (selectAfter) m_fileList.SetSel(newIndex, true);
}

int CMainDlg::OnVKeyToItem(int vkey, int /*caretIndex*/) {
  constexpr int kDefault = -1;  // the list's own handling
  constexpr int kHandled = -2;
  if (vkey == 'S') {
    // Sorting concerns the whole list, so it needs no selection.
    OnSortList();
    return kHandled;
  }
  if (m_fileList.GetSelCount() == 0) return kDefault;

  switch (vkey) {
    case 35: {  // End: selected entries to the end
      const int count = m_fileList.GetCount();
      for (int n = count - 2; n >= 0; --n)
        if (m_fileList.GetSel(n) > 0) MoveEntry(n, count - 1, false);
      return kHandled;
    }
    case 36:  // Home: selected entries to the top
      for (int i = 1; i < m_fileList.GetCount(); ++i)
        if (m_fileList.GetSel(i) > 0) MoveEntry(i, 0, false);
      return kHandled;
    case 38:  // Up: each selected entry up one place
      for (int i = 1; i < m_fileList.GetCount(); ++i)
        if (m_fileList.GetSel(i) > 0) MoveEntry(i, i - 1, true);
      return kHandled;
    case 40: {  // Down: each selected entry down one place
      const int count = m_fileList.GetCount();
      for (int n = count - 2; n >= 0; --n)
        if (m_fileList.GetSel(n) > 0) MoveEntry(n, n + 1, true);
      return kHandled;
    }
    case 46: {  // Delete: the selected entries go
      const int count = m_fileList.GetCount();
      for (int n = count - 1; n >= 0; --n)
        if (m_fileList.GetSel(n) > 0) m_fileList.DeleteString(n);
      return kHandled;
    }
    case 'N':
      StepSelection(true);
      return kDefault;
    case 'P':
      StepSelection(false);
      return kDefault;
    default:
      return kDefault;
  }
}

void CMainDlg::StepSelection(bool next) {
  if (m_fileList.GetCount() < 2) return;
  int from = -1;
  if (next) {
    for (int i = 0; i < m_fileList.GetCount() - 1 && from < 0; ++i)
      if (m_fileList.GetSel(i) > 0) from = i;
  } else {
    for (int n = m_fileList.GetCount() - 1; n >= 1 && from < 0; --n)
      if (m_fileList.GetSel(n) > 0) from = n;
  }
  if (from < 0) return;
  const int to = next ? from + 1 : from - 1;
  m_fileList.SetSel(from, false);
  m_fileList.SetSel(to, true);
  m_fileList.SetTopIndex(to);
  ShowPreview();
}

void CMainDlg::ShowPreview() {
  const int index = m_fileList.GetCurSel();
  if (index < 0) return;
  const std::string path = m_fileList.GetText(index);
  m_fileList.SetTopIndex(index);
  std::unique_ptr<Bitmap> picture = LoadPicture(path.c_str());
  if (!picture) {
    Dialogs().messageBox(this, path, "File Failed to Open", MB_OK);
    return;
  }
  if (!m_preview.IsWindow()) m_preview.Create(this);
  m_preview.SetPicture(std::move(picture));
  m_preview.m_title = path;
  // Top-left corner to the main window's top-right corner; size kept. The
  // windows' own frames are used: a widget's copy of its frame can date from
  // while the window manager was still building it.
  const QRect frame = windowHandle() ? windowHandle()->frameGeometry() : frameGeometry();
  const QPoint corner(frame.x() + frame.width(), frame.y());
  if (QWindow* preview = m_preview.windowHandle(); preview && m_preview.isVisible())
    preview->setFramePosition(corner);
  else
    m_preview.move(corner);
  m_preview.show();
  m_preview.update();
  // Some platforms activate every window shown; the keyboard stays with the
  // list. Activation may raise the main window, so the preview is raised
  // after it: it belongs on top, where the user looks for it.
  activateWindow();
  m_preview.raise();
  m_fileList.widget()->setFocus();
}

void CMainDlg::OnListDblClk() {
  if (Dialogs().messageBox(this, "Clear?", "Erase List", MB_YESNO) == IDYES) {
    DropPendingAdds();  // a folder dropped before the clearing stays out too
    m_fileList.ResetContent();
  }
}

void CMainDlg::OnClearSel() {
  const int count = m_fileList.GetCount();
  for (int n = count - 1; n >= 0; --n) m_fileList.SetSel(n, false);
}

void CMainDlg::OnSortList() {
  const int count = m_fileList.GetCount();
  if (count < 2) return;
  std::vector<std::string> paths;
  std::vector<bool> selected;
  paths.reserve(std::size_t(count));
  selected.reserve(std::size_t(count));
  for (int i = 0; i < count; ++i) {
    paths.push_back(m_fileList.GetText(i));
    selected.push_back(m_fileList.GetSel(i) > 0);
  }
  const int caret = m_fileList.GetCurSel();
  const std::vector<std::size_t> order = NaturalOrder(paths);
  m_fileList.ResetContent();
  int newCaret = -1;
  for (std::size_t k = 0; k < order.size(); ++k) m_fileList.AddString(paths[order[k]]);
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (selected[order[k]]) m_fileList.SetSel(int(k), true);
    if (int(order[k]) == caret) newCaret = int(k);
  }
  if (newCaret >= 0) {
    m_fileList.SetCaretIndex(newCaret);
    m_fileList.widget()->scrollToItem(m_fileList.widget()->item(newCaret));
  }
}

void CMainDlg::CreateListMenu() {
  m_listMenu = new QMenu(this);
  m_listMenu->setObjectName(QStringLiteral("IDR_LIST_MENU"));
  // The key beside each command is the one the list answers; the menu only
  // shows it.
  auto key = [this](const char* name, const char* text, int vkey) {
    QAction* action = m_listMenu->addAction(QString::fromLatin1(text));
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, [this, vkey] { OnVKeyToItem(vkey, m_fileList.GetCurSel()); });
  };
  key("ID_MOVE_UP", "Move &Up\tUp", 38);
  key("ID_MOVE_DOWN", "Move &Down\tDown", 40);
  key("ID_MOVE_TOP", "Move to &Top\tHome", 36);
  key("ID_MOVE_END", "Move to &End\tEnd", 35);
  key("ID_DELETE", "De&lete\tDel", 46);
  m_listMenu->addSeparator();
  QAction* clear = m_listMenu->addAction(QStringLiteral("&Clear Selection"));
  clear->setObjectName(QStringLiteral("ID_CLEAR_SEL"));
  connect(clear, &QAction::triggered, this, &CMainDlg::OnClearSel);
  QAction* paste = m_listMenu->addAction(QStringLiteral("&Paste\tCtrl+V"));
  paste->setObjectName(QStringLiteral("ID_PASTE"));
  connect(paste, &QAction::triggered, this, &CMainDlg::OnPaste);
  m_listMenu->addSeparator();
  QAction* sort = m_listMenu->addAction(QStringLiteral("&Sort by Name\tS"));
  sort->setObjectName(QStringLiteral("ID_SORT"));
  connect(sort, &QAction::triggered, this, &CMainDlg::OnSortList);
}

void CMainDlg::OnListContextMenu(const QPoint& globalPos) {
  const bool anySelected = m_fileList.GetSelCount() > 0;
  for (QAction* action : m_listMenu->actions()) {
    const QString name = action->objectName();
    if (name == QLatin1String("ID_SORT"))
      action->setEnabled(m_fileList.GetCount() >= 2);
    else if (name == QLatin1String("ID_PASTE"))
      action->setEnabled(!LocalFilePaths(QApplication::clipboard()->mimeData()).empty());
    else if (!action->isSeparator())
      action->setEnabled(anySelected);
  }
  m_listMenu->popup(globalPos);
}

}  // namespace ui
