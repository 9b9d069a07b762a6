// What the WebAssembly build's standard library (libc++ 13) lacks, given to
// every file of that build (-include): std::bit_cast, by the compiler's
// builtin. Floating-point text goes through textio/shortest.h everywhere.
#pragma once

#include <version>

#if defined(__cplusplus) && !defined(__cpp_lib_bit_cast)
#include <bit>
#include <type_traits>

namespace std {
template <class To, class From>
  requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> && is_trivially_copyable_v<From>)
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
}  // namespace std

static_assert(std::bit_cast<unsigned>(1.0f) == 0x3f800000u);
static_assert(std::bit_cast<float>(0xc0490fdbu) == -3.14159274f);
#endif
