#pragma once
// The TGA stream layer: one handle per TGA file being read or written, whose bytes go to a
// C runtime file or through caller callbacks, with the 18-byte header, a scanline reader
// (raw and run-length rows) and an image writer (optionally run-length coded).
//
// Every failing operation sets lastError and prints "TgaStream:<source>:<line>: <text>" on
// the standard error stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace limg {

enum TgaErrorCode : int {
  kTgaSuccess = 0,
  kTgaError = 1,
  kTgaOutOfMemory = 2,
  kTgaOpenFailed = 3,
  kTgaSeekFailed = 4,
  kTgaReadFailed = 5,
  kTgaWriteFailed = 6,
  kTgaUnknownSubFormat = 7,
};

// The text of an error code; codes outside 0-7 give the text of code 1.
const char* TgaErrorText(int code);

// Caller callbacks; a callback that is present is used instead of the file operation.
struct TgaCallbacks {
  void* user = nullptr;
  std::size_t (*read)(void* user, void* buffer, std::size_t size) = nullptr;  // bytes read
  int (*readByte)(void* user) = nullptr;                                      // -1 at the end
  std::size_t (*write)(void* user, const void* buffer, std::size_t size) = nullptr;
  int (*writeByte)(void* user, int byte) = nullptr;                           // -1 on failure
  int (*seek)(void* user, long offset, int origin) = nullptr;                 // 0 on success
  long (*tell)(void* user) = nullptr;                                         // -1 on failure
};

// The 18-byte header, little-endian fields in file order.
struct TgaHeader {
  uint8_t idLength = 0;
  uint8_t colourMapType = 0;  // 0 none, 1 present
  uint8_t imageType = 0;      // 1-3 raw (mapped, true colour, grey), 9-11 run-length
  uint16_t colourMapFirst = 0;
  uint16_t colourMapLength = 0;
  uint8_t colourMapEntryBits = 0;
  uint16_t xOrigin = 0;
  uint16_t yOrigin = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t depth = 0;       // bits per pixel
  uint8_t descriptor = 0;  // bits 0-3 alpha bits, bit 4 right-to-left, bit 5 top-to-bottom
};
constexpr int kTgaHeaderSize = 18;
constexpr uint8_t kTgaRightToLeft = 0x10;
constexpr uint8_t kTgaTopToBottom = 0x20;

void TgaHeaderDecode(const uint8_t bytes[kTgaHeaderSize], TgaHeader* header);
void TgaHeaderEncode(const TgaHeader& header, uint8_t bytes[kTgaHeaderSize]);

// Bytes of the colour map the header announces (entries of 15 bits take 2 bytes each).
uint32_t TgaColourMapBytes(const TgaHeader& header);
// Offset of the first pixel byte: 18 + ID length + colour-map bytes.
uint32_t TgaPixelDataOffset(const TgaHeader& header);
inline bool TgaIsRunLength(const TgaHeader& header) {
  return header.imageType >= 9 && header.imageType <= 11;
}

struct TgaStream {
  std::FILE* file = nullptr;
  TgaCallbacks callbacks;
  long position = 0;  // the last position reported by tell
  TgaHeader header;
  int lastError = kTgaSuccess;
  // Run-length state carried from one scanline to the next: packets may cross row ends.
  int runLeft = 0;      // pixels still to come from the current packet
  bool runRepeat = false;
  uint8_t runPixel[4] = {0, 0, 0, 0};
};

// Opens path with the C runtime mode; false (lastError 3) when it can't be opened.
bool TgaStreamOpenFile(TgaStream* stream, const char* path, const char* mode);
// Uses the callbacks instead of a file.
void TgaStreamOpenCallbacks(TgaStream* stream, const TgaCallbacks& callbacks);
// Closes the file if one is open; false (lastError 6) when flushing it failed.
bool TgaStreamClose(TgaStream* stream);

// Primitive operations; each refreshes position through tell.
bool TgaStreamRead(TgaStream* stream, void* buffer, std::size_t size);  // all or failure
bool TgaStreamWrite(TgaStream* stream, const void* buffer, std::size_t size);
bool TgaStreamSeek(TgaStream* stream, long offset, int origin);
bool TgaStreamTell(TgaStream* stream);

// Reads and decodes the header at the current position.
bool TgaStreamReadHeader(TgaStream* stream);
// Writes the header at offset 0.
bool TgaStreamWriteHeader(TgaStream* stream);

// Reads count scanlines starting at scanline first (0 = the first stored) into buffer, rows
// of width x bytes-per-pixel bytes. With reverse, scanline first + i is stored into row
// count - 1 - i, else into row i. swapRedBlue exchanges bytes 0 and 2 of 24/32-bit pixels.
// Returns the number of scanlines read; fewer than count when the data end or fail.
int TgaStreamReadScanlines(TgaStream* stream, uint8_t* buffer, int first, int count, bool reverse,
                           bool swapRedBlue);

enum TgaWriteFlags : unsigned {
  kTgaWriteImageData = 1,  // write the pixel rows (else only the header)
  kTgaWriteSwapRedBlue = 2,
  kTgaWriteRunLength = 4,
};
// Writes the header's image: data holds height rows of width x depth / 8 bytes in file order.
// Red and blue are exchanged in data itself when asked. Run-length coding adds 8 to the
// header's image type. The header is written last, at offset 0.
bool TgaStreamWriteImage(TgaStream* stream, uint8_t* data, unsigned flags);

// Run-length codes one row of count pixels of bytesPerPixel bytes into out (room for
// count x (bytesPerPixel + 1) bytes is always enough); returns the bytes written.
std::size_t TgaEncodeRunLengthRow(const uint8_t* row, int count, int bytesPerPixel, uint8_t* out);

}  // namespace limg
