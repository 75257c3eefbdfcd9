// The Long integer's header holds <iostream> back while the integer library is included; a file
// that includes <iostream> after it must still get the standard streams, and the integer's own
// stream operators must still work.
#include "marshal/big_int.hpp"
// Included after on purpose: this order is the one that would lose the standard streams.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

namespace {

TEST(BigInt, StandardStreamsSurviveTheHeader) {
  struct Case {
    const char* text;
  };
  const Case cases[] = {
      {"0"}, {"-1"}, {"18446744073709551616"}, {"-1267650600228229401496703205376"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const marshal::BigInt value(c.text);
    std::ostringstream written;
    std::streambuf* const saved = std::cout.rdbuf(written.rdbuf());
    std::cout << value;
    std::cout.rdbuf(saved);
    EXPECT_EQ(written.str(), c.text);
  }
}

}  // namespace
