#pragma once
// Converting many pictures at once: every picture file under the input folders (recursively)
// and every input file is written into the output folder in one format, on several threads,
// keeping the folders' layout.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/imagetool/image_io.h"

struct BatchJob {
  std::string input;
  std::string output;
  std::string error;  // empty while the job hasn't failed
  uint64_t bytesIn = 0;
  uint64_t bytesOut = 0;
  bool done = false;
};

// The jobs for the inputs, outputs under outputDir with the format's extension. Jobs that
// can't run (a missing input, an output taken twice or the input itself) carry their error.
std::vector<BatchJob> planBatch(const std::vector<std::string>& inputs, const std::string& outputDir,
                                const OutputFormat& format);

// Runs the jobs on threads threads; a progress bar on stderr when it is a terminal, then the
// summary on stdout and one line per failure on stderr. Exit status: 0, or 1 if any failed.
int runBatch(std::vector<BatchJob>& jobs, const OutputFormat& format, const WriteOptions& options, int threads);
