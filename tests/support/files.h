// Files and the executable for tests that run whole programs or read back
// what they wrote.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace test_support {

// The source tree and the ineqbf executable: from the environment when the
// test runs under ctest, else the paths the build compiled in.
#ifdef INEQBF_DEFAULT_SOURCE_DIR
inline std::string source_dir() {
  const char* s = std::getenv("INEQBF_SOURCE_DIR");
  return s ? s : INEQBF_DEFAULT_SOURCE_DIR;
}

inline std::string executable() {
  const char* s = std::getenv("INEQBF_EXE");
  return s ? s : INEQBF_DEFAULT_EXE;
}
#endif

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// A golden case: a folder below examples/, tests/e2e/cases/ or bench/inputs/
// holding an Input.txt (a case without one runs in a folder without
// Input.txt), the expected Output.txt (empty when absent), console.txt and
// status (0 when absent).
struct GoldenCase {
  std::string name;  // the folder's path relative to the source tree, as a test name
  std::filesystem::path dir;

  std::string console() const { return read_file(dir / "console.txt"); }
  std::string output() const {
    return std::filesystem::exists(dir / "Output.txt") ? read_file(dir / "Output.txt") : std::string();
  }
  int status() const {
    return std::filesystem::exists(dir / "status") ? std::stoi(read_file(dir / "status")) : 0;
  }
};

inline void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.dir.string(); }

// Every golden case under `source`, sorted by name.
inline std::vector<GoldenCase> golden_cases(const std::filesystem::path& source) {
  namespace fs = std::filesystem;
  std::vector<GoldenCase> cases;
  for (const char* root : {"examples", "tests/e2e/cases", "bench/inputs"}) {
    const fs::path r = source / root;
    if (!fs::exists(r)) continue;
    for (const auto& e : fs::directory_iterator(r)) {
      if (!e.is_directory() || !fs::exists(e.path() / "console.txt")) continue;
      std::string name = std::string(root) + "/" + e.path().filename().string();
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      cases.push_back({name, e.path()});
    }
  }
  std::sort(cases.begin(), cases.end(),
            [](const GoldenCase& a, const GoldenCase& b) { return a.name < b.name; });
  return cases;
}

// The report of two constraints with FF = 0.512, 0.873 after 1000 and 3000
// iterations, CC = 0.25, 0.5 after 9600 and 120000, totals 0.446976 and
// 0.125, BFia 3.575808 (MC error 0.2114, percentiles 3.1764, 3.9981) and
// BFic 5.6577 (0.5123, 4.7012, 6.8044): 18 records, 542 bytes.
inline constexpr const char* kWorkedReport =
    "Result:\r\n"
    " \r\n"
    "   Fits        numbers of iterations\r\n"
    "   0.512           1000\r\n"
    "   0.873           3000\r\n"
    " \r\n"
    "Complexities   numbers of iterations\r\n"
    "   0.250           9600\r\n"
    "   0.500         120000\r\n"
    " \r\n"
    "Total fit      Total complexity\r\n"
    "   0.447          0.125\r\n"
    " \r\n"
    "   BFia   MC error (standard deviation)   2.5percentile  97.5percentile\r\n"
    "   3.576        0.211                         3.176           3.998\r\n"
    " \r\n"
    "   BFic   MC error (standard deviation)   2.5percentile  97.5percentile\r\n"
    "   5.658        0.512                         4.701           6.804\r\n";

}  // namespace test_support
