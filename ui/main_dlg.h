// The main dialog: frame settings, the file list, the player controls and the
// playback state. Every handler runs on the UI thread.
#pragma once

#include <QDialog>
#include <QIcon>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "avi_view/playback_state.h"
#include "platform/kernel/work_queue.h"
#include "platform/vfw.h"
#include "ui/list_box.h"
#include "ui/preview_dlg.h"
#include "ui/workers.h"

class QCheckBox;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;

namespace ui {

class VideoSurface;

// The playback members (m_playing, m_paused, m_direction, m_frame,
// m_frameCount, m_playFps, m_writeFiles) live in PlaybackState, which the
// playback worker owns while it runs; the handlers post their changes to it.
class CMainDlg : public QDialog, public avi_view::PlaybackState {
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
  void OnDropFiles(const std::vector<std::string>& paths);
  // Ctrl+V: adds the files on the clipboard. Always consumes the keystroke.
  void OnPaste();
  int OnVKeyToItem(int vkey, int caretIndex);
  void OnListDblClk();
  void OnClearSel();
  // S, or Sort in the list's menu: the whole list in natural order, the
  // selection and the caret staying with their entries.
  void OnSortList();
  // Pops up the list's menu at a position on the screen; returns at once.
  void OnListContextMenu(const QPoint& globalPos);
  // Whether dropped or pasted folders are still being looked through; their
  // pictures, and anything added after them, join the list when done.
  bool AddingFiles() const { return !m_pendingAdds.empty(); }
  // Shows the caret entry's picture in the preview window.
  void ShowPreview();
  void OnMakeAvi();
  void OnViewAvi();
  void OnPlayPause();
  void OnDirection();
  void OnStep();
  void OnCloseView();
  void OnFpsChange();
  void OnWriteFiles();
  void OnHScroll(int code, int position);

  // For the Make-AVI workers (UI thread): a job has named its file (its row
  // with a progress bar and Cancel appears below the list), how far it is
  // (count 0: it has ended and its row goes), and whether jobs are to stop
  // after their current frame because the dialog is closing (any thread).
  void JobStarted(int job, const std::string& aviName);
  void SetJobProgress(int job, int n, int count);
  bool StopJobsRequested() const { return m_stopJobs.load(); }
  // A job row's Cancel: the job stops after the frame it is writing and
  // finishes its file.
  void OnCancelJob(int job);
  // Workers running now (for the closing logic and tests).
  int RunningJobs() const { return m_makeWorkers.Running(); }
  int RunningPlaybacks() const { return m_viewWorkers.Running(); }

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
  QSlider* m_slider = nullptr;
  CPreviewDlg m_preview;
  std::int32_t m_clip = 0;
  // The rows of the running Make-AVI jobs, below the list (not a template
  // control): each "MakeAviJob" row holds the file name, a progress bar and
  // a Cancel button.
  QWidget* m_jobsPanel = nullptr;
  // The list commands offered on the list's right button.
  QMenu* m_listMenu = nullptr;

  // The control with this id's objectName ("IDC_COLS"), or null.
  QWidget* control(const char* idName) const;

 protected:
  void accept() override;
  void reject() override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  // The first size and the smallest: the template's, within the screen.
  void FitToScreen(const QSize& templateSize);
  void DoDataExchange(bool saveAndValidate, bool* ok);
  void CreateListMenu();
  // The add routine of drops and pastes: folders become the pictures in
  // them, looked for off the UI thread; the order of additions is kept.
  void AddFiles(const std::vector<std::string>& paths);
  void FlushPendingAdds();
  void DropPendingAdds();
  // Adds the moved entry's text at newIndex after deleting it at oldIndex.
  void MoveEntry(int oldIndex, int newIndex, bool selectAfter);
  // N and P: moves one selected entry to its neighbour and previews it.
  void StepSelection(bool next);
  // Ends any playback and waits for its worker, processing events.
  void StopPlayback();
  void StartPlayback();
  // Stops the playback and the jobs, waits for every worker and ends the
  // dialog with result.
  void Close(int result);
  bool IsOwnWindow(QObject* object) const;
  // Places the job rows under the list, which gives up their height.
  void LayOutJobs();

  bool m_inDataExchange = false;
  bool m_closing = false;
  bool m_inHScroll = false;
  bool m_pendingView = false;  // View AVI pressed while a playback was ending
  std::atomic<bool> m_stopJobs{false};
  int m_nextJob = 0;
  struct JobRow {
    std::shared_ptr<std::atomic<bool>> cancelled;  // read by the job's thread
    QWidget* row = nullptr;  // null until the job has named its file
    QProgressBar* bar = nullptr;
    QPushButton* cancel = nullptr;
  };
  std::map<int, JobRow> m_jobs;
  // Job rows in pixels, from dialog units as the template's buttons are.
  int m_jobRowHeight = 0;
  int m_jobRowGap = 0;
  int m_jobNameWidth = 0;
  WorkerSet m_makeWorkers;
  WorkerSet m_viewWorkers;
  CompressorChooser m_previousChooser;
  std::vector<QWidget*> m_controls;  // in template order

  struct PendingAdd {
    std::vector<std::string> paths;
    bool done = false;
    kernel::WorkQueue::Ticket ticket = 0;
  };
  std::deque<std::shared_ptr<PendingAdd>> m_pendingAdds;  // in the order of the drops
  // Last, so it goes first: its destructor aborts and waits for a scan that
  // may still post its result to this object.
  kernel::WorkQueue m_folderScans{1};
};

// The worker entries: each makes the dialog's host and runs its job.
// A Make-AVI job stops after its current frame once cancelled is set.
void MakeAviThread(CMainDlg* dialog, int job, const std::atomic<bool>& cancelled);
int ViewAviThread(CMainDlg* dialog, std::uint64_t generation);

}  // namespace ui
