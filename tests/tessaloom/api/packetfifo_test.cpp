#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

#include "support/Process.h"
#include "tessaloom/api/aPacketFifo.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

aPacket* packet_of(uint8_t first, uint8_t address = 2) {
  const uint8_t data[3] = {first, 0xAA, 0xBB};
  return aPacket_CreateWithData(address, 3, data);
}

void put(aPacketFifoId id, uint8_t first) {
  aPacket* p = packet_of(first);
  EXPECT_EQ(aPacketFifo_Put(id, p), aErrNone);
  aPacket_Destroy(&p);
}

uint8_t first_byte_of(aPacket* p) {
  const uint8_t b = p != nullptr ? p->data[0] : 0xFF;
  aPacket_Destroy(&p);
  return b;
}

struct Seen {
  std::map<uint8_t, int> offered;
};

int starts_with_7(const aPacket* p, void* ref) {
  ++static_cast<Seen*>(ref)->offered[p->data[0]];
  return p->data[0] == 7;
}

int everything(const aPacket*, void*) { return 1; }
int odd_first_byte(const aPacket* p, void*) { return p->data[0] % 2; }

}  // namespace

// Run in a fresh process, as the first FIFO there.
TEST(PacketFifo, IdsStartAtOneAndIncrease) {
  if (std::getenv("FIFO_ID_CHILD") == nullptr) {
    const ProcessResult r = RunProcess({"/proc/self/exe", "--gtest_filter=PacketFifo.IdsStartAtOneAndIncrease"},
                                       WithEnv({"FIFO_ID_CHILD=1"}));
    EXPECT_EQ(r.status, 0) << r.out;
    return;
  }
  aPacketFifoId a = aPacketFifo_Create();
  aPacketFifoId b = aPacketFifo_Create();
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 2u);
  aPacketFifo_Destroy(&a);
  aPacketFifo_Destroy(&b);
}

TEST(PacketFifo, PutCopiesAndGetHandsOverOwnership) {
  aPacketFifoId id = aPacketFifo_Create();
  aPacket* mine = packet_of(5);
  ASSERT_EQ(aPacketFifo_Put(id, mine), aErrNone);
  mine->data[0] = 9;  // the queued copy is not affected
  EXPECT_EQ(aPacketFifo_GetLength(id), 1u);
  aPacket* got = aPacketFifo_Get(id);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->data[0], 5);
  EXPECT_EQ(got->address, 2);
  EXPECT_TRUE(aPacket_IsComplete(got));
  aPacket_Destroy(&got);
  aPacket_Destroy(&mine);
  EXPECT_EQ(aPacketFifo_Get(id), nullptr);

  aPacket forged{};
  forged.validity = 0x1234;
  EXPECT_EQ(aPacketFifo_Put(id, &forged), aErrParam);
  EXPECT_EQ(aPacketFifo_Put(id, nullptr), aErrParam);
  EXPECT_EQ(aPacketFifo_GetLength(id), 0u);
  aPacketFifo_Destroy(&id);
}

TEST(PacketFifo, UnknownIdsAreHarmless) {
  aPacketFifoId gone = aPacketFifo_Create();
  const aPacketFifoId old = gone;
  ASSERT_EQ(aPacketFifo_Destroy(&gone), aErrNone);
  EXPECT_EQ(gone, 0u);
  aPacketFifoId again = old;
  EXPECT_EQ(aPacketFifo_Destroy(&again), aErrNotFound);
  EXPECT_EQ(aPacketFifo_Destroy(nullptr), aErrParam);
  aPacket* p = packet_of(1);
  EXPECT_EQ(aPacketFifo_Put(old, p), aErrParam);
  EXPECT_EQ(aPacketFifo_Put(0, p), aErrParam);
  aPacket_Destroy(&p);
  EXPECT_EQ(aPacketFifo_Get(old), nullptr);
  EXPECT_EQ(aPacketFifo_Await(old, 1000), nullptr);
  EXPECT_EQ(aPacketFifo_GetLength(old), 0u);
  EXPECT_EQ(aPacketFifo_DrainPackets(old, everything, nullptr), 0u);
}

TEST(PacketFifo, AwaitTimesOutOrWakesOnPut) {
  aPacketFifoId id = aPacketFifo_Create();
  const auto start = Clock::now();
  EXPECT_EQ(aPacketFifo_Await(id, 50), nullptr);
  EXPECT_GE(Clock::now() - start, 50ms);

  std::thread producer([&] {
    std::this_thread::sleep_for(20ms);
    put(id, 3);
  });
  const auto wait_start = Clock::now();
  EXPECT_EQ(first_byte_of(aPacketFifo_Await(id, 10000)), 3);
  EXPECT_LT(Clock::now() - wait_start, 5s);
  producer.join();
  aPacketFifo_Destroy(&id);
}

TEST(PacketFifo, DestroyWakesEveryWaiterAtOnce) {
  aPacketFifoId id = aPacketFifo_Create();
  std::atomic<int> returned{0};
  Seen seen;
  std::thread a([&] {
    EXPECT_EQ(aPacketFifo_Await(id, 20000), nullptr);
    ++returned;
  });
  std::thread b([&] {
    EXPECT_EQ(aPacketFifo_AwaitFirst(id, starts_with_7, &seen, 20000), nullptr);
    ++returned;
  });
  std::this_thread::sleep_for(50ms);
  aPacketFifoId mine = id;
  const auto start = Clock::now();
  EXPECT_EQ(aPacketFifo_Destroy(&mine), aErrNone);
  a.join();
  b.join();
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_EQ(returned, 2);
  EXPECT_EQ(mine, 0u);
}

TEST(PacketFifo, OverflowDiscardsTheWholeQueue) {
  aPacketFifoId id = aPacketFifo_Create();
  for (int i = 0; i < 1000; ++i) put(id, static_cast<uint8_t>(i));
  EXPECT_EQ(aPacketFifo_GetLength(id), 1000u);
  put(id, 1);  // the 1001st still reports success
  EXPECT_EQ(aPacketFifo_GetLength(id), 0u);
  put(id, 2);
  EXPECT_EQ(aPacketFifo_GetLength(id), 1u);
  EXPECT_EQ(first_byte_of(aPacketFifo_Get(id)), 2);
  aPacketFifo_Destroy(&id);
}

TEST(PacketFifo, AwaitFirstOffersEachPacketOnce) {
  aPacketFifoId id = aPacketFifo_Create();
  put(id, 1);  // queued before the call: a candidate too
  Seen seen;
  std::thread producer([&] {
    for (uint8_t b : {2, 7, 8}) {
      std::this_thread::sleep_for(15ms);
      put(id, b);
    }
  });
  EXPECT_EQ(first_byte_of(aPacketFifo_AwaitFirst(id, starts_with_7, &seen, 10000)), 7);
  producer.join();
  EXPECT_EQ(seen.offered, (std::map<uint8_t, int>{{1, 1}, {2, 1}, {7, 1}}));
  EXPECT_EQ(first_byte_of(aPacketFifo_Get(id)), 1);
  EXPECT_EQ(first_byte_of(aPacketFifo_Get(id)), 2);
  EXPECT_EQ(first_byte_of(aPacketFifo_Get(id)), 8);

  seen.offered.clear();
  EXPECT_EQ(aPacketFifo_GetFirst(id, starts_with_7, &seen), nullptr);
  put(id, 4);
  put(id, 7);
  EXPECT_EQ(first_byte_of(aPacketFifo_GetFirst(id, starts_with_7, &seen)), 7);
  EXPECT_EQ(aPacketFifo_AwaitFirst(id, starts_with_7, &seen, 30), nullptr);
  aPacketFifo_Destroy(&id);
}

TEST(PacketFifo, DrainKeepsTheOrderOfWhatStays) {
  aPacketFifoId id = aPacketFifo_Create();
  for (uint8_t b = 1; b <= 6; ++b) put(id, b);
  EXPECT_EQ(aPacketFifo_DrainPackets(id, odd_first_byte, nullptr), 3u);
  for (uint8_t b : {2, 4, 6}) EXPECT_EQ(first_byte_of(aPacketFifo_Get(id)), b);
  for (uint8_t b = 1; b <= 4; ++b) put(id, b);
  EXPECT_EQ(aPacketFifo_DrainPackets(id, everything, nullptr), 4u);
  EXPECT_EQ(aPacketFifo_GetLength(id), 0u);
  aPacketFifo_Destroy(&id);
}

TEST(PacketFifo, ManyProducersAndConsumers) {
  aPacketFifoId id = aPacketFifo_Create();
  constexpr int kProducers = 4, kPerProducer = 2000;
  std::atomic<int> consumed{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  for (int c = 0; c < 2; ++c)
    threads.emplace_back([&] {
      while (!done || aPacketFifo_GetLength(id) > 0) {
        aPacket* p = aPacketFifo_Await(id, 20);
        if (p != nullptr) ++consumed;
        aPacket_Destroy(&p);
      }
    });
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p)
    producers.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) {
        put(id, static_cast<uint8_t>(p));
        if (i % 256 == 0) std::this_thread::yield();
      }
    });
  for (auto& t : producers) t.join();
  done = true;
  for (auto& t : threads) t.join();
  // Unless an overflow dropped a burst, every packet arrived exactly once.
  EXPECT_LE(consumed.load(), kProducers * kPerProducer);
  EXPECT_GT(consumed.load(), 0);
  aPacketFifo_Destroy(&id);
}
