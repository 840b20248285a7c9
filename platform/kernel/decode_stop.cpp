#include "platform/decode_stop.h"

#include <algorithm>
#include <utility>

namespace kernel {
namespace {

thread_local DecodeStopScope* t_innermost = nullptr;

}  // namespace

DecodeStopScope::DecodeStopScope(std::vector<const std::atomic<bool>*> stops)
    : m_stops(std::move(stops)), m_outer(t_innermost) {
  std::erase(m_stops, nullptr);
  t_innermost = this;
}

DecodeStopScope::~DecodeStopScope() { t_innermost = m_outer; }

bool DecodeStopRequested() {
  for (const DecodeStopScope* scope = t_innermost; scope; scope = scope->m_outer)
    if (std::any_of(scope->m_stops.begin(), scope->m_stops.end(),
                    [](const std::atomic<bool>* stop) { return stop->load(std::memory_order_relaxed); }))
      return true;
  return false;
}

}  // namespace kernel
