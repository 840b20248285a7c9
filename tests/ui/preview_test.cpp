// The preview window: created on the first good selection, placed beside the
// main window, stepped with N and P.
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/main_dlg.h"

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
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
  }
  ui::FileListWidget* list() { return dlg.m_fileList.widget(); }
  // A click on entry n, as the user makes it.
  void Click(int n) {
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list()->visualItemRect(list()->item(n)).center());
    QApplication::processEvents();
  }
  std::vector<std::string> Selected() {
    std::vector<std::string> out;
    for (int i = 0; i < dlg.m_fileList.GetCount(); ++i)
      if (dlg.m_fileList.GetSel(i) > 0) out.push_back(names[std::size_t(i)]);
    return out;
  }
  QPoint Corner() { return QPoint(dlg.frameGeometry().x() + dlg.frameGeometry().width(), dlg.frameGeometry().y()); }
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
  const QSize size(300, 200);
  dlg.m_preview.resize(size);
  dlg.m_preview.move(5, 5);
  QTest::keyClick(&dlg.m_preview, Qt::Key_Escape);
  EXPECT_FALSE(dlg.m_preview.isVisible());
  Click(2);
  EXPECT_TRUE(dlg.m_preview.isVisible());
  EXPECT_EQ(dlg.m_preview.pos(), Corner());
  EXPECT_EQ(dlg.m_preview.size(), size);
}

TEST_F(PreviewTest, AnUnloadableEntryKeepsThePreviousPicture) {
  Click(0);
  testsupport::WriteFileText(dir.file("broken.png"), "not a picture");
  dlg.m_fileList.AddString(dir.file("broken.png"));
  names.push_back("broken");
  Bitmap* before = dlg.m_preview.m_picture.get();
  Click(5);
  ASSERT_EQ(dialogs.messages().size(), 1u);
  EXPECT_EQ(dialogs.messages()[0].text, dir.file("broken.png"));
  EXPECT_EQ(dialogs.messages()[0].caption, "File Failed to Open");
  EXPECT_EQ(dlg.m_preview.m_picture.get(), before);
  EXPECT_EQ(dlg.m_preview.m_title, dir.file("ant.png"));
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
  QApplication::processEvents();
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
