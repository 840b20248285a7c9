#include "avi_build/list_check.h"

#include <sys/stat.h>

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

#include "picture/load_failure.h"
#include "platform/picture_probe.h"

namespace avi_build {
namespace {

struct Entry {
  std::string reason;  // empty when the entry will open
  std::int64_t width = 0, height = 0;
  int bits = 0;
  int orientation = 1;
};

// Whether the picture loader will take the file, from its header alone,
// and when not, the reason the job gives when it fails to open it.
Entry Look(const std::string& path, std::optional<std::pair<dev_t, ino_t>>* identity) {
  Entry entry;
  struct stat info;
  if (stat(path.c_str(), &info) == 0) *identity = std::pair{info.st_dev, info.st_ino};
  PictureProbe probe;
  if (!ProbePictureFile(path.c_str(), &probe) || probe.pixelBytes == 0) {
    entry.reason = LoadFailureReason(path.c_str());
    return entry;
  }
  entry.width = probe.UprightWidth(), entry.height = probe.UprightHeight(), entry.bits = probe.fileBits;
  entry.orientation = probe.orientation;
  return entry;
}

void Append(std::string& text, const char* format, auto... values) {
  char line[4096];
  std::snprintf(line, sizeof line, format, values...);
  text += line;
}

// Lists the entries whose value differs from the most common one (the first
// seen of equally common ones), under "TITLE: N of M are VALUE; others:".
template <typename Value>
void Different(std::string& text, const char* title, const std::vector<std::string>& paths,
               const std::vector<std::optional<Value>>& values, std::string (*show)(const Value&)) {
  std::map<Value, int> counts;
  std::vector<Value> order;
  int opened = 0;
  for (const auto& value : values) {
    if (!value) continue;
    ++opened;
    if (counts[*value]++ == 0) order.push_back(*value);
  }
  if (order.size() < 2) return;
  Value common = order[0];
  for (const Value& value : order)
    if (counts[value] > counts[common]) common = value;
  Append(text, "%s: %d of %d are %s; others:\n", title, counts[common], opened, show(common).c_str());
  for (std::size_t i = 0; i < values.size(); ++i)
    if (values[i] && *values[i] != common) Append(text, "  %s: %s\n", paths[i].c_str(), show(*values[i]).c_str());
}

std::string ShowSize(const std::pair<std::int64_t, std::int64_t>& size) {
  return std::to_string(size.first) + "x" + std::to_string(size.second);
}
std::string ShowBits(const int& bits) { return std::to_string(bits) + "-bit"; }
// The tag's value and how it has the picture seen.
std::string ShowOrientation(const int& orientation) {
  static const char* const kSeen[] = {"as stored",
                                      "mirrored left to right",
                                      "turned 180°",
                                      "mirrored top to bottom",
                                      "mirrored left to right, turned 90° counter-clockwise",
                                      "turned 90° clockwise",
                                      "mirrored left to right, turned 90° clockwise",
                                      "turned 90° counter-clockwise"};
  const bool known = orientation >= 1 && orientation <= 8;
  return std::to_string(orientation) + " (" + (known ? kSeen[orientation - 1] : "as stored") + ")";
}

// A file name as the text before and after its last run of digits, and that
// number; nothing when the name holds no digits.
struct Numbered {
  std::string before, after;
  std::uint64_t number = 0;
};
std::optional<Numbered> NumberIn(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t end = path.size();
  while (end > nameStart && !std::isdigit(static_cast<unsigned char>(path[end - 1]))) --end;
  std::size_t begin = end;
  while (begin > nameStart && std::isdigit(static_cast<unsigned char>(path[begin - 1]))) --begin;
  // Eighteen digits keep the number and its differences within 64 bits.
  if (begin == end || end - begin > 18) return std::nullopt;
  return Numbered{path.substr(0, begin), path.substr(end), std::stoull(path.substr(begin, end - begin))};
}

std::string RunningTime(int frames, std::uint32_t fps) {
  const std::int64_t ms = fps ? (std::int64_t{frames} * 1000 + fps / 2) / fps : 0;
  char text[64];
  std::snprintf(text, sizeof text, "%" PRId64 ":%02d:%02d.%03d", ms / 3600000, int(ms / 60000 % 60), int(ms / 1000 % 60),
                int(ms % 1000));
  return text;
}

}  // namespace

ListCheck CheckList(const std::vector<std::string>& entries, std::uint32_t fps, const CheckProgress& progress) {
  ListCheck check;
  std::vector<std::string> looked;
  std::vector<Entry> found;
  std::vector<std::optional<std::pair<dev_t, ino_t>>> identities;
  for (std::size_t n = 0; n < entries.size(); ++n) {
    if (progress && !progress(int(n), int(entries.size()))) {
      check.stopped = true;
      break;
    }
    looked.push_back(entries[n]);
    identities.emplace_back();
    found.push_back(Look(entries[n], &identities.back()));
  }
  check.entries = int(looked.size());

  std::string& text = check.text;
  std::vector<std::optional<std::pair<std::int64_t, std::int64_t>>> sizes(looked.size());
  std::vector<std::optional<int>> bits(looked.size()), orientations(looked.size());
  for (std::size_t i = 0; i < looked.size(); ++i) {
    if (!found[i].reason.empty()) {
      if (check.unopened++ == 0) text += "Will not open:\n";
      Append(text, "  %s: %s\n", looked[i].c_str(), found[i].reason.c_str());
      continue;
    }
    ++check.frames;
    sizes[i] = std::pair{found[i].width, found[i].height};
    bits[i] = found[i].bits;
    orientations[i] = found[i].orientation;
  }
  Different(text, "Sizes", looked, sizes, ShowSize);
  Different(text, "Bit depths", looked, bits, ShowBits);
  // Sizes compare upright, so a portrait photo among landscape ones shows
  // here, by its tag, and not as a size apart.
  Different(text, "Orientations", looked, orientations, ShowOrientation);

  // The same file by its identity when it exists (two spellings of one
  // path), by its text when it does not.
  std::map<std::pair<dev_t, ino_t>, std::size_t> seenFiles;
  std::map<std::string, std::size_t> seenTexts;
  bool twice = false;
  for (std::size_t i = 0; i < looked.size(); ++i) {
    const std::size_t first =
        identities[i] ? seenFiles.emplace(*identities[i], i).first->second : seenTexts.emplace(looked[i], i).first->second;
    if (first == i) continue;
    if (!std::exchange(twice, true)) text += "Listed twice:\n";
    Append(text, "  %s (entries %zu and %zu)\n", looked[i].c_str(), first + 1, i + 1);
  }

  bool gaps = false;
  for (std::size_t i = 1; i < looked.size(); ++i) {
    const auto a = NumberIn(looked[i - 1]), b = NumberIn(looked[i]);
    if (!a || !b || a->before != b->before || a->after != b->after || b->number <= a->number + 1) continue;
    if (!std::exchange(gaps, true)) text += "Gaps in the numbering:\n";
    Append(text, "  %s -> %s (%" PRIu64 " missing)\n", looked[i - 1].c_str(), looked[i].c_str(),
           b->number - a->number - 1);
  }

  Append(text, "%d entries%s: %d frames, %s at %u fps.\n", check.entries, check.stopped ? " checked" : "", check.frames,
         RunningTime(check.frames, fps).c_str(), fps);
  return check;
}

}  // namespace avi_build
