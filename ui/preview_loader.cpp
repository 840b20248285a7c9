#include "ui/preview_loader.h"

#include <utility>

#include <QGuiApplication>
#include <QScreen>

#include "picture/load_failure.h"
#include "picture/load_picture.h"

namespace ui {
namespace {

// The preview never shows a picture larger than the primary screen: larger
// ones are decoded straight to the size that fits it.
PreviewLoader::LoadFn LoadWithinScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QSize size = screen ? screen->size() * screen->devicePixelRatio() : QSize();
  return [cols = size.width(), rows = size.height()](const std::string& path) {
    return LoadPictureWithin(path.c_str(), cols, rows);
  };
}

}  // namespace

PreviewLoader::PreviewLoader(LoadedFn loaded, QObject* parent)
    : QObject(parent),
      m_loaded(std::move(loaded)),
      m_load(LoadWithinScreen()) {
  m_thread = std::thread([this] { Run(); });
}

PreviewLoader::~PreviewLoader() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quit = true;
    m_waiting.reset();
  }
  m_wake.notify_all();
  m_thread.join();
}

void PreviewLoader::SetLoadFunction(LoadFn load) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_load = std::move(load);
}

void PreviewLoader::Request(const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_waiting = Job{++m_requested, path};
  }
  m_wake.notify_all();
}

void PreviewLoader::Cancel() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_waiting.reset();
  m_answered = m_requested;
}

void PreviewLoader::Run() {
  for (;;) {
    Job job;
    LoadFn load;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait(lock, [this] { return m_quit || m_waiting; });
      if (m_quit) return;
      job = std::move(*m_waiting);
      m_waiting.reset();
      load = m_load;
    }
    auto picture = std::make_shared<std::unique_ptr<Bitmap>>(load(job.path));
    const std::string reason = *picture ? std::string() : LoadFailureReason(job.path.c_str());
    // The picture travels in a shared holder: a call dropped because the
    // loader is gone still frees it.
    QMetaObject::invokeMethod(
        this, [this, job, picture, reason] { Deliver(job.serial, job.path, picture, reason); },
        Qt::QueuedConnection);
  }
}

void PreviewLoader::Deliver(std::uint64_t serial, const std::string& path,
                            const std::shared_ptr<std::unique_ptr<Bitmap>>& picture, const std::string& reason) {
  if (serial != m_requested || m_answered == m_requested) return;  // superseded or forgotten
  m_answered = serial;
  if (m_loaded) m_loaded(path, std::move(*picture), reason);
}

}  // namespace ui
