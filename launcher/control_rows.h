#pragma once
// What the rows of the layout table mean for the controls, and the loop that turns the
// rows after row 0 into controls. Positions and sizes are logical units (96 per inch).
#include <functional>
#include <string>

#include "launcher/layout_table.h"

struct ButtonGeometry {
  int x, y, width, height;
};
// Field 2 is x or x|width (width 80 by default), field 3 y or y|height (height 20).
ButtonGeometry buttonGeometryFromRow(const LayoutRow& row);

struct PanelOrigin {
  int x, y;
};
// Fields 2 and 3, each read whole (a bar is just another digit).
PanelOrigin panelOriginFromRow(const LayoutRow& row);

// Row 0's fields 1 and 2: the client size in logical units.
struct ClientSize {
  int width, height;
};
ClientSize clientSizeFromRow(const LayoutRow& row);

struct RowHandlers {
  std::function<void(const LayoutRow&)> addButton;
  // False: the row's picture couldn't be loaded and start-up ends.
  std::function<bool(const LayoutRow&)> addPanel;
};

// Rows 1 to the last in table order by field 0: "" skipped, "btn", "img", anything else
// reported as an unsupported kind. False as soon as a panel fails; the rest isn't read.
bool buildControlsFromRows(const LayoutTable& table, const RowHandlers& handlers);

// The box text for a row kind other than "btn" and "img".
std::string unsupportedKindMessage(const std::string& kind);
