// The reader of the public API: values as written (in double) or as the
// program reads them (rounded to single precision), by the same reader, and
// what it says of the file it read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "ineqbf/ineqbf.h"

namespace fs = std::filesystem;

namespace {

fs::path write_input(const std::string& name, const std::string& text) {
  const fs::path p = fs::temp_directory_path() / ("ineqbf-reader-" + std::to_string(getpid()) + "-" + name);
  std::ofstream(p, std::ios::binary) << text;
  return p;
}

// One estimate written as `text` in a one-parameter problem with a second
// row as a repeat count and a null value.
TEST(Reader, ValuesAsWrittenOrAsTheProgramReadsThem) {
  struct Case {
    const char* text;
    double written;
  };
  const Case cases[] = {
      {"0.1", 0.1},
      {"1.0000001", 1.0000001},
      {"123456789.123", 123456789.123},
      {"1e-60", 1e-60},          // below single precision: 0 as the program reads it
      {"-3.4e38", -3.4e38},
      {"0", 0.0},
      {"2.5D3", 2500.0},
  };
  for (const Case& c : cases) {
    const fs::path p = write_input("value", std::string("h\n1 2\nm\n") + c.text + "\nc\n0.01\nr\n1 0\n2*0.3\n");
    ineqbf::ReadOptions exact;
    exact.as_written = true;
    const ineqbf::Problem a = ineqbf::read_problem(p.string(), exact);
    const ineqbf::Problem f = ineqbf::read_problem(p.string());
    EXPECT_EQ(a.means[0], c.written) << c.text;
    EXPECT_EQ(f.means[0], static_cast<double>(static_cast<float>(c.written))) << c.text;
    EXPECT_EQ(a.covariance[0], 0.01) << c.text;
    EXPECT_EQ(a.constraints[1].coefficients[0], 0.3) << c.text;  // from the repeat count 2*0.3
    EXPECT_EQ(a.constraints[1].rhs, 0.3) << c.text;
    fs::remove(p);
  }
}

// Text held in memory reads as the same text in a file: the same values,
// the same error and message, named as the caller names it.
TEST(Reader, TextInMemoryReadsAsAFile) {
  const std::string good = "h\n2 1\nm\n0.5 0.25\nc\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n";
  const fs::path p = write_input("text", good);
  const ineqbf::Problem a = ineqbf::read_problem_text(good), b = ineqbf::read_problem(p.string());
  EXPECT_EQ(a.means, b.means);
  EXPECT_EQ(a.covariance, b.covariance);
  ASSERT_EQ(a.constraints.size(), 1u);
  EXPECT_EQ(a.constraints[0].coefficients, b.constraints[0].coefficients);
  fs::remove(p);
  const std::string bad = "h\n2 1\nm\n0.5 x\n";
  try {
    (void)ineqbf::read_problem_text(bad, "study.txt");
    ADD_FAILURE() << "a malformed text was read";
  } catch (const ineqbf::Error& e) {
    EXPECT_EQ(e.status(), ineqbf::Status::io_error);
    EXPECT_NE(e.message().find("study.txt"), std::string::npos) << e.message();
    EXPECT_NE(e.console().find(e.message().substr(0, 20)), std::string::npos);  // printed too
  }
}

// Values placed by the row layout: a covariance read row by row lands at
// (i, j) whatever the exact values, and a null value keeps the reader's 0.
TEST(Reader, ExactValuesLandWhereTheProgramPutsThem) {
  const fs::path p = write_input("layout", "h\n2 1\nm\n0.1 0.2\nc\n0.01 0.02\n0.03 0.04\nr\n1 ,, 0.7\n");
  ineqbf::ReadOptions exact;
  exact.as_written = true;
  const ineqbf::Problem a = ineqbf::read_problem(p.string(), exact);
  EXPECT_EQ(a.covariance, (std::vector<double>{0.01, 0.02, 0.03, 0.04}));
  EXPECT_EQ(a.constraints[0].coefficients, (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(a.constraints[0].rhs, 0.7);
  fs::remove(p);
}

// A file that reads says what looks like a slip; one that does not says
// where it stopped, after the program's message.
TEST(Reader, WarningsSayWhatItSaw) {
  const fs::path good = write_input("good", "h\n2 -5\nm\n0.5 0.2\nc\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n");
  ineqbf::Reader reader;
  reader.open(good.string(), "Input.txt");
  const ineqbf::Problem p = reader.read();
  EXPECT_EQ(p.constraints.size(), 0u);
  ASSERT_EQ(reader.warnings().size(), 1u);
  EXPECT_EQ(reader.warnings()[0],
            "line 9 holds another row (\"1 -1 0\"), but line 2 says -5 constraints (read as none): it is not read");

  const fs::path bad = write_input("bad", "h\n2 2\nm\n0.5 0.2\nc\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n");
  ineqbf::Reader failing;
  failing.open(bad.string(), "Input.txt");
  try {
    failing.read();
    ADD_FAILURE() << "read";
  } catch (const ineqbf::Error& e) {
    EXPECT_EQ(e.status(), ineqbf::Status::io_error);
    EXPECT_EQ(e.message(), "vexlib: severe (24): end-of-file during read, unit 10, file Input.txt");
  }
  ASSERT_EQ(failing.warnings().size(), 1u);
  EXPECT_TRUE(failing.warnings()[0].starts_with("the file ends after line 9 while reading constraint row 2"));
  fs::remove(good);
  fs::remove(bad);
}

}  // namespace
