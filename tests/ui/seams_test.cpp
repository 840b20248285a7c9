// The UI-thread helper and the dialog seam, called from workers.
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
#include <filesystem>
#include <future>
#include <thread>

#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
#include "ui/dialog_seam.h"
#include "ui/ui_thread.h"

namespace {

// Waits for a worker's future while the UI thread keeps handling events, as
// every wait on a worker must.
template <typename T>
T AwaitProcessingEvents(std::future<T>& future) {
  while (future.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return future.get();
}

TEST(RunOnUiThread, RunsTheCallableOnTheUiThreadAndReturnsItsResult) {
  QThread* uiThread = QThread::currentThread();
  auto future = std::async(std::launch::async, [uiThread] {
    return ui::RunOnUiThread([uiThread] { return QThread::currentThread() == uiThread ? 42 : -1; });
  });
  EXPECT_EQ(AwaitProcessingEvents(future), 42);
  // On the UI thread itself it runs directly.
  EXPECT_EQ(ui::RunOnUiThread([] { return 7; }), 7);
}

TEST(DialogSeam, AWorkersQuestionIsAnsweredOnTheUiThread) {
  testsupport::ScriptedDialogs dialogs;
  dialogs.answerMessage(ui::IDYES);
  auto future = std::async(std::launch::async, [] {
    return ui::MessageBoxFromAnyThread(nullptr, "Go on?", "Question", ui::MB_YESNO);
  });
  EXPECT_EQ(AwaitProcessingEvents(future), ui::IDYES);
  ASSERT_EQ(dialogs.messages().size(), 1u);
  EXPECT_EQ(dialogs.messages()[0].caption, "Question");
}

TEST(DialogSeam, AChosenFileMakesItsFolderCurrent) {
  testsupport::TempDir dir;
  const QString before = QDir::currentPath();
  testsupport::ScriptedDialogs dialogs;
  dialogs.answerFile(dir.file("clip.avi"));
  dialogs.answerFile(std::nullopt);
  ui::FileDialogRequest request;
  request.save = true;
  EXPECT_EQ(ui::FileDialogFromAnyThread(nullptr, request), dir.file("clip.avi"));
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(dir.path()));
  // Cancelling leaves the folder alone.
  QDir::setCurrent(before);
  EXPECT_EQ(ui::FileDialogFromAnyThread(nullptr, request), std::nullopt);
  EXPECT_EQ(QDir::currentPath(), before);
}

TEST(MessageBox, YesNoWithTheSecondDefaultMakesNoWhatEnterPresses) {
  const auto defaultOf = [](unsigned type) {
    const std::unique_ptr<QMessageBox> box = ui::MakeMessageBox(nullptr, "Clear?", "Erase List", type);
    return box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
  };
  EXPECT_EQ(defaultOf(ui::MB_YESNO | ui::MB_DEFBUTTON2), QMessageBox::No);
  EXPECT_EQ(defaultOf(ui::MB_YESNO), QMessageBox::Yes);
}

TEST(FileDialog, ViewAviOpenStartsOnTheNameListsOnlyAvisAndOpensTheFileSelected) {
  testsupport::TempDir dir;
  for (const char* name : {"clip.avi", "LOUD.AVI", "notes.txt", "movie.mp4"})
    testsupport::WriteFileText(dir.file(name), "x");
  const QString before = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(dir.path().string()));
  ui::FileDialogRequest request;  // what View AVI asks
  request.defaultExt = "avi";
  request.initialName = "Save.avi";
  request.filter = "Audio Video Interleaved File (*.avi)|*.avi||";
  const std::unique_ptr<QFileDialog> dialog = ui::MakeFileDialog(nullptr, request);
  QDir::setCurrent(before);
  dialog->show();  // not modal: the test drives it
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
  auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  ASSERT_TRUE(name && view && buttons);
  QPushButton* open = buttons->button(QDialogButtonBox::Open);
  EXPECT_EQ(name->text(), "Save.avi");
  EXPECT_FALSE(open->isEnabled());

  auto rows = [&] { return view->model()->rowCount(view->rootIndex()); };
  ASSERT_TRUE(QTest::qWaitFor([&] { return rows() >= 2; }, 10000));
  QStringList listed;
  for (int row = 0; row < rows(); ++row) {
    const QModelIndex index = view->model()->index(row, 0, view->rootIndex());
    if (view->model()->flags(index) & Qt::ItemIsEnabled) listed << index.data().toString();
  }
  listed.sort();
  EXPECT_EQ(listed, (QStringList{"LOUD.AVI", "clip.avi"}));

  QModelIndex clip;
  for (int row = 0; row < rows(); ++row)
    if (view->model()->index(row, 0, view->rootIndex()).data().toString() == "clip.avi")
      clip = view->model()->index(row, 0, view->rootIndex());
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(clip).center());
  ASSERT_EQ(name->text(), "clip.avi");  // Open on a missing name would ask the user
  EXPECT_TRUE(open->isEnabled());
  QTest::mouseClick(open, Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(dialog->selectedFiles(), QStringList{QString::fromStdString(dir.file("clip.avi"))});
}

}  // namespace
