// The floating-point environment an analysis computes in, whatever its
// caller has set: rounding to nearest, no flush of subnormal results to zero
// and no subnormal operands read as zero, every exception masked. A caller
// (or a host such as R or Python, or a library loaded into it) may have set
// another rounding mode or the x86 FTZ/DAZ bits; the program's numbers are
// those of the default environment, so every entry point of the library and
// every worker thread it starts computes in it, and gives the caller's
// environment back when it returns (the exception flags the analysis raised
// are not kept).
//
//   numlib::DefaultFloatEnvironment in_default;  // first line of the entry point
#pragma once

#include <cfenv>

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define INEQBF_HAS_MXCSR 1
#endif

namespace numlib {

class DefaultFloatEnvironment {
 public:
  DefaultFloatEnvironment() noexcept {
    saved_ok_ = std::fegetenv(&saved_) == 0;
#if defined(INEQBF_HAS_MXCSR)
    // The SSE control register holds FTZ (bit 15) and DAZ (bit 6), which the
    // standard environment does not name; save and clear them explicitly.
    saved_csr_ = _mm_getcsr();
#endif
    // The default environment: round to nearest, all exceptions masked
    // (on aarch64 this also clears FPCR.FZ, the flush-to-zero bit).
    std::fesetenv(FE_DFL_ENV);
    std::fesetround(FE_TONEAREST);
#if defined(INEQBF_HAS_MXCSR)
    _mm_setcsr(kDefaultCsr);
#endif
  }
  ~DefaultFloatEnvironment() {
    if (saved_ok_) std::fesetenv(&saved_);
#if defined(INEQBF_HAS_MXCSR)
    _mm_setcsr(saved_csr_);
#endif
  }
  DefaultFloatEnvironment(const DefaultFloatEnvironment&) = delete;
  DefaultFloatEnvironment& operator=(const DefaultFloatEnvironment&) = delete;

#if defined(INEQBF_HAS_MXCSR)
  // Every exception masked (bits 7-12), round to nearest (bits 13-14 zero),
  // FTZ and DAZ clear, no flags raised: the power-on value of the register.
  static constexpr unsigned kDefaultCsr = 0x1F80u;
#endif

 private:
  std::fenv_t saved_{};
  bool saved_ok_ = false;
#if defined(INEQBF_HAS_MXCSR)
  unsigned saved_csr_ = 0;
#endif
};

}  // namespace numlib
