// Ordering large sets: natural sorting, the list's menu, folders and pasted
// text.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/main_dlg.h"
#include "ui/natural_order.h"

namespace {

using Entries = std::vector<std::string>;

struct OrderCase {
  const char* name;
  Entries paths;
  Entries sorted;
};

class NaturalSortTest : public testing::TestWithParam<OrderCase> {};

TEST_P(NaturalSortTest, OrdersAsAPersonReadsTheNames) {
  EXPECT_EQ(ui::SortedNaturally(GetParam().paths), GetParam().sorted);
  Entries reversed(GetParam().paths.rbegin(), GetParam().paths.rend());
  EXPECT_EQ(ui::SortedNaturally(reversed), GetParam().sorted) << "the order must not depend on the input's";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NaturalSortTest,
    testing::Values(
        OrderCase{"NumbersByValue", {"/p/img10.png", "/p/img2.png", "/p/img1.png", "/p/img100.png"},
                  {"/p/img1.png", "/p/img2.png", "/p/img10.png", "/p/img100.png"}},
        OrderCase{"CaseIgnored", {"/p/b.png", "/p/A.png", "/p/a2.png", "/p/C1.png"},
                  {"/p/A.png", "/p/a2.png", "/p/b.png", "/p/C1.png"}},
        OrderCase{"NameBeforeFolder", {"/z/a2.png", "/a/a10.png", "/m/a2.png"},
                  {"/m/a2.png", "/z/a2.png", "/a/a10.png"}},
        OrderCase{"EqualValuesByPath", {"/p/f10.png", "/p/f010.png", "/p/f9.png"},
                  {"/p/f9.png", "/p/f010.png", "/p/f10.png"}},
        OrderCase{"CaseTiesByBytes", {"/p/a.png", "/p/A.png"}, {"/p/A.png", "/p/a.png"}},
        OrderCase{"RunsLongerThanAnyInteger", {"/p/s123456789012345678901234.png", "/p/s99.png"},
                  {"/p/s99.png", "/p/s123456789012345678901234.png"}},
        OrderCase{"NonAsciiNames", {"/p/\xC3\xA9t\xC3\xA9 2.png", "/p/\xC3\x89T\xC3\x89 10.png"},
                  {"/p/\xC3\xA9t\xC3\xA9 2.png", "/p/\xC3\x89T\xC3\x89 10.png"}}),
    [](const testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

class ListCommandsTest : public testing::Test {
 protected:
  testsupport::ScriptedDialogs dialogs;
  testsupport::TempDir dir;
  ui::CMainDlg dlg;

  ui::FileListWidget* list() { return dlg.m_fileList.widget(); }
  void fill(const Entries& entries) {
    for (const std::string& e : entries) dlg.m_fileList.AddString(e);
  }
  Entries entries() {
    Entries out;
    for (int i = 0; i < dlg.m_fileList.GetCount(); ++i) out.push_back(dlg.m_fileList.GetText(i));
    return out;
  }
  Entries selected() {
    Entries out;
    for (int i = 0; i < dlg.m_fileList.GetCount(); ++i)
      if (dlg.m_fileList.GetSel(i) > 0) out.push_back(dlg.m_fileList.GetText(i));
    return out;
  }
  void drop(const QStringList& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list()->viewport(), &enter);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list()->viewport(), &event);
  }
  void waitForAdds() { ASSERT_TRUE(QTest::qWaitFor([this] { return !dlg.AddingFiles(); }, 60000)); }
  QAction* action(const char* name) { return dlg.m_listMenu->findChild<QAction*>(QString::fromLatin1(name)); }
  QString path(const std::string& name) { return QString::fromStdString(dir.file(name)); }
};

TEST_F(ListCommandsTest, SortKeyOrdersTheListAndTheSelectionFollowsItsEntries) {
  fill({"/p/img10.png", "/p/img2.png", "/p/img1.png", "/p/img3.png"});
  dlg.m_fileList.SetSel(0, true);  // img10
  dlg.m_fileList.SetSel(3, true);  // img3
  dlg.m_fileList.SetCaretIndex(1);  // img2
  QTest::keyClick(list(), Qt::Key_S);
  EXPECT_EQ(entries(), (Entries{"/p/img1.png", "/p/img2.png", "/p/img3.png", "/p/img10.png"}));
  EXPECT_EQ(selected(), (Entries{"/p/img3.png", "/p/img10.png"}));
  EXPECT_EQ(dlg.m_fileList.GetCurSel(), 1);

  // The whole list is sorted with nothing selected too.
  dlg.OnClearSel();
  dlg.m_fileList.AddString("/p/img0.png");
  QTest::keyClick(list(), Qt::Key_S);
  EXPECT_EQ(entries().front(), "/p/img0.png");
  EXPECT_TRUE(selected().empty());
}

TEST_F(ListCommandsTest, SortFromTheListMenuAndTheMenuOffersWhatTheStateAllows) {
  fill({"/p/b.png", "/p/a.png", "/p/c.png"});
  QApplication::clipboard()->clear();
  QContextMenuEvent nothingSelected(QContextMenuEvent::Mouse, QPoint(5, 5), list()->viewport()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(list()->viewport(), &nothingSelected);
  ASSERT_TRUE(dlg.m_listMenu->isVisible());
  EXPECT_FALSE(action("ID_MOVE_UP")->isEnabled());
  EXPECT_FALSE(action("ID_DELETE")->isEnabled());
  EXPECT_FALSE(action("ID_PASTE")->isEnabled());
  EXPECT_TRUE(action("ID_SORT")->isEnabled());
  dlg.m_listMenu->hide();

  // A right click opens the menu without toggling the entry under it.
  const QPoint onEntry = list()->visualItemRect(list()->item(2)).center();
  QTest::mouseClick(list()->viewport(), Qt::RightButton, Qt::NoModifier, onEntry);
  EXPECT_TRUE(selected().empty());
  dlg.m_fileList.SetSel(2, true);
  dlg.OnListContextMenu(QPoint(0, 0));
  EXPECT_TRUE(action("ID_MOVE_UP")->isEnabled());
  action("ID_MOVE_UP")->trigger();
  EXPECT_EQ(entries(), (Entries{"/p/b.png", "/p/c.png", "/p/a.png"}));
  action("ID_SORT")->trigger();
  EXPECT_EQ(entries(), (Entries{"/p/a.png", "/p/b.png", "/p/c.png"}));
  EXPECT_EQ(selected(), Entries{"/p/c.png"});
  dlg.m_listMenu->hide();
}

// A folder holding one file of each picture format (by signature, whatever
// the name), things that are not pictures, a FIFO named like a picture, a
// hidden picture and a subfolder.
class FolderTest : public ListCommandsTest {
 protected:
  void SetUp() override {
    folder = dir.file("shots");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    auto bytes = [&](const std::string& name, std::string head) {
      head.resize(64, '\0');
      testsupport::WriteFileBytes(folder + "/" + name, std::vector<std::uint8_t>(head.begin(), head.end()));
    };
    ASSERT_TRUE(testsupport::WritePngRgb(folder + "/img10.png", 4, 4, testsupport::Solid({1, 2, 3})));
    ASSERT_TRUE(testsupport::WriteJpeg(folder + "/IMG2.jpg", 8, 8, testsupport::Solid({1, 2, 3})));
    ASSERT_TRUE(testsupport::WriteBmpRgb(folder + "/img1.bmp", 4, 4, testsupport::Solid({1, 2, 3})));
    bytes("img3.gif", "GIF89a");
    bytes("img4", std::string("II*\0", 4));
    bytes("img5.tif", std::string("MM\0*", 4));
    bytes("notes.png", "not a picture");
    bytes("empty.jpg", "");
    testsupport::WriteFileText(folder + "/tiny.bmp", "B");
    ASSERT_TRUE(testsupport::WritePngRgb(folder + "/.thumb.png", 4, 4, testsupport::Solid({1, 2, 3})));
    ASSERT_EQ(mkfifo((folder + "/img6.png").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((folder + "/sub").c_str(), 0755), 0);
    ASSERT_TRUE(testsupport::WritePngRgb(folder + "/sub/img0.png", 4, 4, testsupport::Solid({1, 2, 3})));
  }
  Entries pictures() {
    Entries out;
    for (const char* name : {"img1.bmp", "IMG2.jpg", "img3.gif", "img4", "img5.tif", "img10.png"})
      out.push_back(folder + "/" + name);
    return out;
  }
  std::string folder;
};

TEST_F(FolderTest, DroppedFolderAddsItsPicturesInNaturalOrderAndTheDropOrderHolds) {
  fill({"first"});
  dlg.m_fileList.SetSel(0, true);
  drop({path("a.png"), QString::fromStdString(folder), path("z.png")});
  drop({path("later.png")});  // dropped while the folder is still being looked through
  waitForAdds();
  Entries want = {"first", dir.file("a.png")};
  for (const std::string& p : pictures()) want.push_back(p);
  want.push_back(dir.file("z.png"));
  want.push_back(dir.file("later.png"));
  EXPECT_EQ(entries(), want);
  EXPECT_EQ(selected(), Entries{"first"});
}

TEST_F(FolderTest, PastedTextAddsOnePathALineAndFoldersTheirPictures) {
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
  QApplication::clipboard()->setText(QStringLiteral("/x/one.png\r\n  file:///x/two%20b.png  \n\nnot a path\n") +
                                     QString::fromStdString(folder + "/") + QStringLiteral("\n"));
  list()->setFocus();
  QTest::keyClick(list(), Qt::Key_V, Qt::ControlModifier);
  waitForAdds();
  Entries want = {"/x/one.png", "/x/two b.png"};
  for (const std::string& p : pictures()) want.push_back(p);
  EXPECT_EQ(entries(), want);
}

TEST_F(FolderTest, AFolderStillBeingLookedThroughWhenTheListIsClearedStaysOut) {
  drop({QString::fromStdString(folder)});
  dialogs.answerMessage(ui::IDYES);
  dlg.OnListDblClk();
  // Scans run one after another, so the first one's answer comes before this.
  drop({QString::fromStdString(folder)});
  waitForAdds();
  QApplication::processEvents();
  EXPECT_EQ(entries(), pictures());
}

}  // namespace
