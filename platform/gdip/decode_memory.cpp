#include "platform/gdip/decode_memory.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

#include <jerror.h>

#include "platform/picture_memory.h"

namespace gdip {
namespace {

// What the threads keep between pictures, together.
std::atomic<std::uint64_t> g_keptBytes{0};

bool Reserve(std::size_t bytes) {
  std::uint64_t held = g_keptBytes.load();
  do {
    if (held + bytes > kKeptPictureBytes) return false;
  } while (!g_keptBytes.compare_exchange_weak(held, held + bytes));
  return true;
}

// Kept blocks are mapped here rather than by malloc, so that their pages
// start on page boundaries and can be given back one by one.
KeptBlock Map(std::size_t used) {
  void* memory = mmap(nullptr, kKeptPictureBlock, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return KeptBlock{};
  // In huge pages where the system has them: a block's first picture then
  // faults it in a few thousand times fewer, and the refinement scans that
  // sweep a progressive photograph's coefficients again and again miss the
  // TLB less. A huge page is only taken where a picture writes, so the
  // block still holds no more than the kept bytes and a page's rounding.
  // Without them (or refused) the block stays in small pages.
  madvise(memory, kKeptPictureBlock, MADV_HUGEPAGE);
  return KeptBlock{memory, kKeptPictureBlock, used};
}

void Unmap(const KeptBlock& block) { munmap(block.memory, block.capacity); }

constexpr std::size_t kSlots = 3;  // one a role
// Smaller blocks the allocator reuses well by itself.
constexpr std::size_t kKeptFrom = std::size_t{1} << 20;

struct ThreadBlocks {
  KeptBlock held[kSlots];
  bool keep = false;

  ~ThreadBlocks() {
    for (KeptBlock& b : held)
      if (b.memory) {
        Unmap(b);
        g_keptBytes -= b.used;
      }
  }
};
thread_local ThreadBlocks t_kept;

// One whole-picture array of coefficient blocks, as libjpeg's memory manager
// keeps it: rows below firstUndefRow have been written; the rest are
// zeroed as they are first reached when preZero.
struct Array {
  JBLOCKARRAY rows = nullptr;
  JDIMENSION rowCount = 0;
  JDIMENSION blocksPerRow = 0;
  JDIMENSION maxAccess = 0;
  JDIMENSION firstUndefRow = 0;
  JDIMENSION cleanFrom = 0;  // rows from here on are zero already
  bool preZero = false;
  Array* next = nullptr;

  std::size_t RowBytes() const { return std::size_t{blocksPerRow} * sizeof(JBLOCK); }
};

// Beside cinfo's memory manager, in its permanent pool.
struct Kept {
  // libjpeg's own methods, for all that these do not take over.
  decltype(jpeg_memory_mgr::request_virt_barray) request;
  decltype(jpeg_memory_mgr::realize_virt_arrays) realize;
  decltype(jpeg_memory_mgr::access_virt_barray) access;
  decltype(jpeg_memory_mgr::free_pool) freePool;
  decltype(jpeg_memory_mgr::self_destruct) selfDestruct;
  Array* arrays;    // the picture's, in the order asked for
  KeptBlock block;  // holding their coefficients
  bool kept;        // the block is the thread's
};

Kept* Of(j_common_ptr cinfo) { return static_cast<Kept*>(cinfo->client_data); }

void FreeBlock(Kept* k) {
  if (k->kept)
    GiveBackKeptBlock(KeptRole::kCoefficients, k->block);
  else
    std::free(k->block.memory);
  k->block = KeptBlock{};
}

Array* Find(Kept* k, jvirt_barray_ptr ptr) {
  for (Array* a = k->arrays; a; a = a->next)
    if (reinterpret_cast<jvirt_barray_ptr>(a) == ptr) return a;
  return nullptr;
}

jvirt_barray_ptr Request(j_common_ptr cinfo, int pool, boolean preZero, JDIMENSION blocksPerRow, JDIMENSION rowCount,
                         JDIMENSION maxAccess) {
  Kept* k = Of(cinfo);
  if (pool != JPOOL_IMAGE) return k->request(cinfo, pool, preZero, blocksPerRow, rowCount, maxAccess);
  auto* array = static_cast<Array*>(cinfo->mem->alloc_small(cinfo, JPOOL_IMAGE, sizeof(Array)));
  *array = Array{};
  array->rowCount = rowCount;
  array->blocksPerRow = blocksPerRow;
  array->maxAccess = maxAccess;
  array->preZero = preZero != FALSE;
  Array** end = &k->arrays;
  while (*end) end = &(*end)->next;
  *end = array;
  return reinterpret_cast<jvirt_barray_ptr>(array);
}

void Realize(j_common_ptr cinfo) {
  Kept* k = Of(cinfo);
  k->realize(cinfo);
  std::uint64_t bytes = 0;
  for (Array* a = k->arrays; a; a = a->next)
    if (!a->rows) bytes += std::uint64_t{a->RowBytes()} * a->rowCount;
  if (bytes == 0) return;
  // The limit libjpeg keeps to for its own arrays.
  const long limit = cinfo->mem->max_memory_to_use;
  if ((limit > 0 && bytes > static_cast<std::uint64_t>(limit)) || bytes > SIZE_MAX)
    ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
  // Arrays asked for after the block was placed (libjpeg asks for all
  // before realizing) get libjpeg's own memory.
  const bool own = !k->block.memory;
  std::size_t dirty = 0;
  if (own) {
    k->block = TakeKeptBlock(KeptRole::kCoefficients, static_cast<std::size_t>(bytes), &dirty);
    k->kept = k->block.memory != nullptr;
    if (!k->kept) k->block = KeptBlock{std::calloc(static_cast<std::size_t>(bytes), 1), 0, 0};
    if (!k->block.memory) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
  }
  auto* const base = static_cast<JBLOCK*>(k->block.memory);
  JBLOCK* next = base;
  for (Array* a = k->arrays; a; a = a->next) {
    if (a->rows) continue;
    if (!own) {
      a->rows = cinfo->mem->alloc_barray(cinfo, JPOOL_IMAGE, a->blocksPerRow, a->rowCount);
      a->cleanFrom = a->rowCount;
      continue;
    }
    auto* rows = static_cast<JBLOCKARRAY>(cinfo->mem->alloc_small(cinfo, JPOOL_IMAGE, a->rowCount * sizeof(JBLOCKROW)));
    a->cleanFrom = a->rowCount;
    for (JDIMENSION r = 0; r < a->rowCount; ++r, next += a->blocksPerRow) {
      rows[r] = next;
      if (a->cleanFrom == a->rowCount && std::size_t(next - base) * sizeof(JBLOCK) >= dirty) a->cleanFrom = r;
    }
    a->rows = rows;
  }
}

// As libjpeg's: a writer goes through the rows in order; a reader may look
// ahead of the writer into rows that are then zero.
JBLOCKARRAY Access(j_common_ptr cinfo, jvirt_barray_ptr ptr, JDIMENSION start, JDIMENSION count, boolean writable) {
  Kept* k = Of(cinfo);
  Array* a = Find(k, ptr);
  if (!a) return k->access(cinfo, ptr, start, count, writable);
  const std::uint64_t end = std::uint64_t{start} + count;
  if (end > a->rowCount || count > a->maxAccess || !a->rows) ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
  if (a->firstUndefRow < end) {
    JDIMENSION undef = a->firstUndefRow;
    if (undef < start) {
      if (writable) ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
      undef = start;
    }
    if (writable) a->firstUndefRow = static_cast<JDIMENSION>(end);
    if (!a->preZero) {
      if (!writable) ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
    } else {
      for (; undef < end && undef < a->cleanFrom; ++undef) std::memset(a->rows[undef], 0, a->RowBytes());
    }
  }
  return a->rows + start;
}

void FreePool(j_common_ptr cinfo, int pool) {
  Kept* k = Of(cinfo);
  if (pool == JPOOL_IMAGE) {
    FreeBlock(k);
    k->arrays = nullptr;  // their records go with the pool
  }
  k->freePool(cinfo, pool);
}

void SelfDestruct(j_common_ptr cinfo) {
  Kept* k = Of(cinfo);
  const auto destruct = k->selfDestruct;
  FreeBlock(k);
  cinfo->client_data = nullptr;
  destruct(cinfo);  // frees k with the permanent pool
}

}  // namespace

void UseKeptMemory(j_common_ptr cinfo) {
  jpeg_memory_mgr* mem = cinfo->mem;
  auto* k = static_cast<Kept*>(mem->alloc_small(cinfo, JPOOL_PERMANENT, sizeof(Kept)));
  *k = Kept{mem->request_virt_barray, mem->realize_virt_arrays, mem->access_virt_barray, mem->free_pool,
            mem->self_destruct, nullptr, KeptBlock{}, false};
  cinfo->client_data = k;
  mem->request_virt_barray = Request;
  mem->realize_virt_arrays = Realize;
  mem->access_virt_barray = Access;
  mem->free_pool = FreePool;
  mem->self_destruct = SelfDestruct;
}

bool KeepsPictureMemory() { return t_kept.keep; }

KeptBlock TakeKeptBlock(KeptRole role, std::size_t bytes, std::size_t* dirty) {
  *dirty = 0;
  ThreadBlocks& t = t_kept;
  if (!t.keep || role == KeptRole::kNone || bytes < kKeptFrom || bytes > kKeptPictureBlock) return KeptBlock{};
  KeptBlock& held = t.held[static_cast<std::size_t>(role) - 1];
  if (!held.memory) return Map(bytes);
  KeptBlock block = held;
  held = KeptBlock{};
  g_keptBytes -= block.used;
  *dirty = block.used;
  block.used = std::max(block.used, bytes);
  return block;
}

void GiveBackKeptBlock(KeptRole role, KeptBlock block) {
  if (!block.memory) return;
  ThreadBlocks& t = t_kept;
  KeptBlock* held = role == KeptRole::kNone ? nullptr : &t.held[static_cast<std::size_t>(role) - 1];
  if (t.keep && held && !held->memory && Reserve(block.used)) {
    *held = block;
    return;
  }
  Unmap(block);
}

std::size_t KeptMemoryBytes() {
  std::size_t used = 0;
  for (const KeptBlock& b : t_kept.held) used += b.memory ? b.used : 0;
  return used;
}

}  // namespace gdip

void KeepPictureMemoryOnThisThread() { gdip::t_kept.keep = true; }
