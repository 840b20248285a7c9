// Ordering large sets: natural sorting and the list's menu.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

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
  QAction* action(const char* name) { return dlg.m_listMenu->findChild<QAction*>(QString::fromLatin1(name)); }
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

}  // namespace
