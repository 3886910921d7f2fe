// TLG5 and TLG6 encoding against libpng at levels 6 and 9 on the same real pictures: every
// picture below the folders named on the command line (default ../shared/bench-pictures),
// decoded once. TLG6 runs on one thread and on all of them. Prints per picture times, sizes
// and speed ratios, then the medians and the worst picture of each group (the folder a
// picture lies in) and of all.
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_pictures.h"
#include "image/tlg/tlg_encode.h"

using namespace limg;

namespace {

struct Picture {
  const benchpics::Picture* pic;
  std::string name;
  std::vector<uint8_t> bgr;  // packed rows of a picture without alpha
  std::vector<const uint8_t*> rows;
  std::size_t bytes() const { return pic->pixels.size() * (pic->alpha ? 4 : 3); }
};

std::vector<Picture>& pictures() {
  static std::vector<Picture> all;
  return all;
}

TlgEncodeSource sourceOf(const Picture& p) {
  return {p.pic->width, p.pic->height, p.rows.data(), p.pic->alpha ? 7 : 6};
}

std::size_t encodeTlg6(const Picture& p, int threads) {
  TlgMemoryWriter w(uint32_t(p.bytes() + 4096));
  SaveTLG6(sourceOf(p), w, threads);
  return w.size();
}

std::size_t encodeTlg5(const Picture& p) {
  TlgMemoryWriter w(uint32_t(p.bytes() * 9 / 8 + 4096));
  Tlg5Encode(sourceOf(p), w);
  return w.size();
}

std::size_t encodePng(const Picture& p, int level) { return benchpics::pngEncode(*p.pic, level).size(); }
enum Coder { kTlg5, kTlg6One, kTlg6Threads, kPng6, kPng9, kCoderCount };
const char* const kCoderNames[kCoderCount] = {"TLG5", "TLG6 1 thread", "TLG6 threads", "PNG-6", "PNG-9"};

std::size_t encode(Coder coder, const Picture& p) {
  switch (coder) {
    case kTlg5: return encodeTlg5(p);
    case kTlg6One: return encodeTlg6(p, 1);
    case kTlg6Threads: return encodeTlg6(p, 0);
    case kPng6: return encodePng(p, 6);
    case kPng9: return encodePng(p, 9);
    default: return 0;
  }
}

std::map<std::pair<int, int>, std::size_t> sizes;  // (picture, coder) -> bytes

void BM_Encode(benchmark::State& state) {
  const Picture& p = pictures()[state.range(0)];
  const Coder coder = Coder(state.range(1));
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = encode(coder, p);
    benchmark::DoNotOptimize(bytes);
  }
  sizes[{int(state.range(0)), int(coder)}] = bytes;
  state.counters["bytes"] = double(bytes);
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(p.pic->pixels.size()));
  state.SetLabel(p.name + " " + kCoderNames[coder]);
}

// Keeps every run's time per iteration for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> wall, cpu;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      wall[run.report_label] = run.GetAdjustedRealTime();
      cpu[run.report_label] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> folders = benchpics::takeFolders(argc, argv);
  benchmark::Initialize(&argc, argv);
  static const std::vector<benchpics::Picture> loaded = benchpics::loadPictures(folders);
  for (const benchpics::Picture& pic : loaded) {
    Picture p{&pic, pic.group + "/" + pic.name, {}, {}};
    p.rows = benchpics::encoderRows(pic, p.bgr);
    pictures().push_back(std::move(p));
  }
  const int count = int(pictures().size());
  for (int picture = 0; picture < count; ++picture)
    for (int coder = 0; coder < kCoderCount; ++coder)
      benchmark::RegisterBenchmark("encode", BM_Encode)->Args({picture, coder})->Unit(benchmark::kMillisecond);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  // Single-threaded coders by CPU time (the machine is shared), the threaded one by wall time.
  std::printf("\n%-44s %7s %7s %7s %7s %7s | %6s %6s %6s %6s | %6s %6s %6s %6s\n", "picture", "TLG5", "TLG6",
              "TLG6mt", "PNG6", "PNG9", "T5 KB", "T6 KB", "P6 KB", "P9 KB", "T6/P9", "T6/P6", "mt/P9", "T6/P9sz");
  std::printf("%-44s %7s %7s %7s %7s %7s |\n", "", "ms", "ms", "wall ms", "ms", "ms");
  struct Row {
    std::string group, name;
    double t6p9, t6p6, mtp9, size;
  };
  std::vector<Row> rows;
  for (int picture = 0; picture < count; ++picture) {
    const Picture& p = pictures()[picture];
    double ms[kCoderCount], wall[kCoderCount];
    bool complete = true;
    for (int coder = 0; coder < kCoderCount; ++coder) {
      ms[coder] = reporter.cpu[p.name + " " + kCoderNames[coder]];
      wall[coder] = reporter.wall[p.name + " " + kCoderNames[coder]];
      complete = complete && ms[coder] > 0;
    }
    if (!complete) continue;
    auto kb = [&](int coder) { return double(sizes[{picture, coder}]) / 1024.0; };
    const Row row{p.pic->group, p.name, ms[kPng9] / ms[kTlg6One], ms[kPng6] / ms[kTlg6One],
                  wall[kPng9] / wall[kTlg6Threads], kb(kTlg6One) / kb(kPng9)};
    rows.push_back(row);
    std::printf("%-44s %7.1f %7.1f %7.1f %7.1f %7.1f | %6.0f %6.0f %6.0f %6.0f | %6.2f %6.2f %6.2f %6.3f\n",
                p.name.c_str(), ms[kTlg5], ms[kTlg6One], wall[kTlg6Threads], ms[kPng6], ms[kPng9], kb(kTlg5),
                kb(kTlg6One), kb(kPng6), kb(kPng9), row.t6p9, row.t6p6, row.mtp9, row.size);
  }
  std::map<std::string, std::vector<const Row*>> groups;
  for (const Row& r : rows) {
    groups[r.group].push_back(&r);
    groups["all"].push_back(&r);
  }
  std::printf("\nspeed x = PNG time / TLG6 time (mt: wall times, TLG6 on all threads); size = TLG6 / PNG-9\n");
  for (const auto& [name, members] : groups) {
    std::vector<double> a, b, c, d;
    const Row* worst = members[0];
    for (const Row* r : members) {
      a.push_back(r->t6p9);
      b.push_back(r->t6p6);
      c.push_back(r->mtp9);
      d.push_back(r->size);
      if (r->t6p9 < worst->t6p9) worst = r;
    }
    std::printf("%-12s %2zu pictures  median vs PNG-9 %.2fx, vs PNG-6 %.2fx, threads vs PNG-9 %.2fx, size %.3f | "
                "worst vs PNG-9 %.2fx (%s)\n",
                name.c_str(), members.size(), benchpics::median(a), benchpics::median(b), benchpics::median(c),
                benchpics::median(d), worst->t6p9, worst->name.c_str());
  }
  benchmark::Shutdown();
  return 0;
}
