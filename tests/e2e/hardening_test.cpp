// End-to-end runs of the ineqbf executable in situations that a golden case
// folder cannot set up: an Output.txt that cannot be created or written, an
// Input.txt that is a folder, a console that cannot be written, and counts so
// large that the allocation must be refused without touching memory (peak
// resident memory is measured).
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/files.h"

namespace fs = std::filesystem;

namespace {

using test_support::executable;
using test_support::read_file;
using test_support::source_dir;

constexpr bool kAddressSanitizer =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

struct RunResult {
  int status = -1;
  std::string console;
  long peak_rss_kb = 0;
};

// Permission tests need a user whom permissions stop. Root is not stopped, so
// a test running as root runs the program as the user "nobody" instead.
constexpr uid_t kNobody = 65534;

bool drop_root() {
  if (geteuid() != 0) return true;
  return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
}

// Whether a program started by run_in(..., as_nobody = true) can run at all:
// the user must be able to reach and execute the program and the folder.
bool can_run_unprivileged(const fs::path& dir) {
  const pid_t pid = fork();
  if (pid == 0) {
    const bool ok = drop_root() && geteuid() != 0 && access(executable().c_str(), X_OK) == 0 &&
                    access(dir.c_str(), X_OK) == 0;
    _exit(ok ? 0 : 1);
  }
  int raw = 0;
  waitpid(pid, &raw, 0);
  return WIFEXITED(raw) && WEXITSTATUS(raw) == 0;
}

// Runs the executable in `dir` with standard output going to `console` (a
// file in the scratch folder unless given) and returns its exit status,
// console text and peak resident memory. With `unprivileged`, a test that
// runs as root runs the program as "nobody".
RunResult run_in(const fs::path& dir, const std::string& console = "", bool unprivileged = false) {
  const fs::path console_file =
      console.empty() ? dir.parent_path() / (dir.filename().string() + ".console") : fs::path(console);
  RunResult r;
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int fd = open(console_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) _exit(126);
    dup2(fd, 1);
    close(fd);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    if (unprivileged && !drop_root()) _exit(125);
    execl(executable().c_str(), executable().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int raw = 0;
  struct rusage usage {};
  wait4(pid, &raw, 0, &usage);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.peak_rss_kb = usage.ru_maxrss;
  if (console.empty()) r.console = read_file(console_file);
  return r;
}

class Hardening : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    base_ = fs::temp_directory_path() / ("ineqbf-hardening-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(base_);
    dir_ = base_ / "run";
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, ec);
    fs::remove_all(base_, ec);
  }
  void copy_input(const std::string& case_dir) {
    fs::copy_file(fs::path(source_dir()) / case_dir / "Input.txt", dir_ / "Input.txt");
  }
  fs::path base_, dir_;
};

const std::string kProgress = read_file(fs::path(source_dir()) / "examples/two-parameters/console.txt");

TEST_F(Hardening, OutputThatIsAFolderIsAnOpenFailureOfUnit20) {
  copy_input("examples/two-parameters");
  fs::create_directory(dir_ / "Output.txt");
  const RunResult r = run_in(dir_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, "vexlib: severe (30): open failure, unit 20, file Output.txt\r\n");
  EXPECT_TRUE(fs::is_directory(dir_ / "Output.txt")) << "the folder must be left alone";
  EXPECT_TRUE(fs::is_empty(dir_ / "Output.txt"));
}

TEST_F(Hardening, ReadOnlyFolderIsAnOpenFailureOfUnit20) {
  if (!can_run_unprivileged(dir_)) GTEST_SKIP() << "no user whom permissions stop";
  copy_input("examples/two-parameters");
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const RunResult r = run_in(dir_, "", true);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, "vexlib: severe (30): open failure, unit 20, file Output.txt\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "Output.txt"));
}

TEST_F(Hardening, ReadOnlyOutputFileIsAnOpenFailureOfUnit20) {
  if (!can_run_unprivileged(dir_)) GTEST_SKIP() << "no user whom permissions stop";
  copy_input("examples/two-parameters");
  std::ofstream(dir_ / "Output.txt") << "an earlier report\n";
  fs::permissions(dir_ / "Output.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir_, fs::perms::all);
  const RunResult r = run_in(dir_, "", true);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, "vexlib: severe (30): open failure, unit 20, file Output.txt\r\n");
  EXPECT_EQ(read_file(dir_ / "Output.txt"), "an earlier report\n") << "left as it was";
}

TEST_F(Hardening, FullDiskIsAWriteErrorAfterTheProgressLines) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  copy_input("examples/two-parameters");
  fs::create_symlink("/dev/full", dir_ / "Output.txt");
  const RunResult r = run_in(dir_);
  EXPECT_EQ(r.status, 1) << "a report that could not be written is no success";
  EXPECT_EQ(r.console, kProgress + "vexlib: severe (38): error during write, unit 20, file Output.txt\r\n");
}

TEST_F(Hardening, ConsoleThatCannotBeWrittenIsNoSuccess) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  copy_input("examples/two-parameters");
  const RunResult r = run_in(dir_, "/dev/full");
  EXPECT_EQ(r.status, 1);
  // The report itself is complete.
  EXPECT_EQ(read_file(dir_ / "Output.txt"),
            read_file(fs::path(source_dir()) / "examples/two-parameters/Output.txt"));
}

TEST_F(Hardening, InputThatIsAFolderIsAnOpenFailureOfUnit10) {
  fs::create_directory(dir_ / "Input.txt");
  const RunResult r = run_in(dir_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, "vexlib: severe (30): open failure, unit 10, file Input.txt\r\n");
  EXPECT_TRUE(fs::exists(dir_ / "Output.txt"));
  EXPECT_EQ(fs::file_size(dir_ / "Output.txt"), 0u);
}

TEST_F(Hardening, UnreadableInputIsAnOpenFailureOfUnit10) {
  if (!can_run_unprivileged(dir_)) GTEST_SKIP() << "no user whom permissions stop";
  copy_input("examples/two-parameters");
  fs::permissions(dir_ / "Input.txt", fs::perms::none);
  fs::permissions(dir_, fs::perms::all);
  const RunResult r = run_in(dir_, "", true);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, "vexlib: severe (30): open failure, unit 10, file Input.txt\r\n");
}

TEST_F(Hardening, DanglingInputLinkIsFileNotFound) {
  fs::create_symlink("nowhere.txt", dir_ / "Input.txt");
  const RunResult r = run_in(dir_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, "vexlib: severe (29): file not found, unit 10, file Input.txt\r\n");
}

// Counts whose arrays cannot be had: refused by the overflow check, or by the
// system because they exceed the address space. The arrays allocated before
// the refused one (PARMEANS of 8 GiB in the first case, COV of 1.6 GB in the
// last) are never touched, so the run stays small.
class HugeCounts : public Hardening, public ::testing::WithParamInterface<const char*> {};

TEST_P(HugeCounts, AreRefusedWithoutTouchingMemory) {
  copy_input(std::string("tests/e2e/cases/") + GetParam());
  const RunResult r = run_in(dir_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, "vexlib: severe: insufficient virtual memory\r\n");
  EXPECT_EQ(fs::file_size(dir_ / "Output.txt"), 0u);
  // AddressSanitizer writes shadow memory for every allocation, an eighth of
  // its size, so the bound holds only in a build without it.
  if (!kAddressSanitizer) {
    EXPECT_LT(r.peak_rss_kb, 64 * 1024) << "kB at peak";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, HugeCounts,
                         ::testing::Values("bad-count-overflows-byte-count",
                                           "bad-count-beyond-address-space",
                                           "bad-constraint-count-too-large"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

// The three line-end styles and the other unusual but valid files read as
// the plain example does: their recorded reports must stay identical to it.
TEST(LineEnds, EveryStyleGivesTheSameRecordedReport) {
  const fs::path root(source_dir());
  const std::string expected = read_file(root / "examples/two-parameters/Output.txt");
  ASSERT_FALSE(expected.empty());
  for (const char* c :
       {"line-ends-crlf", "line-ends-cr", "line-ends-mixed", "long-lines", "binary-headings"}) {
    const fs::path dir = root / "tests/e2e/cases" / c;
    EXPECT_EQ(read_file(dir / "Output.txt"), expected) << c;
    EXPECT_FALSE(fs::exists(dir / "status")) << c;
  }
  // And the inputs really use those line ends.
  const std::string crlf = read_file(root / "tests/e2e/cases/line-ends-crlf/Input.txt");
  const std::string cr = read_file(root / "tests/e2e/cases/line-ends-cr/Input.txt");
  EXPECT_NE(crlf.find("\r\n"), std::string::npos);
  EXPECT_EQ(cr.find('\n'), std::string::npos);
  EXPECT_NE(cr.find('\r'), std::string::npos);
}

}  // namespace
