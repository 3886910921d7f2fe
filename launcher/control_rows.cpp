#include "launcher/control_rows.h"

#include "launcher/error_box.h"
#include "launcher/numbers.h"

namespace {

struct Span {
  int start, length;
};

// "v" or "v|length": piece 0 and, when present, piece 1; later pieces are ignored.
Span readSpan(const std::string& field, int defaultLength) {
  const std::vector<std::string> pieces = splitFields(field.data(), field.size(), '|');
  return {parseDecimal(pieces[0].c_str()),
          pieces.size() > 1 ? parseDecimal(pieces[1].c_str()) : defaultLength};
}

const std::string& fieldOf(const LayoutRow& row, std::size_t i) {
  static const std::string empty;
  return i < row.size() ? row[i] : empty;
}

}  // namespace

ButtonGeometry buttonGeometryFromRow(const LayoutRow& row) {
  const Span x = readSpan(fieldOf(row, 2), 80), y = readSpan(fieldOf(row, 3), 20);
  return {x.start, y.start, x.length, y.length};
}

PanelOrigin panelOriginFromRow(const LayoutRow& row) {
  return {parseDecimal(fieldOf(row, 2).c_str()), parseDecimal(fieldOf(row, 3).c_str())};
}

ClientSize clientSizeFromRow(const LayoutRow& row) {
  return {parseDecimal(fieldOf(row, 1).c_str()), parseDecimal(fieldOf(row, 2).c_str())};
}

std::string unsupportedKindMessage(const std::string& kind) { return kind + " 対応していない形式です"; }

bool buildControlsFromRows(const LayoutTable& table, const RowHandlers& handlers) {
  for (std::size_t i = 1; i < table.size(); ++i) {
    const LayoutRow& row = table[i];
    const std::string& kind = fieldOf(row, 0);
    if (kind.empty()) continue;
    if (kind == "btn") {
      handlers.addButton(row);
    } else if (kind == "img") {
      if (!handlers.addPanel(row)) return false;
    } else {
      ShowErrorBox(unsupportedKindMessage(kind));
    }
  }
  return true;
}
