#include "launcher/layout_table.h"

#include <cstring>

#include "launcher/numbers.h"
#include "pack/packed_data_file.h"

LayoutTable layoutTable;

namespace {

bool isBlank(uint8_t b) { return b == '\t' || b == '\n' || b == '\r' || b == ' '; }

}  // namespace

TrimmedPiece trimBlanks(const char* bytes, std::ptrdiff_t first, std::ptrdiff_t last) {
  while (first <= last && isBlank(uint8_t(bytes[first]))) ++first;
  while (last >= first && isBlank(uint8_t(bytes[last]))) --last;
  return {std::size_t(first), std::size_t(last - first + 1)};
}

std::vector<std::string> splitLines(const char* bytes, std::size_t length, char separator) {
  std::vector<std::string> lines;
  if (length == 0) return lines;
  const std::ptrdiff_t n = std::ptrdiff_t(length);
  auto append = [&](std::ptrdiff_t start, std::ptrdiff_t end) {
    const TrimmedPiece piece = trimBlanks(bytes, start, end - 1);
    lines.emplace_back(bytes + piece.start, piece.length);
  };
  std::ptrdiff_t start = 0, i = 0;
  bool inQuote = false;
  uint8_t quote = 0;
  while (i < n) {
    const uint8_t b = uint8_t(bytes[i]);
    if (isLeadByte(b)) {
      i += 2;
    } else if (inQuote) {
      if (b == quote) inQuote = false;
      ++i;
    } else if (b == '"' || b == '\'') {
      quote = b;
      inQuote = true;
      ++i;
    } else if (b == uint8_t(separator)) {
      append(start, i);
      start = i + 1;
      ++i;
    } else {
      ++i;
    }
  }
  // A lead byte as the very last byte is a cut character: it is dropped.
  append(start, i > n ? n - 1 : n);
  return lines;
}

std::vector<std::string> splitFields(const char* bytes, std::size_t length, char separator) {
  std::vector<std::string> fields;
  std::size_t start = 0, i = 0;
  while (i < length) {
    const uint8_t b = uint8_t(bytes[i]);
    if (isLeadByte(b)) {
      i += 2;
    } else if (b == uint8_t(separator)) {
      fields.emplace_back(bytes + start, i - start);
      start = i + 1;
      ++i;
    } else {
      ++i;
    }
  }
  std::size_t end = start;
  while (end < length && bytes[end] != '\0') ++end;
  fields.emplace_back(bytes + start, end - start);
  return fields;
}

LayoutTable parseLayoutText(const char* text, std::size_t length, char separator,
                            std::size_t minimumFields) {
  LayoutTable table;
  for (const std::string& line : splitLines(text, length, '\n')) {
    LayoutRow row = splitFields(line.data(), line.size(), separator);
    if (row.size() < minimumFields) row.resize(minimumFields);
    table.push_back(std::move(row));
  }
  return table;
}

int loadLayoutTable(const char* name, char separator, std::size_t minimumFields, LayoutTable& table) {
  uint32_t size = 0;
  if (!loadFileToScratch(name, &size)) return 0;
  char* text = reinterpret_cast<char*>(packedData.scratch.data);
  text[size] = '\0';  // loadFile's blocks keep a spare byte past their capacity
  LayoutTable rows = parseLayoutText(text, size, separator, minimumFields);
  for (LayoutRow& row : rows) table.push_back(std::move(row));
  return 1;
}
