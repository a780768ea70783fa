// Loading a BIRD file with a 4 MiB image against a bare uncompress of the same stream.
// Prints both figures and their ratio; the target is a ratio of at most about 1.1.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/TimesReporter.h"
#include "sim/BirdWriter.h"
#include "updater/BirdFile.h"

namespace {

constexpr size_t kImageBytes = 4u << 20;

struct Fixture {
  std::string path;
  birdsim::Bytes file;
  Fixture() {
    birdsim::BirdImage image;
    image.Loader(0x20000000, birdsim::CodeLikeBytes(16 * 1024, 1))
        .Firmware(0x08000000, birdsim::CodeLikeBytes(kImageBytes - 16 * 1024 - 200, 2))
        .Offsets(0x08000100, 0x08000200)
        .Info(1234, "2.10.3", 0, "Shuttle");
    char name[] = "/tmp/bird-bench-XXXXXX";
    const int fd = mkstemp(name);
    close(fd);
    path = name;
    image.WriteTo(path);
    file = image.File();
  }
  ~Fixture() { std::remove(path.c_str()); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_BareUncompress(benchmark::State& state) {
  const birdsim::Bytes& file = fixture().file;
  const uLong packed = static_cast<uLong>(file.size() - 6);
  const uLong capacity = packed * 8;
  auto out = std::make_unique_for_overwrite<uint8_t[]>(capacity);
  for (auto _ : state) {
    uLongf produced = capacity;
    if (uncompress(out.get(), &produced, file.data() + 6, packed) != Z_OK) state.SkipWithError("uncompress");
    benchmark::DoNotOptimize(out.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}

void BM_BirdFileLoad(benchmark::State& state) {
  const std::string& path = fixture().path;
  for (auto _ : state) {
    BirdFile f(path.c_str());
    benchmark::DoNotOptimize(f.BlockCount());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}

BENCHMARK(BM_BareUncompress)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_BirdFileLoad)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double bare = reporter.times["BM_BareUncompress"];
  const double load = reporter.times["BM_BirdFileLoad"];
  if (bare > 0 && load > 0)
    std::printf("image %zu bytes, stream %zu bytes: uncompress %.3f ms, BirdFile load %.3f ms, ratio %.3f\n",
                kImageBytes, fixture().file.size() - 6, bare, load, load / bare);
  benchmark::Shutdown();
  return 0;
}
