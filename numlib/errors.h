// Machine constants and the library's error handler.
//
// Every routine of the numerical library takes its floating-point limits from
// AMACH/DMACH/IMACH and reports through one handler: it pushes its own name
// on entry (E1PSH), raises typed messages built from templates with numbered
// fields (E1MSG after E1SUBI/E1SUBR/E1SUBL), and pops its name before it
// returns (E1POP). Under the default settings notes and alerts are silent,
// warnings are printed, fatal and terminal errors are printed and stop the
// program (exit status 2) when the reporting routine returns.
//
// Push and pop run on every call of every library routine, so their common
// path is inline and does no string work: a name is a pointer to a
// null-terminated string with static storage (a string literal).
#pragma once

#include <cstdint>
#include <string_view>

namespace numlib {

// ---- machine constants -------------------------------------------------
float AMACH(int32_t n);
double DMACH(int32_t n);
int32_t IMACH(int32_t n);
// n > 0: nunit := unit n; n < 0: unit -n := nunit. Units: 1 input (5),
// 2 output (6), 3 a third unit (6).
void UMACH(int32_t n, int32_t& nunit);

// ---- error types ---------------------------------------------------------
inline constexpr int32_t ERR_NOTE = 1;
inline constexpr int32_t ERR_ALERT = 2;
inline constexpr int32_t ERR_WARNING = 3;
inline constexpr int32_t ERR_FATAL = 4;
inline constexpr int32_t ERR_TERMINAL = 5;

// Exit status of a program stopped by the handler.
inline constexpr int EXIT_LIBRARY_STOP = 2;

namespace detail {

inline constexpr int32_t kMaxLevels = 50;  // routine names on the stack

struct Level {
  const char* name;
  int32_t type;
  int32_t code;
};

// levels[1] is the calling program, "USER"; levels[2 .. kMaxLevels + 1]
// hold the active library routines. levels[0] is never used, and
// levels[kMaxLevels + 2] stays empty so that the level just above the
// current one can be read even when the stack is full.
struct HandlerState {
  int32_t level = 1;
  Level levels[kMaxLevels + 3] = {{nullptr, 0, 0}, {"USER", 0, 0}};
};

extern HandlerState g_handler;

[[noreturn]] void push_overflow();
// Flushes standard output and stops the program with EXIT_LIBRARY_STOP.
[[noreturn]] void stop_program();
void pop_slow(const char* name);

}  // namespace detail

// Pushes a routine name; the new level's type and code are 0.
inline void E1PSH(const char* name) {
  detail::HandlerState& h = detail::g_handler;
  if (h.level > detail::kMaxLevels) [[unlikely]]
    detail::push_overflow();
  ++h.level;
  h.levels[h.level] = detail::Level{name, 0, 0};
}

// Pops a routine name. The fast path (same pointer, no error recorded at
// this level) only lowers the level. The slow path also accepts a name with
// the same text at another address (padding blanks do not count), passes
// an error of type 2 ... 7 down to the caller, prints and stops by type, and
// leaves the popped level's type and code readable through N1RTY(1) /
// N1RCD(1) until the next push.
inline void E1POP(const char* name) {
  detail::HandlerState& h = detail::g_handler;
  const detail::Level& top = h.levels[h.level];
  if (h.level < 2 || top.name != name || top.type != 0) [[unlikely]] {
    detail::pop_slow(name);
    return;
  }
  --h.level;
}

// Raises a message of the given type and code at the current level.
// type -1 leaves the recorded type, a negative code leaves the recorded
// code. A recorded type or code of 0 empties the current message (this is
// how a caller clears an error it expected: E1MSG(0, 0, " ")).
void E1MSG(int32_t type, int32_t code, std::string_view templ);

// Substitution values for the fields %(I1) ... %(I9), %(R1) ..., %(L1) ...
// (index 1 ... 9; other indices are ignored). A value stays stored until it
// is replaced. Reals appear in messages as "d.ddddddE+xx" (E1SUBR only
// stores the number; it is edited when a message uses it), strings are cut
// at 255 characters.
void E1SUBI(int32_t index, int32_t value);
void E1SUBR(int32_t index, float value);
void E1SUBL(int32_t index, std::string_view text);

// Type / code recorded at the current level (i = 0) or at the level just
// above it, that of the routine that returned last (i = 1).
int32_t N1RTY(int32_t i);
int32_t N1RCD(int32_t i);

// Integer-argument check: value outside lo..hi (or below lo when hi < lo)
// raises a terminal error with code `code`; `code` is then increased by 1.
void I1ACHK(int32_t value, std::string_view name, int32_t lo, int32_t hi, int32_t& code);

// The character with code i; i < 0 gives character 0 and an error.
char ACHAR(int32_t i);

// Gets (action 1) or puts (action 2) integer options of a library family.
// `options` holds `count` option numbers; `values` receives/provides their
// values in order (each option may hold several values, laid out one after
// the other).
void IUMAG(std::string_view family, int32_t chapter, int32_t action, int32_t count,
           const int32_t* options, int32_t* values);

}  // namespace numlib
