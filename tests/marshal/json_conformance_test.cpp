// The "json:" key parser against the JSONTestSuite corpus: y_ files (none nests deeper than the
// limit) must parse, n_ files must not, i_ files may go either way but must not crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "marshal/json.hpp"

namespace marshal {
namespace {

namespace fs = std::filesystem;

fs::path suite_directory() {
  // CTest names the folder; run by hand, it sits beside the checkout (this file is in
  // <checkout>/tests/marshal).
  const char* env = std::getenv("ORVANE_TESTDATA");
  const fs::path root = env != nullptr ? fs::path(env)
                                       : fs::path(__FILE__).parent_path() / ".." / ".." / ".." /
                                             "shared" / "testdata";
  return root / "JSONTestSuite" / "test_parsing";
}

struct SuiteFile {
  std::string name;
  std::string content;
};

std::vector<SuiteFile> suite_files(char expectation) {
  std::vector<SuiteFile> files;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(suite_directory(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() < 2 || name[0] != expectation || name[1] != '_') continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files.push_back({name, std::string(std::istreambuf_iterator<char>(in), {})});
  }
  std::sort(files.begin(), files.end(),
            [](const SuiteFile& a, const SuiteFile& b) { return a.name < b.name; });
  return files;
}

class JsonConformance : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(suite_directory())) {
      GTEST_SKIP() << "JSON conformance data not found at " << suite_directory()
                   << ": these cases are skipped";
    }
  }
};

TEST_F(JsonConformance, AcceptsEveryValidDocument) {
  const auto files = suite_files('y');
  EXPECT_FALSE(files.empty());
  for (const SuiteFile& file : files) {
    SCOPED_TRACE(file.name);
    const auto parsed = parse_json_text(file.content, MAX_NESTED_JSON_DEPTH);
    EXPECT_TRUE(parsed.has_value()) << parsed.error();
    // Conversion may still refuse the value (a string without a prefix), but not its text.
    const auto converted = parse_tagged_string("json:" + file.content);
    if (!converted) {
      EXPECT_FALSE(converted.error().detail().starts_with("bad nested json: "));
    }
  }
}

TEST_F(JsonConformance, RefusesEveryInvalidDocument) {
  const auto files = suite_files('n');
  EXPECT_FALSE(files.empty());
  for (const SuiteFile& file : files) {
    SCOPED_TRACE(file.name);
    EXPECT_FALSE(parse_json_text(file.content, MAX_NESTED_JSON_DEPTH).has_value());
    const auto converted = parse_tagged_string("json:" + file.content);
    ASSERT_FALSE(converted.has_value());
    EXPECT_TRUE(converted.error().detail().starts_with("bad nested json: "))
        << converted.error().detail();
  }
}

// Either outcome is allowed, but the key parser and the plain parser must agree on it, and the
// key's error must carry the parser's own description.
TEST_F(JsonConformance, KeyParserAgreesOnImplementationDefinedDocuments) {
  const auto files = suite_files('i');
  EXPECT_FALSE(files.empty());
  for (const SuiteFile& file : files) {
    SCOPED_TRACE(file.name);
    const auto parsed = parse_json_text(file.content, MAX_NESTED_JSON_DEPTH);
    const auto converted = parse_tagged_string("json:" + file.content);
    if (parsed) {
      if (!converted) {
        EXPECT_FALSE(converted.error().detail().starts_with("bad nested json: "));
      }
    } else {
      ASSERT_FALSE(converted.has_value());
      EXPECT_EQ(converted.error().detail(), "bad nested json: " + parsed.error());
    }
  }
}

}  // namespace
}  // namespace marshal
