// imagetool COMMAND ARGS...: see --help.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "image/file_open.h"
#include "tools/common/console.h"
#include "tools/common/files.h"
#include "tools/common/library_messages.h"
#include "tools/common/version.h"
#include "tools/imagetool/image_io.h"
#include "tools/imagetool/tool.h"

namespace {

void printHelp() {
  printText(stdout, "usage: imagetool COMMAND ARGS...\n\ncommands:\n");
  for (const Command* c = kCommands; c->name; ++c) printText(stdout, "  %-8s %s\n", c->name, c->summary);
  printText(stdout, "\n");
  for (const Command* c = kCommands; c->name; ++c) printUsage(*c);
  printText(stdout, "\noutput formats (FORMAT, extensions):\n");
  for (const OutputFormat* f = kOutputFormats; f->name; ++f)
    printText(stdout, "  %-5s %-10s %s\n", f->name, f->extensions, f->description);
}

bool isHelp(const std::string& a) { return a == "--help" || a == "-h" || a == "help"; }


int imagetoolMain(int argc, char** argv) {
  installLibraryMessages();
  // The library's writers take the same UTF-8 paths as the rest of the tool.
  limg::ImageSetFileOpener([](const char* path, const char* mode) { return openFileUtf8(path, mode); });
  if (argc < 2) {
    printHelp();
    return 1;
  }
  const std::string name = argv[1];
  if (isHelp(name)) {
    printHelp();
    return 0;
  }
  if (name == "--version") {
    printText(stdout, "imagetool %s\n", kProjectVersion);
    return 0;
  }
  for (const Command* c = kCommands; c->name; ++c) {
    if (name != c->name) continue;
    Args args(argv + 2, argv + argc);
    for (const std::string& a : args) {
      if (a == "--help" || a == "-h") {
        printUsage(*c);
        return 0;
      }
    }
    // Nothing the library or a command raises ends the tool without its error line.
    try {
      return c->run(args);
    } catch (const std::bad_alloc&) {
      return fail(std::string(c->name) + ": out of memory");
    } catch (const std::exception& e) {
      return fail(std::string(c->name) + ": " + e.what());
    }
  }
  return fail("unknown command \"" + name + "\" (see imagetool --help)");
}

}  // namespace

int main(int argc, char** argv) { return runTool(argc, argv, imagetoolMain); }
