#pragma once
// Writing Launcher.dat: names checked, keys unique, data streamed (scrambled where asked)
// into a temporary file that replaces the output only when complete.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct PackItem {
  std::string name;               // the resource name as the launcher asks for it (code page 932)
  std::filesystem::path source;   // the file whose bytes are stored
  uint64_t size = 0;
  bool scrambled = true;
};

// Why the launcher could not look `name` up through a layout table, or nullopt.
std::optional<std::string> nameProblem(const std::string& name);

// "*" matches any run of bytes ("/" included), "?" any one byte.
bool globMatch(const char* pattern, const char* text);

// Writes the items (sorted by name) to `out`. Returns an error message, or "" on success.
std::string writeDat(const std::filesystem::path& out, std::vector<PackItem> items, bool magic);
