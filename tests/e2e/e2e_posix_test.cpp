// End-to-end cases only POSIX systems have: a real write fault made with the file-size limit,
// and file names holding characters that Windows refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "run_program.hpp"
#include "settings_files.hpp"

namespace e2e {
namespace {

std::string backup_of(const std::string& dat_path) {
  return dat_path.substr(0, dat_path.size() - 4) + ".dat.before-probe-formations";
}

using E2ePosix = FolderTest;

// The merged target is larger than the original, so under a limit of the original's size the
// backup can be written but the target cannot: the write fails with the file cut at the limit.
TEST_F(E2ePosix, TargetThatCannotBeWrittenIsPutBackFromItsBackup) {
  const std::string original = encode_settings(numbered_formations(1));
  const std::string untouched = encode_settings(numbered_formations(2));
  const std::string package = put("p.json", package_text(numbered_formations(6, "P")));
  for (const FileSizeSignal signal : {FileSizeSignal::Ignored, FileSizeSignal::Default}) {
    SCOPED_TRACE(signal == FileSizeSignal::Ignored ? "SIGXFSZ ignored"
                                                   : "SIGXFSZ left to the program");
    const std::string target = put("core_user_7.dat", original);
    const std::string next = put("core_user_8.dat", untouched);
    std::error_code ec;
    std::filesystem::remove(fs_path(backup_of(target)), ec);

    const RunResult r =
        run_program_with_file_size_limit({"apply", package, target, next}, original.size(), signal);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error: \"write " + target + ": File too large (os error 27)\"\n");
    EXPECT_EQ(read_bytes(target), original) << "the target is put back byte for byte";
    EXPECT_EQ(read_bytes(backup_of(target)), original);
    EXPECT_EQ(read_bytes(next), untouched);
    EXPECT_FALSE(file_exists(backup_of(next)));
  }
  // Without the limit the same merge goes through, to a file past it.
  const std::string target = dir_.file("core_user_7.dat");
  ASSERT_EQ(run_program({"apply", package, target}).status, 0);
  EXPECT_GT(read_bytes(target).size(), original.size());
}

TEST_F(E2ePosix, WildcardsAreLeftToTheShell) {
  put("core_user_1.dat", encode_settings(numbered_formations(1)));
  const std::string starred = put("core_user_*.dat", encode_settings(numbered_formations(2)));
  const RunResult r = run_program({"list", starred});
  EXPECT_EQ(r.failure, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "2 formation(s)\nF1\t2 probe(s)\nF2\t2 probe(s)\n")
      << "a name that holds a star is a name like any other";
}

}  // namespace
}  // namespace e2e
