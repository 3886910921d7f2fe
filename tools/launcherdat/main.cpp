// launcherdat: makes, lists, extracts and checks the launcher's packed data file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "image/image.h"
#include "launcher/cp932.h"
#include "launcher/error_box.h"
#include "launcher/layout_table.h"
#include "launcher/numbers.h"
#include "pack/name_key.h"
#include "pack/packed_data_file.h"
#include "tools/common/atomic_file.h"
#include "tools/common/console.h"
#include "tools/common/files.h"
#include "tools/common/library_messages.h"
#include "tools/common/name_codec.h"
#include "tools/common/version.h"
#include "tools/launcherdat/dat_writer.h"
#include "tools/launcherdat/layout_report.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace limg;

namespace fs = std::filesystem;

namespace {

const char* const kLayoutName = "Launcher/Launcher.csv";

struct UsageError {
  std::string message;
};

int fail(const std::string& message) {
  printText(stderr, "launcherdat: %s\n", message.c_str());
  return 1;
}

// Arguments of one command: positional words and --options (with or without a value).
struct Args {
  std::vector<std::string> words;
  std::vector<std::pair<std::string, std::string>> options;  // in order
  bool has(const std::string& name) const {
    for (const auto& o : options)
      if (o.first == name) return true;
    return false;
  }
};

Args parseArgs(int argc, char** argv, const std::vector<std::string>& flags,
               const std::vector<std::string>& valued) {
  Args a;
  for (int i = 0; i < argc; ++i) {
    const std::string s = argv[i];
    if (s.size() > 2 && s.compare(0, 2, "--") == 0) {
      if (std::find(flags.begin(), flags.end(), s) != flags.end()) {
        a.options.push_back({s, ""});
      } else if (std::find(valued.begin(), valued.end(), s) != valued.end()) {
        if (i + 1 >= argc) throw UsageError{s + " needs a value"};
        a.options.push_back({s, argv[++i]});
      } else {
        throw UsageError{"unknown option " + s};
      }
    } else {
      a.words.push_back(s);
    }
  }
  return a;
}

// Resource names as the launcher sees them: code page 932, unless the user keeps bytes as they are.
std::string toResourceName(const std::string& local, bool raw) {
  if (raw) return local;
  if (const std::optional<std::string> n = utf8ToCp932(local)) return *n;
  throw UsageError{"\"" + local + "\" can't be written in code page 932 (use --raw-names to keep the bytes)"};
}

std::string keyHex(uint64_t key) {
  char text[20];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(key));
  return text;
}

// Message boxes of the reader become lines on standard error.
void printBoxesOnStderr() {
  setErrorBoxSink([](const std::string& text) {
    printText(stderr, "launcherdat: %s\n", displayCp932(text).c_str());
  });
}

// The file name by which the reader (which takes byte names, as the launcher does) opens the
// packed file in its own directory: the name itself when it is ASCII; on Windows otherwise its
// short 8.3 name, if the volume keeps one. Empty when there is none.
std::string archiveBaseName(const fs::path& path) {
  const std::string name = utf8FromPath(path.filename());
  bool ascii = true;
  for (unsigned char c : name) ascii = ascii && c < 0x80;
#ifdef _WIN32
  if (ascii) return name;
  const fs::path full = fs::absolute(path);
  std::wstring shortName(MAX_PATH, L'\0');
  const DWORD n = GetShortPathNameW(full.c_str(), &shortName[0], DWORD(shortName.size()));
  if (n == 0 || n >= shortName.size()) return std::string();
  shortName.resize(n);
  const std::string base = utf8FromPath(fs::path(shortName).filename());
  for (unsigned char c : base)
    if (c >= 0x80) return std::string();
  return base;
#else
  (void)ascii;
  return name;
#endif
}

// Reads the index the way the launcher does: from the file's own directory.
void openArchive(const std::string& dat) {
  const fs::path path = pathFromUtf8(dat);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw UsageError{dat + ": no such file"};
  FILE* probe = openFileUtf8(path, "rb");
  if (!probe) throw UsageError{dat + ": " + std::strerror(errno)};
  std::fclose(probe);
  const fs::path dir = fs::absolute(path).parent_path();
  fs::current_path(dir);
  const std::string base = archiveBaseName(path);
  if (base.empty()) throw UsageError{dat + ": rename it with ASCII letters only (for example Launcher.dat)"};
  if (base.size() >= sizeof(ArchiveEntry::archivePath)) throw UsageError{dat + ": file name too long"};
  openIndex(base.c_str());
}

bool inIndex(const std::string& name) { return packedData.index.count(nameKey(name.c_str())) != 0; }

// Whether the launcher would find a resource name (code page 932 bytes) as a plain file in the
// current directory: on Windows by the name's characters, elsewhere by its bytes.
bool plainFileExists(const std::string& name) {
  std::error_code ec;
#ifdef _WIN32
  bool valid = false;
  const std::u16string text = cp932ToUtf16(name, &valid);
  if (!valid) return false;
  return fs::exists(fs::path(std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size())), ec);
#else
  return fs::exists(fs::path(name), ec);
#endif
}

// Loads a resource through the reader; nullopt after its messages were printed.
std::optional<std::string> loadResource(const std::string& name) {
  uint32_t size = 0;
  if (!loadFileToScratch(name.c_str(), &size)) return std::nullopt;
  return std::string(reinterpret_cast<char*>(packedData.scratch.data), size);
}

std::optional<LayoutTable> loadLayoutQuietly(const std::string& name) {
  if (!inIndex(name) && !plainFileExists(name)) return std::nullopt;
  LayoutTable table;
  if (!loadLayoutTable(name.c_str(), ',', 6, table)) return std::nullopt;
  return table;
}

// ---- create -------------------------------------------------------------------------

const char* const kCreateHelp =
    "usage: launcherdat create OUT.dat DIR [options]\n"
    "Packs every file under DIR, named by its path relative to DIR with \"/\" separators\n"
    "(for example Launcher/Launcher.csv and the pictures it names).\n"
    "  --no-magic          write the header version without \"ACV1\"\n"
    "  --scramble          scramble every entry with its name (the default)\n"
    "  --no-scramble       store every entry as it is\n"
    "  --plain GLOB        store the matching files unscrambled (repeatable)\n"
    "  --scrambled GLOB    scramble the matching files (repeatable; the last match wins)\n"
    "  --raw-names         keep file names' bytes instead of converting UTF-8 to code page 932\n"
    "  --verbose           print each entry: name, size, scrambled (tab-separated)\n"
    "Globs match the relative name: * is any run of characters (\"/\" too), ? one character.\n";

int create(const Args& a) {
  if (a.words.size() != 2) throw UsageError{"create needs OUT.dat and DIR (see --help)"};
  const fs::path out = pathFromUtf8(a.words[0]), dir = pathFromUtf8(a.words[1]);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return fail(a.words[1] + ": not a directory");
  const bool raw = a.has("--raw-names");
  bool scrambleDefault = true;
  for (const auto& o : a.options) {
    if (o.first == "--scramble") scrambleDefault = true;
    if (o.first == "--no-scramble") scrambleDefault = false;
  }
  const fs::path outAbsolute = fs::weakly_canonical(fs::absolute(out), ec);
  std::vector<PackItem> items;
  for (fs::recursive_directory_iterator it(dir, ec), end; it != end; it.increment(ec)) {
    if (ec) return fail(a.words[1] + ": " + errorText(ec));
    if (!it->is_regular_file(ec)) continue;
    const fs::path full = fs::weakly_canonical(fs::absolute(it->path()), ec);
    if (full == outAbsolute) continue;  // the output itself, when it lies inside DIR
    const std::string relative = it->path().lexically_relative(dir).generic_u8string();
    PackItem item;
    item.name = toResourceName(relative, raw);
    item.source = it->path();
    item.size = it->file_size(ec);
    if (ec) return fail(a.words[1] + ": " + relative + ": can't read its size: " + ec.message());
    item.scrambled = scrambleDefault;
    for (const auto& o : a.options) {
      if (o.first == "--plain" && globMatch(o.second.c_str(), relative.c_str())) item.scrambled = false;
      if (o.first == "--scrambled" && globMatch(o.second.c_str(), relative.c_str())) item.scrambled = true;
    }
    items.push_back(item);
  }
  const std::string error = writeDat(out, items, !a.has("--no-magic"));
  if (!error.empty()) return fail(error);
  if (a.has("--verbose")) {
    std::sort(items.begin(), items.end(), [](const PackItem& x, const PackItem& y) { return x.name < y.name; });
    for (const PackItem& item : items)
      printText(stdout, "%s\t%llu\t%d\n", displayCp932(item.name).c_str(),
                static_cast<unsigned long long>(item.size), item.scrambled ? 1 : 0);
  }
  return 0;
}

// ---- list ---------------------------------------------------------------------------

const char* const kListHelp =
    "usage: launcherdat list DAT [--names DIR|LAYOUT]... [--raw-names]\n"
    "Prints one entry a line, tab-separated: key (hex), offset, size, scrambled (0/1), name.\n"
    "Names come from candidates: the files under DIR, the names a layout table (.csv) gives,\n"
    "and the packed layout table itself. For an entry whose name is unknown, offset and size\n"
    "are masked by one byte of the name: they are printed as the range LOW-HIGH, name as \"-\".\n";

void addCandidatesFromLayout(const LayoutTable& table, std::vector<std::string>& out) {
  const LayoutNames names = namesInLayout(table);
  out.insert(out.end(), names.pictures.begin(), names.pictures.end());
  out.insert(out.end(), names.targets.begin(), names.targets.end());
}

int list(const Args& a) {
  if (a.words.size() != 1) throw UsageError{"list needs DAT (see --help)"};
  const bool raw = a.has("--raw-names");
  std::vector<std::string> candidates = {kLayoutName};
  const fs::path start = fs::current_path();
  for (const auto& o : a.options) {
    if (o.first != "--names") continue;
    const fs::path p = fs::absolute(pathFromUtf8(o.second));
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
      for (fs::recursive_directory_iterator it(p, ec), end; it != end; it.increment(ec))
        if (it->is_regular_file(ec))
          candidates.push_back(toResourceName(it->path().lexically_relative(p).generic_u8string(), raw));
    } else {
      FILE* f = openFileUtf8(p, "rb");
      if (!f) return fail(o.second + ": " + std::strerror(errno));
      std::string text;
      char chunk[65536];
      for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
      std::fclose(f);
      addCandidatesFromLayout(parseLayoutText(text.data(), text.size(), ',', 6), candidates);
    }
  }
  openArchive(a.words[0]);
  if (inIndex(kLayoutName))
    if (const std::optional<LayoutTable> table = loadLayoutQuietly(kLayoutName))
      addCandidatesFromLayout(*table, candidates);
  std::map<uint64_t, std::string> known;
  for (const std::string& c : candidates) known.emplace(nameKey(c.c_str()), c);

  std::vector<std::pair<uint64_t, const ArchiveEntry*>> entries;
  for (const auto& e : packedData.index) entries.push_back({e.first, &e.second});
  std::sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) {
    return (x.second->offset & ~0xFFu) != (y.second->offset & ~0xFFu)
               ? (x.second->offset & ~0xFFu) < (y.second->offset & ~0xFFu)
               : x.first < y.first;
  });
  for (const auto& [key, entry] : entries) {
    const auto name = known.find(key);
    if (name != known.end()) {
      const std::string& n = name->second;
      const uint32_t offset = entry->offset ^ uint8_t(n[n.size() / 2]);
      const uint32_t size = entry->size ^ uint8_t(n[n.size() / 4]);
      printText(stdout, "%s\t%u\t%u\t%d\t%s\n", keyHex(key).c_str(), offset, size, entry->scrambled ? 1 : 0,
                displayCp932(n).c_str());
    } else {
      printText(stdout, "%s\t%u-%u\t%u-%u\t%d\t-\n", keyHex(key).c_str(), entry->offset & ~0xFFu,
                entry->offset | 0xFFu, entry->size & ~0xFFu, entry->size | 0xFFu, entry->scrambled ? 1 : 0);
    }
  }
  return 0;
}

// ---- extract ------------------------------------------------------------------------

const char* const kExtractHelp =
    "usage: launcherdat extract DAT OUTDIR [NAME...] [--raw-names]\n"
    "Writes the named resources under OUTDIR; with no names, Launcher/Launcher.csv and every\n"
    "picture and button target that it names and the packed file holds.\n";

bool safeRelative(const std::string& name) {
  const fs::path p = pathFromUtf8(name);
  if (p.is_absolute() || p.has_root_name() || p.has_root_directory()) return false;
  for (const fs::path& part : p)
    if (part == "..") return false;
  return !name.empty() && name.find('\\') == std::string::npos;
}

int extract(const Args& a) {
  if (a.words.size() < 2) throw UsageError{"extract needs DAT and OUTDIR (see --help)"};
  const bool raw = a.has("--raw-names");
  const fs::path outDir = fs::absolute(pathFromUtf8(a.words[1]));
  std::vector<std::string> names;
  for (std::size_t i = 2; i < a.words.size(); ++i) names.push_back(toResourceName(a.words[i], raw));
  openArchive(a.words[0]);
  const bool all = names.empty();
  if (all) {
    if (!inIndex(kLayoutName)) return fail(a.words[0] + ": holds no " + kLayoutName);
    names.push_back(kLayoutName);
    if (const std::optional<LayoutTable> table = loadLayoutQuietly(kLayoutName)) {
      const LayoutNames n = namesInLayout(*table);
      for (const std::string& p : n.pictures) names.push_back(p);
      for (const std::string& t : n.targets)
        if (inIndex(t)) names.push_back(t);
    }
  }
  int status = 0;
  for (const std::string& name : names) {
    const std::string shown = displayCp932(name);
    if (!inIndex(name)) {
      status = fail(shown + ": not in the packed file");
      continue;
    }
    const std::optional<std::string> local = raw ? std::optional<std::string>(name) : cp932ToUtf8(name);
    if (!local || !safeRelative(*local)) {
      status = fail(shown + ": not a safe relative path to write");
      continue;
    }
    const std::optional<std::string> bytes = loadResource(name);
    if (!bytes) {
      status = 1;
      continue;
    }
    const fs::path target = outDir / pathFromUtf8(*local);
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    const std::string error = writeFileAtomic(target, bytes->data(), bytes->size());
    if (!error.empty()) status = fail(error);
    else printText(stdout, "%s\n", utf8FromPath(target).c_str());
  }
  return status;
}

// ---- check --------------------------------------------------------------------------

const char* const kCheckHelp =
    "usage: launcherdat check DAT\n"
    "Reads the index and the layout table the way the launcher will (plain files beside DAT\n"
    "included) and prints each problem as LAYOUT:LINE: row N: message. Exit status 0 only\n"
    "when there is no problem.\n";

int check(const Args& a) {
  if (a.words.size() != 1) throw UsageError{"check needs DAT (see --help)"};
  openArchive(a.words[0]);
  if (!inIndex(kLayoutName) && !plainFileExists(kLayoutName))
    return fail(std::string(kLayoutName) + ": not in " + a.words[0] + " and no plain file beside it");
  LayoutTable table;
  if (!loadLayoutTable(kLayoutName, ',', 6, table)) return 1;
  const auto resourceProblem = [](const std::string& name) -> std::optional<std::string> {
    if (!inIndex(name) && !plainFileExists(name))
      return std::string("not in the packed file and no plain file beside it");
    std::string messages;
    const ErrorBoxSink previous = setErrorBoxSink([&](const std::string& t) { messages += displayCp932(t) + "; "; });
    uint32_t size = 0;
    const int loaded = loadFileToScratch(name.c_str(), &size);
    setErrorBoxSink(previous);
    if (!loaded) return "can't be read: " + messages;
    Image* image = ImageLoadFromMemory(packedData.scratch.data, int32_t(std::min<uint32_t>(size, INT32_MAX)));
    const bool decoded = image && image->pixels;
    ImageDestroy(&image);
    if (!decoded) return std::string("no decoder accepts its bytes (the launcher shows an error and ends)");
    return std::nullopt;
  };
  const std::vector<LayoutProblem> problems = checkLayout(table, resourceProblem);
  for (const LayoutProblem& p : problems)
    printText(stdout, "%s:%zu: row %zu: %s\n", kLayoutName, p.line, p.row, p.message.c_str());
  return problems.empty() ? 0 : 1;
}

// ---- drop ---------------------------------------------------------------------------

// The check of a drop: its report, and a word when there is nothing to report.
int checkAndSay(const std::string& dat) {
  printText(stdout, "Checking %s\n", dat.c_str());
  Args checking;
  checking.words = {dat};
  const int status = check(checking);
  if (status == 0) printText(stdout, "No problems found.\n");
  return status;
}

// What Explorer runs for something dropped onto the program: its path as the only argument.
// A folder is packed into Launcher.dat beside it and the result checked; a file is checked.
int dropped(const std::string& given) {
  const fs::path target = pathFromUtf8(given);
  std::error_code ec;
  if (fs::is_directory(target, ec)) {
    fs::path folder = fs::absolute(target).lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path();  // "C:\Game\data\"
    const std::string dat = utf8FromPath(folder.parent_path() / "Launcher.dat");
    printText(stdout, "Packing %s into %s\n", utf8FromPath(folder).c_str(), dat.c_str());
    Args packing;
    packing.words = {dat, utf8FromPath(folder)};
    packing.options = {{"--verbose", ""}};
    if (const int status = create(packing)) return status;
    printText(stdout, "\n");
    return checkAndSay(dat);
  }
  if (fs::is_regular_file(target, ec)) return checkAndSay(given);
  return fail(given + ": neither a folder nor a file");
}

// ---- dispatch -----------------------------------------------------------------------

struct Command {
  const char* name;
  const char* help;
  std::vector<std::string> flags, valued;
  int (*run)(const Args&);
};

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"create", kCreateHelp, {"--no-magic", "--scramble", "--no-scramble", "--raw-names", "--verbose"},
       {"--plain", "--scrambled"}, create},
      {"list", kListHelp, {"--raw-names"}, {"--names"}, list},
      {"extract", kExtractHelp, {"--raw-names"}, {}, extract},
      {"check", kCheckHelp, {}, {}, check},
  };
  return table;
}

void printUsage(FILE* to) {
  writeText(to,
            "usage: launcherdat COMMAND ...\n"
            "Makes and inspects Launcher.dat, the launcher's packed data file.\n"
            "commands:\n"
            "  create OUT.dat DIR     pack a folder\n"
            "  list DAT               list the entries\n"
            "  extract DAT OUTDIR     write resources back out\n"
            "  check DAT              check the layout table and what it names\n"
            "  FOLDER                 pack FOLDER into Launcher.dat beside it, then check it\n"
            "  FILE.dat               check FILE.dat (both what dropping onto the program does)\n"
            "launcherdat COMMAND --help tells more.\n");
}

int runCommand(int argc, char** argv) {
  if (argc < 2) {
    printUsage(stderr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    printUsage(stdout);
    return 0;
  }
  if (name == "--version") {
    printText(stdout, "launcherdat %s\n", kProjectVersion);
    return 0;
  }
  for (const Command& c : commands()) {
    if (name != c.name) continue;
    for (int i = 2; i < argc; ++i)
      if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
        writeText(stdout, c.help);
        return 0;
      }
    try {
      return c.run(parseArgs(argc - 2, argv + 2, c.flags, c.valued));
    } catch (const UsageError& e) {
      return fail(e.message);
    } catch (const std::exception& e) {
      return fail(e.what());
    }
  }
  std::error_code ec;
  const bool isPath = name.compare(0, 1, "-") != 0 && fs::exists(pathFromUtf8(name), ec);
  if (isPath && argc > 2) return fail("drop one folder or one packed file at a time");
  if (isPath) {
    try {
      return dropped(name);
    } catch (const UsageError& e) {
      return fail(e.message);
    } catch (const std::exception& e) {
      return fail(e.what());
    }
  }
  fail("unknown command \"" + name + "\"");
  printUsage(stderr);
  return 2;
}

int launcherdatMain(int argc, char** argv) {
  installLibraryMessages();
  printBoxesOnStderr();
  const int status = runCommand(argc, argv);
  // Started from Explorer (a drop, a double click): keep the window until it has been read.
  if (consoleIsOwnOnly()) waitForEnter("\nPress Enter to close this window.");
  return status;
}

}  // namespace

int main(int argc, char** argv) { return runTool(argc, argv, launcherdatMain); }
