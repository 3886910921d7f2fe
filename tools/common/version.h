#pragma once
// The project's version (the one in the top CMakeLists.txt), for --version.
extern const char* const kProjectVersion;
