#include "tools/launcherdat/dat_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "launcher/numbers.h"
#include "pack/name_key.h"
#include "pack/packed_format.h"
#include "tools/common/atomic_file.h"
#include "tools/common/name_codec.h"

std::optional<std::string> nameProblem(const std::string& name) {
  if (name.empty()) return "an empty name can't be asked for";
  for (std::size_t i = 0; i < name.size(); ++i) {
    const uint8_t b = uint8_t(name[i]);
    if (isLeadByte(b)) {
      if (i + 1 == name.size()) return std::string("it ends in a cut double-byte character");
      ++i;
      continue;
    }
    if (b < 0x20 || b == 0x7F) return std::string("it holds a control byte");
    if (b == ',') return std::string("a \",\" would split the layout field");
    if (b == '"' || b == '\'') return std::string("a quote would join the layout's lines");
  }
  if (name.front() == ' ' || name.back() == ' ') return std::string("it begins or ends with a space");
  if (nameKey(name.c_str()) == 0) return std::string("its key is 0, which means \"plain file\"");
  return std::nullopt;
}

bool globMatch(const char* pattern, const char* text) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*text) {
    if (*pattern == '*') {
      star = pattern++;
      resume = text;
    } else if (*pattern == '?' || *pattern == *text) {
      ++pattern;
      ++text;
    } else if (star) {
      pattern = star + 1;
      text = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

std::string copyItem(FILE* out, const PackItem& item, std::vector<uint8_t>& buffer) {
  std::unique_ptr<FILE, FileCloser> in(openFileUtf8(item.source, "rb"));
  if (!in) return item.source.u8string() + ": " + std::strerror(errno);
  uint64_t done = 0;
  while (done < item.size) {
    const std::size_t want = std::size_t(std::min<uint64_t>(buffer.size(), item.size - done));
    const std::size_t got = std::fread(buffer.data(), 1, want, in.get());
    if (got != want) return item.source.u8string() + ": changed while it was being packed";
    if (item.scrambled)
      packed::scramble(buffer.data(), got, done, item.size, item.name.data(), item.name.size());
    if (std::fwrite(buffer.data(), 1, got, out) != got) return std::string("write failed: ") + std::strerror(errno);
    done += got;
  }
  return "";
}

}  // namespace

std::string writeDat(const std::filesystem::path& outPath, std::vector<PackItem> items, bool magic) {
  std::sort(items.begin(), items.end(), [](const PackItem& a, const PackItem& b) { return a.name < b.name; });
  std::unordered_map<uint64_t, const PackItem*> byKey;
  for (const PackItem& item : items) {
    if (const std::optional<std::string> why = nameProblem(item.name))
      return "can't store \"" + displayCp932(item.name) + "\": " + *why;
    const auto [it, inserted] = byKey.emplace(nameKey(item.name.c_str()), &item);
    if (!inserted)
      return "\"" + displayCp932(it->second->name) + "\" and \"" + displayCp932(item.name) +
             "\" have the same key; rename one of them";
  }

  const uint32_t extraMask = magic ? packed::kMagicCountMask : 0;
  const std::size_t headerBytes = magic ? 8 : 4;
  std::vector<uint8_t> index(headerBytes + items.size() * packed::kEntryBytes);
  if (magic) {
    packed::store32(index.data(), packed::kMagic);
    packed::store32(index.data() + 4, uint32_t(items.size()) ^ packed::kMagicCountMask);
  } else {
    packed::store32(index.data(), uint32_t(items.size()) ^ packed::kPlainCountMask);
  }
  uint64_t offset = index.size();
  for (std::size_t i = 0; i < items.size(); ++i) {
    const PackItem& item = items[i];
    if (offset + item.size > 0xFFFFFFFFull)
      return "the packed file would exceed 4 GiB, which its 32-bit offsets can't address";
    const uint64_t key = nameKey(item.name.c_str());
    const uint32_t keyLow = uint32_t(key);
    const std::size_t L = item.name.size();
    uint8_t* e = index.data() + headerBytes + i * packed::kEntryBytes;
    packed::store64(e, key);
    e[8] = uint8_t((item.scrambled ? 1 : 0) ^ uint8_t(key));
    packed::store32(e + 9, uint32_t(offset) ^ keyLow ^ extraMask ^ packed::offsetNameByte(item.name.data(), L));
    packed::store32(e + 13, uint32_t(item.size) ^ keyLow ^ packed::sizeNameByte(item.name.data(), L));
    packed::store32(e + 17, 0 ^ keyLow);
    offset += item.size;
  }

  AtomicFile out(outPath);
  if (!out.file()) return outPath.u8string() + ": " + out.error();
  if (std::fwrite(index.data(), 1, index.size(), out.file()) != index.size())
    return std::string("write failed: ") + std::strerror(errno);
  std::vector<uint8_t> buffer(std::size_t(1) << 20);
  for (const PackItem& item : items) {
    const std::string error = copyItem(out.file(), item, buffer);
    if (!error.empty()) return error;
  }
  return out.commit();
}
