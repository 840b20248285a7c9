// Loads the preview's pictures on a thread of its own, so a picture that
// takes long to decode never freezes the window. Only the newest request
// counts: one made while another loads replaces any still waiting, and a
// load that finishes after a newer request is dropped. UI thread only,
// except where a member says.
#pragma once

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/gdiplus.h"

namespace ui {

class PreviewLoader : public QObject {
  Q_OBJECT

 public:
  // Runs on the loader's thread: the picture, or null when it cannot be had.
  using LoadFn = std::function<std::unique_ptr<Bitmap>(const std::string& path)>;
  // Told on the UI thread about the newest request's picture; reason (from
  // LoadFailureReason) when it is null.
  using LoadedFn =
      std::function<void(const std::string& path, std::unique_ptr<Bitmap> picture, const std::string& reason)>;

  PreviewLoader(LoadedFn loaded, QObject* parent = nullptr);
  // Waits for a load in progress; its picture is dropped.
  ~PreviewLoader() override;

  void Request(const std::string& path);
  // Forgets the requests made so far: nothing more is told.
  void Cancel();
  // Whether the newest request has not been answered yet.
  bool Busy() const { return m_requested != m_answered; }
  // Another way to load (tests).
  void SetLoadFunction(LoadFn load);

 private:
  struct Job {
    std::uint64_t serial;
    std::string path;
  };
  void Run();  // the loader's thread
  void Deliver(std::uint64_t serial, const std::string& path, const std::shared_ptr<std::unique_ptr<Bitmap>>& picture,
               const std::string& reason);

  LoadedFn m_loaded;
  LoadFn m_load;
  std::uint64_t m_requested = 0;  // UI thread: the newest request's serial
  std::uint64_t m_answered = 0;   // UI thread: the newest one answered or forgotten

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::optional<Job> m_waiting;  // the newest request not yet taken
  bool m_quit = false;
  std::thread m_thread;  // last: started once the members it uses exist
};

}  // namespace ui
