// Files and the executable for tests that run whole programs or read back
// what they wrote.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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
