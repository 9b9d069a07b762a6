// Numbers as text, the same on every platform: the shortest decimal text
// that reads back to a float or a double (as std::to_chars writes it
// without a format), and a decimal number read back (as std::from_chars
// reads it). Built on the C library's correctly rounded printf and strtod in
// the "C" locale, so that they need no <charconv> support for floating point
// and ignore the caller's locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace textio {

// The shortest text that reads back to v; of several such, the nearest to
// v. Fixed notation ("0.25", "1500000", exact for integers) unless the
// scientific one ("1e-05", "3.4e+38") is shorter; "inf", "-inf", "nan".
std::string shortest_text(float v);
std::string shortest_text(double v);

// How a decimal number was read.
enum class NumberRead { ok, invalid, out_of_range };

// Reads the decimal number at the start of `text` (optional '-', digits
// with an optional '.', then an exponent only where digits follow its 'e'
// and sign) into `value`; `used` is the count of characters it took.
// out_of_range when the number rounds to an infinity, or to zero though a
// digit is not zero; `value` is then unchanged.
NumberRead read_number(std::string_view text, double& value, size_t& used);

}  // namespace textio
