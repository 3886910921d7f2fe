// imagetool convert: one picture (IN OUT), or many into a folder (--to FORMAT, -o DIR).
#include <filesystem>

#include "tools/common/files.h"
#include "tools/imagetool/batch.h"
#include "tools/imagetool/image_io.h"
#include "tools/imagetool/parallel.h"
#include "tools/imagetool/tool.h"

using namespace limg;

namespace {

struct ConvertOptions {
  std::string format, to, depth, pngLevel, quality, sampling, jobs, output;
  bool interlace = false, progressive = false, optimize = false, tlg5 = false, tlg6 = false, rle = false;
};

// Checks the options and turns them into writer options; false with the reason in *error.
bool writeOptionsFrom(const ConvertOptions& c, WriteOptions* o, std::string* error) {
  if (!c.depth.empty() && (!parseWhole(c.depth, 8, 32, &o->bitDepth) || (o->bitDepth != 8 && o->bitDepth != 24 && o->bitDepth != 32))) {
    *error = "--depth takes 8, 24 or 32";
    return false;
  }
  if (!c.pngLevel.empty() && !parseWhole(c.pngLevel, 0, 9, &o->pngLevel)) {
    *error = "--png-level takes 0 to 9";
    return false;
  }
  if (!c.quality.empty() && !parseWhole(c.quality, 1, 100, &o->quality)) {
    *error = "--quality takes 1 to 100";
    return false;
  }
  if (!c.sampling.empty() && (!parseWhole(c.sampling, 420, 444, &o->sampling) ||
                              (o->sampling != 420 && o->sampling != 422 && o->sampling != 444))) {
    *error = "--sampling takes 420, 422 or 444";
    return false;
  }
  if (c.tlg5 && c.tlg6) {
    *error = "--tlg5 and --tlg6 exclude each other";
    return false;
  }
  o->interlace = c.interlace;
  o->progressive = c.progressive;
  o->optimize = c.optimize;
  o->tlg6 = !c.tlg5;
  o->rle = c.rle;
  return true;
}

// The format given by name, with a TLG variant flag that contradicts it refused.
const OutputFormat* namedFormat(const std::string& name, const ConvertOptions& c, std::string* error) {
  const OutputFormat* f = formatNamed(name, error);
  if (f && ((f->tlgVariant == 6 && c.tlg5) || (f->tlgVariant == 5 && c.tlg6))) {
    *error = "--" + std::string(c.tlg5 ? "tlg5" : "tlg6") + " contradicts the format " + f->name;
    return nullptr;
  }
  return f;
}

int convertOne(const Args& args, const ConvertOptions& c, const WriteOptions& options) {
  std::string error;
  const OutputFormat* format = c.format.empty() ? formatForPath(args[1], &error) : namedFormat(c.format, c, &error);
  if (!format || !formatTakesDepth(*format, options.bitDepth, &error)) return fail(error);  // before any work
  Image* image = loadImageFile(args[0], &error);
  if (!image) return fail(error);
  const bool ok = writeImageFile(*image, args[1], *format, options, &error);
  ImageDestroy(&image);
  return ok ? 0 : fail(error);
}

int convertMany(Args args, const ConvertOptions& c, const WriteOptions& options) {
  std::string error;
  const std::string name = c.to.empty() ? c.format : c.to;
  if (name.empty()) return fail("convert: several pictures need --to FORMAT");
  const OutputFormat* format = namedFormat(name, c, &error);
  if (!format || !formatTakesDepth(*format, options.bitDepth, &error)) return fail(error);
  int32_t threads = processorCount();
  if (!c.jobs.empty() && !parseWhole(c.jobs, 1, 1024, &threads)) return fail("-j takes a number of threads from 1");
  std::string outputDir = c.output;
  if (outputDir.empty()) {
    if (args.size() < 2) return fail("convert: expected IN... OUTDIR or IN... -o OUTDIR");
    outputDir = args.back();
    args.pop_back();
  }
  if (args.empty()) return fail("convert: no input given");
  std::vector<BatchJob> jobs = planBatch(args, outputDir, *format);
  if (jobs.empty()) return fail("convert: no pictures found in the inputs");
  return runBatch(jobs, *format, options, threads);
}

}  // namespace

int runConvert(const Args& given) {
  Args args = given;
  ConvertOptions c;
  std::string error;
  const std::vector<OptionSpec> specs = {
      {"--format", &c.format},      {"--to", &c.to},
      {"--depth", &c.depth},        {"--png-level", &c.pngLevel},
      {"--interlace", nullptr, &c.interlace},
      {"--quality", &c.quality},    {"--progressive", nullptr, &c.progressive},
      {"--optimize", nullptr, &c.optimize},
      {"--sampling", &c.sampling},  {"--tlg5", nullptr, &c.tlg5},
      {"--tlg6", nullptr, &c.tlg6}, {"--rle", nullptr, &c.rle},
      {"-j", &c.jobs},              {"--jobs", &c.jobs},
      {"-o", &c.output},            {"--output", &c.output},
  };
  if (!takeOptions(&args, specs, &error)) return fail("convert: " + error);
  WriteOptions options;
  if (!writeOptionsFrom(c, &options, &error)) return fail("convert: " + error);
  std::error_code ec;
  const bool batch = !c.to.empty() || !c.output.empty() || args.size() > 2 ||
                     (!args.empty() && std::filesystem::is_directory(pathFromUtf8(args[0]), ec));
  if (batch) return convertMany(args, c, options);
  if (args.size() != 2) return fail("convert: expected IN OUT (see imagetool convert --help)");
  return convertOne(args, c, options);
}
