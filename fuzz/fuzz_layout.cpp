// The layout text dialect and the packer's layout checks on arbitrary bytes.
#include <cstdint>
#include <string>

#include "launcher/layout_table.h"
#include "launcher/numbers.h"
#include "tools/launcherdat/layout_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const LayoutTable table = parseLayoutText(text, size, ',', 6);
  for (const LayoutRow& row : table) {
    if (row.size() < 6) __builtin_trap();
    for (const std::string& field : row) {
      parseDecimal(field.c_str());
      parseHex(field.c_str());
      splitFields(field.data(), field.size(), '|');
    }
  }
  checkLayout(table, [](const std::string&) { return std::nullopt; });
  namesInLayout(table);
  return 0;
}
