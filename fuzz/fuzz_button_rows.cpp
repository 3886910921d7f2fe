// Layout rows as the launcher turns them into controls and button actions: geometry, the
// row loop, the command split and the library-check buffer, on arbitrary text. The
// platform is a recorder whose answers come from the input too.
#include <cstdint>
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
  const std::u16string directory(answers % 64 * 5, u'D');  // some fit the 256-unit path, some don't
  ActionPlatform platform = {
      [&] { return directory; },
      [&](const std::u16string& path) {
        if (path.size() > 255 + 4096 + size) __builtin_trap();
        return (answers & 0x40) != 0;
      },
      [&](const std::u16string& file, const std::u16string* parameters) {
        if (file.empty() || (parameters && parameters->size() > size)) __builtin_trap();
      },
      [] {}};
  buildControlsFromRows(table, {[&](const LayoutRow& row) {
                                  buttonGeometryFromRow(row);
                                  runButtonActionWith(row, u"C:/Games/X/", platform);
                                },
                                [&](const LayoutRow& row) {
                                  panelOriginFromRow(row);
                                  return (answers & 0x80) != 0;
                                }});
  if (!table.empty()) clientSizeFromRow(table[0]);
  setErrorBoxSink(nullptr);
  return 0;
}
