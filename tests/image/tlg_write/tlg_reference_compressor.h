#pragma once
// The LZSS compressor written the plain way, as the tests' oracle for SlideCompressor's bytes:
// the mirrored ring, the two-byte key chains, a search that walks every candidate of the chain.
#include <cstdint>
#include <cstring>
#include <vector>

namespace tlgref {

class PlainCompressor {
 public:
  PlainCompressor() {
    std::memset(ring_, 0, sizeof ring_);
    for (auto& h : heads_) h = -1;
    for (int i = 0; i < 4096; ++i) next_[i] = prev_[i] = -1;
    for (int p = 4095; p >= 0; --p) link(p);
  }

  void encode(const uint8_t* in, std::size_t length, std::vector<uint8_t>& out) {
    if (!length) return;
    std::size_t flagAt = 0;
    int count = 0;
    for (std::size_t i = 0; i < length;) {
      if (count == 0) {
        flagAt = out.size();
        out.push_back(0);
      }
      int source = 0;
      const int found = search(in + i, length - i, &source);
      if (found < 3) {
        out.push_back(in[i]);
        put(in[i++]);
      } else {
        out[flagAt] |= uint8_t(1 << count);
        out.push_back(uint8_t(source));
        if (found < 18) {
          out.push_back(uint8_t((source >> 8 & 15) | (found - 3) << 4));
        } else {
          out.push_back(uint8_t((source >> 8 & 15) | 0xF0));
          out.push_back(uint8_t(found - 18));
        }
        for (int k = 0; k < found; ++k) put(in[i++]);
      }
      count = (count + 1) % 8;
    }
  }

 private:
  uint8_t ring_[4096 + 272];
  int heads_[65536];
  int next_[4096], prev_[4096];
  int r_ = 0;

  int key(int p) const { return ring_[p] | ring_[p + 1] << 8; }
  void link(int p) {
    const int k = key(p);
    next_[p] = heads_[k];
    prev_[p] = -1;
    if (heads_[k] != -1) prev_[heads_[k]] = p;
    heads_[k] = p;
  }
  void unlink(int p) {
    if (prev_[p] != -1) next_[prev_[p]] = next_[p];
    else heads_[key(p)] = next_[p];
    if (next_[p] != -1) prev_[next_[p]] = prev_[p];
  }
  void put(uint8_t b) {
    const int before = (r_ + 4095) % 4096;
    unlink(before);
    unlink(r_);
    ring_[r_] = b;
    if (r_ < 272) ring_[r_ + 4096] = b;
    link(before);
    link(r_);
    r_ = (r_ + 1) % 4096;
  }
  int search(const uint8_t* d, std::size_t length, int* source) const {
    if (length < 3) return 0;
    const int most = int(length - 1 < 273 ? length - 1 : 273);
    int best = 0;
    for (int b = heads_[d[0] | d[1] << 8]; b != -1; b = next_[b]) {
      if (b == r_ || (b + 1) % 4096 == r_) continue;
      int end = b + most;
      if (end < 4096 && b <= r_ && r_ < end) end = r_;
      if (end >= 4096 && b <= r_ && r_ < 4096) end = r_;
      if (end >= 4096 && r_ < end - 4096) end = r_ + 4096;
      int p = b + 2;
      while (p < end && ring_[p] == d[p - b]) ++p;
      if (p - b > best) {
        best = p - b;
        *source = b;
        if (best == 273) break;
      }
    }
    return best;
  }
};

}  // namespace tlgref
