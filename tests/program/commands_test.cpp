#include "orvane/cli/commands.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/json.hpp>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "helpers/fake_platform.hpp"
#include "marshal/json.hpp"
#include "marshal/reader.hpp"
#include "marshal/writer.hpp"
#include "orvane/cli/cli.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"

namespace orvane {
namespace {

using testing::FakePlatform;
using testing::Operation;
namespace json = boost::json;

struct Stored {
  std::int64_t id;
  std::string name;
  std::size_t probes;
};

json::value probe_json(double i) {
  return json::object{
      {"tuple", json::array{json::object{{"tuple", json::array{i, -i, 0.5}}}, 9.0}}};
}

// A settings tree in tagged JSON: the formations where the client keeps them, beside settings
// the tool must carry through untouched.
json::value settings_tree(const std::vector<Stored>& formations) {
  json::object dict;
  for (const Stored& f : formations) {
    json::array probes;
    for (std::size_t i = 0; i < f.probes; ++i) probes.push_back(probe_json(static_cast<double>(i)));
    dict["int:" + std::to_string(f.id)] =
        json::object{{"tuple", json::array{"utf8:" + f.name, std::move(probes)}}};
  }
  json::object ui;
  ui["bytes:window.layout"] = json::array{1, 2, 3};
  ui["bytes:probescanning.customFormations"] =
      json::object{{"tuple", json::array{"long:130000000000000000", std::move(dict)}}};
  return json::object{{"bytes:ui", std::move(ui)}, {"bytes:language", "utf8:en"}};
}

std::string settings_file(const std::vector<Stored>& formations, bool with_crc = false) {
  auto value = marshal::json_to_value(settings_tree(formations));
  EXPECT_TRUE(value);
  auto bytes = marshal::write_marshal(*value, {.write_crc = with_crc, .mode_byte = 1});
  EXPECT_TRUE(bytes);
  return std::string(bytes->begin(), bytes->end());
}

std::string package_text(const std::vector<std::pair<std::int64_t, std::string>>& formations,
                         std::string_view format = "kelvo-probe-formations", int version = 1) {
  json::array list;
  for (const auto& [id, name] : formations) {
    list.push_back(json::object{{"id", id}, {"name", name}, {"probes", json::array{}}});
  }
  return json::serialize(
      json::object{{"format", format}, {"version", version}, {"formations", std::move(list)}});
}

std::vector<std::string> names_in(const std::string& bytes) {
  auto decoded = marshal::read_marshal(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  if (!decoded) return {"<" + decoded.error().message() + ">"};
  std::vector<std::string> names;
  for (const Formation& f : read_formations(marshal::value_to_json(decoded->value))) {
    names.push_back(f.name);
  }
  return names;
}

std::string os_text(std::string_view description, int code) {
  return std::string(description) + " (os error " + std::to_string(code) + ")";
}

std::string error_line(std::string_view text) { return "Error: " + quote_error_text(text) + "\n"; }

int run_on(FakePlatform& platform, std::vector<std::string> args) {
  std::string program = "orvane-probe-formations";
  std::vector<char*> argv{program.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return run_program(platform, platform, static_cast<int>(args.size() + 1), argv.data());
}

class CommandsTest : public ::testing::Test {
 protected:
  int run(std::vector<std::string> args) { return run_on(fake_, std::move(args)); }

  FakePlatform fake_;
};

TEST_F(CommandsTest, RefusedCommandLinesPrintTheUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"LIST", "a.dat"},
      {"list"},
      {"list", "a.dat", "b.dat"},
      {"export", "a.dat"},
      {"export", "a.dat", "p.json", "x"},
      {"apply", "p.json"},
      {"accounts"},
      {"accounts", "d", "e"},
      {"help"},
      {"--help"},
      {"-h"},
      {" list", "a.dat"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.empty() ? "(none)" : args[0] + " +" + std::to_string(args.size() - 1));
    fake_ = FakePlatform();
    EXPECT_EQ(run(args), EXIT_USAGE);
    EXPECT_EQ(fake_.err, USAGE_TEXT);
    EXPECT_EQ(fake_.out, "");
    EXPECT_TRUE(fake_.log.empty());
  }
}

TEST(CommandLine, AcceptedLinesNameTheirOperands) {
  struct Case {
    std::vector<std::string> args;
    CommandKind kind;
  };
  const Case cases[] = {
      {{"list", "a.dat"}, CommandKind::List},
      {{"export", "a.dat", "p.json"}, CommandKind::Export},
      {{"apply", "p.json", "a.dat"}, CommandKind::Apply},
      {{"apply", "p.json", "a.dat", "b.dat", "c.dat"}, CommandKind::Apply},
      {{"accounts", "settings_Default"}, CommandKind::Accounts},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " +" + std::to_string(c.args.size() - 1));
    const auto parsed = parse_command_line(c.args);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->kind, c.kind);
    EXPECT_EQ(parsed->operands, std::vector<std::string>(c.args.begin() + 1, c.args.end()));
  }
}

TEST_F(CommandsTest, ArgumentThatIsNotUtf8IsRefused) {
  EXPECT_EQ(run({"list", "core_user_\xff.dat"}), EXIT_USAGE);
  EXPECT_EQ(fake_.err, error_line("argument 2 is not valid UTF-8 text"));
  EXPECT_EQ(fake_.out, "");
  EXPECT_TRUE(fake_.log.empty());
}

TEST_F(CommandsTest, ListPrintsFormationsInIdOrder) {
  fake_.put_file("core_user_1.dat", settings_file({{7, "Belt", 8}, {2, "Arc", 4}, {3, "One", 1}}));
  EXPECT_EQ(run({"list", "core_user_1.dat"}), EXIT_OK);
  EXPECT_EQ(fake_.out, "3 formation(s)\nArc\t4 probe(s)\nOne\t1 probe(s)\nBelt\t8 probe(s)\n");
  EXPECT_EQ(fake_.err, "");
  EXPECT_EQ(fake_.log, std::vector<std::string>{"read core_user_1.dat"});
}

TEST_F(CommandsTest, ListFailuresQuoteTheContext) {
  fake_.put_file("text.dat", "not a settings file");
  fake_.put_file("empty.dat", "");
  EXPECT_EQ(run({"list", "C:\\s\\missing.dat"}), EXIT_FAILED);
  EXPECT_EQ(fake_.err, "Error: \"read C:\\\\s\\\\missing.dat: " +
                           os_text("No such file or directory", ENOENT) + "\"\n");

  for (const char* path : {"text.dat", "empty.dat"}) {
    SCOPED_TRACE(path);
    fake_.err.clear();
    EXPECT_EQ(run({"list", path}), EXIT_FAILED);
    EXPECT_TRUE(fake_.err.starts_with("Error: \"decode " + std::string(path) + ": ")) << fake_.err;
    EXPECT_EQ(fake_.out, "");
  }
}

TEST_F(CommandsTest, ExportWritesThePackageAndLeavesTheSettings) {
  const std::string settings = settings_file({{4, "Belt", 2}, {1, "Arc", 0}});
  fake_.put_file("core_user_1.dat", settings);
  fake_.put_file("out.json", "an older, longer package that must disappear entirely");
  EXPECT_EQ(run({"export", "core_user_1.dat", "out.json"}), EXIT_OK);
  EXPECT_EQ(fake_.out, "Exported 2 formation(s)\n");
  EXPECT_EQ(fake_.file_text("core_user_1.dat"), settings);

  auto package = read_package_json(fake_.file_text("out.json"));
  ASSERT_TRUE(package) << package.error();
  EXPECT_EQ(package->format, PACKAGE_FORMAT);
  EXPECT_EQ(package->version, PACKAGE_VERSION);
  ASSERT_EQ(package->formations.size(), 2u);
  EXPECT_EQ(package->formations[0].name, "Arc");
  EXPECT_EQ(package->formations[1].id, 4);
  EXPECT_EQ(package->formations[1].probes.size(), 2u);
}

TEST_F(CommandsTest, ExportWriteFailureIsTheOsErrorAlone) {
  fake_.put_file("core_user_1.dat", settings_file({{1, "Arc", 1}}));
  fake_.fail(Operation::WriteFile, "out.json", ENOSPC);
  EXPECT_EQ(run({"export", "core_user_1.dat", "out.json"}), EXIT_FAILED);
  EXPECT_EQ(fake_.err, error_line(os_text("No space left on device", ENOSPC)));
  EXPECT_EQ(fake_.out, "");
}

// A package path that names a settings file (the source under any name, another account, a
// backup) is refused before anything is written; any other file there is replaced.
TEST_F(CommandsTest, ExportNeverReplacesASettingsFile) {
  const std::string source = settings_file({{1, "Arc", 1}});
  const std::string other = settings_file({{2, "Belt", 2}});
  const std::string mapped = "\x7e" + std::string(4, '\0') + "rest";
  struct Case {
    const char* description;
    std::string package_path;
    std::optional<std::string> existing;  // what stands at the package path first
    bool refused;
  };
  const Case cases[] = {
      {"another account's settings file", "core_user_2.dat", other, true},
      {"its own source", "core_user_1.dat", std::nullopt, true},
      {"its own source by another name", "link.json", std::nullopt, true},
      {"a backup", "core_user_2.dat.before-probe-formations", other, true},
      {"a file with the mapped signature", "mapped.json", mapped, true},
      {"an existing package", "out.json", package_text({{9, "Old"}}), false},
      {"a text file", "notes.json", std::string("\x7d"), false},
      {"a new file", "new.json", std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_ = FakePlatform();
    fake_.put_file("core_user_1.dat", source);
    fake_.aliases["link.json"] = "core_user_1.dat";
    if (c.existing) fake_.put_file(c.package_path, *c.existing);
    const std::string before = fake_.file_text(c.package_path);
    const int status = run({"export", "core_user_1.dat", c.package_path});
    EXPECT_EQ(fake_.file_text("core_user_1.dat"), source);
    if (c.refused) {
      EXPECT_EQ(status, EXIT_FAILED);
      EXPECT_EQ(fake_.err, error_line("write " + c.package_path +
                                      ": not replacing a settings file with a package"));
      EXPECT_EQ(fake_.out, "");
      EXPECT_EQ(fake_.file_text(c.package_path), before);
      EXPECT_EQ(std::count_if(fake_.log.begin(), fake_.log.end(),
                              [](const std::string& op) { return op.starts_with("write"); }),
                0);
    } else {
      EXPECT_EQ(status, EXIT_OK);
      EXPECT_EQ(fake_.out, "Exported 1 formation(s)\n");
      EXPECT_TRUE(read_package_json(fake_.file_text(c.package_path)));
    }
  }
}

TEST_F(CommandsTest, ApplyBacksUpMergesAndReports) {
  const std::string original = settings_file({{1, "Belt", 1}}, /*with_crc=*/true);
  fake_.put_file("p.json", package_text({{1, "Arc"}, {2, "belt"}, {5, "Star"}}));
  fake_.filetime = 133500000012345678;
  fake_.put_file("dir/core_user_12345.dat", original);
  EXPECT_EQ(run({"apply", "p.json", "dir/core_user_12345.dat"}), EXIT_OK);
  EXPECT_EQ(fake_.out, "Added 2 formation(s) to account 12345\n");
  EXPECT_EQ(fake_.err, "");
  EXPECT_EQ(fake_.log,
            (std::vector<std::string>{"read p.json", "read dir/core_user_12345.dat",
                                      "copy dir/core_user_12345.dat -> "
                                      "dir/core_user_12345.dat.before-probe-formations",
                                      "hold", "write dir/core_user_12345.dat", "release"}));
  EXPECT_EQ(fake_.file_text("dir/core_user_12345.dat.before-probe-formations"), original);

  const std::string rewritten = fake_.file_text("dir/core_user_12345.dat");
  EXPECT_EQ(names_in(rewritten), (std::vector<std::string>{"Belt", "Arc", "Star"}));
  ASSERT_GE(rewritten.size(), 2u);
  EXPECT_EQ(rewritten.substr(0, 2), "\x7d\x01");
  auto decoded = marshal::read_marshal(
      std::span(reinterpret_cast<const std::uint8_t*>(rewritten.data()), rewritten.size()));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->has_crc);
  // Untouched settings come through unchanged.
  const JsonValue tree = marshal::value_to_json(decoded->value);
  // Stamped from the platform's clock, to the whole second.
  EXPECT_EQ(tree.at("bytes:ui").at("bytes:probescanning.customFormations").at("tuple").at(0),
            json::value("long:133500000010000000"));
  EXPECT_EQ(tree.at("bytes:language"), json::value("utf8:en"));
  EXPECT_EQ(tree.at("bytes:ui").at("bytes:window.layout"), json::value(json::array{1, 2, 3}));
}

TEST_F(CommandsTest, ApplyRefusesABadPackageBeforeAnyTarget) {
  struct Case {
    const char* description;
    std::optional<std::string> package;  // none: the file is missing
    std::string expected_prefix;
  };
  const Case cases[] = {
      {"missing", std::nullopt, os_text("No such file or directory", ENOENT)},
      {"not JSON", "this is not json", "package: "},
      {"empty", "", "package: "},
      {"version 2", package_text({{1, "Arc"}}, "kelvo-probe-formations", 2),
       "unsupported formation package"},
      {"format in other case", package_text({{1, "Arc"}}, "Kelvo-Probe-Formations"),
       "unsupported formation package"},
      {"format with trailing blank", package_text({{1, "Arc"}}, "kelvo-probe-formations "),
       "unsupported formation package"},
  };
  const std::string target = settings_file({});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_ = FakePlatform();
    if (c.package) fake_.put_file("p.json", *c.package);
    fake_.put_file("core_user_1.dat", target);
    EXPECT_EQ(run({"apply", "p.json", "core_user_1.dat"}), EXIT_FAILED);
    EXPECT_TRUE(fake_.err.starts_with("Error: \"" + c.expected_prefix)) << fake_.err;
    EXPECT_EQ(fake_.log, std::vector<std::string>{"read p.json"});
    EXPECT_EQ(fake_.out, "");
  }
}

TEST_F(CommandsTest, ApplyBackupFailureStopsBeforeTheTargetIsWritten) {
  const std::string original = settings_file({{1, "Belt", 1}});
  fake_.put_file("p.json", package_text({{1, "Arc"}}));
  fake_.put_file("core_user_1.dat", original);
  fake_.put_file("core_user_2.dat", original);
  fake_.fail(Operation::CopyFile, "core_user_1.dat", EACCES);
  EXPECT_EQ(run({"apply", "p.json", "core_user_1.dat", "core_user_2.dat"}), EXIT_FAILED);
  EXPECT_EQ(fake_.err,
            error_line("backup core_user_1.dat: " + os_text("Permission denied", EACCES)));
  EXPECT_EQ(fake_.out, "");
  EXPECT_EQ(fake_.file_text("core_user_1.dat"), original);
  EXPECT_EQ(fake_.log.back(), "copy core_user_1.dat -> core_user_1.dat.before-probe-formations");
}

TEST_F(CommandsTest, ApplyWriteFailureLeavesTheBackup) {
  const std::string original = settings_file({{1, "Belt", 1}});
  fake_.put_file("p.json", package_text({{1, "Arc"}}));
  fake_.put_file("core_user_1.dat", original);
  fake_.fail(Operation::WriteFile, "core_user_1.dat", ENOSPC);
  EXPECT_EQ(run({"apply", "p.json", "core_user_1.dat"}), EXIT_FAILED);
  EXPECT_EQ(fake_.err,
            error_line("write core_user_1.dat: " + os_text("No space left on device", ENOSPC)));
  EXPECT_EQ(fake_.out, "");
  EXPECT_EQ(fake_.file_text("core_user_1.dat.before-probe-formations"), original);
}

// A write that fails once the target was opened puts the backup's bytes back; the error line
// is the write's, whatever happens to the restore.
TEST_F(CommandsTest, ApplyWriteFailurePutsTheBackupBack) {
  const std::string target = "core_user_1.dat";
  const std::string backup = "core_user_1.dat.before-probe-formations";
  struct Case {
    const char* description;
    std::function<void(FakePlatform&)> inject;
    std::string error;
    bool restored;  // the target holds its original bytes again
    std::vector<std::string> log_after_backup;
  };
  const std::string full_disk =
      "write " + target + ": " + os_text("No space left on device", ENOSPC);
  const Case cases[] = {
      {"write fails after opening: the backup is put back",
       [&](FakePlatform& f) { f.fail(Operation::WriteFile, target, ENOSPC, 1); },
       full_disk,
       true,
       {"hold", "write " + target, "read " + backup, "write " + target, "release"}},
      {"target cannot be opened: nothing to put back",
       [&](FakePlatform& f) { f.fail(Operation::OpenForWrite, target, EACCES); },
       "write " + target + ": " + os_text("Permission denied", EACCES),
       true,
       {"hold", "write " + target, "release"}},
      {"backup cannot be read back",
       [&](FakePlatform& f) {
         f.fail(Operation::WriteFile, target, ENOSPC, 1);
         f.fail(Operation::ReadFile, backup, EIO);
       },
       full_disk,
       false,
       {"hold", "write " + target, "read " + backup, "release"}},
      {"target cannot be opened again for the restore",
       [&](FakePlatform& f) {
         f.fail(Operation::WriteFile, target, ENOSPC, 1);
         f.fail(Operation::OpenForWrite, target, EACCES, 2);
       },
       full_disk,
       false,
       {"hold", "write " + target, "read " + backup, "write " + target, "release"}},
      {"restore's own write fails too",
       [&](FakePlatform& f) { f.fail(Operation::WriteFile, target, ENOSPC); },
       full_disk,
       false,
       {"hold", "write " + target, "read " + backup, "write " + target, "release"}},
  };
  const std::string original = settings_file({{1, "Belt", 3}}, /*with_crc=*/true);
  const std::string other = settings_file({});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_ = FakePlatform();
    fake_.put_file("p.json", package_text({{1, "Arc"}, {2, "Star"}}));
    fake_.put_file(target, original);
    fake_.put_file("core_user_2.dat", other);
    c.inject(fake_);
    EXPECT_EQ(run({"apply", "p.json", target, "core_user_2.dat"}), EXIT_FAILED);
    EXPECT_EQ(fake_.err, error_line(c.error));
    EXPECT_EQ(fake_.out, "");
    EXPECT_EQ(fake_.file_text(backup), original) << "the backup is left as it was";
    if (c.restored) {
      EXPECT_EQ(fake_.file_text(target), original);
    } else {
      EXPECT_NE(fake_.file_text(target), original);
    }
    std::vector<std::string> expected_log = {"read p.json", "read " + target,
                                             "copy " + target + " -> " + backup};
    expected_log.insert(expected_log.end(), c.log_after_backup.begin(), c.log_after_backup.end());
    EXPECT_EQ(fake_.log, expected_log) << "the next target is never reached";
    EXPECT_EQ(fake_.file_text("core_user_2.dat"), other);
  }
}

TEST_F(CommandsTest, ApplyStopsAtTheFirstTargetThatFails) {
  const std::string good = settings_file({});
  fake_.put_file("p.json", package_text({{1, "Arc"}}));
  fake_.put_file("core_user_1.dat", good);
  fake_.put_file("core_user_2.dat", "garbage");
  fake_.put_file("core_user_3.dat", good);
  EXPECT_EQ(run({"apply", "p.json", "core_user_1.dat", "core_user_2.dat", "core_user_3.dat"}),
            EXIT_FAILED);
  EXPECT_EQ(fake_.out, "Added 1 formation(s) to account 1\n");
  EXPECT_TRUE(fake_.err.starts_with("Error: \"decode core_user_2.dat: ")) << fake_.err;
  EXPECT_EQ(names_in(fake_.file_text("core_user_1.dat")), std::vector<std::string>{"Arc"});
  EXPECT_EQ(fake_.file_text("core_user_2.dat"), "garbage");
  EXPECT_EQ(fake_.file_text("core_user_3.dat"), good);
  EXPECT_FALSE(fake_.files.count("core_user_2.dat.before-probe-formations"));
  EXPECT_EQ(fake_.log.back(), "read core_user_2.dat");
}

TEST_F(CommandsTest, ApplyOverTheLimitLeavesTheTargetAsItWas) {
  std::vector<Stored> ten;
  for (int i = 1; i <= 10; ++i) ten.push_back({i, "F" + std::to_string(i), 1});
  const std::string original = settings_file(ten);
  fake_.put_file("p.json", package_text({{1, "New"}}));
  fake_.put_file("core_user_1.dat", original);
  EXPECT_EQ(run({"apply", "p.json", "core_user_1.dat"}), EXIT_FAILED);
  EXPECT_EQ(fake_.err,
            error_line("target would contain 11 custom formations; ORVANE supports at most 10"));
  EXPECT_EQ(fake_.file_text("core_user_1.dat"), original);
  EXPECT_EQ(fake_.file_text("core_user_1.dat.before-probe-formations"), original);
  EXPECT_EQ(fake_.log.back(), "copy core_user_1.dat -> core_user_1.dat.before-probe-formations");
}

TEST_F(CommandsTest, ApplyTwiceToOneTargetAddsOnce) {
  fake_.put_file("p.json", package_text({{1, "Arc"}, {2, "Belt"}}));
  fake_.put_file("core_user_9.dat", settings_file({}));
  EXPECT_EQ(run({"apply", "p.json", "core_user_9.dat", "core_user_9.dat"}), EXIT_OK);
  EXPECT_EQ(fake_.out, "Added 2 formation(s) to account 9\nAdded 0 formation(s) to account 9\n");
  // The second backup holds what the first pass wrote.
  EXPECT_EQ(names_in(fake_.file_text("core_user_9.dat.before-probe-formations")),
            (std::vector<std::string>{"Arc", "Belt"}));
  EXPECT_EQ(names_in(fake_.file_text("core_user_9.dat")),
            (std::vector<std::string>{"Arc", "Belt"}));
}

TEST_F(CommandsTest, ApplyOfAnEmptyPackageStillRewritesEveryTarget) {
  const std::string original = settings_file({{3, "Belt", 2}});
  fake_.put_file("p.json", package_text({}));
  fake_.put_file("prefs.dat", original);
  fake_.put_file("core_user_.dat", original);
  EXPECT_EQ(run({"apply", "p.json", "prefs.dat", "core_user_.dat"}), EXIT_OK);
  EXPECT_EQ(fake_.out,
            "Added 0 formation(s) to account unknown\nAdded 0 formation(s) to account \n");
  for (const char* path : {"prefs.dat", "core_user_.dat"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(fake_.file_text(backup_path_for(path)), original);
    EXPECT_EQ(names_in(fake_.file_text(path)), std::vector<std::string>{"Belt"});
  }
  EXPECT_EQ(std::count(fake_.log.begin(), fake_.log.end(), "write prefs.dat"), 1);
}

TEST_F(CommandsTest, AccountsListsMatchingFilesInByteOrder) {
  fake_.directories.insert("settings_Default");
  const auto put = [&](const std::string& name, const std::string& bytes) {
    fake_.put_file("settings_Default/" + name, bytes);
  };
  put("core_user_2.dat", settings_file({{1, "A", 1}, {2, "B", 1}}));
  put("core_user_10.dat", settings_file({{1, "A", 1}}));
  put("core_user_10.dat.before-probe-formations", "garbage");
  put("core_user_.dat", settings_file({}));
  put("core_user_B.dat", settings_file({}));
  put("core_user__.dat", "garbage");
  put("core_user_1__old.dat", "garbage");
  put("Core_user_3.dat", "garbage");
  put("prefs.dat", "garbage");
  EXPECT_EQ(run({"accounts", "settings_Default"}), EXIT_OK);
  EXPECT_EQ(fake_.out,
            "\t0 formation(s)\n10\t1 formation(s)\n2\t2 formation(s)\nB\t0 formation(s)\n");
  EXPECT_EQ(fake_.err, "");
}

TEST_F(CommandsTest, AccountsFailures) {
  struct Case {
    const char* description;
    std::string directory;
    std::string expected_out;
    std::string expected_err_prefix;
  };
  fake_.directories = {"empty", "bad", "sub/"};
  fake_.put_file("file", "x");
  fake_.put_file("bad/core_user_1.dat", settings_file({}));
  fake_.put_file("bad/core_user_2.dat", "garbage");
  fake_.put_file("bad/core_user_3.dat", settings_file({}));
  fake_.directories.insert("sub/core_user_0.dat");
  fake_.put_file("sub/core_user_1.dat", settings_file({}));
  const Case cases[] = {
      {"empty directory", "empty", "", ""},
      {"missing directory", "missing", "",
       "Error: \"settings directory: " + os_text("No such file or directory", ENOENT) + "\""},
      {"a file", "file", "", "Error: \"settings directory: " + os_text("Not a directory", ENOTDIR)},
      {"undecodable file", "bad", "1\t0 formation(s)\n", "Error: \"decode bad/core_user_2.dat: "},
      {"matching subdirectory", "sub/", "",
       "Error: \"read sub/core_user_0.dat: " + os_text("Is a directory", EISDIR)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_.out.clear();
    fake_.err.clear();
    fake_.log.clear();
    EXPECT_EQ(run({"accounts", c.directory}),
              c.expected_err_prefix.empty() ? EXIT_OK : EXIT_FAILED);
    EXPECT_EQ(fake_.out, c.expected_out);
    EXPECT_TRUE(fake_.err.starts_with(c.expected_err_prefix)) << fake_.err;
    EXPECT_EQ(std::count(fake_.log.begin(), fake_.log.end(), "read bad/core_user_3.dat"), 0);
  }
}

// The files are read side by side and printed in order: whatever the pool's size, the first
// file that fails ends the command at its place, after the lines before it and with its error,
// and no file is read more than the pool's size ahead of the lines printed.
TEST_F(CommandsTest, AccountsOnAPoolPrintsAsOneThreadDoes) {
  const std::string third = "d/core_user_c.dat";
  struct Case {
    const char* description;
    std::function<void(FakePlatform&)> break_third;
    std::string error;  // none: every file is listed
  };
  const Case cases[] = {
      {"every file good", [](FakePlatform&) {}, ""},
      {"the third does not decode", [&](FakePlatform& f) { f.put_file(third, "garbage"); },
       "decode " + third + ": invalid marshal stream: missing marshal signature"},
      {"the third cannot be read",
       [&](FakePlatform& f) { f.fail(Operation::ReadFile, third, EIO); },
       "read " + third + ": " + os_text("Input/output error", EIO)},
      {"the third is a folder",
       [&](FakePlatform& f) {
         f.files.erase(third);
         f.directories.insert(third);
       },
       "read " + third + ": " + os_text("Is a directory", EISDIR)},
      {"standard output fails at the third line",
       [](FakePlatform& f) { f.fail_stdout_after(2, EPIPE); },
       "write standard output: " + os_text("Broken pipe", EPIPE)},
  };
  const std::string accounts = "abcdefghijkl";
  std::string all_lines;
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    all_lines += accounts.substr(i, 1) + "\t" + std::to_string(i % 3) + " formation(s)\n";
  }
  const std::string two_lines = "a\t0 formation(s)\nb\t1 formation(s)\n";
  for (const std::size_t threads : {1, 2, 8}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(threads) + " threads, " + c.description);
      fake_ = FakePlatform();
      fake_.processors = threads;
      fake_.log_prints = true;
      fake_.directories.insert("d");
      for (std::size_t i = 0; i < accounts.size(); ++i) {
        std::vector<Stored> formations;
        for (std::size_t f = 0; f < i % 3; ++f) formations.push_back({std::int64_t(f) + 1, "F", 1});
        fake_.put_file("d/core_user_" + accounts.substr(i, 1) + ".dat", settings_file(formations));
      }
      // The first file is the last to be read, so the lines are printed in an order of their own.
      fake_.read_delays["d/core_user_a.dat"] = std::chrono::milliseconds(30);
      c.break_third(fake_);

      const bool fails = !c.error.empty();
      EXPECT_EQ(run({"accounts", "d"}), fails ? EXIT_FAILED : EXIT_OK);
      EXPECT_EQ(fake_.out, fails ? two_lines : all_lines);
      EXPECT_EQ(fake_.err, fails ? error_line(c.error) : "");
      std::size_t printed = 0;
      for (const std::string& entry : fake_.log) {
        if (entry.starts_with("print ")) ++printed;
        if (!entry.starts_with("read d/core_user_")) continue;
        const std::size_t index = accounts.find(entry[std::string("read d/core_user_").size()]);
        EXPECT_LT(index, printed + threads) << entry << " read too far ahead";
      }
    }
  }
}

// A closed pipe or a full disk behind standard output ends the command with an error line.
TEST_F(CommandsTest, StandardOutputFailureStopsTheCommand) {
  struct Case {
    const char* description;
    std::vector<std::string> args;
    std::size_t writes_allowed;
    std::string expected_out;
    std::string last_operation;
  };
  const Case cases[] = {
      {"list", {"list", "d/core_user_1.dat"}, 0, "", "read d/core_user_1.dat"},
      {"export", {"export", "d/core_user_1.dat", "p.json"}, 0, "", "write p.json"},
      {"apply, second target",
       {"apply", "p.json", "d/core_user_1.dat", "d/core_user_2.dat", "d/core_user_3.dat"},
       1,
       "Added 1 formation(s) to account 1\n",
       "write d/core_user_2.dat"},
      {"accounts, second file",
       {"accounts", "d"},
       1,
       "1\t0 formation(s)\n",
       "read d/core_user_2.dat"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_ = FakePlatform();
    fake_.directories.insert("d");
    for (const char* name : {"d/core_user_1.dat", "d/core_user_2.dat", "d/core_user_3.dat"}) {
      fake_.put_file(name, settings_file({}));
    }
    fake_.put_file("p.json", package_text({{1, "Arc"}}));
    fake_.fail_stdout_after(c.writes_allowed, EPIPE);
    EXPECT_EQ(run(c.args), EXIT_FAILED);
    EXPECT_EQ(fake_.out, c.expected_out);
    EXPECT_EQ(fake_.err, error_line("write standard output: " + os_text("Broken pipe", EPIPE)));
    const auto last_file_operation =
        std::find_if(fake_.log.rbegin(), fake_.log.rend(),
                     [](const std::string& op) { return op != "hold" && op != "release"; });
    ASSERT_NE(last_file_operation, fake_.log.rend());
    EXPECT_EQ(*last_file_operation, c.last_operation);
  }
}

// Where no shell expands wildcards, the program does so before it checks the command line.
TEST_F(CommandsTest, WildcardOperandsAreExpandedWhereNoShellDoesIt) {
  struct Case {
    const char* description;
    bool left_to_program;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {"one line per account file, in name order",
       true,
       {"apply", "p.json", "d/core_user_*.dat"},
       EXIT_OK,
       "Added 1 formation(s) to account 10\nAdded 1 formation(s) to account 2\n",
       ""},
      {"two matches where one operand belongs: the usage",
       true,
       {"list", "d/*.dat"},
       EXIT_USAGE,
       "",
       std::string(USAGE_TEXT)},
      {"no match stays as typed, so the error names it",
       true,
       {"list", "d/core_user_*.bak"},
       EXIT_FAILED,
       "",
       error_line("read d/core_user_*.bak: " + os_text("No such file or directory", ENOENT))},
      {"a shell already expanded it: a star is a star",
       false,
       {"list", "d/core_user_1?.dat"},
       EXIT_FAILED,
       "",
       error_line("read d/core_user_1?.dat: " + os_text("No such file or directory", ENOENT))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_ = FakePlatform();
    fake_.wildcards_left_to_program = c.left_to_program;
    fake_.directories.insert("d/");
    fake_.put_file("d/core_user_2.dat", settings_file({}));
    fake_.put_file("d/core_user_10.dat", settings_file({}));
    fake_.put_file("d/core_user_10.dat.before-probe-formations", "garbage");
    fake_.put_file("d/prefs.dat", "garbage");
    fake_.put_file("p.json", package_text({{1, "Arc"}}));
    EXPECT_EQ(run(c.args), c.status);
    EXPECT_EQ(fake_.out, c.out);
    EXPECT_EQ(fake_.err, c.err);
  }
}

// In a console that closes with the program, whatever it printed stays readable until Enter.
TEST_F(CommandsTest, ConsoleThatClosesWithTheProgramWaitsForEnter) {
  struct Case {
    const char* description;
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {"success", {"list", "core_user_1.dat"}, EXIT_OK},
      {"failure", {"list", "missing.dat"}, EXIT_FAILED},
      {"usage", {}, EXIT_USAGE},
      {"argument that is not text", {"list", "core_user_\xff.dat"}, EXIT_USAGE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    for (const bool closes : {false, true}) {
      SCOPED_TRACE(closes ? "console closes with the program" : "console stays");
      fake_ = FakePlatform();
      fake_.console_closes = closes;
      fake_.put_file("core_user_1.dat", settings_file({{1, "Arc", 2}}));
      EXPECT_EQ(run(c.args), c.status) << "the exit status is the command's";
      // The same run where the console stays: what the player must get to read.
      FakePlatform control;
      control.put_file("core_user_1.dat", settings_file({{1, "Arc", 2}}));
      (void)run_on(control, c.args);
      EXPECT_EQ(fake_.out, control.out);
      if (closes) {
        EXPECT_EQ(fake_.waits_for_enter, 1);
        EXPECT_EQ(fake_.err_before_wait, control.err + std::string(CLOSE_PROMPT))
            << "the prompt comes after everything else, just before the wait";
        EXPECT_EQ(fake_.err, fake_.err_before_wait);
      } else {
        EXPECT_EQ(fake_.waits_for_enter, 0);
        EXPECT_EQ(fake_.err, control.err);
      }
    }
  }
}

}  // namespace
}  // namespace orvane
