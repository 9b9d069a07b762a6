// The pieces of a chain that differ by instruction set.
//
// A chain (chains.h) is a template over one of the structs below and is
// instantiated once for each (samplers.cpp). The chain itself is compiled
// with the program's own flags, for every x86-64 processor; only the four
// functions of the struct it calls are compiled for the instruction set,
// each with everything it calls compiled into it (flatten):
//
//   anordf_pair(lib, a, b, pa, pb)       ANORDF_PAIR: pa := ANORDF(a), pb := ANORDF(b)
//   anorin(lib, p)                       ANORIN
//   rgninv(u, z, n)                      z[j] := RGNINV(u[j]), j < n, in lanes
//   anorin_central(p, z, central, n)     where ANORIN(p[j]) takes its central
//                                        series: central[j] = 1 and z[j] its value
//
// The arithmetic is that of numlib/normal_kernels.h and numlib/lanes.h for
// all three; the instruction set only decides how wide the lanes are and
// whether a Clenshaw step's head is one fused multiply-add (which gives the
// same double, see kernels::clenshaw_head). A function's instruction set is
// an attribute of its own definition, which a template parameter cannot
// carry: hence one struct per instruction set, each function one line that
// names the shared kernel.
#pragma once

#include <cstdint>

#include "numlib/context.h"
#include "numlib/lanes.h"
#include "numlib/normal_kernels.h"

namespace driver::isa {

// SSE2, which every x86-64 processor has: lanes of two doubles.
struct Portable {
  static constexpr bool kFma = false;
  static constexpr int kWidth = 2;
  [[gnu::flatten]] static void anordf_pair(numlib::Context& lib, float a, float b, float& pa, float& pb) {
    numlib::kernels::anordf_pair<kFma>(lib, a, b, pa, pb);
  }
  [[gnu::flatten]] static float anorin(numlib::Context& lib, float p) {
    return numlib::kernels::anorin<kFma>(lib, p);
  }
  [[gnu::flatten]] static void rgninv(const float* u, float* z, int n) {
    numlib::lanes::rgninv<kWidth>(u, z, n);
  }
  [[gnu::flatten]] static void anorin_central(const float* p, float* z, uint8_t* central, int n) {
    numlib::lanes::anorin_central<kWidth>(p, z, central, n);
  }
};

#if defined(__x86_64__)
// AVX2 with FMA: lanes of four doubles.
struct Avx2 {
  static constexpr bool kFma = true;
  static constexpr int kWidth = 4;
  [[gnu::flatten, gnu::target("avx2,fma")]] static void anordf_pair(numlib::Context& lib, float a, float b,
                                                                    float& pa, float& pb) {
    numlib::kernels::anordf_pair<kFma>(lib, a, b, pa, pb);
  }
  [[gnu::flatten, gnu::target("avx2,fma")]] static float anorin(numlib::Context& lib, float p) {
    return numlib::kernels::anorin<kFma>(lib, p);
  }
  [[gnu::flatten, gnu::target("avx2,fma")]] static void rgninv(const float* u, float* z, int n) {
    numlib::lanes::rgninv<kWidth>(u, z, n);
  }
  [[gnu::flatten, gnu::target("avx2,fma")]] static void anorin_central(const float* p, float* z,
                                                                       uint8_t* central, int n) {
    numlib::lanes::anorin_central<kWidth>(p, z, central, n);
  }
};

// AVX-512 (F, DQ, VL, BW) with FMA: lanes of eight doubles.
struct Avx512 {
  static constexpr bool kFma = true;
  static constexpr int kWidth = 8;
  [[gnu::flatten, gnu::target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma")]] static void anordf_pair(
      numlib::Context& lib, float a, float b, float& pa, float& pb) {
    numlib::kernels::anordf_pair<kFma>(lib, a, b, pa, pb);
  }
  [[gnu::flatten, gnu::target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma")]] static float anorin(
      numlib::Context& lib, float p) {
    return numlib::kernels::anorin<kFma>(lib, p);
  }
  [[gnu::flatten, gnu::target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma")]] static void rgninv(
      const float* u, float* z, int n) {
    numlib::lanes::rgninv<kWidth>(u, z, n);
  }
  [[gnu::flatten, gnu::target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma")]] static void anorin_central(
      const float* p, float* z, uint8_t* central, int n) {
    numlib::lanes::anorin_central<kWidth>(p, z, central, n);
  }
};
#endif

// The instruction sets whose chains the program has, in the order of the
// table of chains (samplers.cpp).
enum class InstructionSet { portable, avx2, avx512 };

// The chains' instruction set for this process: the widest this processor
// has of SSE2 and AVX2, or the one INEQBF_ISA names (portable, avx2 or
// avx512) when the processor has it. Looked up once.
InstructionSet chain_isa();

}  // namespace driver::isa
