// End-to-end runs of the ineqbf executable.
//
// Every golden case folder (tests/support/files.h) is one case. The run
// happens in a fresh scratch folder; Output.txt and the console are compared
// byte for byte, so any change of a single byte fails.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/files.h"
#include <vector>

namespace fs = std::filesystem;

namespace {

using test_support::executable;
using test_support::read_file;
using test_support::source_dir;

struct RunResult {
  int status = -1;
  std::string console;
  std::string output;
  bool output_exists = false;
};

// Runs the executable in `dir` with standard output captured.
RunResult run_in(const fs::path& dir) {
  RunResult r;
  const std::string cmd =
      "cd '" + dir.string() + "' && '" + executable() + "' > console.out 2>/dev/null";
  const int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.console = read_file(dir / "console.out");
  r.output_exists = fs::exists(dir / "Output.txt");
  if (r.output_exists) r.output = read_file(dir / "Output.txt");
  return r;
}

fs::path scratch_dir(const std::string& name) {
  fs::path base = fs::temp_directory_path() / ("ineqbf-e2e-" + std::to_string(getpid()));
  fs::path dir = base / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

using Case = test_support::GoldenCase;

class GoldenRun : public ::testing::TestWithParam<Case> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GoldenRun);

TEST_P(GoldenRun, OutputAndConsoleMatchByteForByte) {
  const Case& c = GetParam();
  const fs::path dir = scratch_dir(c.name);
  if (fs::exists(c.dir / "Input.txt")) fs::copy_file(c.dir / "Input.txt", dir / "Input.txt");
  const RunResult r = run_in(dir);

  EXPECT_EQ(r.status, c.status());
  EXPECT_EQ(r.console, c.console());
  ASSERT_TRUE(r.output_exists) << "Output.txt must always be created";
  EXPECT_EQ(r.output, c.output());
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenRun, ::testing::ValuesIn(test_support::golden_cases(source_dir())),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace

namespace {

// Two runs in the same folder: the second replaces the first report (it is
// not appended to) and repeats it byte for byte, console included.
TEST(Rerun, SameInputGivesTheSameBytesAndReplacesTheReport) {
  const fs::path dir = scratch_dir("rerun");
  fs::copy_file(fs::path(source_dir()) / "examples/order4/Input.txt", dir / "Input.txt");
  const RunResult first = run_in(dir);
  const RunResult second = run_in(dir);
  ASSERT_EQ(first.status, 0);
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(first.output, second.output);
  EXPECT_EQ(first.console, second.console);
  EXPECT_EQ(second.output, read_file(fs::path(source_dir()) / "examples/order4/Output.txt"));
  fs::remove_all(dir);
}

// An Output.txt left by an earlier run is emptied even when the new run
// stops on bad input.
TEST(Rerun, FailedRunLeavesAnEmptyReport) {
  const fs::path dir = scratch_dir("rerun-failed");
  {
    std::ofstream old(dir / "Output.txt", std::ios::binary);
    old << "an earlier report\r\n";
  }
  const RunResult r = run_in(dir);  // no Input.txt
  EXPECT_EQ(r.status, 1);
  ASSERT_TRUE(r.output_exists);
  EXPECT_EQ(r.output, "");
  fs::remove_all(dir);
}

}  // namespace
