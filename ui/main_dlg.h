// The main dialog: frame settings, the file list, the player controls and the
// playback state. It wires the controls to their handlers and hands each
// concern to a unit of its own (the list's commands, the job rows, the
// player). Every handler runs on the UI thread.
#pragma once

#include <QDialog>
#include <QIcon>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "avi_view/playback_state.h"
#include "picture/load_picture.h"
#include "platform/vfw.h"
#include "ui/list_box.h"
#include "ui/list_check_command.h"
#include "ui/list_commands.h"
#include "ui/preview_dlg.h"
#include "ui/workers.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace ui {

class DataExchange;
class JobRows;
class Player;
class PreviewLoader;
class VideoSurface;

class CMainDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CMainDlg(QWidget* parent = nullptr);
  ~CMainDlg() override;

  // Moves values between the controls and the members: towards the members
  // (validating) when saveAndValidate, else towards the controls. Returns
  // false, after telling the user and focusing the box, when a box holds no
  // readable number.
  bool UpdateData(bool saveAndValidate = true);

  // Handlers.
  bool OnInitDialog();
  void OnSize(int cx, int cy);
  void OnOK();
  void OnCancel();
  void OnDropFiles(const std::vector<std::string>& paths) { m_listCommands.AddFiles(paths); }
  // Ctrl+V: adds the files on the clipboard. Always consumes the keystroke.
  void OnPaste() { m_listCommands.Paste(); }
  int OnVKeyToItem(int vkey, int /*caretIndex*/) { return m_listCommands.OnKey(vkey); }
  void OnListDblClk() { m_listCommands.AskToClear(); }
  void OnClearSel() { m_listCommands.ClearSelection(); }
  // Shows the caret entry's picture in the preview window, once loaded.
  void ShowPreview();
  // The newest ShowPreview's picture (null: it failed to load, for reason).
  void OnPreviewLoaded(const std::string& path, std::unique_ptr<Bitmap> picture, const std::string& reason);
  void OnMakeAvi();
  void OnViewAvi();
  // View AVI on the given file instead of asking for one (a file opened from
  // outside, e.g. the command line).
  void ViewAviFile(const std::string& path) {
    m_fileToView = path;
    OnViewAvi();
  }
  void OnPlayPause();
  void OnDirection();
  void OnStep();
  void OnCloseView();
  void OnFpsChange();
  // The list menu's "Use Its Size": Cols and Rows become the caret entry's
  // picture's size as it is seen, upright.
  void UseItsSize();
  void OnWriteFiles();
  void OnHScroll(int code, int position);

  // Whether the Make-AVI jobs are to stop after their current frame because
  // the dialog is closing. Any thread.
  bool StopJobsRequested() const { return m_stopJobs.load(); }
  const std::atomic<bool>& StopJobsFlag() const { return m_stopJobs; }
  // Workers running now (for the closing logic and tests).
  int RunningJobs() const { return m_makeWorkers.Running(); }
  int RunningPlaybacks() const;

  // Members, in declaration order.
  QIcon m_hIcon;
  CListBox m_fileList;
  std::int32_t m_rows = 1024;
  std::int32_t m_cols = 1280;
  std::string m_aviName;
  std::uint32_t m_fps = 10;
  QPushButton* m_viewButton = nullptr;
  VideoSurface* m_display = nullptr;
  QLineEdit* m_colsEdit = nullptr;
  QLineEdit* m_rowsEdit = nullptr;
  QLineEdit* m_fpsEdit = nullptr;
  // m_playing, m_paused, m_direction, m_frame, m_frameCount, m_playFps and
  // m_writeFiles: the playback worker owns them while it runs; the handlers
  // post their changes.
  avi_view::PlaybackState m_playback;
  QSlider* m_slider = nullptr;
  CPreviewDlg m_preview;
  std::int32_t m_clip = 0;
  std::uint32_t m_fpsScale = 1;  // the FPS box's rate is m_fps / m_fpsScale
  std::int32_t m_fit = 0;        // check state of IDC_FIT: pictures keep their proportions
  GreyRange m_greyRange;         // 16-bit grey to 8 bits (the list menu's choice)
  bool m_greyAuto = false;       // one range read from the whole list by each job
  // The file the next View AVI plays without asking; UI thread.
  std::optional<std::string> m_fileToView;

  // The units the dialog delegates to.
  FileListCommands m_listCommands{m_fileList, this};
  ListCheckCommand m_listCheck{m_fileList, this, [this] { return UpdateData(true) ? m_fps : 0u; }};
  JobRows* m_jobRows = nullptr;  // the running Make-AVI jobs' rows, below the list
  QLabel* m_frameLabel = nullptr;  // "frame N of M · mm:ss.fff" under the video surface, while playing
  std::unique_ptr<PreviewLoader> m_previewLoader;  // goes before m_preview

  // The control with this id's objectName ("IDC_COLS"), or null.
  QWidget* control(const char* idName) const;

 protected:
  void accept() override;
  void reject() override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ConnectControls();
  // The list menu's entries for pictures: their size, the 16-bit grey range.
  void AddPictureCommands();
  void DoDataExchange(DataExchange& dx);
  // Whether the dialog may end: asks first when entries or jobs would be lost.
  bool ConfirmClose();
  // Stops the playback and the jobs, waits for every worker and ends the
  // dialog with result.
  void Close(int result);
  bool IsOwnWindow(QObject* object) const;
  // Keeps the window on the screen while it is first placed, and the preview
  // at its corner.
  void FollowOnScreen();

  bool m_inDataExchange = false;
  bool m_closing = false;
  bool m_settling = false;  // shown, not yet framed by the window manager
  std::atomic<bool> m_stopJobs{false};
  WorkerSet m_makeWorkers;
  std::unique_ptr<Player> m_player;  // before m_playback goes
  CompressorChooser m_previousChooser;
  std::vector<QWidget*> m_controls;  // in template order
};

// The worker entries: each makes the dialog's host and runs its job.
// A Make-AVI job stops after its current frame once cancelled is set.
void MakeAviThread(CMainDlg* dialog, int job, const std::atomic<bool>& cancelled);
int ViewAviThread(CMainDlg* dialog, std::uint64_t generation);
// What the compressor chooser last answered on the calling thread, for the
// settings in it that ICCompressorChoose does not pass on (verify).
CompressorSettings LastChosenSettings();

}  // namespace ui
