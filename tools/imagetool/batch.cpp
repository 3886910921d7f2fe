#include "tools/imagetool/batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <new>
#include <system_error>

#include "tools/common/console.h"
#include "tools/common/files.h"
#include "tools/imagetool/parallel.h"
#include "tools/imagetool/tool.h"


using namespace limg;

namespace fs = std::filesystem;

namespace {

std::string withExtension(fs::path path, const OutputFormat& format) {
  const std::string ext = format.extensions;
  path.replace_extension(ext.substr(0, ext.find(' ')));
  return utf8FromPath(path);
}

// Every picture file below dir, by extension, in name order.
std::vector<fs::path> picturesBelow(const fs::path& dir, std::error_code* failure) {
  std::vector<fs::path> files;
  std::error_code ec;
  fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    if (it->is_regular_file(kind) && isPictureExtension(lowerExtension(utf8FromPath(it->path().filename()))))
      files.push_back(it->path());
  }
  if (ec) *failure = ec;
  std::sort(files.begin(), files.end());
  return files;
}

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::exists(pathFromUtf8(b), ec) && fs::equivalent(pathFromUtf8(a), pathFromUtf8(b), ec);
}

std::string megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f MB", double(bytes) / 1e6);
  return text;
}

class Progress {
 public:
  Progress(std::size_t total) : total_(total), shown_(total > 0 && isInteractive(stderr)) {}
  // Counts one finished job and redraws the bar when no other thread is drawing it.
  void step() {
    const std::size_t done = done_.fetch_add(1) + 1;
    if (!shown_ || drawing_.exchange(true)) return;
    draw(done);
    drawing_.store(false);
  }
  // The last count may have been skipped while another thread drew: the bar ends full.
  void finish() {
    if (!shown_) return;
    draw(done_.load());
    writeText(stderr, "\n");
  }

 private:
  void draw(std::size_t done) {
    const int width = 40, filled = int(double(width) * double(done) / double(total_));
    printText(stderr, "\r[%s%s] %zu/%zu", std::string(std::size_t(filled), '#').c_str(),
              std::string(std::size_t(width - filled), ' ').c_str(), done, total_);
    std::fflush(stderr);
  }

  std::size_t total_;
  bool shown_;
  std::atomic<std::size_t> done_{0};
  std::atomic<bool> drawing_{false};
};

void convertOne(BatchJob& job, const OutputFormat& format, const WriteOptions& options) {
  std::vector<uint8_t> bytes;
  if (!readFileBytes(job.input, &bytes, &job.error)) return;
  job.bytesIn = bytes.size();
  Image* image = ImageLoadFromMemory(bytes.data(), int32_t(bytes.size()));
  if (!image || !image->pixels) {
    ImageDestroy(&image);
    job.error = job.input + ": not a picture any decoder accepts";
    return;
  }
  std::string error;
  const bool ok = writeImageFile(*image, job.output, format, options, &error);
  ImageDestroy(&image);
  if (!ok) {
    job.error = job.input + ": " + error;
    return;
  }
  std::error_code ec;
  job.bytesOut = fs::file_size(pathFromUtf8(job.output), ec);
  job.done = true;
}

// A job that runs out of memory (or meets any other exception) fails alone; the others go on.
void convertGuarded(BatchJob& job, const OutputFormat& format, const WriteOptions& options) noexcept {
  char reason[200] = "out of memory";  // the exception's text outlives its catch here
  try {
    convertOne(job, format, options);
    return;
  } catch (const std::bad_alloc&) {
  } catch (const std::exception& e) {
    std::snprintf(reason, sizeof reason, "%s", e.what());
  }
  job.done = false;
  job.error.clear();
  try {
    job.error = job.input + ": " + reason;
  } catch (...) {
    // No room even for the message: the summary says "not converted".
  }
}

}  // namespace

std::vector<BatchJob> planBatch(const std::vector<std::string>& inputs, const std::string& outputDir,
                                const OutputFormat& format) {
  std::vector<BatchJob> jobs;
  const fs::path out = pathFromUtf8(outputDir);
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (fs::is_directory(pathFromUtf8(input), ec)) {
      std::error_code failure;
      for (const fs::path& file : picturesBelow(pathFromUtf8(input), &failure)) {
        BatchJob job;
        job.input = utf8FromPath(file);
        job.output = withExtension(out / file.lexically_relative(pathFromUtf8(input)), format);
        jobs.push_back(job);
      }
      if (failure) {
        BatchJob job;
        job.input = input;
        job.error = input + ": cannot list: " + errorText(failure);
        jobs.push_back(job);
      }
      continue;
    }
    BatchJob job;
    job.input = input;
    job.output = withExtension(out / pathFromUtf8(input).filename(), format);
    if (!fs::is_regular_file(pathFromUtf8(input), ec)) job.error = input + ": no such file";
    jobs.push_back(job);
  }
  std::map<std::string, std::string> taken;
  for (BatchJob& job : jobs) {
    if (!job.error.empty()) continue;
    const std::string key = utf8FromPath(pathFromUtf8(job.output).lexically_normal());
    const auto [it, fresh] = taken.emplace(key, job.input);
    if (!fresh) {
      job.error = job.input + ": same output " + job.output + " as " + it->second;
    } else if (sameFile(job.input, job.output)) {
      job.error = job.input + ": the output would replace the input";
    }
  }
  return jobs;
}

int runBatch(std::vector<BatchJob>& jobs, const OutputFormat& format, const WriteOptions& options, int threads) {
  const auto start = std::chrono::steady_clock::now();
  // Folders first, on this thread, so that the workers only write files.
  for (BatchJob& job : jobs) {
    if (!job.error.empty()) continue;
    std::error_code ec;
    const fs::path parent = pathFromUtf8(job.output).parent_path();
    if (!parent.empty() && !fs::create_directories(parent, ec) && ec)
      job.error = job.input + ": cannot create " + utf8FromPath(parent) + ": " + errorText(ec);
  }
  Progress progress(jobs.size());
  runParallel(threads, jobs.size(), [&](std::size_t i) {
    if (jobs[i].error.empty()) convertGuarded(jobs[i], format, options);
    progress.step();
  });
  progress.finish();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::size_t converted = 0, failed = 0;
  uint64_t in = 0, out = 0;
  for (const BatchJob& job : jobs) {
    if (!job.done) {
      ++failed;
      continue;
    }
    ++converted;
    in += job.bytesIn;
    out += job.bytesOut;
  }
  printText(stdout, "%zu converted, %zu failed; %s in, %s out, ratio %.3f; %.2f s, %.1f files/s\n", converted, failed,
              megabytes(in).c_str(), megabytes(out).c_str(), in ? double(out) / double(in) : 0.0, seconds,
              seconds > 0 ? double(converted) / seconds : 0.0);
  for (const BatchJob& job : jobs)
    if (!job.done) fail(job.error.empty() ? job.input + ": not converted" : job.error);
  return failed ? 1 : 0;
}
