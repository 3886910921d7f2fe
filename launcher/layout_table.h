#pragma once
// The layout table Launcher/Launcher.csv: its text dialect and its rows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Fields are byte strings (Shift-JIS), possibly empty; every row has at least the minimum
// number of fields it was loaded with. Rows never move once the table is loaded: buttons
// keep the address of their own row.
using LayoutRow = std::vector<std::string>;
using LayoutTable = std::vector<LayoutRow>;

// The process-wide table that start-up fills once.
extern LayoutTable layoutTable;

// Reads the resource through the packed data file and appends its rows to `table`.
// Returns 1, or 0 after a failure that loadFile has already reported.
int loadLayoutTable(const char* name, char separator, std::size_t minimumFields, LayoutTable& table);

// Lines at `separator`, each trimmed of blanks. A quote (" or ') suspends splitting until
// the same quote comes again; a lead byte takes the next byte with it. An empty text gives
// no lines; a text ending in the separator gives a last, empty line.
std::vector<std::string> splitLines(const char* bytes, std::size_t length, char separator);

// Fields at `separator`, untrimmed, never an empty list; the last field ends at the first
// NUL byte (or at the end). A lead byte takes the next byte with it.
std::vector<std::string> splitFields(const char* bytes, std::size_t length, char separator);

// The piece of bytes[first..last] without leading and trailing TAB, LF, CR and space.
struct TrimmedPiece {
  std::size_t start, length;
};
TrimmedPiece trimBlanks(const char* bytes, std::ptrdiff_t first, std::ptrdiff_t last);

// Splits every line of `text` (LF) into fields and pads each to `minimumFields`.
LayoutTable parseLayoutText(const char* text, std::size_t length, char separator,
                            std::size_t minimumFields);
