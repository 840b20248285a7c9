#include "avi_build/frame_rate.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace avi_build {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kMaxScale = 1000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits at `at`, at most 19 of them (what 64 bits hold whole); false when
// there are none or too many.
bool Digits(std::string_view text, std::size_t& at, std::uint64_t* value, int* count) {
  *value = 0;
  *count = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    if (++*count > 19) return false;
    *value = *value * 10 + std::uint64_t(text[at] - '0');
  }
  return *count > 0;
}

bool Reduced(std::uint64_t rate, std::uint64_t scale, FrameRate* out) {
  if (rate == 0 || scale == 0) return false;
  const std::uint64_t g = std::gcd(rate, scale);
  rate /= g, scale /= g;
  if (rate > kMax || scale > kMax) return false;
  *out = {std::uint32_t(rate), std::uint32_t(scale)};
  return true;
}

// whole.fraction (fractionDigits places) as a rate.
bool DecimalRate(std::uint64_t whole, std::uint64_t fraction, int fractionDigits, FrameRate* out) {
  std::uint64_t scale = 1;
  for (int i = 0; i < fractionDigits; ++i) scale *= 10;
  if (whole > kMax) return false;
  FrameRate rate;
  if (!Reduced(whole * scale + fraction, scale, &rate)) return false;
  // The NTSC rates as cameras and editors write them.
  const struct {
    std::uint64_t decimal, per;
    std::uint32_t rate;
  } ntsc[] = {{23976, 1000, 24000}, {2997, 100, 30000}, {5994, 100, 60000}};
  for (const auto& n : ntsc)
    if (std::uint64_t(rate.rate) * n.per == n.decimal * rate.scale) {
      *out = {n.rate, 1001};
      return true;
    }
  if (rate.scale > kMaxScale) {
    // The nearest fraction of scale up to 1000; the smallest scale wins a tie.
    const double value = double(whole) + double(fraction) / double(scale);
    double best = std::numeric_limits<double>::infinity();
    for (std::uint64_t s = 1; s <= kMaxScale; ++s) {
      const double r = std::round(value * double(s));
      const double error = std::fabs(r / double(s) - value);
      if (r >= 1 && r <= double(kMax) && error < best) best = error, rate = {std::uint32_t(r), std::uint32_t(s)};
    }
    if (best == std::numeric_limits<double>::infinity() || !Reduced(rate.rate, rate.scale, &rate)) return false;
  }
  *out = rate;
  return true;
}

}  // namespace

bool ParseFrameRate(std::string_view text, FrameRate* out, bool prefix) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  std::uint64_t whole = 0, second = 0;
  int wholeDigits = 0, secondDigits = 0;
  const bool haveWhole = Digits(text, at, &whole, &wholeDigits);
  if (wholeDigits > 19) return false;
  FrameRate rate;
  std::size_t after = at + 1;
  const char mark = at < text.size() ? text[at] : '\0';
  const bool haveSecond = (mark == '/' || mark == '.') && Digits(text, after, &second, &secondDigits);
  if (secondDigits > 19) return false;
  if (haveWhole && mark == '/' && haveSecond) {
    if (!Reduced(whole, second, &rate)) return false;
    at = after;
  } else if (mark == '.' && haveSecond) {
    if (secondDigits > 9 || !DecimalRate(whole, second, secondDigits, &rate)) return false;
    at = after;
  } else if (!haveWhole || !DecimalRate(whole, 0, 0, &rate)) {
    return false;
  }
  if (!prefix) {
    while (at < text.size() && text[at] == ' ') ++at;
    if (at != text.size()) return false;
  }
  *out = rate;
  return true;
}

std::string FrameRateText(std::uint32_t rate, std::uint32_t scale) {
  if (scale == 0) scale = 1;
  if (scale == 1001 && (rate == 24000 || rate == 30000 || rate == 60000))
    return rate == 24000 ? "23.976" : rate == 30000 ? "29.97" : "59.94";
  const std::uint64_t g = std::gcd(std::uint64_t(rate), std::uint64_t(scale));
  const std::uint64_t r = rate / g, s = scale / g;
  if (s == 1) return std::to_string(r);
  // A decimal when three places hold it exactly.
  if (1000 % s == 0) {
    std::string digits = std::to_string(r * (1000 / s) % 1000);
    digits.insert(0, 3 - digits.size(), '0');
    while (digits.back() == '0') digits.pop_back();
    return std::to_string(r / s) + "." + digits;
  }
  return std::to_string(r) + "/" + std::to_string(s);
}

}  // namespace avi_build
