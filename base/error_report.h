#pragma once
// The one user-visible error channel, as every layer reports through it: on Windows a
// topmost OK box titled "Error" (installed by the launcher), elsewhere standard error.
// Texts are Shift-JIS byte strings.
#include <functional>
#include <string>

void ShowErrorBox(const std::string& text);

// Where boxes go. The Windows program installs its message box at start; tests capture
// the exact bytes. An empty sink means standard error, one line a box.
using ErrorBoxSink = std::function<void(const std::string& text)>;
ErrorBoxSink setErrorBoxSink(ErrorBoxSink sink);
