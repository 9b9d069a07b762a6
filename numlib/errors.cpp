// The library's error handler: the stack of active routine names with the
// type and code of the last error at each level, message templates with
// substitution fields, printing with wrapping and traceback, and the print
// and stop settings per error type.
//
// Everything here except the inline push/pop in errors.h runs only when an
// error is raised, queried or the stack is misused, so it may build strings.
#include "numlib/errors.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace numlib {
namespace detail {

constinit HandlerState g_handler;

}  // namespace detail

namespace {

using detail::g_handler;
using detail::kMaxLevels;

constexpr size_t kMessageMax = 1024;  // characters of a built message
constexpr size_t kStringMax = 255;    // characters of a string value
constexpr size_t kLineMax = 70;       // characters of a printed line

constexpr const char* kFirstPrefix = " *** ";
constexpr const char* kNextPrefix = " ***          ";

// Per error type 1 ... 7: name, printed, stops. Type 0 and types above 7
// have no settings and print as UNKNOWN.
struct TypeSetting {
  const char* name;
  bool print;
  bool stop;
};
constexpr TypeSetting kTypes[8] = {
    {"UNKNOWN", false, false}, {"NOTE", false, false},   {"ALERT", false, false},
    {"WARNING", true, false},  {"FATAL", true, true},    {"TERMINAL", true, true},
    {"WARNING", true, false},  {"FATAL", true, true},
};

const char* type_name(int32_t type) { return (type >= 1 && type <= 7) ? kTypes[type].name : "UNKNOWN"; }
bool prints(int32_t type) { return type >= 1 && type <= 7 && kTypes[type].print; }
bool stops(int32_t type) { return type >= 1 && type <= 7 && kTypes[type].stop; }

// The substitution store and the current message. Values stay stored until
// they are replaced. A real is kept as the number and edited only when a
// message uses it: the library's expected underflows store two reals on
// every call and build no message, so storing must not cost an edit.
struct Value {
  bool set = false;
  std::string text;
};
struct RealValue {
  bool set = false;
  float value = 0.0f;
};
struct MessageState {
  Value ints[9];
  RealValue reals[9];
  Value strings[9];
  std::string message;  // the current message, empty when there is none
};

// A real as it appears in a message: edited into a 14-character field as
// d.ddddddE+xx (printf "%14.6E": six decimals, upper-case E, signed exponent
// of at least two digits, which every finite float fits), without the
// leading blanks. Infinities and NaNs come out as "INF", "-INF", "NAN".
std::string real_text(float value) {
  char field[64];
  std::snprintf(field, sizeof field, "%14.6E", static_cast<double>(value));
  std::string_view s(field);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return std::string(s);
}

MessageState& msg_state() {
  static MessageState state;
  return state;
}

// A routine name without its padding blanks (names are passed blank-padded
// to six characters).
std::string_view trimmed(const char* name) {
  if (name == nullptr) return {};
  std::string_view s(name);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view rtrim(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view ltrim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

void put_line(std::string_view line) {
  line = rtrim(line);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputs("\r\n", stdout);
}


// Writes `text` wrapped at blanks into lines of at most kLineMax characters:
// the first line starts with `first`, the others with kNextPrefix. "%/"
// forces a line break. A word too long for a line is cut.
void put_wrapped(std::string_view first, std::string_view text) {
  std::string_view prefix = first;
  bool first_segment = true;
  for (;;) {
    const size_t brk = text.find("%/");
    std::string_view segment = text.substr(0, brk);
    if (!first_segment) segment = ltrim(segment);
    for (;;) {
      const size_t room = kLineMax - prefix.size();
      if (segment.size() <= room) break;
      // The last blank at which the line can end: the characters before it
      // must fit in the room left.
      size_t cut = segment.rfind(' ', room);
      if (cut == std::string_view::npos || rtrim(segment.substr(0, cut)).empty()) cut = room;
      put_line(std::string(prefix) + std::string(segment.substr(0, cut)));
      segment = ltrim(segment.substr(cut));
      prefix = kNextPrefix;
    }
    put_line(std::string(prefix) + std::string(segment));
    prefix = kNextPrefix;
    first_segment = false;
    if (brk == std::string_view::npos) break;
    text.remove_prefix(brk + 2);
  }
}

void put_traceback_line(std::string_view name, int32_t type, int32_t code) {
  std::printf(" %-32.*s%6d%12d\r\n", static_cast<int>(std::min<size_t>(name.size(), 32)), name.data(),
              static_cast<int>(type), static_cast<int>(code));
}

// The routines active, from the top of the stack down to "USER", each with
// its recorded type and code; `extra` (if given) is listed above them.
void put_traceback(const char* extra_name = nullptr, int32_t extra_type = 0, int32_t extra_code = 0) {
  put_line(" Here is a traceback of subprogram calls in reverse order:");
  put_line(" Routine name                    Error type  Error code");
  put_line(" ------------                    ----------  ----------");
  if (extra_name != nullptr) put_traceback_line(trimmed(extra_name), extra_type, extra_code);
  for (int32_t l = g_handler.level; l >= 1; --l) {
    const detail::Level& lv = g_handler.levels[l];
    put_traceback_line(trimmed(lv.name), lv.type, lv.code);
  }
}

// Prints the message with the given type and code as raised by `routine`,
// then empties the current message.
void print_message(int32_t type, int32_t code, const char* routine, std::string_view text) {
  std::string head = std::string(type_name(type)) + " ERROR " + std::to_string(code) + " from " +
                     std::string(trimmed(routine)) + ".  ";
  put_wrapped(kFirstPrefix, head + std::string(text));
}

// Prints the current message, if there is one, for the current level.
void print_current() {
  MessageState& st = msg_state();
  if (st.message.empty()) return;
  const detail::Level& top = g_handler.levels[g_handler.level];
  print_message(top.type, top.code, top.name, st.message);
  st.message.clear();
  if (g_handler.level > 2) put_traceback();
}

// Misuse of the stack itself: the text is printed as it stands and the
// program stops.
[[noreturn]] void stack_misuse(std::string_view text) {
  put_wrapped(kFirstPrefix, text);
  detail::stop_program();
}

// Builds a message from a template: each field %(X9) whose key has a stored
// value is replaced by it; any other field stays as written. The result is
// cut at kMessageMax characters.
std::string build(std::string_view templ) {
  MessageState& st = msg_state();
  std::string out;
  out.reserve(std::min(kMessageMax, templ.size() + 64));
  size_t i = 0;
  while (i < templ.size() && out.size() < kMessageMax) {
    if (templ[i] == '%' && i + 4 < templ.size() && templ[i + 1] == '(' && templ[i + 4] == ')' &&
        templ[i + 3] >= '1' && templ[i + 3] <= '9') {
      const int k = templ[i + 3] - '1';
      const Value* v = nullptr;
      std::string real;
      switch (templ[i + 2]) {
        case 'I': case 'i': v = &st.ints[k]; break;
        case 'R': case 'r':
          if (st.reals[k].set) {
            real = real_text(st.reals[k].value);
            out.append(real, 0, kMessageMax - out.size());
            i += 5;
            continue;
          }
          break;
        case 'L': case 'l': v = &st.strings[k]; break;
        default: break;
      }
      if (v != nullptr && v->set) {
        out.append(v->text, 0, kMessageMax - out.size());
        i += 5;
        continue;
      }
    }
    out.push_back(templ[i]);
    ++i;
  }
  return out;
}

bool valid_index(int32_t index) { return index >= 1 && index <= 9; }

}  // namespace

// ---- stack -------------------------------------------------------------

namespace detail {

void push_overflow() {
  E1SUBI(1, kMaxLevels);
  std::string text = build("Error condition in E1PSH.  Push would cause stack level to exceed %(I1). ");
  stack_misuse(text);
}

void pop_slow(const char* name) {
  HandlerState& h = g_handler;
  if (h.level < 2) {
    E1SUBL(1, trimmed(name));
    stack_misuse(build("Error condition in E1POP.  Cannot pop from %(L1) because stack is empty."));
  }
  Level& top = h.levels[h.level];
  if (top.name != name && trimmed(top.name) != trimmed(name)) {
    E1SUBL(1, trimmed(name));
    E1SUBL(2, trimmed(top.name));
    stack_misuse(build("Error condition in E1POP.  %(L1) does not match the name %(L2) in the stack."));
  }

  const int32_t type = top.type;
  if (type >= 2 && type <= 7) {
    h.levels[h.level - 1].type = type;
    h.levels[h.level - 1].code = top.code;
  }
  if (type >= 1 && type <= 4 && h.level == 2) {
    if (prints(type)) print_current();
    if (stops(type)) detail::stop_program();
  }
  if (type >= 5) {
    if (prints(type)) print_current();  // a message already printed is empty
    if (type == 5 && stops(type)) detail::stop_program();
    if ((type == 6 || type == 7) && h.level == 2 && stops(type)) detail::stop_program();
  }
  --h.level;
}

}  // namespace detail

// ---- messages ------------------------------------------------------------

void E1MSG(int32_t type, int32_t code, std::string_view templ) {
  detail::Level& top = g_handler.levels[g_handler.level];
  if (type != -1) top.type = type;
  if (code >= 0) top.code = code;
  MessageState& st = msg_state();
  if (top.type == 0 || top.code == 0) {
    st.message.clear();
    return;
  }
  if (!(templ.empty() || templ == " ")) st.message = build(templ);
  if (top.type >= 5 && top.type <= 7 && prints(top.type)) print_current();
}

void E1SUBI(int32_t index, int32_t value) {
  if (!valid_index(index)) return;
  Value& v = msg_state().ints[index - 1];
  v.text = std::to_string(value);
  v.set = true;
}

void E1SUBR(int32_t index, float value) {
  if (!valid_index(index)) return;
  RealValue& v = msg_state().reals[index - 1];
  v.value = value;  // edited by real_text when a message uses it
  v.set = true;
}

void E1SUBL(int32_t index, std::string_view text) {
  if (!valid_index(index)) return;
  Value& v = msg_state().strings[index - 1];
  v.text = std::string(text.substr(0, kStringMax));
  v.set = true;
}

// ---- queries -------------------------------------------------------------

namespace {

[[noreturn]] void bad_query(const char* routine) {
  std::string text = std::string("The argument passed to ") + routine + " must be 0 or 1.";
  print_message(ERR_TERMINAL, 1, routine, text);
  put_traceback(routine, ERR_TERMINAL, 1);
  detail::stop_program();
}

}  // namespace

int32_t N1RTY(int32_t i) {
  if (i != 0 && i != 1) bad_query("N1RTY");
  return g_handler.levels[g_handler.level + i].type;
}

int32_t N1RCD(int32_t i) {
  if (i != 0 && i != 1) bad_query("N1RCD");
  return g_handler.levels[g_handler.level + i].code;
}

// ---- utilities -----------------------------------------------------------

void I1ACHK(int32_t value, std::string_view name, int32_t lo, int32_t hi, int32_t& code) {
  if (hi >= lo) {
    if (value < lo || value > hi) {
      E1SUBL(1, name);
      E1SUBI(1, value);
      E1SUBI(2, lo);
      E1SUBI(3, hi);
      E1MSG(ERR_TERMINAL, code,
            "%(L1) = %(I1).  %(L1) must be greater than or equal to %(I2) and less than or equal to %(I3).");
    }
  } else if (value < lo) {
    E1SUBL(1, name);
    E1SUBI(1, value);
    E1SUBI(2, lo);
    E1MSG(ERR_TERMINAL, code, "%(L1) = %(I1).  %(L1) must be greater than or equal to %(I2).");
  }
  ++code;
}

char ACHAR(int32_t i) {
  if (i >= 0) return static_cast<char>(static_cast<unsigned char>(i & 0xFF));
  E1PSH("ACHAR ");
  E1SUBI(1, i);
  E1MSG(ERR_TERMINAL, 1, "The ASCII value must be non-negative while I = %(I1) is given.");
  E1POP("ACHAR ");
  return '\0';
}

void detail::stop_program() {
  std::fflush(stdout);
#ifdef INEQBF_FUZZ
  throw EXIT_LIBRARY_STOP;  // fuzz build only: the fuzz target catches the exit status and goes on
#else
  std::exit(EXIT_LIBRARY_STOP);
#endif
}

}  // namespace numlib
