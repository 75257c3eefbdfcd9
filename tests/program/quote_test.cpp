#include <gtest/gtest.h>

#include <string>

#include "orvane/cli/cli.hpp"

namespace orvane {
namespace {

struct QuoteCase {
  const char* description;
  std::string input;
  std::string expected;
};

TEST(QuoteErrorText, EscapesWhatCannotBeSeen) {
  const QuoteCase cases[] = {
      {"empty", "", R"("")"},
      {"plain text", "read a.dat: gone", R"("read a.dat: gone")"},
      {"quote and backslash", R"(C:\s\"x")", R"("C:\\s\\\"x\"")"},
      {"single quote stays", "it's", R"("it's")"},
      {"nul", std::string("a\0b", 3), R"("a\0b")"},
      {"tab, carriage return, line feed", "\t\r\n", R"("\t\r\n")"},
      {"other C0 control", "\x01\x1f", R"("\u{1}\u{1f}")"},
      {"escape", "\x1b[0m", R"("\u{1b}[0m")"},
      {"delete", "\x7f", R"("\u{7f}")"},
      {"C1 control", "\xc2\x85", R"("\u{85}")"},
      {"zero width space (Cf)", "a\u200bb", R"("a\u{200b}b")"},
      {"byte order mark (Cf)", "\ufeff", R"("\u{feff}")"},
      {"no-break space (Zs)", "a\u00a0b", R"("a\u{a0}b")"},
      {"ideographic space (Zs)", "\u3000", R"("\u{3000}")"},
      {"ordinary space", "a b", R"("a b")"},
      {"line separator (Zl)", "\u2028", R"("\u{2028}")"},
      {"paragraph separator (Zp)", "\u2029", R"("\u{2029}")"},
      {"combining acute accent", "e\u0301", R"("e\u{301}")"},
      {"variation selector", "\u2764\ufe0f", "\"\u2764\\u{fe0f}\""},
      {"private use (Co)", "\ue000", R"("\u{e000}")"},
      {"supplementary private use", "\U00100000", R"("\u{100000}")"},
      {"unassigned (Cn)", "\u0378", R"("\u{378}")"},
      {"noncharacter (Cn)", "\U0010ffff", R"("\u{10ffff}")"},
      {"accented letter", "caf\u00e9", "\"caf\u00e9\""},
      {"CJK", "\u65e5\u672c", "\"\u65e5\u672c\""},
      {"emoji", "\U0001f600", "\"\U0001f600\""},
      {"replacement character itself", "\ufffd", "\"\ufffd\""},
  };
  for (const QuoteCase& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(quote_error_text(c.input), c.expected);
  }
}

// Such bytes never come from the program's own texts, but must neither crash nor pass through
// raw: each byte that starts no well-formed sequence becomes one \u{fffd}.
TEST(QuoteErrorText, InvalidUtf8BecomesReplacementEscapes) {
  const QuoteCase cases[] = {
      {"lone continuation byte", "a\x80z", R"("a\u{fffd}z")"},
      {"truncated two-byte sequence at end", "a\xc3", R"("a\u{fffd}")"},
      {"truncated three-byte sequence", "\xe6\x97z", R"("\u{fffd}\u{fffd}z")"},
      {"overlong slash", "\xc0\xaf", R"("\u{fffd}\u{fffd}")"},
      {"encoded surrogate", "\xed\xa0\x80", R"("\u{fffd}\u{fffd}\u{fffd}")"},
      {"beyond U+10FFFF", "\xf4\x90\x80\x80", R"("\u{fffd}\u{fffd}\u{fffd}\u{fffd}")"},
      {"byte 0xff", "\xff", R"("\u{fffd}")"},
  };
  for (const QuoteCase& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(quote_error_text(c.input), c.expected);
  }
}

}  // namespace
}  // namespace orvane
