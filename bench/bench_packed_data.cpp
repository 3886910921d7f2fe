// Resource lookup and loading from a 1,000-entry Launcher.dat, against the same resources
// read as plain files (the reader's fallback) and the index in a std::unordered_map.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "launcher/error_box.h"
#include "pack/name_key.h"
#include "pack/packed_data_file.h"
#include "tools/launcherdat/dat_writer.h"
#include "bench/ratio_report.h"

namespace {

constexpr int kEntries = 1000;

struct Fixture {
  std::string dir;
  std::vector<std::string> names;
  Fixture() {
    char pattern[] = "/tmp/bench-pack-XXXXXX";
    dir = mkdtemp(pattern);
    std::filesystem::current_path(dir);
    std::mt19937 rng(1);
    std::vector<PackItem> items;
    for (int i = 0; i < kEntries; ++i) {
      const std::string name = "pictures/set" + std::to_string(i % 17) + "/image" + std::to_string(i) + ".png";
      std::string bytes(1024 + rng() % 60000, '\0');
      for (char& c : bytes) c = char(rng());
      std::filesystem::create_directories(std::filesystem::path(name).parent_path());
      FILE* f = std::fopen(name.c_str(), "wb");
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
      items.push_back({name, name, bytes.size(), i % 2 == 0});
      names.push_back(name);
    }
    writeDat("Launcher.dat", items, true);
    setErrorBoxSink([](const std::string&) {});
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_OpenIndex(benchmark::State& state) {
  fixture();
  for (auto _ : state) {
    resetPackedDataFile();
    openIndex();
    benchmark::DoNotOptimize(packedData.index.size());
  }
}
BENCHMARK(BM_OpenIndex);

void BM_LookupBoostIndex(benchmark::State& state) {
  const Fixture& f = fixture();
  resetPackedDataFile();
  openIndex();
  for (auto _ : state)
    for (const std::string& n : f.names) benchmark::DoNotOptimize(packedData.index.find(nameKey(n.c_str())));
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_LookupBoostIndex);

void BM_LookupStdUnorderedMap(benchmark::State& state) {  // peer container, same keys
  const Fixture& f = fixture();
  resetPackedDataFile();
  openIndex();
  std::unordered_map<uint64_t, ArchiveEntry> peer(packedData.index.begin(), packedData.index.end());
  for (auto _ : state)
    for (const std::string& n : f.names) benchmark::DoNotOptimize(peer.find(nameKey(n.c_str())));
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_LookupStdUnorderedMap);

void loadAll(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state)
    for (const std::string& n : f.names) {
      uint32_t size = 0;
      benchmark::DoNotOptimize(loadFileToScratch(n.c_str(), &size));
    }
  state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_LoadFromPackedFile(benchmark::State& state) {
  fixture();
  resetPackedDataFile();
  openIndex();
  loadAll(state);
}
BENCHMARK(BM_LoadFromPackedFile);

void BM_LoadPlainFiles(benchmark::State& state) {  // peer: the same resources beside the program
  fixture();
  resetPackedDataFile();
  loadAll(state);
}
BENCHMARK(BM_LoadPlainFiles);

}  // namespace

int main(int argc, char** argv) {
  return runWithRatios(argc, argv, {{"BM_LookupBoostIndex", "BM_LookupStdUnorderedMap"},
                                    {"BM_LoadFromPackedFile", "BM_LoadPlainFiles"}});
}
