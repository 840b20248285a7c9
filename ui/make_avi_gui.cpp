// The Make-AVI job in the dialog: the host answers the job on the UI thread.
#include <QImage>
#include <atomic>

#include "avi_build/make_avi.h"
#include "avi_view/verify_avi.h"
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
    // The file is finished when its completion is told: read it back here,
    // on the job's thread, and tell what that found on one more line.
    if (kind == avi_build::MessageKind::Completion && m_verify && m_frames > 0) {
      RunOnUiThread([this] { m_dialog->m_jobRows->Verifying(m_job); });
      std::string verified = avi_view::VerifyAvi(m_path, m_frames, m_md5s).text;
      while (!verified.empty() && verified.back() == '\n') verified.pop_back();
      MessageBoxFromAnyThread(m_dialog, text + "\n" + verified, caption, MB_OK);
      return;
    }
    MessageBoxFromAnyThread(m_dialog, text, caption, MB_OK);
  }
  BOOL ChooseCompressor(const BITMAPINFOHEADER& input, COMPVARS* compvars, const char* title) override {
    BITMAPINFOHEADER offered = input;
    const BOOL chosen = ICCompressorChoose(m_dialog, 0, &offered, nullptr, compvars, title);
    m_verify = chosen && LastChosenSettings().verify;
    m_hashFrames = m_verify && avi_view::KeepsEveryPixel(compvars->fccHandler);
    return chosen;
  }
  void FrameWritten(int n, const BITMAPINFOHEADER& header, const std::uint8_t* pixels) override {
    m_frames = n + 1;
    if (m_hashFrames) m_md5s.push_back(avi_view::FrameMd5(header, pixels));
  }
  std::optional<std::string> SaveName() override {
    FileDialogRequest request;
    request.save = true;
    request.defaultExt = "avi";
    request.initialName = "Save.avi";
    request.filter = "Audio Video Interleaved File (*.avi)|*.avi||";
    request.overwritePrompt = true;
    std::optional<std::string> name = FileDialogFromAnyThread(m_dialog, request);
    m_path = name.value_or(std::string());
    return name;
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
  // Set by the chooser's answer: read the file back when it is finished, and
  // compare each frame's pixels where the compressor keeps them all.
  bool m_verify = false;
  bool m_hashFrames = false;
  std::string m_path;  // the name last chosen to save under
  int m_frames = 0;
  std::vector<std::string> m_md5s;
};

}  // namespace

void MakeAviThread(CMainDlg* dialog, int job, const std::atomic<bool>& cancelled) {
  // The settings in force when the job starts serve its whole run.
  const avi_build::MakeAviSettings settings = RunOnUiThread([dialog] {
    return avi_build::MakeAviSettings{.cols = dialog->m_cols,
                                      .rows = dialog->m_rows,
                                      .fps = dialog->m_fps,
                                      .clip = dialog->m_clip,
                                      .fpsScale = dialog->m_fpsScale,
                                      .fit = dialog->m_fit && !dialog->m_clip,
                                      .grey = dialog->m_greyRange,
                                      .greyAuto = dialog->m_greyAuto};
  });
  GuiMakeAviHost host(dialog, job, cancelled);
  // The job has told the user how it ended; the dialog needs nothing more.
  (void)avi_build::MakeAviJob(host, settings);
  host.Progress(0, 0);
}

}  // namespace ui
