// Plays an AVI through the playback loop at FPS 0 with a host that draws
// into memory, and prints frames per second:
//   view_avi_bench forward|backward|export FILE.avi
// forward: frames 0 .. last; backward: last .. 0; export: forward with
// WriteFiles on (JPEGs land in the current folder).
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "avi_view/playback_loop.h"

namespace {

using Clock = std::chrono::steady_clock;

class MemoryHost final : public avi_view::PlaybackHost {
 public:
  MemoryHost(std::string file, bool backward) : m_file(std::move(file)), m_backward(backward) {}

  avi_view::PlaybackState& State() override { return m_state; }
  std::optional<std::string> ChooseFile() override { return m_file; }
  void Message(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  void SetDialogCaption(const std::string&) override {}
  // The user sets FPS 0 as the playback starts.
  void SetBoxes(const std::string&, const std::string&, const std::string&) override {
    avi_view::FpsChange(m_state, "0");
  }
  void ShowPlayer(bool) override {}
  void SetSliderRange(std::int32_t, std::int32_t) override {}
  void SetSliderPos(std::int32_t) override {}
  void ShowPosition(std::int32_t index, std::int32_t, const std::string&) override { m_index = index; }
  void SetViewCaption(const std::string&) override {}
  void DrawFrame(const BITMAPINFOHEADER& header, const std::uint8_t* pixels, std::int32_t, std::int32_t) override {
    // What the dialog's surface takes: a copy of the frame.
    m_canvas.assign(pixels, pixels + header.biSizeImage);
    const std::int32_t index = m_index;
    const std::int32_t last = m_state.Values().m_frameCount - 1;
    ++m_draws;
    if (!m_backward) {
      if (index == 0 && m_draws == 1) m_start = Clock::now();
      if (index == last) Finish(last + 1);
    } else {
      // Backward from 0 wraps to the last frame and pauses; play from there.
      if (index == last && m_draws == 2) {
        m_start = Clock::now();
        avi_view::PlayPause(m_state);
      }
      if (index == 0 && m_draws > 2) Finish(last + 1);
    }
  }

  void Run() {
    if (m_backward) avi_view::Direction(m_state);
    const std::uint64_t generation = m_state.NewPlayback();
    // The file is chosen without asking, so the loop cannot be cancelled.
    std::thread loop([&] { (void)avi_view::ViewAviJob(*this, generation); });
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_done.wait(lock, [&] { return m_frames > 0; });
    }
    avi_view::CloseView(m_state);
    loop.join();
    const double seconds = std::chrono::duration<double>(m_end - m_start).count();
    std::printf("%d frames %.3f s %.1f fps\n", m_frames, seconds, m_frames / seconds);
  }
  avi_view::PlaybackState& state() { return m_state; }

 private:
  void Finish(int frames) {
    m_end = Clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames = frames;
    m_done.notify_all();
  }

  std::string m_file;
  bool m_backward;
  avi_view::PlaybackState m_state;
  std::vector<std::uint8_t> m_canvas;
  int m_draws = 0;
  std::int32_t m_index = 0;
  Clock::time_point m_start, m_end;
  std::mutex m_mutex;
  std::condition_variable m_done;
  int m_frames = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: view_avi_bench forward|backward|export FILE.avi\n");
    return 2;
  }
  const std::string mode = argv[1];
  MemoryHost host(argv[2], mode == "backward");
  if (mode == "export") avi_view::WriteFiles(host.state(), true);
  host.Run();
  return 0;
}
