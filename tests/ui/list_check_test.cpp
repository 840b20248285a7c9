// "Check List…" on the list's menu: the report of the list as it is, shown
// through the seam after a helper thread made it.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/main_dlg.h"

namespace {

struct CheckListCase {
  const char* name;
  const char* fps;
  std::vector<std::string> entries;  // in the scratch folder
  std::string said;                  // in the report; empty: no report
};

class CheckListTest : public testing::TestWithParam<CheckListCase> {
 protected:
  testsupport::ScriptedDialogs dialogs;
  testsupport::TempDir dir;
  ui::CMainDlg dlg;
};

TEST_P(CheckListTest, ShowsTheReportOfTheListAsItIs) {
  const CheckListCase& c = GetParam();
  ASSERT_TRUE(testsupport::WritePngRgb(dir.file("a.png"), 8, 6, testsupport::Gradient(8, 6)));
  for (const std::string& entry : c.entries) dlg.m_fileList.AddString(dir.file(entry));
  static_cast<QLineEdit*>(dlg.control("IDC_FPS"))->setText(QString::fromLatin1(c.fps));
  bool finished = false;
  QObject::connect(&dlg.m_listCheck, &ui::ListCheckCommand::Finished, [&finished] { finished = true; });

  dlg.m_listCommands.Menu()->findChild<QAction*>(QStringLiteral("ID_CHECK_LIST"))->trigger();
  if (c.said.empty()) {
    // A rate the dialog refuses starts no check; its own message says why.
    EXPECT_FALSE(dlg.m_listCheck.Running());
    for (const auto& message : dialogs.messages()) EXPECT_NE(message.caption, "Check List");
    return;
  }
  ASSERT_TRUE(QTest::qWaitFor([&finished] { return finished; }, 30000));
  const auto messages = dialogs.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Check List");
  EXPECT_NE(messages[0].text.find(c.said), std::string::npos) << messages[0].text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckListTest,
    testing::Values(CheckListCase{"AllOpen", "4", {"a.png", "a.png"}, "2 entries: 2 frames, 0:00:00.500 at 4 fps.\n"},
                    CheckListCase{"Missing", "10", {"a.png", "b.png"}, "b.png: not found\n"},
                    CheckListCase{"BadRate", "fast", {"a.png"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
