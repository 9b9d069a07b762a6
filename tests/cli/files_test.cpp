// The files a command line touches: no output may be an input or another
// output of the run (through symbolic and hard links too), nothing is
// written before every option, name and hypothesis has been checked, a
// missing input creates nothing, JSON is written whole.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"

namespace fs = std::filesystem;

namespace {

using test_support::read_file;

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// What a file holds after the run.
enum class Kind { input, earlier, report, written, empty, absent, json };

struct FileState {
  const char* name;
  Kind kind;
};

struct Case {
  const char* what;
  const char* setup;  // shell commands run in the folder first
  std::vector<std::string> args;
  const char* redirect;  // where standard output goes ("" for a file)
  int status;
  const char* err;  // a piece of standard error
  std::vector<FileState> files;
};

const std::string kEarlier = "an earlier report\n";

const Case kCases[] = {
    {"JSON over the input", "", {"--json", "Input.txt", "."}, "", 4, "would overwrite the input",
     {{"Input.txt", Kind::input}, {"Output.txt", Kind::earlier}}},
    {"JSON over the input through a link", "ln -s Input.txt link.txt", {"--json", "link.txt", "."}, "", 4,
     "would overwrite the input", {{"Input.txt", Kind::input}, {"Output.txt", Kind::earlier}}},
    {"JSON over the input without a path", "", {"--json", "Input.txt"}, "", 4, "would overwrite the input",
     {{"Input.txt", Kind::input}}},
    {"JSON over the report", "", {"--json", "Output.txt", "."}, "", 4, "would be the same file",
     {{"Output.txt", Kind::earlier}}},
    {"JSON over a file input", "cp Input.txt study.txt", {"--json", "study.txt", "study.txt"}, "", 4,
     "would overwrite the input", {{"study.txt", Kind::input}, {"study.out.txt", Kind::absent}}},
    {"report over a hard link to the input", "ln Input.txt hard.txt", {"-o", "hard.txt", "."}, "", 4,
     "would overwrite the input", {{"Input.txt", Kind::input}, {"hard.txt", Kind::input}}},
    {"Output.txt a hard link to the input", "rm Output.txt; ln Input.txt Output.txt", {"."}, "", 4,
     "would overwrite the input", {{"Input.txt", Kind::input}}},
    {"no arguments, Output.txt a symbolic link to the input", "rm Output.txt; ln -s Input.txt Output.txt", {},
     "", 1, "Output.txt is Input.txt", {{"Input.txt", Kind::input}}},
    {"no arguments, Output.txt a hard link to the input", "rm Output.txt; ln Input.txt Output.txt", {}, "", 1,
     "Output.txt is Input.txt", {{"Input.txt", Kind::input}}},
    {"an unknown name in the hypothesis", "", {"--hypothesis", "theta1 > thetta2", "."}, "", 4,
     "unknown parameter \"thetta2\"", {{"Output.txt", Kind::earlier}}},
    {"names that do not fit", "", {"--names", "a,b,c", "."}, "", 4, "--names gives 3 names",
     {{"Output.txt", Kind::earlier}}},
    {"a typo in the third hypothesis",
     "for i in 1 2 3; do echo 'an earlier report' > Output-$i.txt; done",
     {"--hypothesis", "theta1 > 0; theta2 > 0; theta1 > thetta2", "."}, "", 4, "unknown parameter",
     {{"Output-1.txt", Kind::earlier}, {"Output-2.txt", Kind::earlier}, {"Output-3.txt", Kind::earlier}}},
    {"an empty hypothesis", "", {"--hypothesis", "theta1 > 0 ; ; theta2 > 0", "."}, "", 4, "usage: ineqbf",
     {{"Output.txt", Kind::earlier}, {"Output-1.txt", Kind::absent}}},
    {"prior probabilities that do not fit", "", {"--hypothesis", "theta1 > 0; theta2 > 0", "--prior", "1,2,3,4", "."},
     "", 4, "prior model probabilities", {{"Output-1.txt", Kind::absent}}},
    {"a missing input file", "", {"nosuch.txt"}, "", 1, "nosuch.txt: no such file",
     {{"nosuch.out.txt", Kind::absent}}},
    {"a missing folder", "", {"nosuchdir/"}, "", 1, "nosuchdir/: no such folder", {{"nosuchdir", Kind::absent}}},
    {"an input that cannot be read", "echo garbage > bad.txt; echo 'an earlier report' > bad.out.txt", {"bad.txt"},
     "", 1, "bad.txt, ", {{"bad.out.txt", Kind::earlier}}},
    {"no arguments, no input: Output.txt emptied", "rm Input.txt", {}, "", 1, "", {{"Output.txt", Kind::empty}}},
    {"JSON replaced whole", "echo '{}' > r.json", {"--json", "r.json", "."}, "", 0, "",
     {{"r.json", Kind::json}, {"Output.txt", Kind::report}}},
    {"JSON on a full standard output", "", {"--json", "-", "."}, "/dev/full", 1,
     "cannot write the JSON text to standard output", {{"Output.txt", Kind::report}}},
    {"stale numbered reports", "echo 'an earlier report' > Output-3.txt", {"--hypothesis", "theta1 > 0; theta2 > 0", "."}, "", 0,
     "Output-3.txt is left from an earlier run", {{"Output-1.txt", Kind::written}, {"Output-3.txt", Kind::earlier}}},
    {"a second --hypothesis adds hypotheses", "", {"--hypothesis", "theta1 > theta2", "--hypothesis", "theta2 > 0", "."},
     "", 0, "", {{"Output-1.txt", Kind::written}, {"Output-2.txt", Kind::written}, {"Output.txt", Kind::earlier}}},
    {"--seed twice", "", {"--seed", "5", "--seed", "6", "."}, "", 4, "--seed is given twice",
     {{"Output.txt", Kind::earlier}}},
    {"a name that is not UTF-8", "", {"--names", "a\xff,b", "."}, "", 4, "is not valid UTF-8",
     {{"Output.txt", Kind::earlier}}},
    {"--threads 0: every core", "", {"--threads", "0", "."}, "", 0, "", {{"Output.txt", Kind::report}}},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class Files : public ::testing::TestWithParam<Case> {};

TEST_P(Files, AreLeftCreatedOrReplacedAsDocumented) {
  const Case& c = GetParam();
  const fs::path src = fs::path(test_support::source_dir()) / "examples" / "two-parameters";
  const fs::path dir = fs::temp_directory_path() / ("ineqbf-files-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(src / "Input.txt", dir / "Input.txt");
  std::ofstream(dir / "Output.txt", std::ios::binary) << kEarlier;
  std::string cmd = "cd " + quote(dir.string()) + " && { " + (std::string(c.setup).empty() ? ":" : c.setup) +
                    "; } && " + quote(test_support::executable());
  for (const std::string& a : c.args) cmd += " " + quote(a);
  const std::string out = std::string(c.redirect).empty() ? (dir / "stdout").string() : c.redirect;
  cmd += " > " + quote(out) + " 2> " + quote((dir / "stderr").string()) + " < /dev/null";
  const int raw = std::system(cmd.c_str());
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  const std::string err = read_file(dir / "stderr");
  EXPECT_EQ(status, c.status) << err;
  EXPECT_NE(err.find(c.err), std::string::npos) << err;
  const std::string input = read_file(src / "Input.txt");
  const std::string report = read_file(src / "Output.txt");
  for (const FileState& f : c.files) {
    const fs::path p = dir / f.name;
    const std::string text = read_file(p);
    switch (f.kind) {
      case Kind::input: EXPECT_EQ(text, input) << f.name; break;
      case Kind::earlier: EXPECT_EQ(text, kEarlier) << f.name; break;
      case Kind::report: EXPECT_EQ(text, report) << f.name; break;
      case Kind::written: EXPECT_TRUE(text.starts_with("Result:")) << f.name; break;
      case Kind::empty: EXPECT_TRUE(fs::exists(p) && text.empty()) << f.name; break;
      case Kind::absent: EXPECT_FALSE(fs::exists(fs::symlink_status(p))) << f.name; break;
      case Kind::json: EXPECT_EQ(text.substr(0, 24), "{\n  \"program\": \"ineqbf\",") << f.name; break;
    }
  }
  for (const auto& e : fs::directory_iterator(dir))  // no temporary file is left
    EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Cases, Files, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string name = info.param.what;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

}  // namespace
