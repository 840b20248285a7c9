// The preview's place and stacking under a real window manager: its own X
// server (Xvfb) and openbox, started here; skipped when either is missing.
#include <QApplication>
#include <QLibraryInfo>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/main_dlg.h"
#include "ui/preview_loader.h"

extern char** environ;

// Under LeakSanitizer: the D-Bus library that Qt's X11 platform reaches the
// session bus through keeps a buffer until the process ends; it is not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

std::string FindProgram(const char* name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

pid_t Spawn(const std::vector<std::string>& args, const posix_spawn_file_actions_t* actions = nullptr) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  return posix_spawn(&pid, args[0].c_str(), actions, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

void Stop(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

// The X screen's size: STILLWEAVER_TEST_SCREEN (WIDTHxHEIGHT), else 1600x1000.
std::string ScreenSpec() {
  const char* spec = std::getenv("STILLWEAVER_TEST_SCREEN");
  return spec ? spec : "1600x1000";
}
QRect ScreenRect() {
  int width = 0, height = 0;
  std::sscanf(ScreenSpec().c_str(), "%dx%d", &width, &height);
  return QRect(0, 0, width, height);
}

// Xvfb on a free display, openbox managing it, and the Qt application on it.
class WindowManagerSession {
 public:
  bool Start(std::string* why) {
    const std::string xvfb = FindProgram("Xvfb"), openbox = FindProgram("openbox");
    if (xvfb.empty() || openbox.empty() || FindProgram("xwininfo").empty() || FindProgram("xprop").empty())
      return *why = "Xvfb, openbox or the X utilities (xwininfo, xprop) are not installed", false;
    const QString xcb = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqxcb.so");
    if (!QFile::exists(xcb)) return *why = "Qt has no xcb platform plugin", false;

    // Xvfb picks a free display and writes its number into the pipe.
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return *why = "no pipe", false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    m_xvfb = Spawn({xvfb, "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", ScreenSpec() + "x24",
                    "-nolisten", "tcp"},
                   &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string display;
    char c;
    while (read(pipeFds[0], &c, 1) == 1 && c != '\n') display += c;
    close(pipeFds[0]);
    if (m_xvfb <= 0 || display.empty()) return *why = "Xvfb did not start", false;
    setenv("DISPLAY", (":" + display).c_str(), 1);

    // openbox runs its start-up command once it manages the screen.
    const std::string ready = m_dir.file("ready");
    m_openbox = Spawn({openbox, "--sm-disable", "--startup", "touch " + ready});
    for (int i = 0; i < 3000 && !std::filesystem::exists(ready); ++i) usleep(10000);
    if (!std::filesystem::exists(ready)) return *why = "openbox did not start", false;

    setenv("QT_QPA_PLATFORM", "xcb", 1);
    if (const char* scale = std::getenv("STILLWEAVER_TEST_SCALE"))
      setenv("QT_SCALE_FACTOR", scale, 1);
    else
      unsetenv("QT_SCALE_FACTOR");
    static int argc = 1;
    static char name[] = "ui_wm_tests";
    static char* argv[] = {name, nullptr};
    m_app = std::make_unique<QApplication>(argc, argv);
    return true;
  }
  ~WindowManagerSession() {
    m_app.reset();
    Stop(m_openbox);
    Stop(m_xvfb);
  }

 private:
  testsupport::TempDir m_dir;
  pid_t m_xvfb = -1;
  pid_t m_openbox = -1;
  std::unique_ptr<QApplication> m_app;
};

// A window's frame as the X server has it: the client's place and size from
// xwininfo, the frame's extents from xprop; null while either is unknown.
QRect XFrame(QWidget* window) {
  const std::string id = std::to_string(window->winId());
  const std::string info = testsupport::RunCommand("xwininfo -id " + id + " 2>/dev/null").out;
  const std::string extents = testsupport::RunCommand("xprop -id " + id + " _NET_FRAME_EXTENTS 2>/dev/null").out;
  auto field = [&](const char* name) {
    const std::size_t at = info.find(name);
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + std::strlen(name));
  };
  int left = 0, right = 0, top = 0, bottom = 0;
  const std::size_t eq = extents.find('=');
  if (eq == std::string::npos ||
      std::sscanf(extents.c_str() + eq + 1, "%d, %d, %d, %d", &left, &right, &top, &bottom) != 4)
    return {};
  const int x = field("Absolute upper-left X:"), y = field("Absolute upper-left Y:");
  const int width = field("Width:"), height = field("Height:");
  if (width <= 0 || height <= 0 || info.find("IsViewable") == std::string::npos) return {};
  return QRect(x - left, y - top, width + left + right, height + top + bottom);
}

class PreviewPlaceTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    session = new WindowManagerSession;
    if (!session->Start(&skipReason)) {
      delete session;
      session = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete session;
    session = nullptr;
  }

  void SetUp() override {
    if (!session) GTEST_SKIP() << skipReason;
    dialogs = std::make_unique<testsupport::ScriptedDialogs>();
    dlg = std::make_unique<ui::CMainDlg>();
    for (const char* name : {"ant", "bee", "cat"}) {
      const std::string path = dir.file(std::string(name) + ".png");
      ASSERT_TRUE(testsupport::WritePngRgb(path, 32, 24, testsupport::Solid({10, 200, 10})));
      dlg->m_fileList.AddString(path);
    }
    // Placed by the window manager, as when the program starts.
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !XFrame(dlg.get()).isNull(); }, 10000));
    dlg->m_fileList.widget()->setFocus();
  }
  void TearDown() override {
    dlg.reset();
    dialogs.reset();
  }

  void Select(int n) {
    dlg->m_fileList.SetSel(-1, false);
    dlg->m_fileList.SetSel(n, true);
    dlg->ShowPreview();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !dlg->m_previewLoader->Busy(); }, 10000));
  }
  // Waits until the preview's frame stands at the main window's top-right
  // corner on the screen.
  testing::AssertionResult PreviewAtCorner() {
    QRect main, preview;
    const bool there = QTest::qWaitFor(
        [&] {
          main = XFrame(dlg.get());
          preview = XFrame(&dlg->m_preview);
          return !main.isNull() && !preview.isNull() && preview.topLeft() == main.topRight() + QPoint(1, 0);
        },
        10000);
    if (there) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "preview frame at " << preview.x() << "," << preview.y()
                                       << ", main window frame " << main.x() << "," << main.y() << " "
                                       << main.width() << "x" << main.height();
  }
  // Widens the main window over the preview; the preview must still show.
  testing::AssertionResult PreviewShowsOverTheWidenedMainWindow() {
    const int wider = dlg->width() + 200;
    dlg->resize(wider, dlg->height());
    if (!QTest::qWaitFor([&] { return XFrame(dlg.get()).width() > wider; }, 10000))
      return testing::AssertionFailure() << "the main window did not widen";
    // The preview follows the widened window to its new corner.
    QPoint inside;
    if (QTest::qWaitFor(
            [&] {
              inside = XFrame(&dlg->m_preview).topLeft() + QPoint(40, 60);
              return QApplication::topLevelAt(inside) == &dlg->m_preview;
            },
            3000))
      return testing::AssertionSuccess();
    QWidget* shown = QApplication::topLevelAt(inside);
    return testing::AssertionFailure() << "the screen shows " << (shown ? shown->metaObject()->className() : "nothing");
  }
  void ExpectKeyboardWithTheList() {
    EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == dlg.get(); }, 3000));
    EXPECT_EQ(QApplication::focusWidget(), dlg->m_fileList.widget());
  }

  static WindowManagerSession* session;
  static std::string skipReason;
  testsupport::TempDir dir;
  std::unique_ptr<testsupport::ScriptedDialogs> dialogs;
  std::unique_ptr<ui::CMainDlg> dlg;
};

WindowManagerSession* PreviewPlaceTest::session = nullptr;
std::string PreviewPlaceTest::skipReason;

TEST_F(PreviewPlaceTest, FirstPreviewStandsAtTheTopRightCornerAboveTheMainWindow) {
  Select(0);
  EXPECT_TRUE(PreviewAtCorner());
  ExpectKeyboardWithTheList();
  EXPECT_TRUE(PreviewShowsOverTheWidenedMainWindow());
}

TEST_F(PreviewPlaceTest, AMovedPreviewComesBackToTheCornerAboveTheRaisedMainWindow) {
  Select(0);
  ASSERT_TRUE(PreviewAtCorner());
  dlg->m_preview.windowHandle()->setFramePosition(QPoint(30, 30));
  ASSERT_TRUE(QTest::qWaitFor([this] { return XFrame(&dlg->m_preview).topLeft() == QPoint(30, 30); }, 10000));
  // The user brings the main window to the front over the preview.
  dlg->raise();
  dlg->activateWindow();
  Select(1);
  EXPECT_TRUE(PreviewAtCorner());
  EXPECT_TRUE(PreviewShowsOverTheWidenedMainWindow());
  ExpectKeyboardWithTheList();
}

TEST_F(PreviewPlaceTest, AHiddenPreviewComesBackToTheCornerOnTop) {
  Select(0);
  ASSERT_TRUE(PreviewAtCorner());
  QTest::keyClick(&dlg->m_preview, Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([this] { return XFrame(&dlg->m_preview).isNull(); }, 10000));
  Select(2);
  EXPECT_TRUE(PreviewAtCorner());
  EXPECT_TRUE(PreviewShowsOverTheWidenedMainWindow());
  ExpectKeyboardWithTheList();
}

// Run on small and scaled screens too (see CMakeLists.txt): whatever the
// screen, both frames stay on it, and the preview keeps to the main window's
// corner, or the nearest place on the screen, as the main window moves.
TEST_F(PreviewPlaceTest, FramesStayOnScreenAndThePreviewFollows) {
  const QRect screen = ScreenRect();
  EXPECT_TRUE(QTest::qWaitFor([&] { return screen.contains(XFrame(dlg.get())); }, 10000))
      << "main window frame " << XFrame(dlg.get()).y() << " from the top";
  Select(0);
  const int slack = dlg->devicePixelRatio() > 1 ? 2 * int(dlg->devicePixelRatio()) : 0;
  const auto previewWhereItBelongs = [&] {
    const QRect main = XFrame(dlg.get()), preview = XFrame(&dlg->m_preview);
    if (main.isNull() || preview.isNull() || !screen.contains(preview)) return false;
    const int x = std::min(main.x() + main.width(), screen.width() - preview.width());
    const int y = std::max(std::min(main.y(), screen.height() - preview.height()), 0);
    // Scaled, the frames' odd device pixels round in Qt's own units.
    return (preview.topLeft() - QPoint(x, y)).manhattanLength() <= slack;
  };
  const auto frames = [&] {
    const QRect main = XFrame(dlg.get()), preview = XFrame(&dlg->m_preview);
    return "main " + std::to_string(main.x()) + "," + std::to_string(main.y()) + " " + std::to_string(main.width()) +
           "x" + std::to_string(main.height()) + ", preview " + std::to_string(preview.x()) + "," +
           std::to_string(preview.y()) + " " + std::to_string(preview.width()) + "x" + std::to_string(preview.height());
  };
  EXPECT_TRUE(QTest::qWaitFor(previewWhereItBelongs, 10000)) << frames();
  for (const QPoint& to : {QPoint(0, 0), QPoint(screen.width(), 0)}) {
    dlg->windowHandle()->setFramePosition(to / dlg->devicePixelRatio());
    EXPECT_TRUE(QTest::qWaitFor(previewWhereItBelongs, 10000)) << "main window moved to " << to.x() << ": " << frames();
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
