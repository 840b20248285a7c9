// Running work on the UI thread from a worker, the way a sent window message
// did: the caller waits until the UI thread has run the callable.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <optional>
#include <type_traits>
#include <utility>

namespace ui {

inline bool OnUiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return !app || QThread::currentThread() == app->thread();
}

// Runs f on the UI thread and returns its result. Called on the UI thread, it
// runs f directly. Any thread may call it, provided the UI thread keeps
// processing events while it waits for that caller.
template <typename F>
auto RunOnUiThread(F&& f) -> std::invoke_result_t<F&> {
  using R = std::invoke_result_t<F&>;
  if (OnUiThread()) return f();
  QCoreApplication* app = QCoreApplication::instance();
  if constexpr (std::is_void_v<R>) {
    QMetaObject::invokeMethod(app, [&f] { f(); }, Qt::BlockingQueuedConnection);
  } else {
    std::optional<R> result;
    QMetaObject::invokeMethod(app, [&f, &result] { result.emplace(f()); }, Qt::BlockingQueuedConnection);
    return std::move(*result);
  }
}

}  // namespace ui
