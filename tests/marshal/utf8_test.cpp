// The UTF-8 check that skips ASCII a word at a time must judge every byte as the byte-wise
// decoder does, wherever a bad or multi-byte sequence falls relative to those words.
#include "marshal/utf8.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace marshal {
namespace {

TEST(Utf8, WordSkipAgreesWithTheDecoderAtEveryOffset) {
  const struct {
    const char* name;
    std::string sequence;
    bool valid;
  } cases[] = {
      {"two-byte letter", "\xC3\xA9", true},     {"four-byte symbol", "\xF0\x9F\x9A\x80", true},
      {"lone continuation byte", "\x80", false}, {"overlong slash", "\xC0\xAF", false},
      {"surrogate", "\xED\xA0\x80", false},      {"above U+10FFFF", "\xF4\x90\x80\x80", false},
      {"cut-off sequence", "\xE2\x80", false},
  };
  for (const auto& c : cases) {
    for (std::size_t before = 0; before <= 17; ++before) {
      for (std::size_t after : {0, 1, 7, 8, 9}) {
        SCOPED_TRACE(::testing::Message()
                     << c.name << " after " << before << " ASCII bytes, " << after << " after it");
        const std::string text = std::string(before, 'a') + c.sequence + std::string(after, 'z');
        EXPECT_EQ(is_valid_utf8(text), c.valid);
      }
    }
  }
}

TEST(Utf8, AgreesWithLossyDecodingOnMixedBytes) {
  std::mt19937 random(11);
  const char* const pieces[] = {"a",    "bcdefgh", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x9A\x80",
                                "\x80", "\xFF",    "\xC3",     "\xED\xA0\x80"};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
    SCOPED_TRACE(round);
    EXPECT_EQ(is_valid_utf8(text), utf8_lossy(text) == text);
  }
}

}  // namespace
}  // namespace marshal
