// Machine constants of the numerical library.
//
// The floating-point constants are stored tables of six-significant-digit
// values, kept here as their exact bit patterns: they are close to, but not
// equal to, the limits of the IEEE formats (AMACH(3) is a little above 2^-24),
// and the "not-a-number" and infinity entries are ordinary finite numbers.
#include <bit>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "numlib/errors.h"

namespace numlib {
namespace {

constexpr uint32_t kSingleBits[8] = {
    0x008007AFu,  // 1: smallest positive number, 1.17577e-38
    0x7F7FF0E8u,  // 2: largest number, 3.40204e+38
    0x33800790u,  // 3: smallest relative spacing, 5.96184e-08
    0x3400079Eu,  // 4: largest relative spacing, 1.19237e-07
    0x3E9A209Bu,  // 5: log10 of the radix, 0.30103
    0x7F7FF3F8u,  // 6: the not-a-number value, 3.402199e+38
    0x7F7FF0E8u,  // 7: positive infinity, 3.40204e+38
    0xFF7FF0E8u,  // 8: negative infinity, -3.40204e+38
};

constexpr uint64_t kDoubleBits[8] = {
    0x001000F33BE6741Eull,  // 1: 2.22559e-308
    0x7FEFFE1E0B9AB3FCull,  // 2: 1.79728e+308
    0x3CA000F2B4D5480Dull,  // 3: 1.11048e-16
    0x3CB000F2B4D5480Dull,  // 4: 2.22096e-16
    0x3FD34413509F79FFull,  // 5: 0.3010299956639812
    0x47EFFE7F00000000ull,  // 6: 3.402198970993592e+38
    0x7FEFFE1E0B9AB3FCull,  // 7: 1.79728e+308
    0xFFEFFE1E0B9AB3FCull,  // 8: -1.79728e+308
};

constexpr int32_t kIntegers[12] = {
    32,          // 1: bits per integer
    4,           // 2: characters per integer
    2,           // 3: integer base
    31,          // 4: integer digits
    2147483647,  // 5: largest integer
    2,           // 6: floating base
    24,          // 7: single mantissa digits
    -125,        // 8: single minimum exponent
    128,         // 9: single maximum exponent
    53,          // 10: double mantissa digits
    -1021,       // 11: double minimum exponent
    1024,        // 12: double maximum exponent
};

// Unit numbers: 1 standard input, 2 standard output, 3 a third unit.
int32_t g_units[3] = {5, 6, 6};

// IMACH and UMACH sit beneath the error handler, so their index errors are
// written directly and stop the program without going through it.
[[noreturn]] void stop_with_lines(const char* const* lines, int nlines, int64_t value) {
  for (int i = 0; i < nlines; ++i) {
    std::fputs(lines[i], stdout);
    if (i + 1 < nlines) std::fputs("\r\n", stdout);
  }
  std::printf("%" PRId64 "\r\n", value);
  detail::stop_program();
}

}  // namespace

float AMACH(int32_t n) {
  if (n >= 1 && n <= 8) [[likely]]
    return std::bit_cast<float>(kSingleBits[n - 1]);
  E1PSH("AMACH ");
  E1SUBI(1, n);
  E1MSG(ERR_TERMINAL, 5, "The argument must be between 1 and 8 inclusive. N = %(I1)");
  E1POP("AMACH ");
  return std::bit_cast<float>(kSingleBits[5]);
}

double DMACH(int32_t n) {
  if (n >= 1 && n <= 8) [[likely]]
    return std::bit_cast<double>(kDoubleBits[n - 1]);
  E1PSH("DMACH ");
  E1SUBI(1, n);
  E1MSG(ERR_TERMINAL, 5, "The argument must be between 1 and 8 inclusive. N = %(I1)");
  E1POP("DMACH ");
  return std::bit_cast<double>(kDoubleBits[5]);
}

int32_t IMACH(int32_t n) {
  if (n >= 1 && n <= 12) [[likely]]
    return kIntegers[n - 1];
  static const char* const lines[] = {
      " *** TERMINAL ERROR 5 from IMACH.  The argument",
      " ***          must be between 1 and 12 inclusive.",
      " ***          N = ",
  };
  stop_with_lines(lines, 3, n);
}

void UMACH(int32_t n, int32_t& nunit) {
  const int64_t index = n < 0 ? -static_cast<int64_t>(n) : n;
  if (index < 1 || index > 3) {
    static const char* const lines[] = {
        " *** TERMINAL ERROR 5 from UMACH.  The absolute",
        " ***          value of the index variable must be",
        " ***          1, 2, or 3.  IABS(N) = ",
    };
    stop_with_lines(lines, 3, index);
  }
  if (n > 0)
    nunit = g_units[index - 1];
  else
    g_units[index - 1] = nunit;
}

}  // namespace numlib
