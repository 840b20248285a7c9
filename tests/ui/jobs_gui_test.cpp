// Make AVI and View AVI end to end in the offscreen dialog, with scripted
// answers for the chooser and the file dialogs.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"
#include "platform/codec/compressor_choice.h"
#include "platform/vfw.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/job_rows.h"
#include "ui/main_dlg.h"
#include "ui/video_surface.h"

namespace {

using testsupport::ScriptedDialogs;

// Handles events until done() holds or ten seconds pass.
template <typename F>
bool ProcessUntil(F done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QTest::qWait(2);
  }
  return true;
}

using avitest::FramesIn;

std::string Probe(const std::string& path, const std::string& entries) {
  return testsupport::Ffprobe(path, "-count_frames -select_streams v:0 -show_entries " + entries);
}

class JobsGuiTest : public testing::Test {
 protected:
  testsupport::TempDir dir;
  ScriptedDialogs dialogs;
  std::filesystem::path previousFolder = std::filesystem::current_path();
  std::unique_ptr<ui::CMainDlg> dlg = std::make_unique<ui::CMainDlg>();

  void SetUp() override { dlg->show(); }
  void TearDown() override {
    dlg.reset();
    std::filesystem::current_path(previousFolder);
  }
  QLineEdit* edit(const char* id) { return static_cast<QLineEdit*>(dlg->control(id)); }
  QPushButton* button(const char* id) { return static_cast<QPushButton*>(dlg->control(id)); }
  void AddPictures(int count, int w = 64, int h = 48) {
    for (int i = 0; i < count; ++i) {
      const std::string path = dir.file("p" + std::to_string(i) + ".jpg");
      ASSERT_TRUE(testsupport::WriteJpeg(path, w, h, testsupport::Gradient(w, h)));
      dlg->m_fileList.AddString(path);
    }
  }
  bool Told(const std::string& caption) {
    for (const auto& m : dialogs.messages())
      if (m.caption == caption) return true;
    return false;
  }
  // The row of the running job that writes name, or null.
  QWidget* JobRow(const std::string& name) {
    for (QWidget* row : dlg->m_jobRows->findChildren<QWidget*>(QStringLiteral("MakeAviJob")))
      if (row->findChild<QLabel*>(QStringLiteral("MakeAviName"))->toolTip().toStdString() == name) return row;
    return nullptr;
  }
  int EntriesDone(const std::string& name) {
    QWidget* row = JobRow(name);
    return row ? row->findChild<QProgressBar*>(QStringLiteral("MakeAviProgress"))->value() : -1;
  }
  void MakeAvi(const std::string& name, int compressor = 0) {
    dialogs.answerCompressor(compressor);
    dialogs.answerFile(dir.file(name));
    QTest::mouseClick(button("IDC_MAKE_AVI"), Qt::LeftButton);
  }
};

TEST_F(JobsGuiTest, MakeAviWritesTheListAsAFileFfmpegPlays) {
  AddPictures(3);
  edit("IDC_COLS")->setText("320");
  edit("IDC_ROWS")->setText("240");
  edit("IDC_FPS")->setText("5");
  MakeAvi("made.avi");
  ASSERT_TRUE(ProcessUntil([&] { return dlg->RunningJobs() == 0 && Told("AVI File Written"); }));
  const auto questions = dialogs.questions();
  ASSERT_GE(questions.size(), 2u);
  EXPECT_EQ(questions[0].kind, "compressor");
  EXPECT_EQ(questions[0].caption, "Select Compressor to use");
  EXPECT_EQ(questions[0].offered.at(0).name, "Full Frames (Uncompressed)");
  EXPECT_EQ(questions[1].file.initialName, "Save.avi");
  EXPECT_EQ(questions[1].file.filter, "Audio Video Interleaved File (*.avi)|*.avi||");
  EXPECT_EQ(dlg->m_aviName, "made.avi");
  EXPECT_EQ(Probe(dir.file("made.avi"), "stream=width,height,r_frame_rate,nb_read_frames"),
            "width=320\nheight=240\nr_frame_rate=5/1\nnb_read_frames=3\n");
  // The last entry processed stays selected.
  EXPECT_EQ(dlg->m_fileList.GetSel(2), 1);
  EXPECT_EQ(dlg->m_fileList.GetSel(0), 0);
}

// The chooser's verify setting adds the read-back's result as the last line
// of the completion message; off, the message is as it always was. A picture
// that will not open adds an entry but no frame, and the count follows the
// frames.
TEST_F(JobsGuiTest, MakeAviVerifiesTheFileWhenTheChooserSaysSo) {
  struct Case {
    const char* fcc;
    bool verify, badEntry;
    const char* lastLine;
  };
  const Case cases[] = {{"none", false, false, "Wrote "},
                        {"none", true, false, "Verified 3 frames."},
                        {"MJPG", true, false, "Verified 3 frames."},
                        {"FFV1", true, true, "Verified 3 frames."}};
  AddPictures(3);
  edit("IDC_COLS")->setText("64");
  edit("IDC_ROWS")->setText("48");
  const BITMAPINFOHEADER frame{40, 64, 48, 1, 24, 0, 0, 0, 0, 0, 0};
  const std::vector<CompressorChoice> offered = codec::OfferedCompressors(&frame);
  int made = 0;
  for (const Case& c : cases) {
    if (c.badEntry) dlg->m_fileList.AddString(dir.file("missing.jpg"));
    FOURCC fcc = 0;
    ASSERT_TRUE(codec::ParseCompressorName(c.fcc, &fcc));
    CompressorSettings settings;
    settings.verify = c.verify;
    dialogs.answerCompressor(int(codec::FindChoice(offered, fcc) - offered.data()), settings);
    dialogs.answerFile(dir.file("made" + std::to_string(made) + ".avi"));
    QTest::mouseClick(button("IDC_MAKE_AVI"), Qt::LeftButton);
    ASSERT_TRUE(ProcessUntil([&] {
      int written = 0;
      for (const auto& m : dialogs.messages()) written += m.caption == "AVI File Written";
      return dlg->RunningJobs() == 0 && written > made;
    }));
    std::string text;
    for (const auto& m : dialogs.messages())
      if (m.caption == "AVI File Written") text = m.text;
    ASSERT_EQ(text.rfind("AVI File Write completed.\nWrote ", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.rfind('\n') + 1).rfind(c.lastLine, 0), 0u) << c.fcc << "\n" << text;
    ++made;
  }
}

TEST_F(JobsGuiTest, BadFrameSettingsStartNoJob) {
  AddPictures(1);
  edit("IDC_COLS")->setText("0");
  QTest::mouseClick(button("IDC_MAKE_AVI"), Qt::LeftButton);
  EXPECT_EQ(dlg->RunningJobs(), 0);
  ASSERT_EQ(dialogs.questions().size(), 1u);
  EXPECT_EQ(dialogs.messages()[0].text, "Cols and Rows must be between 1 and 16384.");
}

TEST_F(JobsGuiTest, TwoJobsAtOnceBothFinish) {
  AddPictures(4);
  MakeAvi("one.avi");
  MakeAvi("two.avi");
  ASSERT_TRUE(ProcessUntil([&] { return dlg->RunningJobs() == 0; }));
  int completed = 0;
  for (const auto& m : dialogs.messages()) completed += m.caption == "AVI File Written";
  EXPECT_EQ(completed, 2);
  for (const char* name : {"one.avi", "two.avi"})
    EXPECT_EQ(Probe(dir.file(name), "stream=nb_read_frames"), "nb_read_frames=4\n") << name;
}

TEST_F(JobsGuiTest, ClosingDuringAJobLeavesAPlayableFile) {
  AddPictures(40, 1600, 1200);
  MakeAvi("closed.avi");
  // Past the first entry (it may pass several between two looks).
  ASSERT_TRUE(ProcessUntil([&] {
    for (int n = 1; n < 40; ++n)
      if (dlg->m_fileList.GetSel(n) > 0) return true;
    return false;
  }));
  dialogs.answerMessage(ui::IDYES);  // Quit Stillweaver?
  dlg->close();
  EXPECT_EQ(dlg->RunningJobs(), 0);
  EXPECT_EQ(dlg->m_fileList.GetCount(), 0);
  ASSERT_TRUE(Told("Stillweaver"));
  for (const auto& m : dialogs.messages()) {
    if (m.caption == "Stillweaver") {
      EXPECT_NE(m.text.find("40 entries will be lost.\n\nRunning jobs stop after their current frame, with their "
                            "files finished:\nclosed.avi"),
                std::string::npos)
          << m.text;
    }
  }
  const std::string frames = Probe(dir.file("closed.avi"), "stream=nb_read_frames");
  ASSERT_EQ(frames.rfind("nb_read_frames=", 0), 0u) << frames;
  const int count = std::stoi(frames.substr(15));
  EXPECT_GE(count, 1);
  EXPECT_LT(count, 40);
  EXPECT_FALSE(Told("AVI File Written"));
}

// Each job has its own row with progress and Cancel; a cancelled job stops
// after its current frame and leaves a file that plays with the frames
// written, while the other goes on.
TEST_F(JobsGuiTest, CancelStopsEachJobOnItsOwnAndFinishesItsFile) {
  // One picture many times over: both jobs are far from the end when cancelled.
  AddPictures(1);
  for (int i = 1; i < 500; ++i) dlg->m_fileList.AddString(dlg->m_fileList.GetText(0));
  edit("IDC_COLS")->setText("64");
  edit("IDC_ROWS")->setText("48");
  MakeAvi("one.avi");
  MakeAvi("two.avi");
  ASSERT_TRUE(ProcessUntil([&] { return EntriesDone("one.avi") >= 3 && EntriesDone("two.avi") >= 3; }));

  JobRow("one.avi")->findChild<QPushButton*>(QStringLiteral("MakeAviCancel"))->click();
  ASSERT_TRUE(ProcessUntil([&] { return dlg->RunningJobs() == 1; }));
  EXPECT_EQ(JobRow("one.avi"), nullptr);
  ASSERT_NE(JobRow("two.avi"), nullptr);
  JobRow("two.avi")->findChild<QPushButton*>(QStringLiteral("MakeAviCancel"))->click();
  ASSERT_TRUE(ProcessUntil([&] { return dlg->RunningJobs() == 0; }));
  EXPECT_FALSE(dlg->m_jobRows->isVisible());

  std::vector<std::string> said;
  for (const auto& m : dialogs.messages())
    if (m.caption == "AVI File Written") said.push_back(m.text);
  ASSERT_EQ(said.size(), 2u);
  const char* names[] = {"one.avi", "two.avi"};  // in the order they stopped
  for (int i = 0; i < 2; ++i) {
    const LONG frames = FramesIn(dir.file(names[i]));
    EXPECT_GE(frames, 2) << names[i];
    EXPECT_LT(frames, 500) << names[i];
    EXPECT_EQ(said[std::size_t(i)], "Stopped after " + std::to_string(frames) + " frames.");
    EXPECT_EQ(Probe(dir.file(names[i]), "stream=nb_read_frames"), "nb_read_frames=" + std::to_string(frames) + "\n");
  }
}

class ViewGuiTest : public JobsGuiTest {
 protected:
  std::string clip;
  void SetUp() override {
    JobsGuiTest::SetUp();
    clip = dir.file("view.avi");
    ASSERT_EQ(testsupport::RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=96x64:rate=25:duration=2 "
                                      "-c:v rawvideo -pix_fmt bgr24 -y " + testsupport::ShellQuote(clip))
                  .exitCode,
              0);
  }
  void ViewAvi() {
    dialogs.answerFile(clip);
    QTest::mouseClick(button("IDC_VIEW_AVI"), Qt::LeftButton);
  }
};

TEST_F(ViewGuiTest, ViewAviTurnsTheDialogIntoAPlayerAndCloseTurnsItBack) {
  ViewAvi();
  ASSERT_TRUE(ProcessUntil([&] { return !dlg->m_display->currentFrame().isNull(); }));
  EXPECT_TRUE(dlg->m_display->isVisible());
  EXPECT_TRUE(dlg->m_slider->isVisible());
  EXPECT_FALSE(dlg->m_fileList.widget()->isVisible());
  EXPECT_EQ(edit("IDC_COLS")->text(), "96");
  EXPECT_EQ(edit("IDC_ROWS")->text(), "64");
  EXPECT_EQ(edit("IDC_FPS")->text(), "25");
  EXPECT_EQ(dlg->m_playback.Values().m_playFps, 25);
  EXPECT_EQ(dlg->m_slider->maximum(), 49);
  EXPECT_EQ(dlg->windowTitle().toStdString(), "vids DIB " + clip);
  EXPECT_EQ(dlg->m_display->currentFrame().size(), QSize(96, 64));

  QTest::mouseClick(button("IDC_CLOSE_VIEW"), Qt::LeftButton);
  ASSERT_TRUE(ProcessUntil([&] { return dlg->RunningPlaybacks() == 0; }));
  EXPECT_TRUE(dlg->m_fileList.widget()->isVisible());
  EXPECT_FALSE(dlg->m_display->isVisible());
  EXPECT_EQ(dlg->m_viewButton->text(), "&Read");
}

TEST_F(ViewGuiTest, ViewAviTwiceNeverRunsTwoLoops) {
  ViewAvi();
  ASSERT_TRUE(ProcessUntil([&] { return dlg->m_playback.Values().m_playing == 1; }));
  ViewAvi();  // the old playback ends, then a new one starts
  int most = 0;
  ASSERT_TRUE(ProcessUntil([&] {
    most = std::max(most, dlg->RunningPlaybacks());
    return dialogs.questions().size() == 2 && dlg->m_playback.Values().m_playing == 1;
  }));
  EXPECT_EQ(most, 1);
  QTest::mouseClick(button("IDC_CLOSE_VIEW"), Qt::LeftButton);
  ASSERT_TRUE(ProcessUntil([&] { return dlg->RunningPlaybacks() == 0; }));
}

TEST_F(ViewGuiTest, TheTransportControlsReachThePlayback) {
  ViewAvi();
  ASSERT_TRUE(ProcessUntil([&] { return dlg->m_playback.Values().m_playing == 1; }));
  QTest::mouseClick(button("IDC_PLAY_PAUSE"), Qt::LeftButton);
  EXPECT_EQ(dlg->m_playback.Values().m_paused, 1);
  dlg->m_slider->setFocus();
  QTest::keyClick(dlg->m_slider, Qt::Key_Home);
  EXPECT_EQ(dlg->m_playback.Values().m_frame, 0);
  ASSERT_TRUE(ProcessUntil([&] { return dlg->m_viewButton->text() == "0->"; }));
  QTest::mouseClick(button("IDC_DIRECTION"), Qt::LeftButton);
  EXPECT_EQ(dlg->m_playback.Values().m_frame, 49);  // paused on frame 0, turning backward
  EXPECT_EQ(dlg->m_viewButton->text(), "<-49");
  edit("IDC_FPS")->setText("-3");
  EXPECT_EQ(dlg->m_playback.Values().m_playFps, 0);
  QTest::mouseClick(static_cast<QCheckBox*>(dlg->control("IDC_WRITE_FILES")), Qt::LeftButton);
  EXPECT_EQ(dlg->m_playback.Values().m_writeFiles, 1);
  QTest::mouseClick(button("IDC_CLOSE_VIEW"), Qt::LeftButton);
  ASSERT_TRUE(ProcessUntil([&] { return dlg->RunningPlaybacks() == 0; }));
}

TEST_F(ViewGuiTest, ClosingTheDialogDuringPlaybackEndsCleanly) {
  ViewAvi();
  ASSERT_TRUE(ProcessUntil([&] { return dlg->m_playback.Values().m_playing == 1; }));
  dlg->close();
  EXPECT_EQ(dlg->RunningPlaybacks(), 0);
  EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

}  // namespace
