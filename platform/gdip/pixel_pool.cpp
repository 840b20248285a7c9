#include "platform/gdip/pixel_pool.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace gdip {

namespace {

// Blocks below this come from malloc directly, which reuses them well.
constexpr std::size_t kPoolFrom = std::size_t{256} << 10;
// Enough for a frame-sized picture and its file; more mostly
// holds pictures of sizes that do not come again, at the cost of memory.
constexpr std::size_t kPoolBytes = std::size_t{16} << 20;
constexpr std::size_t kPoolBlocks = 12;

struct Pool {
  std::mutex mutex;
  std::vector<std::pair<BYTE*, std::size_t>> blocks;  // oldest first
  std::size_t bytes = 0;
};

Pool& ThePool() {
  static Pool* pool = new Pool;  // never destroyed: blocks may return during exit
  return *pool;
}

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer every block is fresh, so use after release is caught.
constexpr bool kPooling = false;
#else
constexpr bool kPooling = true;
#endif

// Whether every page inside the block is in memory. A block a decoder left
// partly untouched (a file that held less than its header claimed) would
// cost its whole size when handed out again and zeroed; it is freed instead.
bool Resident(const BYTE* block, std::size_t size) {
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(block) + page - 1) / page * page;
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + size) / page * page;
  if (end <= first) return true;
  std::vector<unsigned char> pages((end - first) / page);
  if (mincore(reinterpret_cast<void*>(first), end - first, pages.data()) != 0) return false;
  return std::all_of(pages.begin(), pages.end(), [](unsigned char p) { return (p & 1) != 0; });
}

}  // namespace

void PoolReturn::operator()(BYTE* block) const {
  if (kept) {
    GiveBackKeptBlock(role, KeptBlock{block, capacity, kept});
    return;
  }
  if (!kPooling || capacity < kPoolFrom || capacity > kPoolBytes || !Resident(block, capacity)) {
    std::free(block);
    return;
  }
  std::vector<BYTE*> evicted;
  {
    Pool& pool = ThePool();
    const std::lock_guard<std::mutex> lock(pool.mutex);
    while (!pool.blocks.empty() && (pool.blocks.size() >= kPoolBlocks || pool.bytes + capacity > kPoolBytes)) {
      evicted.push_back(pool.blocks.front().first);
      pool.bytes -= pool.blocks.front().second;
      pool.blocks.erase(pool.blocks.begin());
    }
    pool.blocks.emplace_back(block, capacity);
    pool.bytes += capacity;
  }
  for (BYTE* b : evicted) std::free(b);
}

PixelBuffer AllocatePixels(std::size_t bytes, bool zeroed, bool* dirty, KeptRole role) {
  if (dirty) *dirty = false;
  if (bytes == 0) bytes = 1;
  if (kPooling && role != KeptRole::kNone && KeepsPictureMemory()) {
    std::size_t used = 0;
    const KeptBlock kept = TakeKeptBlock(role, bytes, &used);
    if (kept.memory) {
      auto* block = static_cast<BYTE*>(kept.memory);
      // Past what pictures used before, the block is still zero.
      if (zeroed && used > 0) {
        if (dirty)
          *dirty = true;
        else
          std::memset(block, 0, std::min(used, bytes));
      }
      return PixelBuffer(block, PoolReturn{kept.capacity, kept.used, role});
    }
  }
  if (kPooling && bytes >= kPoolFrom) {
    BYTE* found = nullptr;
    std::size_t capacity = 0;
    {
      Pool& pool = ThePool();
      const std::lock_guard<std::mutex> lock(pool.mutex);
      // The smallest block that fits without wasting more than it holds.
      auto best = pool.blocks.end();
      for (auto it = pool.blocks.begin(); it != pool.blocks.end(); ++it)
        if (it->second >= bytes && it->second / 2 <= bytes && (best == pool.blocks.end() || it->second < best->second))
          best = it;
      if (best != pool.blocks.end()) {
        found = best->first;
        capacity = best->second;
        pool.bytes -= capacity;
        pool.blocks.erase(best);
      }
    }
    if (found) {
      if (zeroed && dirty)
        *dirty = true;
      else if (zeroed)
        std::memset(found, 0, bytes);
      return PixelBuffer(found, PoolReturn{capacity});
    }
    // A block the pool cannot serve is new memory: the pool gives way so
    // that what it keeps and the new block stay within its bound (all of
    // it for a block above the bound), and a large picture after smaller
    // ones costs no more than it alone.
    std::vector<BYTE*> evicted;
    {
      Pool& pool = ThePool();
      const std::lock_guard<std::mutex> lock(pool.mutex);
      while (!pool.blocks.empty() && pool.bytes + bytes > kPoolBytes) {
        evicted.push_back(pool.blocks.front().first);
        pool.bytes -= pool.blocks.front().second;
        pool.blocks.erase(pool.blocks.begin());
      }
    }
    for (BYTE* b : evicted) std::free(b);
  }
  BYTE* block = static_cast<BYTE*>(zeroed ? std::calloc(bytes, 1) : std::malloc(bytes));
  return PixelBuffer(block, PoolReturn{bytes});
}

void DrainPixelPool() {
  Pool& pool = ThePool();
  const std::lock_guard<std::mutex> lock(pool.mutex);
  for (auto& [block, capacity] : pool.blocks) std::free(block);
  pool.blocks.clear();
  pool.bytes = 0;
}

}  // namespace gdip
