#include "base/error_report.h"

#include <cstdio>
#include <utility>

namespace {
ErrorBoxSink& sink() {
  static ErrorBoxSink s;
  return s;
}
}  // namespace

ErrorBoxSink setErrorBoxSink(ErrorBoxSink next) {
  ErrorBoxSink previous = std::move(sink());
  sink() = std::move(next);
  return previous;
}

void ShowErrorBox(const std::string& text) {
  if (sink()) {
    sink()(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}
