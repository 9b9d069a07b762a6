// Machine constants and the library's error handler.
//
// Every routine of the numerical library takes its floating-point limits from
// AMACH/DMACH/IMACH and reports through one handler: it pushes its own name
// on entry (E1PSH), raises typed messages built from templates with numbered
// fields (E1MSG after E1SUBI/E1SUBR/E1SUBL), and pops its name before it
// returns (E1POP). Under the default settings notes and alerts are silent,
// warnings are printed, fatal and terminal errors are printed and stop the
// run (exit status 2) when the reporting routine returns: the stop throws
// textio::RunEnded, which the caller of the run turns into its status.
//
// The handler's state lives in the run's context (numlib/context.h). Push
// and pop run on every call of every library routine, so their common path
// is inline and does no string work: a name is a pointer to a
// null-terminated string with static storage (a string literal).
#pragma once

#include <bit>
#include <cstdint>
#include <string_view>

#include "numlib/context.h"

namespace numlib {

// ---- machine constants -------------------------------------------------
float AMACH(Context& ctx, int32_t n);
double DMACH(Context& ctx, int32_t n);
int32_t IMACH(Context& ctx, int32_t n);
// n > 0: nunit := unit n; n < 0: unit -n := nunit. Units: 1 input (5),
// 2 output (6), 3 a third unit (6).
void UMACH(Context& ctx, int32_t n, int32_t& nunit);

// The stored single-precision constants as bit patterns, and AMACH(n) for n
// in 1 .. 8 as a constant (for code that needs one without a run).
inline constexpr uint32_t kAmachBits[8] = {
    0x008007AFu,  // 1: smallest positive number, 1.17577e-38
    0x7F7FF0E8u,  // 2: largest number, 3.40204e+38
    0x33800790u,  // 3: smallest relative spacing, 5.96184e-08
    0x3400079Eu,  // 4: largest relative spacing, 1.19237e-07
    0x3E9A209Bu,  // 5: log10 of the radix, 0.30103
    0x7F7FF3F8u,  // 6: the not-a-number value, 3.402199e+38
    0x7F7FF0E8u,  // 7: positive infinity, 3.40204e+38
    0xFF7FF0E8u,  // 8: negative infinity, -3.40204e+38
};
constexpr float amach_constant(int32_t n) { return std::bit_cast<float>(kAmachBits[n - 1]); }

// ---- error types ---------------------------------------------------------
inline constexpr int32_t ERR_NOTE = 1;
inline constexpr int32_t ERR_ALERT = 2;
inline constexpr int32_t ERR_WARNING = 3;
inline constexpr int32_t ERR_FATAL = 4;
inline constexpr int32_t ERR_TERMINAL = 5;

// Exit status of a run stopped by the handler.
using ineqbf::Status;

namespace detail {
[[noreturn]] void push_overflow(Context& ctx);
// Ends the run with Status::numerical_stop (the messages are printed already).
[[noreturn]] void stop_program(Context& ctx);
void pop_slow(Context& ctx, const char* name);
}  // namespace detail

// Pushes a routine name; the new level's type and code are 0.
inline void E1PSH(Context& ctx, const char* name) {
  HandlerState& h = ctx.handler;
  if (h.level > kMaxLevels) [[unlikely]]
    detail::push_overflow(ctx);
  ++h.level;
  h.levels[h.level] = Level{name, 0, 0};
}

// Pops a routine name. The fast path (same pointer, no error recorded at
// this level) only lowers the level. The slow path also accepts a name with
// the same text at another address (padding blanks do not count), passes
// an error of type 2 ... 7 down to the caller, prints and stops by type, and
// leaves the popped level's type and code readable through N1RTY(1) /
// N1RCD(1) until the next push.
inline void E1POP(Context& ctx, const char* name) {
  HandlerState& h = ctx.handler;
  const Level& top = h.levels[h.level];
  if (h.level < 2 || top.name != name || top.type != 0) [[unlikely]] {
    detail::pop_slow(ctx, name);
    return;
  }
  --h.level;
}

// Raises a message of the given type and code at the current level.
// type -1 leaves the recorded type, a negative code leaves the recorded
// code. A recorded type or code of 0 empties the current message (this is
// how a caller clears an error it expected: E1MSG(ctx, 0, 0, " ")).
void E1MSG(Context& ctx, int32_t type, int32_t code, std::string_view templ);

// Substitution values for the fields %(I1) ... %(I9), %(R1) ..., %(L1) ...
// (index 1 ... 9; other indices are ignored). A value stays stored until it
// is replaced. Reals appear in messages as "d.ddddddE+xx" (E1SUBR only
// stores the number; it is edited when a message uses it), strings are cut
// at 255 characters.
void E1SUBI(Context& ctx, int32_t index, int32_t value);
void E1SUBR(Context& ctx, int32_t index, float value);
void E1SUBL(Context& ctx, int32_t index, std::string_view text);

// Type / code recorded at the current level (i = 0) or at the level just
// above it, that of the routine that returned last (i = 1).
int32_t N1RTY(Context& ctx, int32_t i);
int32_t N1RCD(Context& ctx, int32_t i);

// Integer-argument check: value outside lo..hi (or below lo when hi < lo)
// raises a terminal error with code `code`; `code` is then increased by 1.
void I1ACHK(Context& ctx, int32_t value, std::string_view name, int32_t lo, int32_t hi,
            int32_t& code);

// The character with code i; i < 0 gives character 0 and an error.
char ACHAR(Context& ctx, int32_t i);

// Gets (action 1) or puts (action 2) integer options of a library family.
// `options` holds `count` option numbers; `values` receives/provides their
// values in order (each option may hold several values, laid out one after
// the other).
void IUMAG(Context& ctx, std::string_view family, int32_t chapter, int32_t action, int32_t count,
           const int32_t* options, int32_t* values);

}  // namespace numlib
