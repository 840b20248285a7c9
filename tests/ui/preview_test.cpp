// The preview window: created on the first good selection, placed beside the
// main window, stepped with N and P.
#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>

#include "picture/load_picture.h"

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/main_dlg.h"
#include "ui/preview_loader.h"

namespace {

using testsupport::ScriptedDialogs;

class PreviewTest : public testing::Test {
 protected:
  testsupport::TempDir dir;
  ScriptedDialogs dialogs;
  ui::CMainDlg dlg;
  std::vector<std::string> names = {"ant", "bee", "cat", "dog", "elk"};

  void SetUp() override {
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string path = dir.file(names[i] + ".png");
      ASSERT_TRUE(testsupport::WritePngRgb(path, 16 + int(i), 12, testsupport::Solid({200, 10, 10})));
      dlg.m_fileList.AddString(path);
    }
    // Room for the preview at the main window's corner.
    dlg.move(0, 0);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
  }
  ui::FileListWidget* list() { return dlg.m_fileList.widget(); }
  // A click on entry n, as the user makes it.
  void Click(int n) {
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list()->visualItemRect(list()->item(n)).center());
    WaitForPreview();
  }
  // The picture is loaded off the UI thread.
  void WaitForPreview() {
    QApplication::processEvents();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !dlg.m_previewLoader->Busy(); }, 10000));
  }
  std::vector<std::string> Selected() {
    std::vector<std::string> out;
    for (int i = 0; i < dlg.m_fileList.GetCount(); ++i)
      if (dlg.m_fileList.GetSel(i) > 0) out.push_back(names[std::size_t(i)]);
    return out;
  }
  // The main window's top-right corner, or as near as the preview fits on
  // the screen.
  QPoint Corner() {
    const QRect screen = dlg.screen()->availableGeometry();
    const QRect main = dlg.frameGeometry(), preview = dlg.m_preview.frameGeometry();
    return QPoint(std::min(main.x() + main.width(), screen.x() + screen.width() - preview.width()),
                  std::min(main.y(), screen.y() + screen.height() - preview.height()));
  }
};

TEST_F(PreviewTest, TheFirstSelectionCreatesAndPlacesThePreview) {
  EXPECT_FALSE(dlg.m_preview.IsWindow());
  Click(1);
  ASSERT_TRUE(dlg.m_preview.IsWindow());
  EXPECT_TRUE(dlg.m_preview.isVisible());
  EXPECT_EQ(dlg.m_preview.pos(), Corner());
  EXPECT_EQ(dlg.m_preview.m_title, dir.file("bee.png"));
  UINT width = 0;
  ASSERT_TRUE(dlg.m_preview.m_picture);
  EXPECT_EQ(GdipGetImageWidth(dlg.m_preview.m_picture->asImage(), &width), Ok);
  EXPECT_EQ(width, 17u);
  // The caption shows the path from the first paint on.
  dlg.m_preview.repaint();
  EXPECT_EQ(dlg.m_preview.windowTitle().toStdString(), dir.file("bee.png"));
  EXPECT_EQ(QApplication::focusWidget(), list());
}

TEST_F(PreviewTest, AHiddenOrMovedPreviewComesBackToTheCornerWithItsSize) {
  Click(0);
  const QSize size(240, 180);
  dlg.m_preview.resize(size);
  dlg.m_preview.move(5, 5);
  QTest::keyClick(&dlg.m_preview, Qt::Key_Escape);
  EXPECT_FALSE(dlg.m_preview.isVisible());
  Click(2);
  EXPECT_TRUE(dlg.m_preview.isVisible());
  EXPECT_EQ(dlg.m_preview.pos(), Corner());
  EXPECT_EQ(dlg.m_preview.size(), size);
}

// Why an entry did not load, on the line after its path.
struct UnloadableCase {
  const char* name;
  std::function<void(const std::string& path)> make;
  const char* reason;
};
void PrintTo(const UnloadableCase& c, std::ostream* os) { *os << c.name; }

class UnloadableTest : public PreviewTest, public testing::WithParamInterface<UnloadableCase> {};

TEST_P(UnloadableTest, SaysWhyAndKeepsThePreviousPicture) {
  Click(0);
  const std::string path = dir.file("broken.png");
  GetParam().make(path);
  dlg.m_fileList.AddString(path);
  names.push_back("broken");
  Bitmap* before = dlg.m_preview.m_picture.get();
  Click(5);
  ASSERT_EQ(dialogs.messages().size(), 1u);
  EXPECT_EQ(dialogs.messages()[0].text, path + "\n" + GetParam().reason);
  EXPECT_EQ(dialogs.messages()[0].caption, "File Failed to Open");
  EXPECT_EQ(dlg.m_preview.m_picture.get(), before);
  EXPECT_EQ(dlg.m_preview.m_title, dir.file("ant.png"));
}

// A BMP header that claims width x height pixels of 24 bits, and no pixels.
std::string BmpHeader(std::int32_t width, std::int32_t height) {
  std::string h(54, '\0');
  auto put = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) h[at + std::size_t(i)] = char((v >> (8 * i)) & 0xFF);
  };
  h[0] = 'B', h[1] = 'M';
  put(2, 54), put(10, 54), put(14, 40), put(18, std::uint32_t(width)), put(22, std::uint32_t(height));
  h[26] = 1, h[28] = 24;
  return h;
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, UnloadableTest,
    testing::Values(
        UnloadableCase{"Missing", [](const std::string&) {}, "not found"},
        UnloadableCase{"Folder", [](const std::string& p) { std::filesystem::create_directory(p); },
                       "a folder, not a picture"},
        UnloadableCase{"Text", [](const std::string& p) { testsupport::WriteFileText(p, "not a picture"); },
                       "not a picture we read"},
        UnloadableCase{"CutShortJpeg",
                       [](const std::string& p) { testsupport::WriteFileText(p, "\xFF\xD8\xFF\xE0\x00\x10JFIF"); },
                       "damaged"},
        UnloadableCase{"TooLarge", [](const std::string& p) { testsupport::WriteFileText(p, BmpHeader(30000, 30000)); },
                       "too large"}),
    [](const testing::TestParamInfo<UnloadableCase>& p) { return std::string(p.param.name); });

TEST_F(PreviewTest, ASlowPictureLeavesTheWindowFreeAndTheNewestSelectionWins) {
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  std::vector<std::string> loaded;
  dlg.m_previewLoader->SetLoadFunction([&](const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex);
    loaded.push_back(path);
    if (path == dir.file("ant.png")) released.wait(lock, [&] { return release; });
    return LoadPicture(path.c_str());
  });
  const auto select = [&](int n) {
    dlg.m_fileList.SetSel(-1, false);
    dlg.m_fileList.SetSel(n, true);
    dlg.ShowPreview();
    QApplication::processEvents();
  };
  select(0);
  ASSERT_TRUE(QTest::qWaitFor([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return !loaded.empty();
  }, 10000));
  select(1);
  select(2);
  // While ant decodes, the window still answers the user.
  QTest::keyClick(dlg.m_colsEdit, Qt::Key_5);
  EXPECT_EQ(dlg.m_colsEdit->text().toStdString(), "12805");
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  released.notify_all();
  WaitForPreview();
  EXPECT_EQ(dlg.m_preview.m_title, dir.file("cat.png"));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(loaded, (std::vector<std::string>{dir.file("ant.png"), dir.file("cat.png")})) << "bee was waiting, then replaced";
}

struct StepCase {
  Qt::Key key;
  std::vector<int> selectBefore;
  std::vector<std::string> selectedAfter;
  const char* previewed;  // null: no preview
};

class StepTest : public PreviewTest, public testing::WithParamInterface<StepCase> {};

TEST_P(StepTest, NAndPMoveOneSelectedEntry) {
  const StepCase& c = GetParam();
  for (int n : c.selectBefore) dlg.m_fileList.SetSel(n, true);
  QTest::keyClick(list(), c.key);
  WaitForPreview();
  EXPECT_EQ(Selected(), c.selectedAfter);
  if (c.previewed) {
    EXPECT_EQ(dlg.m_preview.m_title, dir.file(c.previewed));
  } else {
    EXPECT_FALSE(dlg.m_preview.IsWindow());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, StepTest,
    testing::Values(StepCase{Qt::Key_N, {1, 3}, {"cat", "dog"}, "cat.png"},
                    StepCase{Qt::Key_P, {1, 3}, {"bee", "cat"}, "cat.png"},
                    StepCase{Qt::Key_N, {4}, {"elk"}, nullptr}, StepCase{Qt::Key_P, {0}, {"ant"}, nullptr},
                    StepCase{Qt::Key_N, {}, {}, nullptr}));

TEST_F(PreviewTest, TheJobsOwnSelectionChangesShowNoPreview) {
  // What a running Make-AVI job does to the list, on the UI thread.
  dlg.m_fileList.SetSel(0, true);
  dlg.m_fileList.SetSel(0, false);
  dlg.m_fileList.SetSel(1, true);
  dlg.m_fileList.SetTopIndex(1);
  QApplication::processEvents();
  EXPECT_FALSE(dlg.m_preview.IsWindow());
}

}  // namespace
