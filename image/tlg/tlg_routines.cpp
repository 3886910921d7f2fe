// The routine sets and their selection from what the processor reports.
#include "image/tlg/tlg_routines.h"

#ifdef TLG_HAVE_X86_FORMS
#include <cpuid.h>
#endif

namespace limg {

uint32_t TlgProbeCpu() {
  uint32_t features = 0;
#ifdef TLG_HAVE_X86_FORMS
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) features |= kTlgCpuSse2;
  if (__builtin_cpu_supports("ssse3")) features |= kTlgCpuSsse3;
  if (__builtin_cpu_supports("avx2")) features |= kTlgCpuAvx2;
  // BMI1 and BMI2 from leaf 7 (ebx bits 3 and 8).
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid_max(0, nullptr) >= 7) {
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    if ((ebx & (1u << 3)) && (ebx & (1u << 8))) features |= kTlgCpuBmi2;
  }
#endif
  return features;
}

const TlgRoutines& TlgPortableRoutines() {
  static const TlgRoutines portable = {"portable",      TlgLzssDecode,     Tlg5ComposeRow3,
                                       Tlg5ComposeRow4, Tlg6DecodeRow,     Tlg6DecodeRowPair,
                                       TlgDecodeChannels};
  return portable;
}

std::vector<TlgRoutines> TlgAvailableRoutines(uint32_t features) {
  std::vector<TlgRoutines> sets;
  sets.push_back(TlgPortableRoutines());
  // Plain C++ forms any processor runs: window LZSS and the 64-bit register bit reader.
  TlgRoutines scalar = TlgPortableRoutines();
  scalar.name = "scalar";
  scalar.lzssDecode = TlgLzssDecodeWindow;
  scalar.decodeChannels = TlgDecodeChannelsScan;
  sets.push_back(scalar);
#ifdef TLG_HAVE_X86_FORMS
  if (features & kTlgCpuSse2) {
    TlgRoutines sse2 = scalar;
    sse2.name = "sse2";
    sse2.compose3 = Tlg5ComposeRow3Sse2;
    sse2.compose4 = Tlg5ComposeRow4Sse2;
    sse2.decodeRowWholeBlocks = Tlg6DecodeRowSse2;
    sse2.decodeRowPairWholeBlocks = Tlg6DecodeRowPairSse2;
    sets.push_back(sse2);
    if (features & kTlgCpuBmi2) {
      TlgRoutines bmi2 = sse2;
      bmi2.name = "sse2+bmi2";
      bmi2.decodeChannels = TlgDecodeChannelsBmi2;
      sets.push_back(bmi2);
    }
  }
#else
  (void)features;
#endif
  return sets;
}

TlgRoutines TlgSelectRoutines(uint32_t features) { return TlgAvailableRoutines(features).back(); }

}  // namespace limg
