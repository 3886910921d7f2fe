#pragma once
// The TLG codec's replaceable hot routines. The portable forms define the results; every
// other form gives the same bytes for the same input, and the fastest one the processor
// supports is chosen once, at the first use of the codec.
#include <cstdint>
#include <vector>

namespace limg {

// Output buffers handed to an LZSS decode routine have kTlgLzssSlack writable bytes past their
// capacity (the fast forms copy in whole 16-byte pieces) and kTlgLzssHistory writable bytes
// before them (the window forms lay the ring out there). Bytes past the decoded length and
// the history bytes are left undefined.
constexpr uint32_t kTlgLzssSlack = 32;
constexpr uint32_t kTlgLzssHistory = 4096;

// The fewest LZSS bytes that can decode to `outputBytes` bytes: at best a flag byte and eight
// 3-byte matches of 273 bytes each, 25 bytes for 2184. Headers that claim more output than
// their data can hold are refused with this before anything is allocated.
constexpr uint64_t TlgLzssLeastInput(uint64_t outputBytes) {
  return (outputBytes * 25 + 2183) / 2184;
}

// Decodes `inputLength` LZSS bytes into `output` over the 4096-byte `ring`, starting at ring
// index r; returns the new r. *written receives the count of bytes produced, or
// capacity + 1 when the data would produce more than `capacity` bytes (decoding stops there).
// A group that ends inside an item's bytes ends decoding.
using TlgLzssDecodeFn = uint32_t (*)(uint8_t* output, uint32_t capacity, const uint8_t* input,
                                     uint32_t inputLength, uint8_t* ring, uint32_t r,
                                     uint32_t* written);

// One TLG5 row: planes[c][x] are the colour differences of column x, `above` is the row above
// (all zero for the first row). With 3 colours alpha is 0xFF.
using Tlg5ComposeFn = void (*)(uint32_t* row, const uint32_t* above, const uint8_t* const* planes,
                               int32_t width);

// One TLG6 row from block firstBlock up to blockLimit - 1 (see Tlg6DecodeRow).
using Tlg6DecodeRowFn = uint32_t (*)(const uint32_t* above, uint32_t* row, int32_t width,
                                     int32_t firstBlock, int32_t blockLimit,
                                     const uint8_t* filterTypes, int32_t blockStride,
                                     const uint32_t* residuals, uint32_t initialPixel,
                                     int32_t oddSkip, int forward);

// Decodes `count` residual values from `bits`, of which `bitCount` bits are coded; the buffer
// holds at least 16 readable bytes past them. The first-channel form stores whole words, the
// other-channel form byte 0 of every 4 (out[0], out[4], ...). False for a stream that is not
// valid: a run past `count`, codes past `bitCount`, or a magnitude sum past the k table.
using TlgDecodeChannelFn = bool (*)(void* out, uint32_t count, const uint8_t* bits,
                                    uint32_t bitCount);

// Decodes all channels of `bands` consecutive bands: band b's `counts[b]` words follow band
// b - 1's in `words`, and its channel c comes from bits[b * channels + c]. Byte c of a word is
// the value of channel c, bytes of channels >= `channels` are zero, and a channel whose bits
// are null (an unknown coding method) is all zero. Each bits entry has 16 readable bytes past
// its bitCounts bits. False when any channel of any band is not valid. Decoding two bands at
// once lets the fast forms interleave the independent streams of a 3-channel picture in pairs.
// `runEnds` chooses how the fast forms reach a run's end (same results either way): behind a
// branch, fastest for long or patterned runs, or under a mask, fastest for short irregular
// runs whose ends a branch mispredicts; the portable form ignores it.
constexpr int kTlgMaxBands = 2;
enum TlgRunEnds { kTlgRunEndsBranch, kTlgRunEndsMasked };
using TlgDecodeChannelsFn = bool (*)(uint32_t* words, const uint32_t* counts, int bands,
                                     int channels, const uint8_t* const* bits,
                                     const uint32_t* bitCounts, TlgRunEnds runEnds);

// Two consecutive rows of a band over its whole blocks 0 .. blockLimit - 1: rowA from `above`
// and residualsA (read as Tlg6DecodeRow reads them with oddSkipA and forwardA), then rowB from
// rowA and residualsB (oddSkipA - 2, the other direction). The fast form interleaves the two
// rows' prediction chains.
using Tlg6DecodeRowPairFn = void (*)(const uint32_t* above, uint32_t* rowA, uint32_t* rowB,
                                     int32_t width, int32_t blockLimit,
                                     const uint8_t* filterTypes, int32_t blockStride,
                                     const uint32_t* residualsA, const uint32_t* residualsB,
                                     uint32_t initialPixel, int32_t oddSkipA, int forwardA);

struct TlgRoutines {
  const char* name;
  TlgLzssDecodeFn lzssDecode;
  Tlg5ComposeFn compose3;
  Tlg5ComposeFn compose4;
  Tlg6DecodeRowFn decodeRowWholeBlocks;
  Tlg6DecodeRowPairFn decodeRowPairWholeBlocks;
  TlgDecodeChannelsFn decodeChannels;
};

// Processor features the selection looks at.
enum : uint32_t {
  kTlgCpuSse2 = 1u << 0,
  kTlgCpuSsse3 = 1u << 1,
  kTlgCpuBmi2 = 1u << 2,  // with BMI1
  kTlgCpuAvx2 = 1u << 3,
};

uint32_t TlgProbeCpu();  // features of the running processor

// Every form this processor can run, the portable set first and the selected set last.
std::vector<TlgRoutines> TlgAvailableRoutines(uint32_t features);
TlgRoutines TlgSelectRoutines(uint32_t features);  // the fastest set for these features
const TlgRoutines& TlgPortableRoutines();

// Runs the one-time initialisation (thread-safe) and returns the selected set.
void TlgInitRoutines();
const TlgRoutines& TlgActiveRoutines();

// The portable forms.
uint32_t TlgLzssDecode(uint8_t* output, uint32_t capacity, const uint8_t* input,
                       uint32_t inputLength, uint8_t* ring, uint32_t r, uint32_t* written);
void Tlg5ComposeRow3(uint32_t* row, const uint32_t* above, const uint8_t* const* planes,
                     int32_t width);
void Tlg5ComposeRow4(uint32_t* row, const uint32_t* above, const uint8_t* const* planes,
                     int32_t width);
uint32_t Tlg6DecodeRow(const uint32_t* above, uint32_t* row, int32_t width, int32_t firstBlock,
                       int32_t blockLimit, const uint8_t* filterTypes, int32_t blockStride,
                       const uint32_t* residuals, uint32_t initialPixel, int32_t oddSkip,
                       int forward);
void Tlg6DecodeRowPair(const uint32_t* above, uint32_t* rowA, uint32_t* rowB, int32_t width,
                       int32_t blockLimit, const uint8_t* filterTypes, int32_t blockStride,
                       const uint32_t* residualsA, const uint32_t* residualsB,
                       uint32_t initialPixel, int32_t oddSkipA, int forwardA);
bool TlgDecodeFirstChannel(void* words, uint32_t count, const uint8_t* bits, uint32_t bitCount);
bool TlgDecodeOtherChannel(void* bytes, uint32_t count, const uint8_t* bits, uint32_t bitCount);
bool TlgDecodeChannels(uint32_t* words, const uint32_t* counts, int bands, int channels,
                       const uint8_t* const* bits, const uint32_t* bitCounts, TlgRunEnds runEnds);

// Faster forms (defined only where they can run; the selection checks the features).
uint32_t TlgLzssDecodeWindow(uint8_t* output, uint32_t capacity, const uint8_t* input,
                             uint32_t inputLength, uint8_t* ring, uint32_t r, uint32_t* written);
bool TlgDecodeChannelsScan(uint32_t* words, const uint32_t* counts, int bands, int channels,
                           const uint8_t* const* bits, const uint32_t* bitCounts,
                           TlgRunEnds runEnds);
#if defined(__i386__) || defined(__x86_64__)
#define TLG_HAVE_X86_FORMS 1
bool TlgDecodeChannelsBmi2(uint32_t* words, const uint32_t* counts, int bands, int channels,
                           const uint8_t* const* bits, const uint32_t* bitCounts,
                           TlgRunEnds runEnds);
void Tlg6DecodeRowPairSse2(const uint32_t* above, uint32_t* rowA, uint32_t* rowB, int32_t width,
                           int32_t blockLimit, const uint8_t* filterTypes, int32_t blockStride,
                           const uint32_t* residualsA, const uint32_t* residualsB,
                           uint32_t initialPixel, int32_t oddSkipA, int forwardA);
void Tlg5ComposeRow3Sse2(uint32_t* row, const uint32_t* above, const uint8_t* const* planes,
                         int32_t width);
void Tlg5ComposeRow4Sse2(uint32_t* row, const uint32_t* above, const uint8_t* const* planes,
                         int32_t width);
uint32_t Tlg6DecodeRowSse2(const uint32_t* above, uint32_t* row, int32_t width, int32_t firstBlock,
                           int32_t blockLimit, const uint8_t* filterTypes, int32_t blockStride,
                           const uint32_t* residuals, uint32_t initialPixel, int32_t oddSkip,
                           int forward);
#endif

}  // namespace limg
