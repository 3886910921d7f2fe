// The packed data file reader on arbitrary files: input = name length (1 byte), a resource
// name, then the bytes of Launcher.dat. The index is read, the name loaded, and the loaded
// bytes split as a layout table.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "launcher/error_box.h"
#include "launcher/layout_table.h"
#include "pack/packed_data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    char dir[] = "/dev/shm/fuzz-pack-XXXXXX";  // memory-backed: one file write per run
    if (!mkdtemp(dir) || chdir(dir) != 0) return false;
    setErrorBoxSink([](const std::string&) {});
    return true;
  }();
  if (!ready || size < 1) return 0;
  const size_t nameLength = data[0] < size - 1 ? data[0] : size - 1;
  const std::string name(reinterpret_cast<const char*>(data + 1), nameLength);
  FILE* f = std::fopen("Launcher.dat", "wb");
  if (!f) return 0;
  std::fwrite(data + 1 + nameLength, 1, size - 1 - nameLength, f);
  std::fclose(f);

  resetPackedDataFile();
  openIndex();
  // Names that would open other files on disk are kept to the index.
  if (name.find('/') == std::string::npos && name.find('.') == std::string::npos) {
    LayoutTable table;
    loadLayoutTable(name.c_str(), ',', 6, table);
    uint8_t* buffer = nullptr;
    uint32_t got = 0, capacity = 0;
    loadFile(name.c_str(), &buffer, &got, &capacity);
    std::free(buffer);
  }
  clearIndex();
  return 0;
}
