// Machine constants of the numerical library.
//
// The floating-point constants are stored tables of six-significant-digit
// values, kept here as their exact bit patterns: they are close to, but not
// equal to, the limits of the IEEE formats (AMACH(3) is a little above 2^-24),
// and the "not-a-number" and infinity entries are ordinary finite numbers.
#include <bit>
#include <cstdint>
#include <string>

#include "numlib/errors.h"

namespace numlib {
namespace {

// The single-precision table is kAmachBits in numlib/errors.h.
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

// IMACH and UMACH sit beneath the error handler, so their index errors are
// written directly and stop the run without going through it. The value
// ends the last line.
[[noreturn]] void stop_with_lines(Context& ctx, const char* const* lines, int nlines, int64_t value) {
  for (int i = 0; i < nlines; ++i) {
    std::string line = lines[i];
    if (i + 1 == nlines) line += std::to_string(value);
    ctx.console.write_message_line(line);
  }
  detail::stop_program(ctx);
}

}  // namespace

float AMACH(Context& ctx, int32_t n) {
  if (n >= 1 && n <= 8) [[likely]]
    return amach_constant(n);
  E1PSH(ctx, "AMACH ");
  E1SUBI(ctx, 1, n);
  E1MSG(ctx, ERR_TERMINAL, 5, "The argument must be between 1 and 8 inclusive. N = %(I1)");
  E1POP(ctx, "AMACH ");
  return amach_constant(6);
}

double DMACH(Context& ctx, int32_t n) {
  if (n >= 1 && n <= 8) [[likely]]
    return std::bit_cast<double>(kDoubleBits[n - 1]);
  E1PSH(ctx, "DMACH ");
  E1SUBI(ctx, 1, n);
  E1MSG(ctx, ERR_TERMINAL, 5, "The argument must be between 1 and 8 inclusive. N = %(I1)");
  E1POP(ctx, "DMACH ");
  return std::bit_cast<double>(kDoubleBits[5]);
}

int32_t IMACH(Context& ctx, int32_t n) {
  if (n >= 1 && n <= 12) [[likely]]
    return kIntegers[n - 1];
  static const char* const lines[] = {
      " *** TERMINAL ERROR 5 from IMACH.  The argument",
      " ***          must be between 1 and 12 inclusive.",
      " ***          N = ",
  };
  stop_with_lines(ctx, lines, 3, n);
}

void UMACH(Context& ctx, int32_t n, int32_t& nunit) {
  const int64_t index = n < 0 ? -static_cast<int64_t>(n) : n;
  if (index < 1 || index > 3) {
    static const char* const lines[] = {
        " *** TERMINAL ERROR 5 from UMACH.  The absolute",
        " ***          value of the index variable must be",
        " ***          1, 2, or 3.  IABS(N) = ",
    };
    stop_with_lines(ctx, lines, 3, index);
  }
  if (n > 0)
    nunit = ctx.units[index - 1];
  else
    ctx.units[index - 1] = nunit;
}

}  // namespace numlib
