#include "tessaloom/api/aPacketFifo.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace {

// The queued copy is held by value: a put costs no allocation, only the packet handed out
// by a take is a heap record of its own.
class SerialPacket {
 public:
  SerialPacket(int64_t id, const aPacket& packet) : id_(id), packet_(packet) {}
  int64_t getId() const { return id_; }
  const aPacket* getPacket() const { return &packet_; }

 private:
  int64_t id_;
  aPacket packet_;
};

struct packetFifo {
  std::deque<SerialPacket> packets;
  std::condition_variable changed;
  std::mutex lock;
  std::atomic<bool> valid{true};
  std::atomic<int64_t> windowStart{0};
  std::atomic<int64_t> nextId{0};

  // The serial fields are only touched with `lock` held, which orders them already.
  void syncWindow() {
    windowStart.store(packets.empty() ? nextId.load(std::memory_order_relaxed) : packets.front().getId(),
                      std::memory_order_relaxed);
  }
  void clearAndSyncWindow() {
    packets.clear();
    syncWindow();
  }
  void eraseAndSyncWindow(std::deque<SerialPacket>::iterator first, std::deque<SerialPacket>::iterator last) {
    packets.erase(first, last);
    syncWindow();
  }
};

using FifoRef = std::shared_ptr<packetFifo>;
using Clock = std::chrono::steady_clock;

std::map<aPacketFifoId, FifoRef> gpPacketFifoDictionary;
std::mutex gpPacketFifoDictionaryMutex;
std::atomic<aPacketFifoId> gpSequentialId{1};

FifoRef sGetFifo(aPacketFifoId id) {
  std::lock_guard<std::mutex> hold(gpPacketFifoDictionaryMutex);
  const auto found = gpPacketFifoDictionary.find(id);
  return found == gpPacketFifoDictionary.end() ? nullptr : found->second;
}

// Each thread keeps strong references to the few FIFOs it used last, so the hot path of a
// link (one thread putting, another waiting) touches neither the registry mutex nor a shared
// reference count per packet. A destroyed FIFO is never valid again, so a cached one is only
// used while it is; the cache merely delays freeing the emptied object.
struct CachedFifo {
  aPacketFifoId id = 0;
  FifoRef fifo;
};
constexpr size_t kCacheSlots = 4;
thread_local CachedFifo t_cache[kCacheSlots];
thread_local size_t t_cacheNext = 0;

// The FIFO for one operation that runs no caller code: the thread's cache (or `keep`) holds
// it alive until the operation returns.
packetFifo* sFindFifo(aPacketFifoId id, FifoRef& keep) {
  if (id == 0) return nullptr;
  for (CachedFifo& slot : t_cache) {
    if (slot.id != id) continue;
    if (slot.fifo->valid) return slot.fifo.get();
    slot = CachedFifo{};
    break;
  }
  keep = sGetFifo(id);
  if (!keep) return nullptr;
  t_cache[t_cacheNext] = CachedFifo{id, keep};
  t_cacheNext = (t_cacheNext + 1) % kCacheSlots;
  return keep.get();
}

FifoRef sExtractFifo(aPacketFifoId id) {
  std::lock_guard<std::mutex> hold(gpPacketFifoDictionaryMutex);
  const auto found = gpPacketFifoDictionary.find(id);
  if (found == gpPacketFifoDictionary.end()) return nullptr;
  FifoRef fifo = std::move(found->second);
  gpPacketFifoDictionary.erase(found);
  return fifo;
}

// Copies first and erases only when the copy exists, so a failed copy loses nothing.
aPacket* _stealPacketFromFifo(packetFifo& fifo, std::deque<SerialPacket>::iterator which) {
  aPacket* copy = aPacket_Copy(which->getPacket());
  if (copy != nullptr) fifo.eraseAndSyncWindow(which, which + 1);
  return copy;
}

Clock::time_point deadline_after(uint64_t milliseconds) {
  // Far-off deadlines are capped so the addition cannot overflow the clock.
  constexpr uint64_t kMaxWait = 1000ull * 60 * 60 * 24 * 365;
  return Clock::now() + std::chrono::milliseconds(std::min(milliseconds, kMaxWait));
}

bool _waitUntilNotEmpty(packetFifo& fifo, std::unique_lock<std::mutex>& held, Clock::time_point deadline) {
  return fifo.changed.wait_until(held, deadline, [&] { return !fifo.packets.empty() || !fifo.valid; });
}

}  // namespace

aPacketFifoId aPacketFifo_Create() {
  try {
    auto fifo = std::make_shared<packetFifo>();
    aPacketFifoId id = gpSequentialId.fetch_add(1);
    if (id == 0) id = gpSequentialId.fetch_add(1);
    std::lock_guard<std::mutex> hold(gpPacketFifoDictionaryMutex);
    gpPacketFifoDictionary.emplace(id, std::move(fifo));
    return id;
  } catch (...) {
    return 0;
  }
}

aErr aPacketFifo_Destroy(aPacketFifoId* id) {
  if (id == nullptr) return aErrParam;
  try {
    FifoRef fifo = sExtractFifo(*id);
    if (!fifo) return aErrNotFound;
    {
      std::lock_guard<std::mutex> hold(fifo->lock);
      fifo->clearAndSyncWindow();
      fifo->valid = false;
    }
    fifo->changed.notify_all();
    *id = 0;
    return aErrNone;
  } catch (...) {
    return aErrUnknown;
  }
}

size_t aPacketFifo_GetLength(aPacketFifoId id) {
  FifoRef keep;
  packetFifo* fifo = sFindFifo(id, keep);
  if (fifo == nullptr) return 0;
  std::lock_guard<std::mutex> hold(fifo->lock);
  return fifo->packets.size();
}

aErr aPacketFifo_Put(aPacketFifoId id, const aPacket* packet) {
  FifoRef keep;
  packetFifo* fifo = sFindFifo(id, keep);
  if (fifo == nullptr || !aPacket_IsValid(packet)) return aErrParam;
  {
    std::lock_guard<std::mutex> hold(fifo->lock);
    if (!fifo->valid) return aErrParam;
    const int64_t serial = fifo->nextId.fetch_add(1, std::memory_order_relaxed);
    if (packet->dataSize > aPACKET_MAX_DATA) return aErrParam;
    aPacket copy = *packet;
    copy.receivedBytes = static_cast<uint8_t>(copy.dataSize + 2);
    try {
      fifo->packets.emplace_back(serial, copy);
    } catch (const std::bad_alloc&) {
      return aErrResource;
    }
    fifo->syncWindow();
    if (fifo->packets.size() > aPACKETFIFO_CAPACITY) {
      fifo->clearAndSyncWindow();
      return aErrNone;
    }
  }
  fifo->changed.notify_all();
  return aErrNone;
}

aPacket* aPacketFifo_Get(aPacketFifoId id) {
  FifoRef keep;
  packetFifo* fifo = sFindFifo(id, keep);
  if (fifo == nullptr) return nullptr;
  std::lock_guard<std::mutex> hold(fifo->lock);
  if (fifo->packets.empty()) return nullptr;
  return _stealPacketFromFifo(*fifo, fifo->packets.begin());
}

aPacket* aPacketFifo_Await(aPacketFifoId id, uint64_t milliseconds) {
  const Clock::time_point deadline = deadline_after(milliseconds);
  FifoRef keep;
  packetFifo* fifo = sFindFifo(id, keep);
  if (fifo == nullptr) return nullptr;
  std::unique_lock<std::mutex> held(fifo->lock);
  if (!_waitUntilNotEmpty(*fifo, held, deadline) || fifo->packets.empty()) return nullptr;
  return _stealPacketFromFifo(*fifo, fifo->packets.begin());
}

aPacket* aPacketFifo_GetFirst(aPacketFifoId id, aPacketFifoFilter filter, void* reference) {
  FifoRef fifo = sGetFifo(id);
  if (!fifo || filter == nullptr) return nullptr;
  std::lock_guard<std::mutex> hold(fifo->lock);
  for (auto it = fifo->packets.begin(); it != fifo->packets.end(); ++it)
    if (filter(it->getPacket(), reference) != 0) return _stealPacketFromFifo(*fifo, it);
  return nullptr;
}

aPacket* aPacketFifo_AwaitFirst(aPacketFifoId id, aPacketFifoFilter filter, void* reference, uint64_t milliseconds) {
  const Clock::time_point deadline = deadline_after(milliseconds);
  FifoRef fifo = sGetFifo(id);
  if (!fifo || filter == nullptr) return nullptr;
  std::unique_lock<std::mutex> held(fifo->lock);
  int64_t lastExamined = fifo->windowStart.load(std::memory_order_relaxed) - 1;
  int64_t matched = -1;
  // Each packet is offered to the filter at most once, however often the wait wakes.
  auto _waitUntilProcIsSatisfied = [&] {
    for (const SerialPacket& queued : fifo->packets) {
      if (queued.getId() <= lastExamined) continue;
      lastExamined = queued.getId();
      if (filter(queued.getPacket(), reference) != 0) {
        matched = queued.getId();
        return true;
      }
    }
    return !fifo->valid;
  };
  fifo->changed.wait_until(held, deadline, _waitUntilProcIsSatisfied);
  if (matched < 0) return nullptr;
  for (auto it = fifo->packets.begin(); it != fifo->packets.end(); ++it)
    if (it->getId() == matched) return _stealPacketFromFifo(*fifo, it);
  return nullptr;
}

size_t aPacketFifo_DrainPackets(aPacketFifoId id, aPacketFifoFilter filter, void* reference) {
  FifoRef fifo = sGetFifo(id);
  if (!fifo || filter == nullptr) return 0;
  std::lock_guard<std::mutex> hold(fifo->lock);
  const size_t before = fifo->packets.size();
  const auto kept = std::stable_partition(fifo->packets.begin(), fifo->packets.end(),
                                          [&](const SerialPacket& p) { return filter(p.getPacket(), reference) == 0; });
  fifo->eraseAndSyncWindow(kept, fifo->packets.end());
  return before - fifo->packets.size();
}
