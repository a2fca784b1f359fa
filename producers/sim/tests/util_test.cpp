// The helpers whose output consumers verify independently: SHA-1 and CRC-32.
#include <gtest/gtest.h>

#include <string>

#include "sha1.h"
#include "zip.h"

namespace grabkit::sim {
namespace {

std::string hex(const std::array<uint8_t, 20>& digest) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (uint8_t b : digest) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

std::string sha1Hex(const std::string& text) {
  return hex(sha1(text.data(), text.size()));
}

TEST(Sha1, KnownDigestsAcrossPaddingBoundaries) {
  EXPECT_EQ(sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  // 56 bytes: the length no longer fits into the first padding block.
  EXPECT_EQ(sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(sha1Hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Crc32, StandardCheckValue) {
  const std::string check = "123456789";
  EXPECT_EQ(crc32(check.data(), check.size()), 0xCBF43926u);
  EXPECT_EQ(crc32(nullptr, 0), 0u);
}

}  // namespace
}  // namespace grabkit::sim
