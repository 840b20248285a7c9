// Stop requests that reach a picture decode in progress. A decode of a
// hostile file (thousands of progressive scans, a huge compressed picture)
// can take many seconds; the job that asked for it must not wait that long
// to stop. The decoders poll DecodeStopRequested() between rows or scans and
// give up, as on corrupt data, once it is true.
#pragma once

#include <atomic>
#include <initializer_list>
#include <vector>

namespace kernel {

// While it lives, decodes on the thread that made it stop once any of its
// flags is set. Scopes nest: the flags of every scope on the thread count.
// Lives on one thread; the flags may be set from any thread or a signal
// handler (lock-free atomics).
class DecodeStopScope {
 public:
  explicit DecodeStopScope(const std::atomic<bool>& stop) : DecodeStopScope({&stop}) {}
  explicit DecodeStopScope(std::vector<const std::atomic<bool>*> stops);
  DecodeStopScope(std::initializer_list<const std::atomic<bool>*> stops)
      : DecodeStopScope(std::vector<const std::atomic<bool>*>(stops)) {}
  ~DecodeStopScope();
  DecodeStopScope(const DecodeStopScope&) = delete;
  DecodeStopScope& operator=(const DecodeStopScope&) = delete;

 private:
  friend bool DecodeStopRequested();
  std::vector<const std::atomic<bool>*> m_stops;
  DecodeStopScope* m_outer;
};

// Whether a scope on the calling thread has been told to stop. Cheap
// enough to call for every row.
[[nodiscard]] bool DecodeStopRequested();

}  // namespace kernel
