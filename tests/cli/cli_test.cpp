// The command line: options that touch no file, a batch whose reports are
// those of single runs, reports of paths, hypotheses as text, and the
// catalogue of input mistakes, each with its warning on standard error and
// the report it gives without warnings.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"

namespace fs = std::filesystem;

namespace {

using test_support::read_file;

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs the program in `dir` with `args`.
Outcome run(const fs::path& dir, const std::vector<std::string>& args) {
  std::string cmd = "cd " + quote(dir.string()) + " && " + quote(test_support::executable());
  for (const std::string& a : args) {
    cmd += ' ';
    cmd += quote(a);
  }
  const fs::path out = dir.parent_path() / (dir.filename().string() + ".out");
  const fs::path err = dir.parent_path() / (dir.filename().string() + ".err");
  cmd += " > " + quote(out.string()) + " 2> " + quote(err.string()) + " < /dev/null";
  const int raw = std::system(cmd.c_str());
  Outcome r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.out = read_file(out);
  r.err = read_file(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() /
            ("ineqbf-cli-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(base_);
    dir_ = base_ / "run";
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(base_); }
  static void write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
  static std::string example(const std::string& name, const std::string& file) {
    return read_file(fs::path(test_support::source_dir()) / "examples" / name / file);
  }
  // Every file below `dir` with its contents.
  static std::map<std::string, std::string> files(const fs::path& dir) {
    std::map<std::string, std::string> m;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (e.is_regular_file()) m[e.path().string()] = read_file(e.path());
    return m;
  }
  fs::path base_, dir_;
};

// Help, version and malformed command lines print and leave every file as
// it was (Input.txt not read, Output.txt not replaced).
TEST_F(CommandLine, HelpVersionAndMistakesTouchNoFile) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;  // the start of standard output
    const char* err;  // a piece of standard error
  };
  const Case cases[] = {
      {{"--help"}, 0, "usage: ineqbf [OPTIONS] [PATH ...]\n\nBayes factors", ""},
      {{"-h"}, 0, "usage: ineqbf", ""},
      {{"--version"}, 0, "ineqbf 1.1.0\n", ""},
      {{"--bogus"}, 4, "", "ineqbf: unknown option --bogus\nusage: ineqbf [OPTIONS] [PATH ...]\n"},
      {{"--seed"}, 4, "", "option --seed needs a value"},
      {{"--seed", "0"}, 4, "", "--seed needs a whole number from 1 to 2147483646, not \"0\""},
      {{"-j", "x", "."}, 4, "", "-j needs a number of problems"},
      {{"--help=yes"}, 4, "", "option --help takes no value"},
      {{"-o", "r.txt", "a", "b"}, 4, "", "-o names the report of one problem, but 2 are given"},
      {{"-o", "Input.txt"}, 4, "", "would overwrite the input Input.txt"},
  };
  write(dir_ / "Input.txt", example("two-parameters", "Input.txt"));
  write(dir_ / "Output.txt", "an earlier report\n");
  const auto before = files(dir_);
  for (const Case& c : cases) {
    const Outcome r = run(dir_, c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.out.substr(0, std::string(c.out).size()), c.out) << c.args[0];
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args[0] << ": " << r.err;
    EXPECT_EQ(files(dir_), before) << c.args[0];
  }
}

// The golden inputs as one batch of two at a time: every report is the one
// of the program run alone, one summary line each, the worst status.
TEST_F(CommandLine, BatchOfTheGoldenInputsGivesTheirReports) {
  std::vector<std::string> args = {"-j", "2"};
  int worst = 0;
  std::vector<test_support::GoldenCase> cases;
  for (const auto& c : test_support::golden_cases(test_support::source_dir())) {
    if (c.dir.filename() == "deep" || c.dir.filename() == "free") continue;  // long runs
    const fs::path d = dir_ / c.name;
    fs::create_directories(d);
    if (fs::exists(c.dir / "Input.txt")) fs::copy_file(c.dir / "Input.txt", d / "Input.txt");
    args.push_back(c.name);
    worst = std::max(worst, c.status());
    cases.push_back(c);
  }
  const Outcome r = run(dir_, args);
  EXPECT_EQ(r.status, worst);
  EXPECT_EQ(r.out, "");
  for (const auto& c : cases) {
    EXPECT_EQ(read_file(dir_ / c.name / "Output.txt"), c.output()) << c.name;
    EXPECT_NE(r.err.find(c.name + ": status " + std::to_string(c.status())), std::string::npos) << c.name;
  }
}

// Where the report of a path goes, and hypotheses as text.
TEST_F(CommandLine, ReportsOfPathsAndHypotheses) {
  const std::string input = example("order4", "Input.txt");
  const std::string report = example("order4", "Output.txt");
  const std::string console = example("order4", "console.txt");
  fs::create_directories(dir_ / "sub");
  write(dir_ / "sub" / "Input.txt", input);
  write(dir_ / "data.txt", input);

  Outcome r = run(dir_, {"sub"});  // a folder: as if run there
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, console);
  EXPECT_EQ(read_file(dir_ / "sub" / "Output.txt"), report);
  r = run(dir_, {"data.txt"});  // a file: beside it, .out.txt
  EXPECT_EQ(read_file(dir_ / "data.out.txt"), report);
  r = run(dir_, {"-o", "mine.txt", "sub/Input.txt"});
  EXPECT_EQ(read_file(dir_ / "mine.txt"), report);

  // The file's rows written as a hypothesis, with names of one's own.
  r = run(dir_, {"--names", "a,b,c,d", "--hypothesis", "a > b > c > d", "-o", "h.txt", "data.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir_ / "h.txt"), report);
  // Several hypotheses: a report each, numbered, and the comparison.
  r = run(dir_, {"--hypothesis", "theta1 > theta2 > theta3 > theta4; theta4 > theta1", "-o", "h.txt",
                 "data.txt"});
  EXPECT_EQ(read_file(dir_ / "h-1.txt"), report);
  EXPECT_TRUE(fs::exists(dir_ / "h-2.txt"));
  EXPECT_NE(r.out.find("Hu (unconstrained)"), std::string::npos);
  r = run(dir_, {"--hypothesis", "theta1 = theta2", "data.txt"});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("equality constraints are not supported"), std::string::npos);
  EXPECT_NE(r.err.find("usage: ineqbf"), std::string::npos);
}

// The catalogue of mistakes in an input file. Each gives its warning (or,
// for a file that cannot be read, a detail of where and what) on standard
// error, with a path as without arguments; the report, the console and the
// exit status are the same either way.
TEST_F(CommandLine, InputMistakesAreNamed) {
  struct Case {
    const char* what;
    const char* input;
    const char* warning;
  };
  const Case cases[] = {
      {"a row beyond the counts", "h\n2 1\nm\n0.5 0.2\nc\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n0 1 0\n",
       "line 10 holds another row (\"0 1 0\"), but line 2 says 1 constraint: it is not read"},
      {"not symmetric", "h\n2 1\nm\n0.5 0.2\nc\n0.04 0.01\n0.02 0.09\nr\n1 -1 0\n",
       "the covariance matrix is not symmetric: element (1, 2) is 0.01 but (2, 1) is 0.02"},
      {"decimal commas", "h\n2 1\nm\n0,5 0,2\nc\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n",
       "line 4, column 1: \"0,5\" reads as two values, 0 and 5; if a decimal comma was meant, write 0.5"},
      {"a blank heading", "h\n2 1\nm\n0.5 0.2\n\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n",
       "line 5 is blank where the heading before the covariance matrix was expected"},
      {"a heading of numbers", "h\n2 1\n0.5 0.2\nc\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n",
       "line 3 was read as the heading before the estimates but holds only numbers"},
      {"a missing first heading", "2 1\nm\n0.5 0.2\nc\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n",
       "line 2, column 1: expected value 1 of the counts NPAR and NCON, found \"m\", which is not a "
       "number; if this is a heading, a line of values is missing above it, or the counts ask for more; "
       "line 1 was read as the first heading line but holds only numbers: a heading line is perhaps "
       "missing above it"},
      {"a row on two lines", "h\n2 2\nm\n0.5 0.2\nc\n0.04 0.01\n0.01 0.09\nr\n1 -1\n0\n0 1 0\n",
       "constraint row 1 (2 coefficients and the right-hand side) starts on line 9 and continues on line 10"},
      {"a long row", "h\n2 1\nm\n0.5 0.2\nc\n0.04 0.01 0.3\n0.01 0.09\nr\n1 -1 0\n",
       "line 6 holds more than row 1 of the covariance matrix (2 values); the rest, \" 0.3\", is not read"},
      {"a heading where values belong", "h\n2 1\nm\n0.5 0.2\nc\n0.04 0.01\nr\n1 -1 0\n",
       "line 7, column 1: expected value 1 of row 2 of the covariance matrix (2 values), found \"r\", which "
       "is not a number; if this is a heading, a line of values is missing above it"},
      {"the end of the file", "h\n2 2\nm\n0.5 0.2\nc\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n",
       "the file ends after line 9 while reading constraint row 2"},
      {"a number too large", "h\n2 1\nm\n0.5 1e39\nc\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n",
       "line 4, column 5: \"1e39\" in the 2 estimates is too large for its variable"},
  };
  for (const Case& c : cases) {
    const fs::path a = base_ / "with", b = base_ / "without";
    fs::remove_all(a);
    fs::remove_all(b);
    fs::create_directories(a);
    fs::create_directories(b);
    write(a / "Input.txt", c.input);
    write(b / "Input.txt", c.input);
    const Outcome with = run(a, {"."});
    const Outcome plain = run(b, {});
    EXPECT_NE(with.err.find(c.warning), std::string::npos) << c.what << ":\n" << with.err;
    EXPECT_EQ(plain.err, with.err) << c.what;  // said without arguments too
    EXPECT_EQ(with.status, plain.status) << c.what;
    EXPECT_EQ(with.out, plain.out) << c.what;
    EXPECT_EQ(read_file(a / "Output.txt"), read_file(b / "Output.txt")) << c.what;
  }
}

// An input that never ends a line stops with its own message.
TEST_F(CommandLine, InputWithoutEndStops) {
  if (!fs::exists("/dev/zero")) GTEST_SKIP() << "no /dev/zero";
  fs::create_symlink("/dev/zero", dir_ / "Input.txt");
  const Outcome r = run(dir_, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "vexlib: severe (67): input record too long, unit 10, file Input.txt\r\n");
}

}  // namespace

namespace {

// A batch whose threads cannot all be made (too little address space for
// their stacks) runs on fewer, down to the caller's own thread: no abort,
// and every report when the analyses themselves fit.
TEST(Batch, RunsOnFewerThreadsWhenNoneCanBeMade) {
  const fs::path dir = fs::temp_directory_path() / ("ineqbf-threads-" + std::to_string(getpid()));
  fs::remove_all(dir);
  for (const char* d : {"a", "b", "c"}) {
    fs::create_directories(dir / d);
    fs::copy_file(fs::path(test_support::source_dir()) / "examples/two-parameters/Input.txt", dir / d / "Input.txt");
  }
  const std::string cmd = "cd '" + dir.string() + "' && (ulimit -v 20000; '" + test_support::executable() +
                          "' -j 3 --json r.json a b c) > out 2> err";
  const int raw = std::system(cmd.c_str());
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  const std::string err = read_file(dir / "err");
  EXPECT_NE(status, 134) << err;
  EXPECT_EQ(err.find("terminate called"), std::string::npos) << err;
  if (status == 0) {
    for (const char* d : {"a", "b", "c"})
      EXPECT_EQ(read_file(dir / d / "Output.txt"),
                read_file(fs::path(test_support::source_dir()) / "examples/two-parameters/Output.txt"));
    EXPECT_TRUE(fs::exists(dir / "r.json"));
  }
  fs::remove_all(dir);
}

}  // namespace
