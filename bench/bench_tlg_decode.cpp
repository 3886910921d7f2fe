// TLG5 and TLG6 decoding against libpng decoding the same real pictures, for every routine
// form. Pictures come from the folders named on the command line (default
// ../shared/bench-pictures); each is decoded once, then written as TLG5 and TLG6 by the
// library's own writers and as PNG level 9 by libpng, and the decode of each is timed from
// memory in the same run. Prints per picture MP/s and the ratios to libpng, then the median
// and the worst picture of each group (the folder a picture lies in) and of all.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_pictures.h"
#include "image/tlg/tlg_decode.h"
#include "image/tlg/tlg_encode.h"

using namespace limg;

using benchpics::Bytes;
using benchpics::Picture;

namespace {

struct Coded {
  const Picture* pic;
  Bytes png, tlg5, tlg6;
};

Bytes tlgEncode(const Picture& pic, bool tlg6) {
  std::vector<uint8_t> bgr;
  std::vector<const uint8_t*> rows = benchpics::encoderRows(pic, bgr);
  const TlgEncodeSource source{pic.width, pic.height, rows.data(), pic.alpha ? 7 : 6};
  TlgMemoryWriter writer(uint32_t(pic.pixels.size() * 5 + 4096));
  if (tlg6)
    SaveTLG6(source, writer);
  else
    Tlg5Encode(source, writer);
  return Bytes(writer.data, writer.data + writer.position);
}

void checkTlg(const Picture& pic, const Bytes& data, const TlgRoutines& routines, benchmark::State& state) {
  Image* image = TlgLoadFromMemoryWith(data.data(), int32_t(data.size()), routines);
  const bool ok = image && image->pixels &&
                  std::memcmp(image->pixels, pic.pixels.data(), pic.pixels.size() * 4) == 0;
  ImageDestroy(&image);
  if (!ok) state.SkipWithError("decoded pixels differ");
}

void benchPng(benchmark::State& state, const Coded* c) {
  std::vector<uint32_t> out;
  if (!benchpics::pngDecode(c->png, out) || out != c->pic->pixels) state.SkipWithError("libpng round trip differs");
  for (auto _ : state) {
    benchpics::pngDecode(c->png, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(c->pic->pixels.size()));
}

void benchTlg(benchmark::State& state, const Coded* c, const Bytes* data, TlgRoutines routines) {
  checkTlg(*c->pic, *data, routines, state);
  for (auto _ : state) {
    Image* image = TlgLoadFromMemoryWith(data->data(), int32_t(data->size()), routines);
    benchmark::DoNotOptimize(image);
    ImageDestroy(&image);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(c->pic->pixels.size()));
}

// Keeps the CPU time per iteration of every run (the machine is shared).
class TimeReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (!run.error_occurred && run.iterations > 0) seconds[run.benchmark_name()] = run.GetAdjustedCPUTime() / 1e3;
    ConsoleReporter::ReportRuns(runs);
  }
  double get(const std::string& name) const {
    const auto it = seconds.find(name);
    return it == seconds.end() ? 0 : it->second;
  }
};

struct Row {
  const Coded* coded;
  double pngMps, tlg5Mps, tlg6Mps, tlg5x, tlg6x;
};

void summary(const char* label, const std::vector<Row>& rows) {
  if (rows.empty()) return;
  std::vector<double> r5, r6, size6;
  const Row* worst5 = &rows[0];
  const Row* worst6 = &rows[0];
  for (const Row& r : rows) {
    r5.push_back(r.tlg5x);
    r6.push_back(r.tlg6x);
    size6.push_back(double(r.coded->tlg6.size()) / double(r.coded->png.size()));
    if (r.tlg5x < worst5->tlg5x) worst5 = &r;
    if (r.tlg6x < worst6->tlg6x) worst6 = &r;
  }
  std::printf("%-12s %2zu pictures  median tlg5 %.2fx  tlg6 %.2fx  tlg6/png9 size %.2f | worst tlg5 %.2fx (%s)  "
              "tlg6 %.2fx (%s)\n",
              label, rows.size(), benchpics::median(r5), benchpics::median(r6), benchpics::median(size6),
              worst5->tlg5x, worst5->coded->pic->name.c_str(), worst6->tlg6x, worst6->coded->pic->name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> folders = benchpics::takeFolders(argc, argv);
  benchmark::Initialize(&argc, argv);
  const std::vector<Picture> pics = benchpics::loadPictures(folders);
  std::vector<Coded> coded;
  coded.reserve(pics.size());
  for (const Picture& pic : pics)
    coded.push_back({&pic, benchpics::pngEncode(pic, 9), tlgEncode(pic, false), tlgEncode(pic, true)});

  const std::vector<TlgRoutines> forms = TlgAvailableRoutines(TlgProbeCpu());
  for (const Coded& c : coded) {
    const std::string id = c.pic->group + "/" + c.pic->name;
    benchmark::RegisterBenchmark(("png/" + id).c_str(), benchPng, &c)->Unit(benchmark::kMillisecond);
    for (const TlgRoutines& f : forms) {
      benchmark::RegisterBenchmark(("tlg5/" + id + "/" + f.name).c_str(), benchTlg, &c, &c.tlg5, f)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("tlg6/" + id + "/" + f.name).c_str(), benchTlg, &c, &c.tlg6, f)
          ->Unit(benchmark::kMillisecond);
    }
  }
  TimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  for (const TlgRoutines& f : forms) {
    std::printf("\nform %s (MP/s of decoded pixels; x = libpng time / ours)\n", f.name);
    std::printf("%-12s %-30s %11s %7s %7s %7s | %7s %7s %6s %7s %6s\n", "group", "picture", "size", "png KB",
                "tlg5 KB", "tlg6 KB", "png", "tlg5", "x", "tlg6", "x");
    std::map<std::string, std::vector<Row>> groups;
    std::vector<Row> all;
    for (const Coded& c : coded) {
      const std::string id = c.pic->group + "/" + c.pic->name;
      const double png = reporter.get("png/" + id);
      const double t5 = reporter.get("tlg5/" + id + "/" + f.name);
      const double t6 = reporter.get("tlg6/" + id + "/" + f.name);
      if (png <= 0 || t5 <= 0 || t6 <= 0) continue;
      const double mp = double(c.pic->pixels.size()) / 1e6;
      const Row row{&c, mp / png, mp / t5, mp / t6, png / t5, png / t6};
      std::printf("%-12s %-30s %5dx%-5d %7zu %7zu %7zu | %7.0f %7.0f %6.2f %7.0f %6.2f\n", c.pic->group.c_str(),
                  c.pic->name.c_str(), c.pic->width, c.pic->height, c.png.size() / 1024, c.tlg5.size() / 1024,
                  c.tlg6.size() / 1024, row.pngMps, row.tlg5Mps, row.tlg5x, row.tlg6Mps, row.tlg6x);
      groups[c.pic->group].push_back(row);
      all.push_back(row);
    }
    for (const auto& [name, rows] : groups) summary(name.c_str(), rows);
    summary("all", all);
  }
  benchmark::Shutdown();
  return 0;
}
