#include "platform/codec/visual_object_header.h"

namespace codec {

namespace {

constexpr std::uint8_t kVisualObjectCode = 0xB5;
constexpr std::uint8_t kVopCode = 0xB6;  // the picture itself: headers end before it
constexpr unsigned kVideoObjectType = 1;

// The offset of the next 00 00 01 prefix at or after `from`, or size.
std::size_t NextStartCode(const std::uint8_t* data, std::size_t size, std::size_t from) {
  for (std::size_t i = from; i + 3 <= size; ++i)
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return i;
  return size;
}

class BitReader {
 public:
  BitReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_bits(size * 8) {}
  bool Read(int count, unsigned* value) {
    if (m_pos + std::size_t(count) > m_bits) return false;
    unsigned v = 0;
    for (int i = 0; i < count; ++i, ++m_pos) v = v << 1 | ((m_data[m_pos / 8] >> (7 - m_pos % 8)) & 1u);
    *value = v;
    return true;
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_bits;
  std::size_t m_pos = 0;
};

class BitWriter {
 public:
  void Put(int count, unsigned value) {
    for (int i = count - 1; i >= 0; --i) {
      if (m_fill == 0) m_bytes.push_back(0);
      m_bytes.back() |= std::uint8_t(((value >> i) & 1u) << (7 - m_fill));
      m_fill = (m_fill + 1) % 8;
    }
  }
  // next_start_code(): a zero bit, then ones up to the byte boundary.
  void Stuff() {
    Put(1, 0);
    while (m_fill != 0) Put(1, 1);
  }
  const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

 private:
  std::vector<std::uint8_t> m_bytes;
  int m_fill = 0;
};

}  // namespace

bool SignalColour(const std::uint8_t* data, std::size_t size, const VideoColour& colour,
                  std::vector<std::uint8_t>* out) {
  if (!data || !out) return false;
  for (std::size_t at = NextStartCode(data, size, 0); at + 4 <= size; at = NextStartCode(data, size, at + 3)) {
    const std::uint8_t code = data[at + 3];
    if (code == kVopCode) return false;
    if (code != kVisualObjectCode) continue;
    const std::size_t end = NextStartCode(data, size, at + 4);
    BitReader in(data + at + 4, end - (at + 4));
    unsigned hasId = 0, verid = 0, priority = 0, type = 0, signalType = 0;
    if (!in.Read(1, &hasId) || (hasId && (!in.Read(4, &verid) || !in.Read(3, &priority))) || !in.Read(4, &type) ||
        type != kVideoObjectType || !in.Read(1, &signalType) || signalType)
      return false;
    BitWriter header;
    header.Put(1, hasId);
    if (hasId) {
      header.Put(4, verid);
      header.Put(3, priority);
    }
    header.Put(4, type);
    header.Put(1, 1);                         // video_signal_type
    header.Put(3, 5);                         // video_format: unspecified
    header.Put(1, colour.fullRange ? 1 : 0);  // video_range
    header.Put(1, 1);                         // colour_description
    header.Put(8, colour.primaries);
    header.Put(8, colour.transfer);
    header.Put(8, colour.matrix);
    header.Stuff();
    out->assign(data, data + at + 4);
    out->insert(out->end(), header.bytes().begin(), header.bytes().end());
    out->insert(out->end(), data + end, data + size);
    return true;
  }
  return false;
}

}  // namespace codec
