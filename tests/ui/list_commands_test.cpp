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

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/list_box.h"
#include "ui/list_commands.h"
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

// The list's commands on a bare list, wired as the dialog wires them.
class ListCommandsTest : public testing::Test {
 protected:
  testsupport::ScriptedDialogs dialogs;
  testsupport::TempDir dir;
  QWidget owner;
  ui::FileListWidget widget{&owner};
  ui::CListBox box;
  ui::FileListCommands commands{box, &owner};

  ListCommandsTest() {
    box.attach(&widget);
    widget.onVKeyToItem = [this](int vkey, int) { return commands.OnKey(vkey); };
    widget.onDropFiles = [this](const std::vector<std::string>& paths) { commands.AddFiles(paths); };
    widget.onContextMenu = [this](const QPoint& at) { commands.PopUpMenu(at); };
  }
  ui::FileListWidget* list() { return &widget; }
  void fill(const Entries& entries) {
    for (const std::string& e : entries) box.AddString(e);
  }
  void select(const Entries& names) {
    for (int i = 0; i < box.GetCount(); ++i)
      for (const std::string& n : names)
        if (box.GetText(i) == n) box.SetSel(i, true);
  }
  Entries entries() {
    Entries out;
    for (int i = 0; i < box.GetCount(); ++i) out.push_back(box.GetText(i));
    return out;
  }
  Entries selected() {
    Entries out;
    for (int i = 0; i < box.GetCount(); ++i)
      if (box.GetSel(i) > 0) out.push_back(box.GetText(i));
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
  void waitForAdds() { ASSERT_TRUE(QTest::qWaitFor([this] { return !commands.Adding(); }, 60000)); }
  QAction* action(const char* name) { return commands.Menu()->findChild<QAction*>(QString::fromLatin1(name)); }
  QString path(const std::string& name) { return QString::fromStdString(dir.file(name)); }
};

const Entries kFive = {"ant", "bee", "cat", "dog", "elk"};

struct KeyCase {
  const char* name;
  Entries start;
  Entries selectedBefore;
  Qt::Key key;
  Entries after;
  Entries selectedAfter;
};

class KeyCommandTest : public ListCommandsTest, public testing::WithParamInterface<KeyCase> {};

TEST_P(KeyCommandTest, RearrangesTheSelectedEntries) {
  const KeyCase& c = GetParam();
  fill(c.start);
  select(c.selectedBefore);
  QTest::keyClick(list(), c.key);
  EXPECT_EQ(entries(), c.after);
  EXPECT_EQ(selected(), c.selectedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyCommandTest,
    testing::Values(
        KeyCase{"End", kFive, {"bee", "dog"}, Qt::Key_End, {"ant", "cat", "elk", "dog", "bee"}, {}},
        KeyCase{"Home", kFive, {"bee", "dog"}, Qt::Key_Home, {"dog", "bee", "ant", "cat", "elk"}, {}},
        KeyCase{"Up", kFive, {"bee", "dog"}, Qt::Key_Up, {"bee", "ant", "dog", "cat", "elk"}, {"bee", "dog"}},
        KeyCase{"Down", kFive, {"bee", "dog"}, Qt::Key_Down, {"ant", "cat", "bee", "elk", "dog"}, {"bee", "dog"}},
        KeyCase{"Delete", kFive, {"bee", "dog"}, Qt::Key_Delete, {"ant", "cat", "elk"}, {}},
        KeyCase{"UpPair", {"ant", "bee", "cat"}, {"ant", "bee"}, Qt::Key_Up, {"bee", "ant", "cat"}, {"bee", "ant"}},
        KeyCase{"UpRotatesRunAtTop", kFive, {"ant", "bee", "cat"}, Qt::Key_Up,
                {"bee", "cat", "ant", "dog", "elk"}, {"bee", "cat", "ant"}},
        KeyCase{"DownRotatesRunAtBottom", kFive, {"cat", "dog", "elk"}, Qt::Key_Down,
                {"ant", "bee", "elk", "cat", "dog"}, {"elk", "cat", "dog"}},
        KeyCase{"EndKeepsSelectedLast", kFive, {"bee", "elk"}, Qt::Key_End,
                {"ant", "cat", "dog", "elk", "bee"}, {"elk"}},
        KeyCase{"HomeKeepsSelectedFirst", kFive, {"ant", "dog"}, Qt::Key_Home,
                {"dog", "ant", "bee", "cat", "elk"}, {"ant"}},
        KeyCase{"DeleteNothingSelected", kFive, {}, Qt::Key_Delete, kFive, {}},
        KeyCase{"EndNothingSelected", kFive, {}, Qt::Key_End, kFive, {}},
        KeyCase{"UpNothingSelected", kFive, {}, Qt::Key_Up, kFive, {}}),
    [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST_F(ListCommandsTest, SortKeyOrdersTheListAndTheSelectionFollowsItsEntries) {
  fill({"/p/img10.png", "/p/img2.png", "/p/img1.png", "/p/img3.png"});
  box.SetSel(0, true);  // img10
  box.SetSel(3, true);  // img3
  box.SetCaretIndex(1);  // img2
  QTest::keyClick(list(), Qt::Key_S);
  EXPECT_EQ(entries(), (Entries{"/p/img1.png", "/p/img2.png", "/p/img3.png", "/p/img10.png"}));
  EXPECT_EQ(selected(), (Entries{"/p/img3.png", "/p/img10.png"}));
  EXPECT_EQ(box.GetCurSel(), 1);

  // The whole list is sorted with nothing selected too.
  commands.ClearSelection();
  box.AddString("/p/img0.png");
  QTest::keyClick(list(), Qt::Key_S);
  EXPECT_EQ(entries().front(), "/p/img0.png");
  EXPECT_TRUE(selected().empty());
}

TEST_F(ListCommandsTest, SortFromTheListMenuAndTheMenuOffersWhatTheStateAllows) {
  fill({"/p/b.png", "/p/a.png", "/p/c.png"});
  QApplication::clipboard()->clear();
  QContextMenuEvent nothingSelected(QContextMenuEvent::Mouse, QPoint(5, 5), list()->viewport()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(list()->viewport(), &nothingSelected);
  ASSERT_TRUE(commands.Menu()->isVisible());
  EXPECT_FALSE(action("ID_MOVE_UP")->isEnabled());
  EXPECT_FALSE(action("ID_DELETE")->isEnabled());
  EXPECT_FALSE(action("ID_PASTE")->isEnabled());
  EXPECT_TRUE(action("ID_SORT")->isEnabled());
  commands.Menu()->hide();

  // A right click opens the menu without toggling the entry under it.
  const QPoint onEntry = list()->visualItemRect(list()->item(2)).center();
  QTest::mouseClick(list()->viewport(), Qt::RightButton, Qt::NoModifier, onEntry);
  EXPECT_TRUE(selected().empty());
  box.SetSel(2, true);
  commands.PopUpMenu(QPoint(0, 0));
  EXPECT_TRUE(action("ID_MOVE_UP")->isEnabled());
  action("ID_MOVE_UP")->trigger();
  EXPECT_EQ(entries(), (Entries{"/p/b.png", "/p/c.png", "/p/a.png"}));
  action("ID_SORT")->trigger();
  EXPECT_EQ(entries(), (Entries{"/p/a.png", "/p/b.png", "/p/c.png"}));
  EXPECT_EQ(selected(), Entries{"/p/c.png"});
  commands.Menu()->hide();
}

// An order that reads files runs off the UI thread; while it runs the
// window goes on, and an edit made meanwhile wins over the late result.
struct BackgroundSortCase {
  const char* name;
  bool editMeanwhile;
  Entries after;
};

class BackgroundSortTest : public ListCommandsTest, public testing::WithParamInterface<BackgroundSortCase> {};

TEST_P(BackgroundSortTest, AppliesTheOrderOnlyToTheListItWasWorkedOutFor) {
  fill({"/p/b.png", "/p/a.png", "/p/c.png"});
  box.SetSel(0, true);
  std::atomic<bool> release{false};
  commands.SortInBackground([&release](const std::vector<std::string>&) {
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return std::vector<std::size_t>{1, 0, 2};
  });
  EXPECT_TRUE(commands.Sorting());
  if (GetParam().editMeanwhile) QTest::keyClick(list(), Qt::Key_Delete);
  release = true;
  ASSERT_TRUE(QTest::qWaitFor([this] { return !commands.Sorting(); }, 10000));
  EXPECT_EQ(entries(), GetParam().after);
  if (!GetParam().editMeanwhile) {
    EXPECT_EQ(selected(), Entries{"/p/b.png"});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sorts, BackgroundSortTest,
    testing::Values(BackgroundSortCase{"Applied", false, {"/p/a.png", "/p/b.png", "/p/c.png"}},
                    BackgroundSortCase{"DroppedAfterAnEdit", true, {"/p/a.png", "/p/c.png"}}),
    [](const testing::TestParamInfo<BackgroundSortCase>& info) { return std::string(info.param.name); });

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
  box.SetSel(0, true);
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
  QApplication::clipboard()->setText(QStringLiteral("/x/one.png\r\n  file:///x/two%20b.png  \n\nnot a path\n") +
                                     QString::fromStdString(folder + "/") + QStringLiteral("\n"));
  commands.Paste();
  waitForAdds();
  Entries want = {"/x/one.png", "/x/two b.png"};
  for (const std::string& p : pictures()) want.push_back(p);
  EXPECT_EQ(entries(), want);
}

TEST_F(FolderTest, AFolderStillBeingLookedThroughWhenTheListIsClearedStaysOut) {
  drop({QString::fromStdString(folder)});
  dialogs.answerMessage(ui::IDYES);
  commands.AskToClear();
  // Scans run one after another, so the first one's answer comes before this.
  drop({QString::fromStdString(folder)});
  waitForAdds();
  QApplication::processEvents();
  EXPECT_EQ(entries(), pictures());
}

}  // namespace
