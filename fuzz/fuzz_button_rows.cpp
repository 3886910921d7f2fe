// Layout rows as the launcher turns them into controls and button actions: geometry, the
// row loop, the command split and the library-check buffer, on arbitrary text. The
// platform is a recorder whose answers come from the input too.
#include <cstdint>
#include <cstring>
#include <string>

#include "launcher/button_action.h"
#include "launcher/control_rows.h"
#include "launcher/error_box.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t answers = data[0];
  const LayoutTable table = parseLayoutText(reinterpret_cast<const char*>(data + 1), size - 1, ',', 6);
  setErrorBoxSink([](const std::string& text) {
    if (text.empty()) __builtin_trap();
  });
  std::string directory(answers % 64 * 5, 'D');  // some fit the 256-byte buffer, some don't
  ActionPlatform platform = {
      [&](char* buffer, unsigned capacity) {
        if (directory.size() + 1 > capacity) return unsigned(directory.size() + 1);
        std::memcpy(buffer, directory.c_str(), directory.size() + 1);
        return unsigned(directory.size());
      },
      [&](const char* path) {
        if (std::strlen(path) > 255 + 4096) __builtin_trap();
        return (answers & 0x40) != 0;
      },
      [](const char* file, const char* parameters) {
        if (!file || (parameters && std::strlen(parameters) > (1u << 24))) __builtin_trap();
      },
      [] {}};
  buildControlsFromRows(table, {[&](const LayoutRow& row) {
                                  buttonGeometryFromRow(row);
                                  runButtonActionWith(row, "C:/Games/X/", platform);
                                },
                                [&](const LayoutRow& row) {
                                  panelOriginFromRow(row);
                                  return (answers & 0x80) != 0;
                                }});
  if (!table.empty()) clientSizeFromRow(table[0]);
  setErrorBoxSink(nullptr);
  return 0;
}
