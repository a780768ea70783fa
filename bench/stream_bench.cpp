// The pipes of the link engine: packet FIFO hand-over between two threads against a minimal
// mutex + condition variable + deque, COBS framing throughput, and a loopback socket read
// through aStream_Read one byte at a time (as the link engine's receive thread reads).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/TimesReporter.h"
#include "tessaloom/api/aPacketFifo.h"
#include "tessaloom/common/aCOBSStream.h"
#include "tessaloom/common/aStream.h"

namespace {

constexpr int kPackets = 1000000;
constexpr size_t kBackpressure = 500;  // both queues stay well below the FIFO's overflow

aPacket sample_packet() {
  aPacket p{};
  p.validity = 0xBEEF;
  p.address = 2;
  p.dataSize = 28;
  p.receivedBytes = 30;
  for (int i = 0; i < 28; ++i) p.data[i] = static_cast<uint8_t>(i);
  return p;
}

void BM_PacketFifo(benchmark::State& state) {
  const aPacket packet = sample_packet();
  for (auto _ : state) {
    aPacketFifoId id = aPacketFifo_Create();
    std::thread consumer([&] {
      for (int got = 0; got < kPackets;) {
        aPacket* p = aPacketFifo_Await(id, 1000);
        if (p == nullptr) continue;
        ++got;
        aPacket_Destroy(&p);
      }
    });
    for (int i = 0; i < kPackets; ++i) {
      while (aPacketFifo_GetLength(id) > kBackpressure) std::this_thread::yield();
      aPacketFifo_Put(id, &packet);
    }
    consumer.join();
    aPacketFifo_Destroy(&id);
  }
  state.SetItemsProcessed(state.iterations() * kPackets);
}

// The least a queue of packet records between two threads can do.
void BM_MinimalQueue(benchmark::State& state) {
  const aPacket packet = sample_packet();
  for (auto _ : state) {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<aPacket> queue;
    std::thread consumer([&] {
      for (int got = 0; got < kPackets; ++got) {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return !queue.empty(); });
        aPacket p = queue.front();
        queue.pop_front();
        benchmark::DoNotOptimize(p);
      }
    });
    for (int i = 0; i < kPackets; ++i) {
      for (;;) {
        std::lock_guard<std::mutex> hold(lock);
        if (queue.size() <= kBackpressure) break;
      }
      {
        std::lock_guard<std::mutex> hold(lock);
        queue.push_back(packet);
      }
      changed.notify_all();
    }
    consumer.join();
  }
  state.SetItemsProcessed(state.iterations() * kPackets);
}

struct Buffer {
  std::vector<uint8_t> bytes;
  size_t at = 0;
};

aErr buffer_write(const uint8_t* data, size_t length, void* ref) {
  auto* b = static_cast<Buffer*>(ref);
  b->bytes.insert(b->bytes.end(), data, data + length);
  return aErrNone;
}
aErr buffer_put(const uint8_t* byte, void* ref) { return buffer_write(byte, 1, ref); }
aErr buffer_get(uint8_t* byte, void* ref) {
  auto* b = static_cast<Buffer*>(ref);
  if (b->at >= b->bytes.size()) return aErrNotReady;
  *byte = b->bytes[b->at++];
  return aErrNone;
}

constexpr int kFramesPerRound = 10000;
constexpr size_t kPacketBytes = 30;  // address, length, 28 data bytes

struct Wire {
  uint8_t bytes[32];
  uint32_t length = 0;
};

Wire sample_wire() {
  const aPacket packet = sample_packet();
  Wire w;
  aPacket_GetBytes(&packet, w.bytes, sizeof w.bytes, &w.length);
  return w;
}

void BM_CobsEncode(benchmark::State& state) {
  const Wire wire = sample_wire();
  Buffer sink;
  sink.bytes.reserve(kFramesPerRound * 34);
  aStreamRef s = nullptr;
  aStream_CreateCobsEncoding(buffer_get, buffer_put, buffer_write, nullptr, &sink, &s);
  for (auto _ : state) {
    sink.bytes.clear();
    for (int i = 0; i < kFramesPerRound; ++i) aStream_Write(s, wire.bytes, wire.length);
  }
  aStream_Destroy(&s);
  state.SetBytesProcessed(state.iterations() * kFramesPerRound * static_cast<int64_t>(kPacketBytes));
}

void BM_CobsDecode(benchmark::State& state) {
  const Wire wire = sample_wire();
  Buffer frames;
  aStreamRef writer = nullptr;
  aStream_CreateCobsEncoding(nullptr, buffer_put, buffer_write, nullptr, &frames, &writer);
  for (int i = 0; i < kFramesPerRound; ++i) aStream_Write(writer, wire.bytes, wire.length);
  aStream_Destroy(&writer);
  aStreamRef reader = nullptr;
  aStream_CreateCobsEncoding(buffer_get, nullptr, nullptr, nullptr, &frames, &reader);
  size_t delivered = 0;
  const size_t per_round = kFramesPerRound * kPacketBytes;
  for (auto _ : state) {
    frames.at = 0;
    uint8_t b;
    const size_t goal = delivered + per_round;
    // Bounded: each frame costs its encoded bytes plus its packet bytes in calls.
    for (size_t calls = 0; delivered < goal && calls < 4 * per_round; ++calls)
      if (aStream_Read(reader, &b, 1) == aErrNone) ++delivered;
  }
  aStream_Destroy(&reader);
  if (delivered != state.iterations() * kFramesPerRound * kPacketBytes) state.SkipWithError("frames lost");
  state.SetBytesProcessed(state.iterations() * kFramesPerRound * static_cast<int64_t>(kPacketBytes));
}

void BM_SocketRead(benchmark::State& state) {
  constexpr size_t kBytes = 1u << 20;
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(listener, 4);
  socklen_t len = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  const std::vector<char> payload(kBytes, 'x');
  for (auto _ : state) {
    state.PauseTiming();
    aStreamRef s = nullptr;
    std::thread sender([&] {
      const int peer = accept(listener, nullptr, nullptr);
      for (size_t sent = 0; sent < kBytes;) {
        const ssize_t n = send(peer, payload.data() + sent, kBytes - sent, 0);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      shutdown(peer, SHUT_WR);
      char sink[64];
      while (recv(peer, sink, sizeof sink, 0) > 0) {
      }
      close(peer);
    });
    if (aStream_CreateSocket(htonl(INADDR_LOOPBACK), ntohs(a.sin_port), &s) != aErrNone) state.SkipWithError("connect");
    state.ResumeTiming();
    size_t got = 0;
    uint8_t b;
    while (got < kBytes)
      if (aStream_Read(s, &b, 1) == aErrNone) ++got;
    state.PauseTiming();
    aStream_Destroy(&s);
    sender.join();
    state.ResumeTiming();
  }
  close(listener);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBytes));
}

BENCHMARK(BM_PacketFifo)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_MinimalQueue)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CobsEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CobsDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SocketRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto mb_per_s = [&](const char* name, double bytes) {
    const double ms = reporter.times[name];
    return ms > 0 ? bytes / (ms / 1000.0) / 1e6 : 0.0;
  };
  const double fifo = reporter.times["BM_PacketFifo"], minimal = reporter.times["BM_MinimalQueue"];
  if (fifo > 0 && minimal > 0)
    std::printf("packet FIFO %.2f Mpackets/s, minimal queue %.2f Mpackets/s, throughput ratio %.3f\n",
                kPackets / fifo / 1000.0, kPackets / minimal / 1000.0, minimal / fifo);
  std::printf("COBS stream: encode %.1f MB/s, decode %.1f MB/s of packet bytes\n",
              mb_per_s("BM_CobsEncode", kFramesPerRound * kPacketBytes),
              mb_per_s("BM_CobsDecode", kFramesPerRound * kPacketBytes));
  std::printf("socket stream read, one byte per aStream_Read: %.2f MB/s\n", mb_per_s("BM_SocketRead", 1u << 20));
  benchmark::Shutdown();
  return 0;
}
