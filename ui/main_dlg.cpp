#include "ui/main_dlg.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>

#include "avi_build/make_avi.h"
#include "picture/load_picture.h"
#include "platform/picture_probe.h"
#include "ui/data_exchange.h"
#include "ui/dialog_seam.h"
#include "ui/dialog_template.h"
#include "ui/job_rows.h"
#include "ui/natural_order.h"
#include "ui/player.h"
#include "ui/preview_loader.h"
#include "ui/quit_guard.h"
#include "ui/ui_thread.h"
#include "ui/video_surface.h"
#include "ui/window_place.h"

namespace ui {
namespace {

// Each job asks the chooser on its own thread.
thread_local CompressorSettings t_lastChosen;

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
  ConnectControls();
  qApp->installEventFilter(this);
  // ICCompressorChoose asks the user through the dialog seam, on this thread.
  m_previousChooser = ICSetCompressorChooser(
      [](HWND owner, const std::string& title, const std::vector<CompressorChoice>& offered,
         CompressorSettings& settings) {
        const int chosen = RunOnUiThread(
            [&] { return Dialogs().chooseCompressor(static_cast<QWidget*>(owner), title, offered, settings); });
        t_lastChosen = settings;
        return chosen;
      });
  OnInitDialog();
}

CompressorSettings LastChosenSettings() { return t_lastChosen; }

CMainDlg::~CMainDlg() {
  // No worker may outlive the object it reports to.
  m_closing = true;
  m_stopJobs = true;
  m_player->Stop();
  m_player->WaitAll();
  m_makeWorkers.WaitAll();
  qApp->removeEventFilter(this);
  ICSetCompressorChooser(std::move(m_previousChooser));
}

void CMainDlg::CreateControls() {
  const QFont font = DialogFont(kMainDialog);
  setFont(font);
  const DialogBaseUnits units = BaseUnitsOf(font);
  FitToScreen(this, QSize(DluToPixelsX(units, kMainDialog.widthDlu), DluToPixelsY(units, kMainDialog.heightDlu)));

  const auto create = [&](const ControlTemplate& t) {
    const QString caption = QString::fromLatin1(t.caption);
    QWidget* widget = nullptr;
    switch (t.kind) {
      case ControlKind::PushButton: {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(true);  // a focused push button takes Enter, as on Windows
        widget = button;
        break;
      }
      case ControlKind::CheckBox: widget = new QCheckBox(caption, this); break;
      case ControlKind::Edit: widget = new QLineEdit(this); break;
      case ControlKind::Trackbar: widget = new Trackbar(this); break;
      case ControlKind::ListBox: widget = new FileListWidget(this); break;
      case ControlKind::StaticText: widget = new QLabel(caption, this); break;
      case ControlKind::BlackFrame: widget = new VideoSurface(this); break;
    }
    widget->setObjectName(QString::fromLatin1(t.name));
    widget->setGeometry(DluToPixels(units, t.dlu));
    m_controls.push_back(widget);
  };
  for (const ControlTemplate& t : kMainDialogControls) create(t);
  for (const ControlTemplate& t : kMainDialogExtraControls) create(t);

  // Control members, bound once.
  m_fileList.attach(findChild<FileListWidget*>(QStringLiteral("IDC_FILE_LIST")));
  m_viewButton = findChild<QPushButton*>(QStringLiteral("IDC_VIEW_AVI"));
  m_display = findChild<VideoSurface*>(QStringLiteral("IDC_DISPLAY"));
  m_colsEdit = findChild<QLineEdit*>(QStringLiteral("IDC_COLS"));
  m_rowsEdit = findChild<QLineEdit*>(QStringLiteral("IDC_ROWS"));
  m_fpsEdit = findChild<QLineEdit*>(QStringLiteral("IDC_FPS"));
  m_slider = findChild<QSlider*>(QStringLiteral("IDC_POSITION"));

  // One row a running Make-AVI job, under the list: a button's height each.
  m_jobRows = new JobRows(this, DluToPixelsY(units, 12), DluToPixelsY(units, 2), DluToPixelsX(units, 60));
  m_frameLabel = new QLabel(this);
  m_frameLabel->setObjectName(QStringLiteral("FrameLabel"));
  m_frameLabel->setFixedHeight(DluToPixelsY(units, 10));
  m_frameLabel->hide();
  m_previewLoader = std::make_unique<PreviewLoader>(
      [this](const std::string& path, std::unique_ptr<Bitmap> picture, const std::string& reason) {
        OnPreviewLoaded(path, std::move(picture), reason);
      });
  m_player = std::make_unique<Player>(
      m_playback,
      Player::Controls{m_viewButton, m_slider, m_fpsEdit, static_cast<QCheckBox*>(control("IDC_WRITE_FILES"))},
      [this](std::uint64_t generation) { ViewAviThread(this, generation); }, nullptr);
}

// The message table.
void CMainDlg::ConnectControls() {
  FileListWidget* list = m_fileList.widget();
  list->onDropFiles = [this](const std::vector<std::string>& paths) { OnDropFiles(paths); };
  list->onVKeyToItem = [this](int vkey, int caret) { return OnVKeyToItem(vkey, caret); };
  list->onDoubleClick = [this] { OnListDblClk(); };
  list->onSelChange = [this] { ShowPreview(); };
  list->onContextMenu = [this](const QPoint& globalPos) { m_listCommands.PopUpMenu(globalPos); };
  connect(&m_listCommands, &FileListCommands::PreviewRequested, this, &CMainDlg::ShowPreview);
  m_listCommands.AddMenuSeparator();
  m_listCommands.AddMenuCommand("ID_CHECK_LIST", QStringLiteral("Chec&k List…"), FileListCommands::EnabledWhen::Always,
                                [this] { m_listCheck.Run(); });
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
  // Clip and Fit are two ways to place a picture: checking one clears the other.
  auto* clip = static_cast<QCheckBox*>(control("IDC_CLIP"));
  auto* fit = static_cast<QCheckBox*>(control("IDC_FIT"));
  connect(clip, &QCheckBox::toggled, fit, [fit](bool on) {
    if (on) fit->setChecked(false);
  });
  connect(fit, &QCheckBox::toggled, clip, [clip](bool on) {
    if (on) clip->setChecked(false);
  });
  AddPictureCommands();
  connect(static_cast<Trackbar*>(m_slider), &Trackbar::hScroll, this, &CMainDlg::OnHScroll);
  connect(m_jobRows, &JobRows::RowsChanged, this, [this] {
    const bool any = m_jobRows->HeightWanted() > 0;
    m_jobRows->setVisible(any);
    if (any) m_jobRows->raise();
    OnSize(width(), height());
  });
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
  DataExchange dx(this, saveAndValidate);
  m_inDataExchange = true;
  DoDataExchange(dx);
  m_inDataExchange = false;
  return dx.ok();
}

void CMainDlg::DoDataExchange(DataExchange& dx) {
  DDX_Text(dx, m_rowsEdit, m_rows);
  DDX_Text(dx, m_colsEdit, m_cols);
  DDX_Rate(dx, m_fpsEdit, m_fps, m_fpsScale);
  DDX_Check(dx, static_cast<QCheckBox*>(control("IDC_CLIP")), m_clip);
  DDX_Check(dx, static_cast<QCheckBox*>(control("IDC_FIT")), m_fit);
  std::int32_t writeFiles = m_playback.Values().m_writeFiles;
  DDX_Check(dx, static_cast<QCheckBox*>(control("IDC_WRITE_FILES")), writeFiles);
  if (dx.saving() && dx.ok()) avi_view::WriteFiles(m_playback, writeFiles != 0);
}

void CMainDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  OnSize(event->size().width(), event->size().height());
  FollowOnScreen();
}

void CMainDlg::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  FollowOnScreen();
}

void CMainDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  m_settling = true;
  FollowOnScreen();
}

void CMainDlg::FollowOnScreen() {
  // Until the window manager has framed the window, its frame may still
  // reach past the screen; afterwards the user may put it where they like.
  if (m_settling && KeepOnScreen(this)) m_settling = false;
  if (m_preview.isVisible()) PlaceBeside(this, &m_preview);
}

void CMainDlg::OnSize(int cx, int cy) {
  if (!m_fileList.IsWindow()) return;
  // The rows of running jobs take their height from the bottom of the list.
  const int jobsHeight = m_jobRows->HeightWanted();
  // Qt cannot make a widget smaller than nothing; a minimised dialog's
  // negative sizes end as empty controls.
  m_fileList.widget()->resize(cx - 22, cy - 110 - jobsHeight);
  // While playing, the frame label takes a line under the video surface.
  const int labelHeight = m_frameLabel->isVisibleTo(this) ? m_frameLabel->height() : 0;
  m_display->resize(cx - 22, cy - 110 - jobsHeight - labelHeight);
  if (labelHeight > 0)
    m_frameLabel->setGeometry(m_display->x(), m_display->y() + m_display->height(), cx - 22, labelHeight);
  if (jobsHeight > 0) m_jobRows->PlaceUnder(m_fileList.widget()->geometry());
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
  if (!UpdateData(true) || !ConfirmClose()) return;
  Close(QDialog::Accepted);
}

void CMainDlg::OnCancel() {
  if (m_closing || !ConfirmClose()) return;
  Close(QDialog::Rejected);
}

bool CMainDlg::ConfirmClose() {
  std::vector<std::string> jobs = m_jobRows->Names();
  // A job that has not named its file yet still counts.
  while (int(jobs.size()) < RunningJobs()) jobs.push_back("(a new AVI file)");
  return ConfirmQuit(this, m_fileList.GetCount(), jobs);
}

void CMainDlg::Close(int result) {
  m_closing = true;
  // Jobs finish the frame they are writing and then their file.
  m_stopJobs = true;
  m_player->Stop();
  m_player->WaitAll();
  m_makeWorkers.WaitAll();
  m_listCommands.Empty();
  // The last preview picture goes before the image library stops.
  m_previewLoader->Cancel();
  m_preview.ReleasePicture();
  m_closing = false;
  m_stopJobs = false;
  QDialog::done(result);
}

int CMainDlg::RunningPlaybacks() const { return m_player->Running(); }

// ---------------------------------------------------------------------------
// Make AVI, View AVI and the transport controls.

void CMainDlg::OnMakeAvi() {
  if (m_closing || !UpdateData(true)) return;
  avi_build::MakeAviSettings frame;
  frame.cols = m_cols;
  frame.rows = m_rows;
  frame.fps = m_fps;
  frame.clip = m_clip;
  frame.fpsScale = m_fpsScale;
  const std::string problem = avi_build::CheckFrameSettings(frame);
  if (!problem.empty()) {
    Dialogs().messageBox(this, problem, "Make AVI", MB_OK);
    return;
  }
  const JobRows::NewJob job = m_jobRows->Add();
  m_makeWorkers.Start([this, job] { MakeAviThread(this, job.job, *job.cancelled); });
}

void CMainDlg::OnViewAvi() {
  if (!m_closing) m_player->ViewAvi();
}
void CMainDlg::OnPlayPause() { m_player->PlayPause(); }
void CMainDlg::OnDirection() { m_player->Direction(); }
void CMainDlg::OnStep() { m_player->Step(); }
void CMainDlg::OnCloseView() { m_player->CloseView(); }
void CMainDlg::OnFpsChange() { m_player->FpsChange(); }
void CMainDlg::OnWriteFiles() { m_player->WriteFiles(); }
void CMainDlg::OnHScroll(int code, int position) { m_player->HScroll(code, position); }

// ---------------------------------------------------------------------------
// The file list's paste and the preview.

bool CMainDlg::IsOwnWindow(QObject* object) const {
  auto* widget = qobject_cast<QWidget*>(object);
  return widget && (widget->window() == this || widget->window() == &m_preview);
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && IsOwnWindow(watched)) {
    auto* key = static_cast<QKeyEvent*>(event);
    // While a file is on show, the stepping keys, except where they type
    // text or the list takes its own keys.
    if (m_display->isVisible() && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        !qobject_cast<QLineEdit*>(watched) && watched != m_fileList.widget() && m_player->Key(key->key()))
      return true;
    if (key->key() == Qt::Key_V && (key->modifiers() & Qt::ControlModifier) &&
        !(key->modifiers() & Qt::AltModifier)) {
      OnPaste();
      return true;  // consumed even when nothing was added
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CMainDlg::ShowPreview() {
  const int index = m_fileList.GetCurSel();
  if (index < 0) return;
  const std::string path = m_fileList.GetText(index);
  m_fileList.SetTopIndex(index);
  // Decoded off this thread; the newest selection wins.
  m_previewLoader->Request(path);
}

void CMainDlg::OnPreviewLoaded(const std::string& path, std::unique_ptr<Bitmap> picture, const std::string& reason) {
  if (!picture) {
    Dialogs().messageBox(this, path + "\n" + reason, "File Failed to Open", MB_OK);
    return;
  }
  if (!m_preview.IsWindow()) m_preview.Create(this);
  m_preview.SetPicture(std::move(picture));
  m_preview.m_title = path;
  PlaceBeside(this, &m_preview);
  m_preview.show();
  m_preview.update();
  // Some platforms activate every window shown; the keyboard stays with the
  // list. Activation may raise the main window, so the preview is raised
  // after it: it belongs on top, where the user looks for it.
  activateWindow();
  m_preview.raise();
  m_fileList.widget()->setFocus();
}

}  // namespace ui
