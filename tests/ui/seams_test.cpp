// The UI-thread helper and the dialog seam, called from workers.
#include <QApplication>
#include <QDir>
#include <QThread>
#include <gtest/gtest.h>
#include <filesystem>
#include <future>
#include <thread>

#include "tests/support/test_support.h"
#include "tests/ui/scripted_dialogs.h"
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

}  // namespace
