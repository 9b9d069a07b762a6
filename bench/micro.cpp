// Microbenchmarks of what one Gibbs update is made of: the uniform deviate,
// the normal distribution function and its inverse, the truncated draw, and
// whole sweeps of both samplers at NPAR = 10 with 9 bound rows. The
// "pieces" benchmarks replay, for the updates of recorded sweeps, only the
// library calls an update cannot do without (one RGUNIF, the ANORDF calls
// whose result is not exactly 0 or 1, one ANORIN), so that the cost of an
// update can be set against the sum of its unavoidable parts.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/run.h"
#include "driver/samplers.h"
#include "numlib/context.h"
#include "numlib/elementary.h"
#include "numlib/normal.h"
#include "numlib/precision.h"
#include "numlib/random.h"
#include "tests/driver/chain_entries.h"
#include "tests/driver/problem.h"
#include "tests/driver/reference_sweep.h"
#include "textio/textio.h"

namespace {

// Ten estimates with correlations 0.3, the nine order rows
// theta1 > ... > theta10 and a tenth row; the sweeps run for k = 10, so
// rows 1..9 bound every draw.
constexpr int32_t K = 10;
const char* const kProblem =
    "ten parameters\n10 10\nmeans\n0.50 0.49 0.48 0.47 0.46 0.45 0.44 0.43 0.42 0.41\ncov\n"
    "0.040 0.012 0.012 0.012 0.012 0.012 0.012 0.012 0.012 0.012\n"
    "0.012 0.040 0.012 0.012 0.012 0.012 0.012 0.012 0.012 0.012\n"
    "0.012 0.012 0.040 0.012 0.012 0.012 0.012 0.012 0.012 0.012\n"
    "0.012 0.012 0.012 0.040 0.012 0.012 0.012 0.012 0.012 0.012\n"
    "0.012 0.012 0.012 0.012 0.040 0.012 0.012 0.012 0.012 0.012\n"
    "0.012 0.012 0.012 0.012 0.012 0.040 0.012 0.012 0.012 0.012\n"
    "0.012 0.012 0.012 0.012 0.012 0.012 0.040 0.012 0.012 0.012\n"
    "0.012 0.012 0.012 0.012 0.012 0.012 0.012 0.040 0.012 0.012\n"
    "0.012 0.012 0.012 0.012 0.012 0.012 0.012 0.012 0.040 0.012\n"
    "0.012 0.012 0.012 0.012 0.012 0.012 0.012 0.012 0.012 0.040\n"
    "rows\n"
    "1 -1 0 0 0 0 0 0 0 0 0\n0 1 -1 0 0 0 0 0 0 0 0\n0 0 1 -1 0 0 0 0 0 0 0\n"
    "0 0 0 1 -1 0 0 0 0 0 0\n0 0 0 0 1 -1 0 0 0 0 0\n0 0 0 0 0 1 -1 0 0 0 0\n"
    "0 0 0 0 0 0 1 -1 0 0 0\n0 0 0 0 0 0 0 1 -1 0 0\n0 0 0 0 0 0 0 0 1 -1 0\n"
    "1 0 0 0 0 0 0 0 0 -1 0.3\n";

constexpr int kWarmUpSweeps = 200;
constexpr int kRecordedSweeps = 100;

// The benchmark input deep (bench/inputs/deep).
const char* const kDeep =
    "deep\n3 5\nm\n1.0 0.0025 0.0025\nv\n0.0025 0.00001 0.00001\n"
    "0.00001 0.00000036 0.00000005\n0.00001 0.00000005 0.00000036\n"
    "r\n1 -200 0 0\n0 1 0 0\n1 0 -200 0\n0 0 1 0\n0 -1 1 0.0036\n";

// The problem read, seeded and set up as a run does, the starting point
// moved into the region of rows 1..k and both chains started from it.
struct SweepRun : driver_test::LoadedRun {
  explicit SweepRun(const char* text = kProblem, int32_t k = K) : LoadedRun(text) {
    driver::set_up_matrices(s);
    for (int32_t m = 1; m <= k; ++m) driver::move_start_point(s, m);
    for (int64_t j = 1; j <= int64_t{s.problem.NPAR} + 1; ++j)
      s.fit_chain.point(j) = s.complexity_chain.point(j) = s.start.INITIAL(j);
  }
};

// A library context of its own for the benchmarks of single routines; its
// console keeps in memory whatever the library would print.
struct Library {
  textio::Console console;
  numlib::Context ctx{console};
};

// `n` values from lo to hi, evenly spaced.
std::vector<float> spaced(float lo, float hi, int n) {
  std::vector<float> v;
  for (int i = 0; i < n; ++i) v.push_back(lo + (hi - lo) * static_cast<float>(i) / (n - 1));
  return v;
}

std::vector<float> joined(std::vector<float> a, const std::vector<float>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

template <float (*F)(numlib::Context&, float)>
void run_over(benchmark::State& state, const std::vector<float>& args) {
  Library lib;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(F(lib.ctx, args[i]));
    if (++i == args.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_RGUNIF(benchmark::State& state) {
  Library lib;
  numlib::RGSEED(lib.ctx, 12345);
  for (auto _ : state) benchmark::DoNotOptimize(numlib::RGUNIF(lib.ctx));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RGUNIF);

// Central: |x| <= 1.41, the series of erfc for |argument| <= 1.
void BM_ANORDF_central(benchmark::State& state) {
  run_over<numlib::ANORDF>(state, spaced(-1.4f, 1.4f, 64));
}
BENCHMARK(BM_ANORDF_central);

// Tail: 3 <= |x| <= 5.5, the tail series with its exponential.
void BM_ANORDF_tail(benchmark::State& state) {
  run_over<numlib::ANORDF>(state, joined(spaced(3.0f, 5.5f, 32), spaced(-5.5f, -3.0f, 32)));
}
BENCHMARK(BM_ANORDF_tail);

// Far out: results exactly 1 (x >= 5.7) or exactly 0 (x <= -13, where erfc
// would underflow), answered without ERFC, as for a missing bound +-BIG.
void BM_ANORDF_far_out(benchmark::State& state) {
  run_over<numlib::ANORDF>(state, joined(spaced(6.0f, 2e9f, 32), spaced(-2e9f, -14.0f, 32)));
}
BENCHMARK(BM_ANORDF_far_out);

// Central: 0.15 <= P <= 0.85, the series of the inverse.
void BM_ANORIN_central(benchmark::State& state) {
  run_over<numlib::ANORIN>(state, spaced(0.15f, 0.85f, 64));
}
BENCHMARK(BM_ANORIN_central);

// Tail: P within 0.1 of 0 or 1, down to the clamps: the Newton iteration.
void BM_ANORIN_tail(benchmark::State& state) {
  run_over<numlib::ANORIN>(state,
                           joined(spaced(0.000001f, 0.1f, 32), spaced(0.9f, 0.999999f, 32)));
}
BENCHMARK(BM_ANORIN_tail);

// One truncated draw; every fourth pair of limits has a missing bound.
void BM_TRUNCNORM(benchmark::State& state) {
  Library lib;
  numlib::RGSEED(lib.ctx, 12345);
  const float lo[4] = {-0.5f, 0.1f, -driver::BIG, -1.7f};
  const float hi[4] = {1.2f, 0.9f, 0.4f, driver::BIG};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(driver_test::truncnorm(lib.ctx, 0.3f, 0.7f, lo[i], hi[i]));
    i = (i + 1) & 3;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TRUNCNORM);

// Counts NPAR updates per iteration, so that items_per_second is updates
// per second.
void per_update(benchmark::State& state, int64_t updates_per_iteration) {
  state.SetItemsProcessed(state.iterations() * updates_per_iteration);
}

void BM_FitSweep_NPAR10_9rows(benchmark::State& state) {
  static SweepRun run;
  for (int n = 0; n < kWarmUpSweeps; ++n) driver_test::fit_sweep(run.s, K);
  for (auto _ : state) driver_test::fit_sweep(run.s, K);
  per_update(state, run.s.problem.NPAR);
}
BENCHMARK(BM_FitSweep_NPAR10_9rows);

void BM_ComplexitySweep_NPAR10_9rows(benchmark::State& state) {
  static SweepRun run;
  for (int n = 0; n < kWarmUpSweeps; ++n) driver_test::complexity_sweep(run.s, K);
  for (auto _ : state) driver_test::complexity_sweep(run.s, K);
  per_update(state, run.s.problem.NPAR);
}
BENCHMARK(BM_ComplexitySweep_NPAR10_9rows);

// The arguments of the truncated draws of kRecordedSweeps sweeps after the
// warm-up, recorded by the reference sweeps.
std::vector<driver_test::DrawArgs> recorded(bool fit, const char* text = kProblem, int32_t k = K) {
  SweepRun run(text, k);
  std::vector<driver_test::DrawArgs> args;
  for (int n = 0; n < kWarmUpSweeps + kRecordedSweeps; ++n) {
    std::vector<driver_test::DrawArgs>* rec = n >= kWarmUpSweeps ? &args : nullptr;
    if (fit)
      driver_test::reference_fit_sweep(run.s, k, rec);
    else
      driver_test::reference_complexity_sweep(run.s, k, rec);
  }
  return args;
}

// Whether ANORDF(x) needs its series: false when the result is exactly 1
// (the argument of erfc at or below its XSML) or exactly 0 (above XMAX).
bool series_needed(float x) {
  const float arg = static_cast<float>(-0.707106769 * static_cast<double>(x));
  return !(arg <= numlib::detail::kErfc.XSML || arg > numlib::detail::kErfc.XMAX);
}

// Replays the unavoidable library calls of the recorded updates. In a Gibbs
// chain every update waits for the one before (its limits and mean depend
// on the parameter just drawn); `chained` keeps that dependence by adding
// 0 * (previous result) to each argument, so that the replay measures the
// latency of the pieces, as an update meets it. Unchained, consecutive
// updates overlap and the replay measures their throughput.
void replay_pieces(benchmark::State& state, bool fit, bool chained) {
  const std::vector<driver_test::DrawArgs> args = recorded(fit);
  struct Piece {
    float a, b, P;
    bool need_a, need_b;
  };
  std::vector<Piece> pieces;
  int64_t anordf_calls = 0;
  for (const auto& d : args) {
    pieces.push_back({d.a, d.b, d.P, series_needed(d.a), series_needed(d.b)});
    anordf_calls += pieces.back().need_a + pieces.back().need_b;
  }
  Library lib;
  numlib::RGSEED(lib.ctx, 12345);
  float last = 0.0f;  // the previous result; times 0 it is a true dependence
  for (auto _ : state) {
    for (const Piece& p : pieces) {
      const float dep = chained ? last * 0.0f : 0.0f;
      benchmark::DoNotOptimize(numlib::RGUNIF(lib.ctx));
      float pa = 0.0f, pb = 0.0f;
      if (p.need_a) pa = numlib::ANORDF(lib.ctx, p.a + dep);
      if (p.need_b) pb = numlib::ANORDF(lib.ctx, p.b + dep);
      const float dep2 = chained ? (pa + pb) * 0.0f : 0.0f;
      last = numlib::ANORIN(lib.ctx, p.P + dep2);
      benchmark::DoNotOptimize(last);
    }
  }
  per_update(state, static_cast<int64_t>(pieces.size()));
  state.SetLabel("ANORDF calls per update: " +
                 std::to_string(static_cast<double>(anordf_calls) /
                                static_cast<double>(pieces.size())));
}

void BM_FitUpdatePieces(benchmark::State& state) { replay_pieces(state, true, false); }
BENCHMARK(BM_FitUpdatePieces);

void BM_ComplexityUpdatePieces(benchmark::State& state) { replay_pieces(state, false, false); }
BENCHMARK(BM_ComplexityUpdatePieces);

void BM_FitUpdatePiecesChained(benchmark::State& state) { replay_pieces(state, true, true); }
BENCHMARK(BM_FitUpdatePiecesChained);

void BM_ComplexityUpdatePiecesChained(benchmark::State& state) {
  replay_pieces(state, false, true);
}
BENCHMARK(BM_ComplexityUpdatePiecesChained);

// ---- the floors of the benchmark inputs ----------------------------------------

// The unavoidable pieces of deep's truncated draws, chained as in the chain
// (each update's arguments wait for the previous result): one uniform, the
// two limits' ANORDF side by side, ANORIN. Its longest chains are the fit
// chain of constraint 5 (four bound rows on every draw) and the complexity
// chain of constraint 2.
void replay_deep(benchmark::State& state, bool fit, int32_t k) {
  const std::vector<driver_test::DrawArgs> args = recorded(fit, kDeep, k);
  Library lib;
  numlib::RGSEED(lib.ctx, 12345);
  float last = 0.0f;
  for (auto _ : state) {
    for (const driver_test::DrawArgs& d : args) {
      const float dep = last * 0.0f;
      benchmark::DoNotOptimize(numlib::RGUNIF(lib.ctx));
      float pa, pb;
      numlib::ANORDF_PAIR(lib.ctx, d.a + dep, d.b + dep, pa, pb);
      last = numlib::ANORIN(lib.ctx, d.P + (pa + pb) * 0.0f);
      benchmark::DoNotOptimize(last);
    }
  }
  per_update(state, static_cast<int64_t>(args.size()));
}

void BM_DeepFitK5PiecesChained(benchmark::State& state) { replay_deep(state, true, 5); }
BENCHMARK(BM_DeepFitK5PiecesChained);

void BM_DeepComplexityK2PiecesChained(benchmark::State& state) { replay_deep(state, false, 2); }
BENCHMARK(BM_DeepComplexityK2PiecesChained);

// The unavoidable chain of free's unrestricted fit chain: the conditional
// means' partial sums, each rounded to float and held in double (narrowed),
// with the standard normal deviates given; the fastest the chain can go
// (per update).
void BM_FreeMeansChained(benchmark::State& state) {
  SweepRun run(
      "free\n3 1\nm\n0 0 0\nv\n0.01 0.003 0\n0.003 0.01 0.003\n0 0.003 0.01\nr\n1 1 1 0.8\n", 1);
  const driver::RunState& s = run.s;
  constexpr int n = 3;
  double C[n * n], pm[n], sd[n], x[n];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) C[i * n + j] = numlib::wide(s.approx.C(i + 1, j + 1));
    pm[i] = numlib::wide(s.problem.PARMEANS(i + 1));
    sd[i] = numlib::wide(std::sqrt(numlib::rounded(1.0 / numlib::wide(s.approx.INVCOV(i + 1, i + 1)))));
    x[i] = 0.0;
  }
  std::vector<float> Z(4096);
  Library lib;
  numlib::RGSEED(lib.ctx, 12345);
  for (float& z : Z) z = numlib::RGNORM(lib.ctx);
  size_t next = 0;
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) {
      double sum = 0.0;
      for (int j = 0; j < n; ++j) sum = numlib::narrowed(sum + C[i * n + j] * (x[j] - pm[j]));
      const double mean = numlib::narrowed((pm[i] + sum) - C[i * n + i] * (x[i] - pm[i]));
      x[i] = numlib::narrowed(numlib::wide(Z[next++ & 4095]) * sd[i] + mean);
    }
    benchmark::DoNotOptimize(x);
  }
  per_update(state, n);
}
BENCHMARK(BM_FreeMeansChained);

// The program's own single-precision exponential, logarithm and power
// (numlib/elementary.h) against the C library's, on arguments of the kinds
// the deviates use: exp of -y^2 for the tails, log of a uniform, a uniform
// raised to a Beta exponent.
template <float (*F)(float)>
void elementary_over(benchmark::State& state, const std::vector<float>& args) {
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(F(args[i]));
    if (++i == args.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
float own_exp(float x) { return numlib::expf(x); }
float libc_exp(float x) { return ::expf(x); }
float own_log(float x) { return numlib::logf(x); }
float libc_log(float x) { return ::logf(x); }
float own_pow(float x) { return numlib::powf(x, 0.37f); }
float libc_pow(float x) { return ::powf(x, 0.37f); }
void BM_exp_own(benchmark::State& s) { elementary_over<own_exp>(s, spaced(-30.0f, -1.0f, 64)); }
void BM_exp_libc(benchmark::State& s) { elementary_over<libc_exp>(s, spaced(-30.0f, -1.0f, 64)); }
void BM_log_own(benchmark::State& s) { elementary_over<own_log>(s, spaced(1e-6f, 1.0f, 64)); }
void BM_log_libc(benchmark::State& s) { elementary_over<libc_log>(s, spaced(1e-6f, 1.0f, 64)); }
void BM_pow_own(benchmark::State& s) { elementary_over<own_pow>(s, spaced(1e-6f, 1.0f, 64)); }
void BM_pow_libc(benchmark::State& s) { elementary_over<libc_pow>(s, spaced(1e-6f, 1.0f, 64)); }
BENCHMARK(BM_exp_own);
BENCHMARK(BM_exp_libc);
BENCHMARK(BM_log_own);
BENCHMARK(BM_log_libc);
BENCHMARK(BM_pow_own);
BENCHMARK(BM_pow_libc);

}  // namespace

BENCHMARK_MAIN();
