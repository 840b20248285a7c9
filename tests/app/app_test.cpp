// stillweaver's command line: the options, which file goes where, and the
// dialog playing or listing them.
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "app/arguments.h"
#include "app/open_files.h"
#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/main_dlg.h"

namespace {

using app::ArgumentAction;
using testsupport::RunCommand;
using testsupport::ShellQuote;

struct ArgumentCase {
  std::vector<std::string> args;
  ArgumentAction action;
  std::vector<std::string> files;
};

TEST(AppArguments, Parse) {
  const ArgumentCase cases[] = {
      {{}, ArgumentAction::Run, {}},
      {{"a.avi", "b.jpg"}, ArgumentAction::Run, {"a.avi", "b.jpg"}},
      {{"a.jpg", "--help"}, ArgumentAction::Help, {}},
      {{"-h"}, ArgumentAction::Help, {}},
      {{"--bogus", "--version"}, ArgumentAction::Version, {}},
      {{"--bogus", "a.jpg"}, ArgumentAction::UsageError, {"a.jpg"}},
      {{"-", "--", "--help", "-x.jpg"}, ArgumentAction::Run, {"-", "--help", "-x.jpg"}},
  };
  for (const ArgumentCase& c : cases) {
    const app::Arguments parsed = app::ParseArguments(c.args);
    EXPECT_EQ(parsed.action, c.action) << testing::PrintToString(c.args);
    EXPECT_EQ(parsed.files, c.files) << testing::PrintToString(c.args);
    EXPECT_EQ(parsed.error.empty(), c.action != ArgumentAction::UsageError);
  }
}

class OpenFilesTest : public testing::Test {
 protected:
  testsupport::TempDir dir;

  std::string Clip(const std::string& name) {
    const std::string path = dir.file(name);
    EXPECT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=32x24:rate=25:duration=1 -c:v rawvideo "
                         "-pix_fmt bgr24 -y " + ShellQuote(path)).exitCode,
              0);
    return path;
  }
};

TEST_F(OpenFilesTest, TheFirstAviPlaysAndEverythingElseIsListed) {
  const std::string first = Clip("first.avi"), second = Clip("second.avi");
  // A picture-named AVI is an AVI; an AVI-named text is not.
  std::filesystem::copy_file(first, dir.file("clip.jpg"));
  testsupport::WriteFileText(dir.file("fake.avi"), "RIFF....WAVEfmt ");
  std::filesystem::create_directory(dir.file("folder"));
  const app::OpenPlan plan =
      app::PlanOpen({dir.file("fake.avi"), dir.file("clip.jpg"), second, dir.file("folder"), dir.file("gone.png")});
  EXPECT_EQ(plan.view, dir.file("clip.jpg"));
  EXPECT_EQ(plan.list, (std::vector<std::string>{dir.file("fake.avi"), dir.file("folder")}));
  ASSERT_EQ(plan.problems.size(), 2u);
  EXPECT_EQ(plan.problems[0], second + ": left out, one AVI is played at a time");
  EXPECT_EQ(plan.problems[1], dir.file("gone.png") + ": No such file or directory");
}

TEST_F(OpenFilesTest, RelativePathsAreMadeAbsolute) {
  const std::filesystem::path keep = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  testsupport::WriteFileText(dir.file("a.jpg"), "x");
  const app::OpenPlan plan = app::PlanOpen({"a.jpg"});
  std::filesystem::current_path(keep);
  EXPECT_EQ(plan.list, std::vector<std::string>{dir.file("a.jpg")});
}

TEST_F(OpenFilesTest, TheDialogPlaysTheAviWithoutAskingAndListsThePictures) {
  testsupport::ScriptedDialogs dialogs;
  const std::filesystem::path keep = std::filesystem::current_path();
  ui::CMainDlg dlg;
  dlg.show();
  app::OpenFiles(dlg, {Clip("view.avi"), {dir.file("a.jpg"), dir.file("b.jpg")}, {}});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (dlg.m_playback.Values().m_frameCount == 0 && std::chrono::steady_clock::now() < deadline) QTest::qWait(5);
  EXPECT_EQ(dlg.m_playback.Values().m_frameCount, 25);
  EXPECT_TRUE(dialogs.questions().empty()) << "asked for a file";
  EXPECT_EQ(std::filesystem::current_path(), dir.path()) << "frames are saved beside the file";
  EXPECT_EQ(dlg.m_fileList.GetCount(), 2);
  dlg.OnCloseView();
  while (dlg.RunningPlaybacks() > 0 && std::chrono::steady_clock::now() < deadline) QTest::qWait(5);
  std::filesystem::current_path(keep);
}

struct ProgramCase {
  const char* args;
  int exitCode;
  const char* firstLine;  // of stdout
};

TEST(AppProgram, HelpAndVersionNeedNoDisplay) {
  const ProgramCase cases[] = {
      {"--help", 0, "usage: stillweaver [FILE...]"},
      {"a.avi --version", 0, "stillweaver " STILLWEAVER_VERSION},
      {"--bogus", 2, ""},
  };
  for (const ProgramCase& c : cases) {
    const auto result = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen " +
                                   ShellQuote(STILLWEAVER_APP) + " " + c.args + " 2>/dev/null");
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args;
    EXPECT_EQ(result.out.substr(0, result.out.find('\n')), c.firstLine) << c.args;
  }
}

}  // namespace
