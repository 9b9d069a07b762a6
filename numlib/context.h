// Everything one run of the numerical library changes, in one object that
// the run owns and hands to every routine, the way a random-number library
// hands its generator object around: the generator record, the error
// handler's stack of routine names with its message store, the option store,
// the unit table, and the console the messages are printed on. Nothing the
// library changes is process-wide, so runs in different threads never meet.
//
// What the library computes once and never changes (series lengths and
// argument limits, machine constants) is held as constants instead.
#pragma once

#include <cstdint>
#include <string>

#include "textio/textio.h"

namespace numlib {

// ---- the error handler -----------------------------------------------------

inline constexpr int32_t kMaxLevels = 50;  // routine names on the stack above "USER"

struct Level {
  const char* name;  // blank-padded routine name with static storage
  int32_t type;      // of the last error raised at this level, 0 for none
  int32_t code;
};

// levels[1] is the calling program, "USER"; levels[2 .. kMaxLevels + 1] hold
// the active library routines. levels[0] is never used, and
// levels[kMaxLevels + 2] stays empty so that the level just above the
// current one can be read even when the stack is full.
struct HandlerState {
  int32_t level = 1;
  Level levels[kMaxLevels + 3] = {{nullptr, 0, 0}, {"USER", 0, 0}};
};

// The substitution values of message templates and the message in hand.
// A value stays stored until it is replaced; a real is kept as the number
// and edited only when a message uses it.
struct MessageStore {
  struct Text {
    bool set = false;
    std::string text;
  };
  struct Real {
    bool set = false;
    float value = 0.0f;
  };
  Text ints[9];
  Real reals[9];
  Text strings[9];
  std::string message;  // the current message, empty when there is none

  // Which values were stored since the context's state was last set
  // (set_state), and which a message looked up before storing them itself:
  // bit i for %(Ii+1), 9 + i for %(Ri+1), 18 + i for %(Li+1). A chain run
  // ahead of time on a context of its own hands over the values it stored
  // and depends on the ones it found only through those it looked up first.
  uint32_t stored = 0;
  uint32_t looked_up_first = 0;
};

// The bit of a substitution field in MessageStore::stored and
// looked_up_first: kind 0 for I, 1 for R, 2 for L; index 1 .. 9.
constexpr uint32_t field_bit(int kind, int32_t index) { return uint32_t{1} << (9 * kind + index - 1); }

// ---- the random stream -------------------------------------------------------

// The generator record, zero-filled until the stream is first seeded or
// drawn from.
struct GeneratorRecord {
  int32_t state = 0;           // x, in 1 .. 2147483646 once seeded
  double modulus = 0.0;        // 2147483647.0 after the first-time set-up
  float scale = 0.0f;          // v = (1 - 2^-24) * 2^-31, bit pattern 0x2FFFFFFF
  bool initialised = false;    // first-time set-up of RGINIT done
  bool seed_given = false;     // a seed was fixed (RGSEED or clock seed)
  bool rgunif_called = false;  // first-call flag of RGUNIF
  bool rnun_called = false;    // first-call flag of RNUN
};

// ---- integer options -----------------------------------------------------------

struct Option {
  int32_t chapter;
  int32_t number;
  int32_t count;      // number of values
  int32_t values[2];  // current values
};

// Chapter 1 (linear systems) holds option 17, whose two values are 1 and 1:
// the second is the flag of the general matrix inverse (1 = no condition
// estimate, 2 = estimate the condition number). No other chapter has
// options.
struct OptionStore {
  Option options[1] = {{1, 17, 2, {1, 1}}};
};

// ---- the context ----------------------------------------------------------------

struct Context {
  explicit Context(textio::Console& console_) : console(console_) {}
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  HandlerState handler;
  MessageStore messages;
  GeneratorRecord generator;
  OptionStore options;
  int32_t units[3] = {5, 6, 6};  // UMACH: 1 standard input, 2 standard output, 3 a third unit
  textio::Console& console;      // unit 6: every message of the library is printed here
};

// ---- a context's state as a value ------------------------------------------------

// Everything of a context but its console: what a chain run ahead of time on
// a context of its own starts from, and what it leaves.
struct ContextState {
  HandlerState handler;
  MessageStore messages;
  GeneratorRecord generator;
  OptionStore options;
  int32_t units[3] = {0, 0, 0};
};

ContextState state_of(const Context& ctx);
// Sets the state and starts the tracking of stored and looked-up values
// afresh.
void set_state(Context& ctx, const ContextState& state);

// Whether a context whose state was set to `start` and that has run since
// (`ran`) did everything exactly as it would have done from `actual`: every
// part of the state that a routine reads is the same in both, except the
// substitution values that `ran` stored before any message looked them up.
// The levels of the error stack above the current one are not compared: a
// push writes a level before anything reads it, and N1RTY(1) / N1RCD(1) read
// the level just above only right after the routine there has returned.
bool started_alike(const ContextState& start, const Context& ran, const Context& actual);

// The error handler and the message store as a fresh context has them.
void clear_handler(Context& ctx);

// Hands the state that `from` was left in over to `to`, as if `to` had run
// what `from` ran: the substitution values `from` stored replace those of
// `to`, the others stay; everything else is taken from `from`.
void hand_over_state(Context& to, const Context& from);

}  // namespace numlib
