// The main dialog and its file list, driven offscreen.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/capture_order.h"
#include "ui/dialog_template.h"
#include "ui/main_dlg.h"
#include "ui/quit_guard.h"
#include "ui/video_surface.h"

namespace {

using testsupport::ScriptedDialogs;
using Entries = std::vector<std::string>;

class MainDlgTest : public testing::Test {
 public:
  ScriptedDialogs dialogs;
  ui::CMainDlg dlg;

  QLineEdit* edit(const char* id) { return static_cast<QLineEdit*>(dlg.control(id)); }
  ui::FileListWidget* list() { return dlg.m_fileList.widget(); }

  void fill(const Entries& entries) {
    for (const std::string& e : entries) dlg.m_fileList.AddString(e);
  }
  void select(const Entries& names) {
    for (int i = 0; i < dlg.m_fileList.GetCount(); ++i)
      for (const std::string& n : names)
        if (dlg.m_fileList.GetText(i) == n) dlg.m_fileList.SetSel(i, true);
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
  static QMimeData* filesMime(const QStringList& paths) {
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    mime->setUrls(urls);
    return mime;
  }
};

TEST_F(MainDlgTest, OpensWithTheDefaultSettingsAndTheListShowing) {
  EXPECT_EQ(dlg.windowTitle(), "Stillweaver");
  EXPECT_EQ(edit("IDC_COLS")->text(), "1280");
  EXPECT_EQ(edit("IDC_ROWS")->text(), "1024");
  EXPECT_EQ(edit("IDC_FPS")->text(), "10");
  EXPECT_FALSE(static_cast<QCheckBox*>(dlg.control("IDC_CLIP"))->isChecked());
  EXPECT_FALSE(static_cast<QCheckBox*>(dlg.control("IDC_WRITE_FILES"))->isChecked());
  EXPECT_EQ(dlg.m_fileList.GetCount(), 0);
  EXPECT_TRUE(dlg.m_display->isHidden());
  EXPECT_TRUE(dlg.m_slider->isHidden());
  EXPECT_FALSE(list()->isHidden());
  EXPECT_EQ(dlg.m_playback.Values().m_playFps, 1);
  EXPECT_EQ(dlg.m_playback.Values().m_direction, 1);
  EXPECT_EQ(dlg.m_playback.Values().m_playing, 0);
  EXPECT_FALSE(dlg.m_hIcon.isNull());
  EXPECT_EQ(dlg.m_hIcon.availableSizes().size(), 3);

  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
  EXPECT_EQ(QApplication::focusWidget(), dlg.m_viewButton);
  EXPECT_EQ(list()->horizontalScrollBar()->maximum() + list()->viewport()->width(), 4096);
}

TEST_F(MainDlgTest, ControlsFollowTheTemplateInOrderPlaceAndCaption) {
  const QList<QWidget*> children = dlg.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  const ui::DialogBaseUnits units = ui::BaseUnitsOf(dlg.font());
  std::vector<QWidget*> focusable;
  size_t i = 0;
  for (QWidget* child : children) {
    if (i == ui::kMainDialogControls.size()) break;
    const ui::ControlTemplate& t = ui::kMainDialogControls[i++];
    EXPECT_EQ(child->objectName().toStdString(), t.name);
    EXPECT_EQ(child->geometry(), ui::DluToPixels(units, t.dlu)) << t.name;
    if (auto* button = qobject_cast<QAbstractButton*>(child)) {
      EXPECT_EQ(button->text().toStdString(), t.caption);
    }
    if (auto* label = qobject_cast<QLabel*>(child)) {
      EXPECT_EQ(label->text().toStdString(), t.caption);
    }
    if (child->focusPolicy() & Qt::TabFocus) focusable.push_back(child);
  }
  EXPECT_EQ(i, 21u);
  // Tab order is template order.
  for (size_t k = 0; k + 1 < focusable.size(); ++k) {
    QWidget* next = focusable[k]->nextInFocusChain();
    while (next && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    EXPECT_EQ(next, focusable[k + 1]) << focusable[k]->objectName().toStdString();
  }
}

struct ExchangeCase {
  const char* rows;
  const char* cols;
  const char* fps;
  const char* message;       // null: the exchange succeeds
  const char* focusedBox;
  int wantRows, wantCols;
  unsigned wantFps;
};

class DataExchangeTest : public MainDlgTest, public testing::WithParamInterface<ExchangeCase> {};

TEST_P(DataExchangeTest, ReadsTheBoxesInOrderAndStopsAtTheFirstBadOne) {
  const ExchangeCase& c = GetParam();
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
  edit("IDC_ROWS")->setText(c.rows);
  edit("IDC_COLS")->setText(c.cols);
  edit("IDC_FPS")->setText(c.fps);

  const bool ok = dlg.UpdateData(true);

  EXPECT_EQ(ok, c.message == nullptr);
  const auto messages = dialogs.messages();
  if (c.message) {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, c.message);
    QLineEdit* box = edit(c.focusedBox);
    EXPECT_EQ(QApplication::focusWidget(), box);
    EXPECT_EQ(box->selectedText(), box->text());
  } else {
    EXPECT_TRUE(messages.empty());
  }
  EXPECT_EQ(dlg.m_rows, c.wantRows);
  EXPECT_EQ(dlg.m_cols, c.wantCols);
  EXPECT_EQ(dlg.m_fps, c.wantFps);
  // A read never rewrites what the user typed.
  EXPECT_EQ(edit("IDC_COLS")->text(), c.cols);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, DataExchangeTest,
    testing::Values(
        ExchangeCase{"768", "abc", "10", "Please enter an integer.", "IDC_COLS", 768, 1280, 10},
        ExchangeCase{"1024", "12abc", "10", nullptr, nullptr, 1024, 12, 10},
        ExchangeCase{" 480", "-640", "0", "Please enter a positive number.", "IDC_FPS", 480, -640, 10},
        ExchangeCase{"480", "640", "29.97", nullptr, nullptr, 480, 640, 30000},
        ExchangeCase{"+7", "0", "25 fps", nullptr, nullptr, 7, 0, 25},
        ExchangeCase{"", "800", "10", "Please enter an integer.", "IDC_ROWS", 1024, 1280, 10},
        ExchangeCase{"600", "800", "fast", "Please enter a positive number.", "IDC_FPS", 600, 800, 10},
        // A negative rate would wrap to four billion frames per second.
        ExchangeCase{"600", "800", "-5", "Please enter a positive number.", "IDC_FPS", 600, 800, 10},
        ExchangeCase{"99999999999", "800", "10", "Please enter an integer.", "IDC_ROWS", 1024, 1280, 10}));

const Entries kFive = {"ant", "bee", "cat", "dog", "elk"};

TEST_F(MainDlgTest, DroppedFilesGoToTheEndInOrderAndChangeNothingElse) {
  fill({"first"});
  select({"first"});
  const int caret = dlg.m_fileList.GetCurSel();
  std::unique_ptr<QMimeData> mime(filesMime({"/pics/a.jpg", "/pics/b.tif", "/pics/a.jpg"}));
  // Qt delivers a drop to the widget that accepted the drag's entry.
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list()->viewport(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list()->viewport(), &drop);

  EXPECT_EQ(entries(), (Entries{"first", "/pics/a.jpg", "/pics/b.tif", "/pics/a.jpg"}));
  EXPECT_EQ(selected(), Entries{"first"});
  EXPECT_EQ(dlg.m_fileList.GetCurSel(), caret);
}

TEST_F(MainDlgTest, CtrlVPastesFilesWhereverTheFocusIsAndNeverTypesText) {
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
  for (const char* target : {"IDC_COLS", "IDC_FILE_LIST", "IDC_MAKE_AVI"}) {
    dlg.m_fileList.ResetContent();
    QApplication::clipboard()->setMimeData(filesMime({"/x/one.png", "/x/two.png"}));
    QWidget* widget = dlg.control(target);
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(entries(), (Entries{"/x/one.png", "/x/two.png"})) << target;
  }
  EXPECT_EQ(edit("IDC_COLS")->text(), "1280");

  // Text on the clipboard: nothing is added, and still nothing is typed.
  dlg.m_fileList.ResetContent();
  QApplication::clipboard()->setText(QStringLiteral("pasted"));
  edit("IDC_ROWS")->setFocus();
  QTest::keyClick(edit("IDC_ROWS"), Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(entries().empty());
  EXPECT_EQ(edit("IDC_ROWS")->text(), "1024");
}

TEST_F(MainDlgTest, DoubleClickAsksBeforeClearing) {
  fill(kFive);
  dialogs.answerMessage(ui::IDNO);
  dlg.OnListDblClk();
  EXPECT_EQ(entries(), kFive);
  dialogs.answerMessage(ui::IDYES);
  QTest::mouseDClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_TRUE(entries().empty());
  const auto asked = dialogs.messages();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].text, "Clear?");
  EXPECT_EQ(asked[1].caption, "Erase List");
  EXPECT_EQ(asked[1].type, ui::MB_YESNO | ui::MB_DEFBUTTON2);
}

TEST_F(MainDlgTest, ClearSelectionDeselectsEverything) {
  dlg.OnClearSel();  // empty list: nothing to do
  fill(kFive);
  select({"ant", "cat", "elk"});
  QTest::mouseClick(static_cast<QPushButton*>(dlg.control("IDC_CLEAR_SEL")), Qt::LeftButton);
  EXPECT_TRUE(selected().empty());
  EXPECT_EQ(entries(), kFive);
}

TEST_F(MainDlgTest, OkWithABadBoxKeepsTheListAndTheDialog) {
  fill(kFive);
  dlg.show();
  edit("IDC_FPS")->setText("x");
  QTest::keyClick(edit("IDC_ROWS"), Qt::Key_Return);
  EXPECT_EQ(entries(), kFive);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(dialogs.messages().size(), 1u);

  edit("IDC_FPS")->setText("12");
  dialogs.answerMessage(ui::IDYES);  // Quit, losing the list
  QTest::keyClick(edit("IDC_ROWS"), Qt::Key_Return);
  EXPECT_TRUE(entries().empty());
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.m_fps, 12u);
  EXPECT_EQ(dialogs.messages().size(), 2u);
}

TEST_F(MainDlgTest, EscapeEmptiesTheListWithoutReadingTheBoxes) {
  fill(kFive);
  dlg.show();
  edit("IDC_COLS")->setText("abc");
  dialogs.answerMessage(ui::IDYES);
  QTest::keyClick(&dlg, Qt::Key_Escape);
  EXPECT_TRUE(entries().empty());
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  ASSERT_EQ(dialogs.messages().size(), 1u);
  EXPECT_EQ(dialogs.messages()[0].text, "Quit Stillweaver? The list of 5 entries will be lost.");
}

// Every way out asks before the list is lost, No being the default; with
// nothing to lose the dialog ends at once.
struct QuitCase {
  const char* name;
  int entries;
  std::function<void(MainDlgTest&)> quit;
  int answer;
  bool asked;
  bool ended;
};
void PrintTo(const QuitCase& c, std::ostream* os) { *os << c.name; }

class QuitTest : public MainDlgTest, public testing::WithParamInterface<QuitCase> {};

TEST_P(QuitTest, AsksWhenEntriesWouldBeLost) {
  const QuitCase& c = GetParam();
  for (int i = 0; i < c.entries; ++i) dlg.m_fileList.AddString("/pictures/" + std::to_string(i) + ".png");
  dlg.show();
  dialogs.answerMessage(c.answer);
  c.quit(*this);
  const auto asked = dialogs.messages();
  ASSERT_EQ(asked.size(), c.asked ? 1u : 0u);
  if (c.asked) {
    EXPECT_EQ(asked[0].text, "Quit Stillweaver? The list of " + std::to_string(c.entries) + " entries will be lost.");
    EXPECT_EQ(asked[0].type, ui::MB_YESNO | ui::MB_DEFBUTTON2);
  }
  EXPECT_EQ(dlg.isVisible(), !c.ended);
  EXPECT_EQ(dlg.m_fileList.GetCount(), c.ended ? 0 : c.entries);
}

const auto kEscape = [](MainDlgTest& t) { QTest::keyClick(&t.dlg, Qt::Key_Escape); };
const auto kEnterInFps = [](MainDlgTest& t) { QTest::keyClick(t.edit("IDC_FPS"), Qt::Key_Return); };
const auto kEnterOnEntry = [](MainDlgTest& t) { QTest::keyClick(t.list(), Qt::Key_Return); };
const auto kCloseBox = [](MainDlgTest& t) { t.dlg.close(); };

INSTANTIATE_TEST_SUITE_P(
    Ways, QuitTest,
    testing::Values(QuitCase{"EscapeAnsweredNo", 3, kEscape, ui::IDNO, true, false},
                    QuitCase{"EnterInTheFpsBoxAnsweredNo", 3, kEnterInFps, ui::IDNO, true, false},
                    QuitCase{"EnterOnAnEntryAnsweredNo", 3, kEnterOnEntry, ui::IDNO, true, false},
                    QuitCase{"CloseBoxAnsweredNo", 3, kCloseBox, ui::IDNO, true, false},
                    QuitCase{"CloseBoxAnsweredYes", 3, kCloseBox, ui::IDYES, true, true},
                    QuitCase{"EscapeWithAnEmptyList", 0, kEscape, ui::IDNO, false, true},
                    QuitCase{"EnterWithAnEmptyList", 0, kEnterInFps, ui::IDNO, false, true}),
    [](const testing::TestParamInfo<QuitCase>& p) { return std::string(p.param.name); });

TEST(QuitQuestion, NamesTheRunningJobs) {
  EXPECT_EQ(ui::QuitQuestion(2, {"a.avi", "b.avi"}),
            "Quit Stillweaver? The list of 2 entries will be lost.\n\nRunning jobs stop after their current frame, "
            "with their files finished:\na.avi\nb.avi");
  EXPECT_EQ(ui::QuitQuestion(0, {"a.avi"}),
            "Quit Stillweaver?\n\nRunning jobs stop after their current frame, with their files finished:\na.avi");
  EXPECT_EQ(ui::QuitQuestion(0, {}), "");
}

TEST_F(MainDlgTest, ResizingGrowsTheListAndTheDisplayOnly) {
  dlg.show();
  const QSize list0 = list()->size();
  const QSize slider0 = dlg.m_slider->size();
  dlg.resize(dlg.size() + QSize(100, 50));
  EXPECT_EQ(list()->size(), QSize(dlg.width() - 22, dlg.height() - 110));
  EXPECT_EQ(dlg.m_display->size(), list()->size());
  EXPECT_EQ(list()->size(), list0 + QSize(100, 50));
  EXPECT_EQ(dlg.m_slider->size(), slider0);
}

// These two run again on a 1000-pixel-high screen at a scale factor of 2
// (ui_tests_scaled), where the template is taller than the screen.
TEST_F(MainDlgTest, MinimumSizeIsTheTemplatesWithinTheScreenAndTheFirstSizeFits) {
  const ui::DialogBaseUnits units = ui::BaseUnitsOf(dlg.font());
  const QSize templateSize(ui::DluToPixelsX(units, ui::kMainDialog.widthDlu),
                           ui::DluToPixelsY(units, ui::kMainDialog.heightDlu));
  const QRect available = dlg.screen()->availableGeometry();
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  EXPECT_TRUE(available.contains(dlg.frameGeometry()))
      << dlg.frameGeometry().height() << " high on a screen of " << available.height();
  if (templateSize.height() + 100 < available.height()) {
    EXPECT_EQ(dlg.minimumSize(), templateSize);
    EXPECT_EQ(dlg.size(), templateSize);
  } else {
    EXPECT_EQ(dlg.minimumSize().width(), templateSize.width());
    EXPECT_LT(dlg.minimumSize().height(), available.height());
  }
}

TEST_F(MainDlgTest, MinimumSizeKeepsEveryFixedControlWhole) {
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  dlg.resize(1, 1);
  EXPECT_EQ(dlg.size(), dlg.minimumSize());
  for (QWidget* child : dlg.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    // The list and the display follow the window's size.
    if (child->isWindow() || child == list() || child == dlg.m_display) continue;
    EXPECT_TRUE(dlg.rect().contains(child->geometry())) << child->objectName().toStdString();
  }
}

}  // namespace

namespace {

TEST_F(MainDlgTest, FitAndClipExcludeEachOtherAndTheListMenuSetsSizeAndGreyRange) {
  auto* clip = static_cast<QCheckBox*>(dlg.control("IDC_CLIP"));
  auto* fit = static_cast<QCheckBox*>(dlg.control("IDC_FIT"));
  EXPECT_FALSE(fit->isChecked());
  clip->click();
  fit->click();
  EXPECT_FALSE(clip->isChecked());
  ASSERT_TRUE(dlg.UpdateData(true));
  EXPECT_EQ(std::pair(dlg.m_clip, dlg.m_fit), std::pair(0, 1));
  clip->click();
  EXPECT_FALSE(fit->isChecked());

  testsupport::TempDir dir;
  ASSERT_TRUE(testsupport::WritePngRgb(dir.file("wide.png"), 40, 30, testsupport::Solid({1, 2, 3})));
  fill({dir.file("wide.png")});
  select({dir.file("wide.png")});
  auto action = [&](const char* name) { return dlg.m_listCommands.Menu()->findChild<QAction*>(QString::fromLatin1(name)); };
  action("ID_USE_ITS_SIZE")->trigger();
  EXPECT_EQ(edit("IDC_COLS")->text(), "40");
  EXPECT_EQ(edit("IDC_ROWS")->text(), "30");
  EXPECT_TRUE(dialogs.messages().empty());

  EXPECT_EQ(dlg.m_greyRange, (GreyRange{0, 1023}));
  action("ID_GREY_16")->trigger();
  EXPECT_EQ(dlg.m_greyRange, (GreyRange{0, 65535}));
  action("ID_GREY_AUTO")->trigger();
  EXPECT_TRUE(dlg.m_greyAuto);
}

}  // namespace

namespace {

// Camera time first, sub-seconds counting; a file without one by its
// modification time; equal times by name.
TEST(CaptureOrder, SortsByTheTimePicturesWereTakenThenByName) {
  if (testsupport::RunCommand("command -v exiftool >/dev/null").exitCode != 0) GTEST_SKIP() << "exiftool not installed";
  testsupport::TempDir dir;
  const struct {
    const char* name;
    const char* tags;  // exiftool arguments; empty: none, modification time 2010
  } files[] = {{"img10.jpg", "-DateTimeOriginal='2020:01:01 10:00:00' -SubSecTimeOriginal=5"},
               {"img9.jpg", "-DateTimeOriginal='2020:01:01 10:00:00' -SubSecTimeOriginal=25"},
               {"img2.jpg", "-DateTimeOriginal='2019:12:31 23:59:59'"},
               {"img1.jpg", "-DateTimeOriginal='2019:12:31 23:59:59'"},
               {"scan.png", ""}};
  std::vector<std::string> paths;
  for (const auto& f : files) {
    const std::string path = dir.file(f.name);
    paths.push_back(path);
    if (*f.tags) {
      ASSERT_TRUE(testsupport::WriteJpeg(path, 8, 8, testsupport::Solid({1, 2, 3})));
      ASSERT_EQ(testsupport::RunCommand("exiftool -q -q -overwrite_original " + std::string(f.tags) + " " +
                                        testsupport::ShellQuote(path)).exitCode, 0);
    } else {
      ASSERT_TRUE(testsupport::WritePngRgb(path, 8, 8, testsupport::Solid({1, 2, 3})));
      ASSERT_EQ(testsupport::RunCommand("touch -d '2010-06-01 12:00' " + testsupport::ShellQuote(path)).exitCode, 0);
    }
  }
  EXPECT_EQ(ui::CaptureOrder(paths), (std::vector<std::size_t>{4, 3, 2, 1, 0}));
}

}  // namespace
