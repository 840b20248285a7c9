// The Make-AVI job in the dialog: the host answers the job on the UI thread.
#include <QImage>
#include <atomic>

#include "avi_build/make_avi.h"
#include "ui/dialog_seam.h"
#include "ui/job_rows.h"
#include "ui/main_dlg.h"
#include "ui/ui_thread.h"

namespace ui {
namespace {

// Called on the job's thread only.
class GuiMakeAviHost final : public avi_build::MakeAviHost {
 public:
  GuiMakeAviHost(CMainDlg* dialog, int job, const std::atomic<bool>& cancelled)
      : m_dialog(dialog), m_job(job), m_cancelled(cancelled) {}

  int EntryCount() override {
    return RunOnUiThread([this] { return m_dialog->m_fileList.GetCount(); });
  }
  std::string EntryText(int n) override {
    return RunOnUiThread([this, n] { return m_dialog->m_fileList.GetText(n); });
  }
  std::vector<std::string> EntryTexts() override {
    return RunOnUiThread([this] {
      std::vector<std::string> texts;
      for (int n = 0, count = m_dialog->m_fileList.GetCount(); n < count; ++n)
        texts.push_back(m_dialog->m_fileList.GetText(n));
      return texts;
    });
  }
  void SelectEntry(int n) override {
    RunOnUiThread([this, n] {
      CListBox& list = m_dialog->m_fileList;
      if (n > 0) list.SetSel(n - 1, false);
      list.SetSel(n, true);
      list.SetTopIndex(n);
    });
  }
  void MessageBox(const std::string& text, const std::string& caption, avi_build::MessageKind kind) override {
    // Once the user has closed the dialog, only failures are worth a box.
    if (kind == avi_build::MessageKind::Completion && m_dialog->StopJobsRequested()) return;
    MessageBoxFromAnyThread(m_dialog, text, caption, MB_OK);
  }
  BOOL ChooseCompressor(const BITMAPINFOHEADER& input, COMPVARS* compvars, const char* title) override {
    BITMAPINFOHEADER offered = input;
    return ICCompressorChoose(m_dialog, 0, &offered, nullptr, compvars, title);
  }
  std::optional<std::string> SaveName() override {
    FileDialogRequest request;
    request.save = true;
    request.defaultExt = "avi";
    request.initialName = "Save.avi";
    request.filter = "Audio Video Interleaved File (*.avi)|*.avi||";
    request.overwritePrompt = true;
    return FileDialogFromAnyThread(m_dialog, request);
  }
  // A refused name (one of the pictures) is asked for again.
  bool AsksSaveNameAgain() override { return true; }
  void SetAviName(const std::string& name) override {
    RunOnUiThread([this, &name] {
      m_dialog->m_aviName = name;
      m_dialog->m_jobRows->Started(m_job, name);
    });
  }
  void Progress(int n, int count) override {
    RunOnUiThread([this, n, count] { m_dialog->m_jobRows->SetProgress(m_job, n, count); });
  }
  bool StopRequested() override { return m_dialog->StopJobsRequested() || m_cancelled.load(); }
  std::vector<const std::atomic<bool>*> StopFlags() override { return {&m_dialog->StopJobsFlag(), &m_cancelled}; }

 private:
  CMainDlg* m_dialog;
  int m_job;
  const std::atomic<bool>& m_cancelled;
};

}  // namespace

void MakeAviThread(CMainDlg* dialog, int job, const std::atomic<bool>& cancelled) {
  // The settings in force when the job starts serve its whole run.
  const avi_build::MakeAviSettings settings = RunOnUiThread([dialog] {
    return avi_build::MakeAviSettings{dialog->m_cols, dialog->m_rows, dialog->m_fps, dialog->m_clip};
  });
  GuiMakeAviHost host(dialog, job, cancelled);
  // The job has told the user how it ended; the dialog needs nothing more.
  (void)avi_build::MakeAviJob(host, settings);
  host.Progress(0, 0);
}

}  // namespace ui
