#include "pack/packed_data_file.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "base/error_report.h"
#include "base/number_text.h"
#include "image/aligned_alloc.h"
#include "pack/name_key.h"
#include "pack/packed_format.h"

using namespace limg;

PackedDataFile packedData;

namespace {

FILE* openPlain(const char* name) { return std::fopen(name, "rb"); }
FileOpener fileOpener = openPlain;

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool seekTo(FILE* f, uint64_t position) {
#ifdef _WIN32
  fpos_t pos = fpos_t(position);
  return fsetpos(f, &pos) == 0;
#else
  return fseeko(f, off_t(position), SEEK_SET) == 0;
#endif
}

// Length of an open file, positioned back at its start; -1 when it can't be told.
int64_t fileLength(FILE* f) {
  if (std::fseek(f, 0, SEEK_END) != 0) return -1;
#ifdef _WIN32
  fpos_t pos;
  if (fgetpos(f, &pos) != 0) return -1;
  const int64_t length = int64_t(pos);
#else
  const int64_t length = int64_t(ftello(f));
#endif
  std::rewind(f);
  return length;
}

std::string errorText() { return std::strerror(errno); }

void reportOpenFailure(const char* name, uint64_t key, const char* which) {
  ShowErrorBox(std::string(name) + ":" + formatBase32(key) + " " + errorText() + which);
}

}  // namespace

void setFileOpener(FileOpener opener) { fileOpener = opener ? opener : openPlain; }

void openIndex(const char* path) {
  const std::size_t pathLength = std::strlen(path);
  if (pathLength >= sizeof(ArchiveEntry::archivePath)) return;
  File file(fileOpener(path));
  if (!file) return;

  uint8_t word[4];
  uint32_t extraMask = 0, count = 0;
  if (std::fread(word, 1, 4, file.get()) == 4) {
    uint32_t first = packed::load32(word);
    uint32_t countMask = packed::kPlainCountMask;
    if (first == packed::kMagic) {
      extraMask = packed::kMagicCountMask;
      countMask = packed::kMagicCountMask;
      first = std::fread(word, 1, 4, file.get()) == 4 ? packed::load32(word) : countMask;
    }
    count = first ^ countMask;
  }

  // Entries are read a block at a time; a short read ends the index.
  constexpr uint32_t kBlockEntries = 512;
  uint8_t block[kBlockEntries * packed::kEntryBytes];
  while (count > 0) {
    const uint32_t want = count < kBlockEntries ? count : kBlockEntries;
    const std::size_t got = std::fread(block, packed::kEntryBytes, want, file.get());
    for (std::size_t i = 0; i < got; ++i) {
      const uint8_t* e = block + i * packed::kEntryBytes;
      const uint64_t key = packed::load64(e);
      const uint32_t keyLow = uint32_t(key);
      ArchiveEntry& entry = packedData.index[key];
      std::memcpy(entry.archivePath, path, pathLength + 1);
      entry.scrambled = uint8_t(e[8] ^ uint8_t(key));
      entry.offset = packed::load32(e + 9) ^ keyLow ^ extraMask;
      entry.size = packed::load32(e + 13) ^ keyLow;
      entry.reserved = packed::load32(e + 17) ^ keyLow;
    }
    if (got < want) break;
    count -= want;
  }
  packedData.indexLoaded = true;
}

namespace {

// openEntry with the plain file's whole length, which may not fit 32 bits.
FILE* openResource(const char* name, uint64_t* size, uint64_t* key) {
  *key = nameKey(name);
  if (packedData.indexLoaded) {
    const auto found = packedData.index.find(*key);
    if (found != packedData.index.end()) {
      const ArchiveEntry& entry = found->second;
      File file(fileOpener(entry.archivePath));
      if (!file) {
        reportOpenFailure(name, *key, "(loadFile1)");
        return nullptr;
      }
      const std::size_t length = std::strlen(name);
      const uint32_t position = entry.offset ^ packed::offsetNameByte(name, length);
      *size = entry.size ^ packed::sizeNameByte(name, length);
      // A damaged index must not make the reader allocate and scan gigabytes: an entry
      // reaching past the end of the file is cut to the bytes the file holds.
      const int64_t fileBytes = fileLength(file.get());
      const int64_t available = fileBytes > int64_t(position) ? fileBytes - int64_t(position) : 0;
      if (int64_t(*size) > available) *size = uint64_t(available);
      seekTo(file.get(), position);
      return file.release();
    }
  }
  File file(fileOpener(name));
  if (!file) {
    reportOpenFailure(name, *key, "(loadFile0)");
    return nullptr;
  }
  const int64_t length = fileLength(file.get());
  *size = length < 0 ? 0 : uint64_t(length);
  *key = 0;
  return file.release();
}

}  // namespace

FILE* openEntry(const char* name, uint32_t* size, uint64_t* key) {
  uint64_t length = 0;
  FILE* file = openResource(name, &length, key);
  if (file) *size = length > UINT32_MAX ? UINT32_MAX : uint32_t(length);
  return file;
}

int loadFile(const char* name, uint8_t** buffer, uint32_t* size, uint32_t* capacity) {
  uint64_t length = 0, key = 0;
  File file(openResource(name, &length, &key));
  if (!file) {
    const int saved = errno;  // keep the same error text as the first box
    ShowErrorBox(std::string(name) + " " + errorText() + "(loadFile)");
    errno = saved;
    return 0;
  }
  if (*size != 0) length = *size;

  // Sizes are worked out in 64 bits: a 4 GiB - 1 byte resource plus the spare NUL byte
  // does not fit a 32-bit size_t, and a plain file may be larger than a uint32 can tell.
  // Such a resource can't be held, like one whose block the allocator refuses. An empty
  // resource still gets a block, for the NUL a text reader puts after it.
  const uint64_t blockBytes = length + 1;
  if (length > UINT32_MAX || blockBytes > SIZE_MAX) {
    alignedFree(*buffer);
    *buffer = nullptr;
  } else if (!*buffer || *capacity < length) {
    alignedFree(*buffer);
    *buffer = static_cast<uint8_t*>(alignedAlloc(std::size_t(blockBytes)));
    *capacity = *buffer ? uint32_t(length) : 0;
  }
  if (!*buffer) {
    *capacity = 0;
    ShowErrorBox(std::string(name) + " メモリを確保出来ませんでした(loadFile)" +
                 formatDecimal(int64_t(length)));
    return 0;
  }
  *size = uint32_t(length);

  // A read that still comes up short (the file changed, or a caller asked for more than
  // there is) leaves a zeroed tail rather than an earlier resource's bytes.
  const std::size_t got = std::fread(*buffer, 1, *size, file.get());
  if (got < *size) std::memset(*buffer + got, 0, *size - got);
  file.reset();

  if (key == 0) return 1;
  const auto found = packedData.index.find(key);
  if (found == packedData.index.end() || found->second.scrambled == 0) return 1;
  packed::scramble(*buffer, *size, 0, *size, name, std::strlen(name));
  return 1;
}

int loadFileToScratch(const char* name, uint32_t* size) {
  *size = 0;
  return loadFile(name, &packedData.scratch.data, size, &packedData.scratch.capacity);
}

void clearIndex() { packedData.index.clear(); }

void resetPackedDataFile() {
  packedData.index.clear();
  packedData.indexLoaded = false;
}
