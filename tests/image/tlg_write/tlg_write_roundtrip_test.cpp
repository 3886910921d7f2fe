// Round trips through the tests' reference reader.
#include "tests/image/tlg_write/tlg_reference_decoder.h"
#include "tests/image/tlg_write/tlg_roundtrip_cases.h"

namespace tlgtest {

Decoded decodeForRoundTrip(const std::vector<uint8_t>& file) {
  const tlgref::Picture pic = tlgref::decode(file);
  Decoded d;
  d.ok = pic.ok;
  d.width = pic.width;
  d.height = pic.height;
  d.pixels = pic.pixels;
  d.name = pic.name;
  d.left = pic.left;
  d.top = pic.top;
  d.mode = pic.mode;
  return d;
}

}  // namespace tlgtest

namespace {

// The oracle must notice damage, or the round trips above prove nothing.
TEST(TlgReferenceReader, NoticesChangedBytes) {
  const tlgtest::Packed p = tlgtest::makePacked(33, 17, 3, tlgtest::Kind::Smooth, 3);
  for (bool tlg6 : {true, false}) {
    std::vector<uint8_t> file = tlg6 ? tlgtest::encodeTlg6(p) : tlgtest::encodeTlg5(p);
    ASSERT_TRUE(tlgtest::samePixels(p, tlgtest::decodeForRoundTrip(file), tlg6));
    file[file.size() - 5] ^= 0x10;
    EXPECT_FALSE(tlgtest::samePixels(p, tlgtest::decodeForRoundTrip(file), tlg6));
  }
}

}  // namespace
