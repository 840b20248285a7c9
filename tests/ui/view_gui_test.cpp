// The player in the offscreen dialog: the slider's keys, and a playback
// that never waits for a busy UI thread.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <thread>

#include "avi_view/frame_export.h"
#include "platform/vfw.h"
#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/main_dlg.h"
#include "ui/video_surface.h"

namespace {

struct SliderKeyCase {
  const char* name;
  Qt::Key key;
  int frame;  // from frame 20 of 0 … 49
  int position;
  int direction;
};
void PrintTo(const SliderKeyCase& c, std::ostream* os) { *os << c.name; }

class SliderKeyTest : public testing::TestWithParam<SliderKeyCase> {
 protected:
  testsupport::ScriptedDialogs dialogs;
  ui::CMainDlg dlg;
};

TEST_P(SliderKeyTest, MovesTheFrameTheWayATrackbarDoes) {
  const SliderKeyCase& c = GetParam();
  dlg.show();
  dlg.m_slider->show();
  dlg.m_slider->setRange(0, 49);
  dlg.OnHScroll(avi_view::TB_THUMBTRACK, 20);
  ASSERT_EQ(dlg.m_slider->value(), 20);
  QTest::keyClick(dlg.m_slider, c.key);
  EXPECT_EQ(dlg.m_playback.Values().m_frame, c.frame);
  EXPECT_EQ(dlg.m_slider->value(), c.position);
  EXPECT_EQ(dlg.m_playback.Values().m_direction, c.direction);
  EXPECT_EQ(dlg.m_playback.Values().m_paused, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SliderKeyTest,
    testing::Values(SliderKeyCase{"PageUp", Qt::Key_PageUp, 10, 10, 1},
                    SliderKeyCase{"PageDown", Qt::Key_PageDown, 30, 30, 1},
                    SliderKeyCase{"Up", Qt::Key_Up, 19, 19, 1}, SliderKeyCase{"Left", Qt::Key_Left, 19, 19, 1},
                    SliderKeyCase{"Down", Qt::Key_Down, 21, 21, 1},
                    SliderKeyCase{"Right", Qt::Key_Right, 21, 21, 1}, SliderKeyCase{"Home", Qt::Key_Home, 0, 0, 1},
                    // Past the end, going backward: the loop then shows the last frame.
                    SliderKeyCase{"End", Qt::Key_End, INT_MAX, 49, -1}),
    [](const testing::TestParamInfo<SliderKeyCase>& p) { return std::string(p.param.name); });

// Counts the updates the playback posts to the dialog.
class PostedCalls : public QObject {
 public:
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MetaCall) ++count;
    return false;
  }
};

// The dialog's file dialog makes the chosen file's folder current.
struct KeepFolder {
  std::filesystem::path folder = std::filesystem::current_path();
  ~KeepFolder() { std::filesystem::current_path(folder); }
};

class PlayerTest : public testing::Test {
 protected:
  testsupport::TempDir dir;
  testsupport::ScriptedDialogs dialogs;
  KeepFolder keepFolder;
  ui::CMainDlg dlg;
  const std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);

  // Plays an uncompressed clip that ffmpeg makes from the lavfi graph.
  void Play(const std::string& graph) {
    const std::string clip = dir.file("view.avi");
    ASSERT_EQ(testsupport::RunCommand("ffmpeg -v error -f lavfi -i " + testsupport::ShellQuote(graph) +
                                      " -c:v rawvideo -pix_fmt bgr24 -y " + testsupport::ShellQuote(clip))
                  .exitCode,
              0);
    dlg.show();
    dialogs.answerFile(clip);
    QTest::mouseClick(static_cast<QPushButton*>(dlg.control("IDC_VIEW_AVI")), Qt::LeftButton);
  }
};

TEST_F(PlayerTest, TheSurfaceShowsTheFrameUprightInItsOwnColours) {
  // Red over blue, 5 pixels wide so that the rows are padded.
  const std::string half = ":size=6x2:rate=25:duration=1,format=bgr24,crop=5:2:0:0";
  Play("color=c=0xFF2010" + half + "[a];color=c=0x1030FF" + half + "[b];[a][b]vstack");
  while (dlg.m_display->currentFrame().isNull() && std::chrono::steady_clock::now() < deadline) QTest::qWait(5);
  const QImage frame = dlg.m_display->currentFrame();
  ASSERT_EQ(frame.size(), QSize(5, 4));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) {
      const QRgb want = y < 2 ? qRgb(0xFF, 0x20, 0x10) : qRgb(0x10, 0x30, 0xFF);
      EXPECT_EQ(frame.pixel(x, y), want) << x << "," << y;
    }
}

TEST_F(PlayerTest, ABusyUiThreadHoldsUpNoFrameAndCatchesUpWithTheNewest) {
  Play("testsrc=size=96x64:rate=25:duration=2");
  const auto shown = [&] { return dlg.m_viewButton->text(); };
  // Past frame 0, so that coming back to it is news.
  while ((shown() == "View AVI" || shown() == "0->") && std::chrono::steady_clock::now() < deadline) QTest::qWait(1);
  ASSERT_NE(shown(), "0->");

  // The UI thread now handles nothing while the rest of the clip plays
  // through and the loop comes to rest on frame 0.
  dlg.m_fpsEdit->setText("0");
  while (!(dlg.m_playback.Values().m_paused == 1 && dlg.m_playback.Values().m_frame == 0) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(dlg.m_playback.Values().m_paused, 1) << "the loop waited for the UI thread";

  // One update carries the newest slider position, caption and frame; one
  // more at most follows if frame 0 was drawn after it was taken.
  PostedCalls posted;
  dlg.installEventFilter(&posted);
  while (shown() != "0->" && std::chrono::steady_clock::now() < deadline) QTest::qWait(5);
  dlg.removeEventFilter(&posted);
  EXPECT_EQ(shown(), "0->");
  EXPECT_EQ(dlg.m_slider->value(), 0);
  EXPECT_LE(posted.count, 2) << "a backlog of frames was queued";
}

TEST_F(PlayerTest, FramesThatCannotBeSavedAreToldOnceAndPlaybackGoesOn) {
  // The clip's folder becomes the current one; every name there is a folder.
  for (int i = 0; i < 25; ++i) std::filesystem::create_directory(dir.path() / avi_view::ExportFileName(i));
  dlg.show();
  QTest::mouseClick(static_cast<QCheckBox*>(dlg.control("IDC_WRITE_FILES")), Qt::LeftButton);
  Play("testsrc=size=32x24:rate=25:duration=1");
  // Played through to the end, resting on frame 0.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return dlg.m_playback.Values().m_paused == 1 && dlg.m_viewButton->text() == "0->"; }, 20000));
  QTest::qWait(50);
  std::vector<std::string> told;
  for (const auto& m : dialogs.messages())
    if (m.caption == "WriteFiles") told.push_back(m.text);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].rfind("Frames cannot be saved in " + std::filesystem::canonical(dir.path()).string() + "\n", 0),
            0u)
      << told[0];
}

TEST_F(PlayerTest, SpaceAndTheStepKeysActOnTheFrameShownAndTheLabelFollows) {
  Play("testsrc=size=32x24:rate=25:duration=2");
  QLabel* label = dlg.findChild<QLabel*>(QStringLiteral("FrameLabel"));
  ASSERT_NE(label, nullptr);
  const auto values = [&] { return dlg.m_playback.Values(); };
  const auto shows = [&](int index) {
    const QString want = QString::fromUtf8(avi_view::FrameLabel(index, 50, 25, 1).c_str());
    return QTest::qWaitFor([&] { return label->text() == want && label->isVisible(); }, 10000);
  };
  while (values().m_frame < 2 && std::chrono::steady_clock::now() < deadline) QTest::qWait(1);
  QTest::keyClick(dlg.m_viewButton, Qt::Key_Space);
  ASSERT_TRUE(QTest::qWaitFor([&] { return values().m_paused == 1; }, 10000));
  const int at = values().m_frame;
  ASSERT_TRUE(shows(at));
  for (Qt::Key key : {Qt::Key_Period, Qt::Key_Period, Qt::Key_Period, Qt::Key_Comma}) QTest::keyClick(dlg.m_slider, key);
  EXPECT_TRUE(shows(at + 2));
  // In the FPS box the keys type, as anywhere text goes.
  QTest::keyClick(dlg.m_fpsEdit, Qt::Key_Period);
  EXPECT_EQ(dlg.m_fpsEdit->text(), "25.");
  EXPECT_EQ(values().m_frame, at + 2);
  QTest::keyClick(dlg.m_viewButton, Qt::Key_Space);
  EXPECT_EQ(values().m_paused, 0);
}

// A file that records its frames' sources shows the picture's name beside
// the frame number, and its whole path as the label's tip.
TEST_F(PlayerTest, TheLabelNamesTheFramesSourcePicture) {
  const std::string clip = dir.file("sources.avi");
  AVISTREAMINFOA header{};
  header.fccType = streamtypeVIDEO;
  header.dwScale = 1;
  header.dwRate = 25;
  header.rcFrame = RECT{0, 0, 4, 2};
  BITMAPINFOHEADER format{};
  format.biSize = sizeof format;
  format.biWidth = 4;
  format.biHeight = 2;
  format.biPlanes = 1;
  format.biBitCount = 24;
  const std::vector<std::uint8_t> pixels(24, 0x40);
  const char* sources[] = {"/pictures/a.png", "/pictures/b.png"};
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpenA(&file, clip.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
  PAVISTREAM stream = nullptr;
  ASSERT_EQ(AVIFileCreateStreamA(file, &stream, &header), AVIERR_OK);
  ASSERT_EQ(AVIStreamSetFormat(stream, 0, &format, sizeof format), AVIERR_OK);
  for (LONG i = 0; i < 2; ++i) {
    ASSERT_EQ(AVIStreamWrite(stream, i, 1, pixels.data(), 24, AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFrameSource(stream, i, sources[i], ""), AVIERR_OK);
  }
  ASSERT_EQ(AVIStreamRelease(stream), 0);
  ASSERT_EQ(AVIFileRelease(file), 0);

  dlg.show();
  dialogs.answerFile(clip);
  QTest::mouseClick(static_cast<QPushButton*>(dlg.control("IDC_VIEW_AVI")), Qt::LeftButton);
  QLabel* label = dlg.findChild<QLabel*>(QStringLiteral("FrameLabel"));
  ASSERT_NE(label, nullptr);
  // Played through, it rests on frame 0.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return label->text() == QString::fromUtf8("frame 1 of 2 \u00B7 00:00.000 \u00B7 a.png"); }, 10000))
      << label->text().toStdString();
  EXPECT_EQ(label->toolTip(), "/pictures/a.png");
}

}  // namespace
