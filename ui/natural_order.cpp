#include "ui/natural_order.h"

#include <QString>
#include <algorithm>
#include <numeric>

namespace ui {
namespace {

bool IsDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

qsizetype DigitRunEnd(const QString& s, qsizetype i) {
  while (i < s.size() && IsDigit(s[i])) ++i;
  return i;
}

// a and b are case-folded. Digit runs compare by value without ever being
// converted, so a run of any length is fine; "007" and "7" tie here.
int CompareNatural(const QString& a, const QString& b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      const qsizetype endA = DigitRunEnd(a, i), endB = DigitRunEnd(b, j);
      while (i < endA - 1 && a[i] == QLatin1Char('0')) ++i;
      while (j < endB - 1 && b[j] == QLatin1Char('0')) ++j;
      if (endA - i != endB - j) return endA - i < endB - j ? -1 : 1;
      for (; i < endA; ++i, ++j)
        if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
    ++i;
    ++j;
  }
  const qsizetype restA = a.size() - i, restB = b.size() - j;
  return restA == restB ? 0 : (restA < restB ? -1 : 1);
}

struct Key {
  QString name;  // case-folded file name
  QString path;  // case-folded whole path
};

Key KeyOf(const std::string& path) {
  const QString text = QString::fromUtf8(path.data(), qsizetype(path.size()));
  const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
  return {text.mid(slash + 1).toCaseFolded(), text.toCaseFolded()};
}

}  // namespace

std::vector<std::size_t> NaturalOrder(const std::vector<std::string>& paths) {
  std::vector<Key> keys;
  keys.reserve(paths.size());
  for (const std::string& path : paths) keys.push_back(KeyOf(path));
  std::vector<std::size_t> order(paths.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
    if (const int byName = CompareNatural(keys[x].name, keys[y].name)) return byName < 0;
    if (const int byPath = CompareNatural(keys[x].path, keys[y].path)) return byPath < 0;
    return paths[x] < paths[y];
  });
  return order;
}

std::vector<std::string> SortedNaturally(std::vector<std::string> paths) {
  std::vector<std::string> sorted;
  sorted.reserve(paths.size());
  for (std::size_t i : NaturalOrder(paths)) sorted.push_back(std::move(paths[i]));
  return sorted;
}

}  // namespace ui
