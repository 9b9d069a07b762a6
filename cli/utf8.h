// UTF-8 as the command line checks it: names given on the command line must
// be well-formed, and JSON text carries nothing else.
#pragma once

#include <cstdint>
#include <string_view>

namespace cli {

// The length of the well-formed UTF-8 sequence at s[i] (no overlong forms,
// no surrogates, nothing beyond U+10FFFF), or 0 when there is none.
inline size_t utf8_sequence(std::string_view s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  const int n = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
  if (n < 0 || i + static_cast<size_t>(n) >= s.size()) return 0;
  uint32_t cp = n == 0 ? c : c & (0x3Fu >> n);
  for (int k = 1; k <= n; ++k) {
    const auto d = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((d >> 6) != 0x2) return 0;
    cp = (cp << 6) | (d & 0x3Fu);
  }
  static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};  // the shortest form of each length
  if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return static_cast<size_t>(n) + 1;
}

inline bool valid_utf8(std::string_view s) {
  for (size_t i = 0, n = 0; i < s.size(); i += n)
    if ((n = utf8_sequence(s, i)) == 0) return false;
  return true;
}

}  // namespace cli
