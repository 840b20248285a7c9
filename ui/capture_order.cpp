#include "ui/capture_order.h"

#include <algorithm>
#include <tuple>

#include "platform/picture_probe.h"
#include "ui/natural_order.h"

namespace ui {

std::vector<std::size_t> CaptureOrder(const std::vector<std::string>& paths) {
  // Ties (a burst within one second without sub-seconds, copies of one
  // file) keep the natural order of their names.
  const std::vector<std::size_t> natural = NaturalOrder(paths);
  std::vector<std::size_t> rank(paths.size());
  for (std::size_t i = 0; i < natural.size(); ++i) rank[natural[i]] = i;
  std::vector<std::string> times;
  for (const std::string& path : paths) times.push_back(PictureCaptureTime(path.c_str()));
  std::vector<std::size_t> order(paths.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return std::tie(times[a], rank[a]) < std::tie(times[b], rank[b]); });
  return order;
}

}  // namespace ui
