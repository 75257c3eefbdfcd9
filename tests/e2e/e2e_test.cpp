// Black-box tests of the built program: exact output, exit status and the files left behind.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <chrono>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "run_program.hpp"
#include "settings_files.hpp"

namespace e2e {
namespace {

namespace json = boost::json;

constexpr char BACKUP_SUFFIX[] = ".dat.before-probe-formations";
constexpr char GARBAGE[] = "this is not a settings file\n";

// The escapes of the error line for the characters test paths and names contain.
std::string escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string error_line(const std::string& text) { return "Error: \"" + escaped(text) + "\"\n"; }

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool matches(const std::string& text, const std::string& pattern) {
  return std::regex_match(text, std::regex(pattern));
}

std::string backup_of(const std::string& dat_path) {
  return dat_path.substr(0, dat_path.size() - 4) + BACKUP_SUFFIX;
}

std::string mapped_header_form(std::string sequential_bytes) {
  // 7E and the map count become 7D 00 and the same count: the second mapped signature.
  return std::string("\x7D\x00", 2) + sequential_bytes.substr(1);
}

class E2e : public FolderTest {
 protected:
  std::string list_output(const std::string& path) { return run_program({"list", path}).out; }
};

TEST(E2eUsage, RefusedCommandLinesPrintTheUsage) {
  const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
      {"no arguments", {}},
      {"command word in upper case", {"LIST", "a.dat"}},
      {"list without operand", {"list"}},
      {"list with two operands", {"list", "a.dat", "b.dat"}},
      {"export with one operand", {"export", "a.dat"}},
      {"export with three operands", {"export", "a.dat", "p.json", "x"}},
      {"apply with only a package", {"apply", "p.json"}},
      {"accounts without operand", {"accounts"}},
      {"accounts with two operands", {"accounts", "a", "b"}},
      {"--help", {"--help"}},
      {"help", {"help"}},
      {"command word with a blank", {"list ", "a.dat"}},
  };
  for (const auto& [description, args] : cases) {
    SCOPED_TRACE(description);
    const RunResult r = run_program(args);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, USAGE);
  }
}

TEST_F(E2e, ListPrintsFormationsInIdOrder) {
  const std::vector<StoredFormation> arc_then_belt = {{7, "Arc", sample_probes(4)},
                                                      {2, "Belt", sample_probes(8)}};
  struct Case {
    const char* description;
    JsonValue tree;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"two formations, stored out of order", settings_tree(arc_then_belt, 2),
       "2 formation(s)\nBelt\t8 probe(s)\nArc\t4 probe(s)\n"},
      {"no custom formations member", settings_tree({}, 0, false), "0 formation(s)\n"},
      {"no user-interface settings", json::object{{"bytes:version", 3}}, "0 formation(s)\n"},
      {"name printed raw, one probe",
       settings_tree({{1, "Tab\there \xCE\xA9", sample_probes(1)}}, 1),
       "1 formation(s)\nTab\there \xCE\xA9\t1 probe(s)\n"},
      {"formation without probes", settings_tree({{0, "Empty", {}}}, 0),
       "1 formation(s)\nEmpty\t0 probe(s)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const std::string bytes = encode_settings(c.tree);
    const std::string path = put("core_user_1.dat", bytes);
    const RunResult r = run_program({"list", path});
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.expected);
    EXPECT_EQ(read_bytes(path), bytes) << "list must not write the settings file";
  }
}

TEST_F(E2e, FailuresAreOneQuotedLine) {
  const std::string empty = put("core_user_empty.dat", "");
  const std::string text = put("core_user_text.dat", GARBAGE);
  std::error_code ec;
  std::filesystem::create_directory(
      fs_path(dir_.file("J\xC3\xB6r\xC3\xB0 \xE8\xA8\xAD\xE5\xAE\x9A")), ec);
  const std::string non_ascii =
      put("J\xC3\xB6r\xC3\xB0 \xE8\xA8\xAD\xE5\xAE\x9A/core_user_\xC3\x9F.dat", GARBAGE);
  const std::string missing = dir_.file("core_user_404.dat");
  const std::string control = dir_.file("core_user_e\xCC\x81\x7F.dat");  // e, U+0301, DEL

  struct Case {
    const char* description;
    std::string path;
    std::string expected_pattern;  // a regular expression over the whole of standard error
  };
  auto literal = [](const std::string& text_part) {
    return std::regex_replace(text_part, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
  };
  const std::string os_error = R"re( \(os error \d+\)"\n)re";
  const std::vector<Case> cases = {
      {"missing file", missing,
       literal("Error: \"read " + escaped(missing) + ": ") + R"re([^"\n]+ \(os error 2\)"\n)re"},
      {"backslashes in the path doubled", "C:\\s\\core_user_1.dat",
       literal(R"(Error: "read C:\\s\\core_user_1.dat: )") + "[^\"\\n]+" + os_error},
      {"combining mark and DEL escaped", control,
       literal("Error: \"read " + escaped(dir_.file("core_user_e")) + "\\u{301}\\u{7f}.dat: ") +
           "[^\"\\n]+" + os_error},
      {"empty settings file", empty,
       literal(error_line("decode " + empty + ": unexpected end of stream"))},
      {"not a marshal stream", text,
       literal(
           error_line("decode " + text + ": invalid marshal stream: missing marshal signature"))},
      {"non-ASCII path printed unchanged", non_ascii,
       literal(error_line("decode " + non_ascii +
                          ": invalid marshal stream: missing marshal signature"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const RunResult r = run_program({"list", c.path});
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(matches(r.err, c.expected_pattern)) << r.err << "\ndoes not match\n"
                                                    << c.expected_pattern;
  }
}

TEST_F(E2e, ExportWritesThePackageFile) {
  const std::vector<StoredFormation> one = {{3, "", {{1, -250000.5, 0.0001, 4}}}};
  const std::string settings = put("core_user_5.dat", encode_settings(one));
  const std::string package = put("package.json", std::string(4096, 'x'));  // replaced whole
  const RunResult r = run_program({"export", settings, package});
  EXPECT_EQ(r.failure, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "Exported 1 formation(s)\n");
  EXPECT_EQ(read_bytes(package),
            "{\n"
            "  \"format\": \"kelvo-probe-formations\",\n"
            "  \"version\": 1,\n"
            "  \"formations\": [\n"
            "    {\n"
            "      \"id\": 3,\n"
            "      \"name\": \"\",\n"
            "      \"probes\": [\n"
            "        {\n"
            "          \"x\": 1.0,\n"
            "          \"y\": -250000.5,\n"
            "          \"z\": 0.0001,\n"
            "          \"range\": 4.0\n"
            "        }\n"
            "      ]\n"
            "    }\n"
            "  ]\n"
            "}");
}

// Read as "copy from one account to another", an export over a settings file would leave
// JSON where that account's settings were, with no backup: it is refused and nothing changes.
TEST_F(E2e, ExportNeverReplacesASettingsFile) {
  const std::string source_bytes = encode_settings(numbered_formations(2));
  const std::string other_bytes = encode_settings(numbered_formations(3, "O"));
  const std::string source = put("core_user_5.dat", source_bytes);
  struct Case {
    const char* description;
    std::string package_path;
    std::string existing;  // put there first
    bool refused;
  };
  const Case cases[] = {
      {"another account's settings file", dir_.file("core_user_6.dat"), other_bytes, true},
      {"its own source", source, source_bytes, true},
      {"its own source spelled otherwise", dir_.path() + "/./core_user_5.dat", source_bytes, true},
      {"a backup", dir_.file("core_user_6.dat.before-probe-formations"), other_bytes, true},
      {"an existing package", dir_.file("friend.json"), package_text(numbered_formations(1)),
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    ASSERT_TRUE(write_bytes(c.package_path, c.existing));
    const RunResult r = run_program({"export", source, c.package_path});
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(read_bytes(source), source_bytes);
    if (c.refused) {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, error_line("write " + c.package_path +
                                  ": not replacing a settings file with a package"));
      EXPECT_EQ(read_bytes(c.package_path), c.existing);
    } else {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, "Exported 2 formation(s)\n");
      EXPECT_TRUE(starts_with(read_bytes(c.package_path), "{\n  \"format\""));
    }
  }
}

TEST_F(E2e, ExportOfAnAccountWithoutFormations) {
  const std::string bytes = encode_settings(settings_tree({}, 0, false));
  const std::string settings = put("core_user_5.dat", bytes);
  const std::string package = dir_.file("package.json");
  const RunResult r = run_program({"export", settings, package});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Exported 0 formation(s)\n");
  EXPECT_EQ(read_bytes(package),
            "{\n  \"format\": \"kelvo-probe-formations\",\n  \"version\": 1,\n"
            "  \"formations\": []\n}");
  EXPECT_EQ(read_bytes(settings), bytes);
}

TEST_F(E2e, ExportWriteFailureIsTheOsErrorAlone) {
  const std::string settings = put("core_user_5.dat", encode_settings(numbered_formations(2)));
  const RunResult r = run_program({"export", settings, dir_.file("no-such-dir/package.json")});
  EXPECT_EQ(r.failure, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(matches(r.err, R"re(Error: "[^"\n]+ \(os error \d+\)"\n)re")) << r.err;
  EXPECT_EQ(r.err.find("package.json"), std::string::npos) << r.err;
}

TEST_F(E2e, ApplyMergesBacksUpAndStampsTheTarget) {
  // Stored ids 1 and 4, selected id 9 which names nothing.
  const std::string original = encode_settings(
      settings_tree({{1, "Belt", sample_probes(2)}, {4, "Arc", sample_probes(3)}}, 9),
      {.write_crc = false, .mode_byte = 0});
  const std::string target = put("core_user_12345.dat", original);
  const std::string package =
      put("p.json", package_text({{1, "Gamma", sample_probes(1)},
                                  {4, "Delta", sample_probes(5)},
                                  {9, "BELT", sample_probes(1)}}));  // a name the target holds

  using std::chrono::system_clock;
  auto filetime_now = [] {
    const auto seconds =
        std::chrono::floor<std::chrono::seconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<std::int64_t>(seconds) * 10000000 + 116444736000000000;
  };
  const std::int64_t earliest = filetime_now();
  const RunResult r = run_program({"apply", package, target});
  const std::int64_t latest = filetime_now();

  EXPECT_EQ(r.failure, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "Added 2 formation(s) to account 12345\n");
  EXPECT_EQ(read_bytes(backup_of(target)), original);
  // Colliding ids move past the largest one in use.
  EXPECT_EQ(list_output(target),
            "4 formation(s)\nBelt\t2 probe(s)\nArc\t3 probe(s)\nGamma\t1 probe(s)\n"
            "Delta\t5 probe(s)\n");

  const auto decoded = decode_settings(read_bytes(target));
  ASSERT_TRUE(decoded);
  const json::value* ui = decoded->tree.as_object().if_contains(UI_KEY);
  ASSERT_TRUE(ui && ui->is_object());
  const json::value* custom = ui->as_object().if_contains(CUSTOM_KEY);
  ASSERT_TRUE(custom);
  const json::string* stamp = custom->at("tuple").at(0).if_string();
  ASSERT_TRUE(stamp);
  ASSERT_TRUE(starts_with(std::string(*stamp), "long:")) << *stamp;
  const std::int64_t stamp_value = std::stoll(std::string(stamp->subview(5)));
  EXPECT_GE(stamp_value, earliest);
  EXPECT_LE(stamp_value, latest);
  EXPECT_EQ(stamp_value % 10000000, 0) << "whole seconds";
  // The selection named nothing, so it follows the first package formation to the id it was
  // written under (1 was taken, so 5), never to an id that names no formation.
  EXPECT_EQ(ui->at(SELECTED_KEY).at("tuple").at(1), json::value(5));
}

TEST_F(E2e, RewrittenFilesStartSequentialAndKeepTheirChecksum) {
  const auto formations = numbered_formations(2);
  struct Case {
    const char* description;
    std::string bytes;
    bool has_crc;
  };
  const std::vector<Case> cases = {
      {"7D 01, no checksum", encode_settings(formations, {.write_crc = false, .mode_byte = 1}),
       false},
      {"7D 05, checksum", encode_settings(formations, {.write_crc = true, .mode_byte = 5}), true},
      {"7E, no checksum", encode_settings(formations, {.write_crc = false, .mode_byte = 0}), false},
      {"7E, checksum", encode_settings(formations, {.write_crc = true, .mode_byte = 0}), true},
      {"7D 00, no checksum",
       mapped_header_form(encode_settings(formations, {.write_crc = false, .mode_byte = 0})),
       false},
      {"7D 00, checksum",
       mapped_header_form(encode_settings(formations, {.write_crc = true, .mode_byte = 0})), true},
  };
  const std::string package = put("p.json", package_text({{1, "New", sample_probes(1)}}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const std::string target = put("core_user_1.dat", c.bytes);
    const RunResult r = run_program({"apply", package, target});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Added 1 formation(s) to account 1\n");
    const std::string after = read_bytes(target);
    ASSERT_GE(after.size(), 3u);
    EXPECT_EQ(after[0], '\x7D');
    EXPECT_EQ(after[1], '\x01');
    EXPECT_EQ(after[2] == '\x1C', c.has_crc);
    const auto decoded = decode_settings(after);
    ASSERT_TRUE(decoded) << "the rewritten file must decode";
    EXPECT_EQ(decoded->has_crc, c.has_crc);
    EXPECT_EQ(list_output(target),
              "3 formation(s)\nF1\t2 probe(s)\nF2\t2 probe(s)\nNew\t1 probe(s)\n");
  }
}

TEST_F(E2e, BackupIsReplacedOnEveryRun) {
  const std::string original = encode_settings(numbered_formations(1));
  const std::string target = put("core_user_9.dat", original);
  const std::string first = put("first.json", package_text({{1, "A", sample_probes(1)}}));
  const std::string second = put("second.json", package_text({{1, "B", sample_probes(1)}}));

  ASSERT_EQ(run_program({"apply", first, target}).status, 0);
  EXPECT_EQ(read_bytes(backup_of(target)), original);
  const std::string after_first = read_bytes(target);

  ASSERT_EQ(run_program({"apply", second, target}).status, 0);
  EXPECT_EQ(read_bytes(backup_of(target)), after_first);
  EXPECT_EQ(list_output(target), "3 formation(s)\nF1\t2 probe(s)\nA\t1 probe(s)\nB\t1 probe(s)\n");
}

TEST_F(E2e, ApplyStopsAtTheFirstTargetThatFails) {
  const std::string first_bytes = encode_settings(numbered_formations(1));
  const std::string third_bytes = encode_settings(numbered_formations(2));
  const std::string first = put("core_user_1.dat", first_bytes);
  const std::string second = put("core_user_2.dat", GARBAGE);
  const std::string third = put("core_user_3.dat", third_bytes);
  const std::string package = put("p.json", package_text({{1, "New", sample_probes(1)}}));

  const RunResult r = run_program({"apply", package, first, second, third});
  EXPECT_EQ(r.failure, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Added 1 formation(s) to account 1\n");
  EXPECT_EQ(r.err,
            error_line("decode " + second + ": invalid marshal stream: missing marshal signature"));
  EXPECT_EQ(read_bytes(backup_of(first)), first_bytes);
  EXPECT_NE(read_bytes(first), first_bytes);
  EXPECT_EQ(read_bytes(second), GARBAGE);
  EXPECT_FALSE(file_exists(backup_of(second)));
  EXPECT_EQ(read_bytes(third), third_bytes);
  EXPECT_FALSE(file_exists(backup_of(third)));
}

TEST_F(E2e, LimitOfTenCustomFormations) {
  struct Case {
    const char* description;
    int existing;
    std::vector<StoredFormation> incoming;
    int status;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"nine plus one reaches ten",
       9,
       {{1, "New", {}}},
       0,
       "Added 1 formation(s) to account 4\n",
       ""},
      {"ten plus one exceeds it",
       10,
       {{1, "New", {}}},
       1,
       "",
       error_line("target would contain 11 custom formations; ORVANE supports at most 10")},
      {"ten plus a known name adds nothing",
       10,
       {{1, "f3", {}}},
       0,
       "Added 0 formation(s) to account 4\n",
       ""},
      {"negative ids do not count",
       10,
       {{-3, "Below", {}}},
       0,
       "Added 1 formation(s) to account 4\n",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const std::string original = encode_settings(numbered_formations(c.existing));
    const std::string target = put("core_user_4.dat", original);
    const std::string package = put("p.json", package_text(c.incoming));
    const RunResult r = run_program({"apply", package, target});
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    // The backup is taken before the merge, whether or not the merge then succeeds.
    EXPECT_EQ(read_bytes(backup_of(target)), original);
    if (c.status != 0) {
      EXPECT_EQ(read_bytes(target), original);
    }
  }
}

TEST_F(E2e, SameTargetTwice) {
  const std::string original =
      encode_settings(numbered_formations(1), {.write_crc = false, .mode_byte = 0});
  const std::string target = put("core_user_9.dat", original);
  const std::string package =
      put("p.json", package_text({{1, "A", sample_probes(1)}, {2, "B", sample_probes(1)}}));

  const RunResult r = run_program({"apply", package, target, target});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "Added 2 formation(s) to account 9\nAdded 0 formation(s) to account 9\n");
  // The backup holds the file as the first pass wrote it: already merged and rewritten.
  const std::string backup = read_bytes(backup_of(target));
  EXPECT_EQ(backup.substr(0, 2), "\x7D\x01");
  EXPECT_EQ(list_output(backup_of(target)),
            "3 formation(s)\nF1\t2 probe(s)\nA\t1 probe(s)\nB\t1 probe(s)\n");
  EXPECT_EQ(list_output(target), list_output(backup_of(target)));
}

TEST_F(E2e, EmptyPackageStillRewritesEveryTarget) {
  const std::string original =
      encode_settings(numbered_formations(2), {.write_crc = true, .mode_byte = 0});
  const std::string first = put("core_user_1.dat", original);
  const std::string second = put("core_user_2.dat", original);
  const std::string package = put("p.json", package_text({}));

  const RunResult r = run_program({"apply", package, first, second});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "Added 0 formation(s) to account 1\nAdded 0 formation(s) to account 2\n");
  for (const std::string& target : {first, second}) {
    SCOPED_TRACE(target);
    EXPECT_EQ(read_bytes(target).substr(0, 3), "\x7D\x01\x1C");
    EXPECT_EQ(read_bytes(backup_of(target)), original);
    EXPECT_EQ(list_output(target), "2 formation(s)\nF1\t2 probe(s)\nF2\t2 probe(s)\n");
  }
}

// Settings nested as deeply as the format allows pass through a rewrite whole: the program's
// stack must hold the reader's, the bridge's and the writer's recursion at full depth (the
// Windows default stack would not).
TEST_F(E2e, DeepestSettingsSurviveApply) {
  for (const bool crc : {false, true}) {
    SCOPED_TRACE(crc ? "with checksum" : "without checksum");
    // The root dict is level 1 (2 under a checksum); the innermost integer sits at level 1000.
    JsonValue deep = 7;
    for (int level = crc ? 998 : 999; level > 1; --level) deep = json::array{deep};
    JsonValue tree = settings_tree(numbered_formations(1), 1);
    tree.as_object()["bytes:deep"] = deep;
    const std::string target = put(crc ? "core_user_2.dat" : "core_user_1.dat",
                                   encode_settings(tree, {.write_crc = crc, .mode_byte = 1}));
    const std::string package = put("p.json", package_text({{2, "New", {}}}));

    const RunResult r = run_program({"apply", package, target});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    const auto decoded = decode_settings(read_bytes(target));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->has_crc, crc);
    EXPECT_EQ(decoded->tree.at("bytes:deep"), deep);
  }
}

TEST_F(E2e, NonAccountTargetIsReportedAsUnknown) {
  const std::string target = put("prefs.dat", encode_settings(numbered_formations(1)));
  const std::string package = put("p.json", package_text({{1, "New", {}}}));
  const RunResult r = run_program({"apply", package, target});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Added 1 formation(s) to account unknown\n");
  EXPECT_TRUE(file_exists(dir_.file("prefs.dat.before-probe-formations")));
}

TEST_F(E2e, RefusedPackagesTouchNoTarget) {
  const std::vector<StoredFormation> one = {{1, "New", {}}};
  const std::string package_path = dir_.file("p.json");
  struct Case {
    const char* description;
    std::optional<std::string> package;  // nothing: the package file does not exist
    std::string expected_pattern;
  };
  const std::vector<Case> cases = {
      {"missing package file", std::nullopt, R"re(Error: "[^"\n]+ \(os error 2\)"\n)re"},
      {"not JSON", std::string("formations, please"),
       R"re(Error: "package: [^"\n]+ at line \d+ column \d+"\n)re"},
      {"empty file", std::string(""), R"re(Error: "package: [^"\n]+ at line \d+ column \d+"\n)re"},
      {"version 2", package_text(one, "kelvo-probe-formations", 2),
       R"(Error: "unsupported formation package"\n)"},
      {"format in another letter case", package_text(one, "Kelvo-probe-formations"),
       R"(Error: "unsupported formation package"\n)"},
      {"format with a trailing blank", package_text(one, "kelvo-probe-formations "),
       R"(Error: "unsupported formation package"\n)"},
  };
  const std::string original = encode_settings(numbered_formations(2));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    std::error_code removal;
    std::filesystem::remove(fs_path(package_path), removal);
    if (c.package) put("p.json", *c.package);
    const std::string target = put("core_user_1.dat", original);
    const RunResult r = run_program({"apply", package_path, target});
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(matches(r.err, c.expected_pattern)) << r.err;
    EXPECT_EQ(read_bytes(target), original);
    EXPECT_FALSE(file_exists(backup_of(target)));
  }
}

TEST_F(E2e, AccountsListsAccountFilesSortedByName) {
  put("core_user_2.dat", encode_settings(numbered_formations(2)));
  put("core_user_10.dat", encode_settings(numbered_formations(3)));
  put("core_user_.dat", encode_settings(settings_tree({}, 0, false)));
  put("core_user_\xC3\x9F.dat", encode_settings(numbered_formations(1)));
  // None of these is an account file; each would fail to decode if it were read.
  for (const char* name :
       {"core_user_10.dat.before-probe-formations", "prefs.dat", "core_user__.dat",
        "core_user_1__old.dat", "Core_user_7.dat", "core_user_8.DAT", "core_user_9.dat.bak"}) {
    put(name, GARBAGE);
  }
  const RunResult r = run_program({"accounts", dir_.path()});
  EXPECT_EQ(r.failure, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "\t0 formation(s)\n"
            "10\t3 formation(s)\n"
            "2\t2 formation(s)\n"
            "\xC3\x9F\t1 formation(s)\n");
}

TEST_F(E2e, AccountsStopsAtAFileThatCannotBeDecoded) {
  put("core_user_1.dat", encode_settings(numbered_formations(1)));
  const std::string broken = put("core_user_2.dat", GARBAGE);
  put("core_user_3.dat", encode_settings(numbered_formations(3)));
  const RunResult r = run_program({"accounts", dir_.path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "1\t1 formation(s)\n");
  EXPECT_EQ(r.err,
            error_line("decode " + broken + ": invalid marshal stream: missing marshal signature"));
}

// The files are read on every core and printed in order, as deeply nested as the format
// allows: each thread's stack holds the reader's recursion. The third file stops the listing at
// its place.
TEST_F(E2e, AccountsOnEveryCoreStopsAtTheThirdFile) {
  JsonValue deep = 7;
  for (int level = 999; level > 1; --level) deep = json::array{deep};
  std::string expected;
  std::string broken;
  for (int i = 1; i <= 8; ++i) {
    const std::string name = "core_user_" + std::to_string(i) + ".dat";
    if (i == 3) {
      broken = put(name, GARBAGE);
      continue;
    }
    JsonValue tree = settings_tree(numbered_formations(i), 1);
    tree.as_object()["bytes:deep"] = deep;
    put(name, encode_settings(tree));
    if (i < 3) expected += std::to_string(i) + "\t" + std::to_string(i) + " formation(s)\n";
  }
  const RunResult r = run_program({"accounts", dir_.path()});
  EXPECT_EQ(r.failure, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err,
            error_line("decode " + broken + ": invalid marshal stream: missing marshal signature"));
}

TEST_F(E2e, AccountsOfADirectoryWithoutAccounts) {
  put("prefs.dat", GARBAGE);
  const RunResult r = run_program({"accounts", dir_.path()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST_F(E2e, AccountsOfSomethingThatIsNoDirectory) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"missing directory", dir_.file("settings_Default")},
      {"a file", put("core_user_1.dat", encode_settings(numbered_formations(1)))},
  };
  for (const auto& [description, path] : cases) {
    SCOPED_TRACE(description);
    const RunResult r = run_program({"accounts", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(matches(r.err, R"re(Error: "settings directory: [^"\n]+ \(os error \d+\)"\n)re"))
        << r.err;
    EXPECT_EQ(r.err.find(path), std::string::npos) << "the path is not part of the message";
  }
}

TEST_F(E2e, ClosedStandardOutputIsAnErrorNotACrash) {
  const std::string settings = put("core_user_1.dat", encode_settings(numbered_formations(2)));
  const std::string package = put("p.json", package_text({{1, "New", {}}}));
  const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
      {"list", {"list", settings}},
      {"export", {"export", settings, dir_.file("out.json")}},
      {"apply", {"apply", package, settings}},
      {"accounts", {"accounts", dir_.path()}},
  };
  for (const auto& [description, args] : cases) {
    SCOPED_TRACE(description);
    const RunResult r = run_program(args, StdoutMode::ClosedPipe);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(matches(r.err, R"(Error: "[^\n]+"\n)")) << r.err;
  }
}

}  // namespace
}  // namespace e2e
