// The library's error handler: the stack of active routine names with the
// type and code of the last error at each level, message templates with
// substitution fields, printing with wrapping and traceback, and the print
// and stop settings per error type.
//
// Everything here except the inline push/pop in errors.h runs only when an
// error is raised, queried or the stack is misused, so it may build strings.
// Messages are printed on the run's console, each line a record.
#include "numlib/errors.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace numlib {

namespace {

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

void put_line(Context& ctx, std::string_view line) { ctx.console.write_message_line(rtrim(line)); }

// Writes `text` wrapped at blanks into lines of at most kLineMax characters:
// the first line starts with `first`, the others with kNextPrefix. "%/"
// forces a line break. A word too long for a line is cut.
void put_wrapped(Context& ctx, std::string_view first, std::string_view text) {
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
      put_line(ctx, std::string(prefix) + std::string(segment.substr(0, cut)));
      segment = ltrim(segment.substr(cut));
      prefix = kNextPrefix;
    }
    put_line(ctx, std::string(prefix) + std::string(segment));
    prefix = kNextPrefix;
    first_segment = false;
    if (brk == std::string_view::npos) break;
    text.remove_prefix(brk + 2);
  }
}

void put_traceback_line(Context& ctx, std::string_view name, int32_t type, int32_t code) {
  char line[80];
  std::snprintf(line, sizeof line, " %-32.*s%6d%12d", static_cast<int>(std::min<size_t>(name.size(), 32)),
                name.data(), static_cast<int>(type), static_cast<int>(code));
  put_line(ctx, line);
}

// The routines active, from the top of the stack down to "USER", each with
// its recorded type and code; `extra` (if given) is listed above them.
void put_traceback(Context& ctx, const char* extra_name = nullptr, int32_t extra_type = 0,
                   int32_t extra_code = 0) {
  put_line(ctx, " Here is a traceback of subprogram calls in reverse order:");
  put_line(ctx, " Routine name                    Error type  Error code");
  put_line(ctx, " ------------                    ----------  ----------");
  if (extra_name != nullptr) put_traceback_line(ctx, trimmed(extra_name), extra_type, extra_code);
  for (int32_t l = ctx.handler.level; l >= 1; --l) {
    const Level& lv = ctx.handler.levels[l];
    put_traceback_line(ctx, trimmed(lv.name), lv.type, lv.code);
  }
}

// Prints the message with the given type and code as raised by `routine`,
// then empties the current message.
void print_message(Context& ctx, int32_t type, int32_t code, const char* routine,
                   std::string_view text) {
  std::string head = std::string(type_name(type)) + " ERROR " + std::to_string(code) + " from " +
                     std::string(trimmed(routine)) + ".  ";
  put_wrapped(ctx, kFirstPrefix, head + std::string(text));
}

// Prints the current message, if there is one, for the current level.
void print_current(Context& ctx) {
  MessageStore& st = ctx.messages;
  if (st.message.empty()) return;
  const Level& top = ctx.handler.levels[ctx.handler.level];
  print_message(ctx, top.type, top.code, top.name, st.message);
  st.message.clear();
  if (ctx.handler.level > 2) put_traceback(ctx);
}

// Misuse of the stack itself: the text is printed as it stands and the
// run stops.
[[noreturn]] void stack_misuse(Context& ctx, std::string_view text) {
  put_wrapped(ctx, kFirstPrefix, text);
  detail::stop_program(ctx);
}

// Builds a message from a template: each field %(X9) whose key has a stored
// value is replaced by it; any other field stays as written. The result is
// cut at kMessageMax characters.
std::string build(Context& ctx, std::string_view templ) {
  MessageStore& st = ctx.messages;
  std::string out;
  out.reserve(std::min(kMessageMax, templ.size() + 64));
  size_t i = 0;
  while (i < templ.size() && out.size() < kMessageMax) {
    if (templ[i] == '%' && i + 4 < templ.size() && templ[i + 1] == '(' && templ[i + 4] == ')' &&
        templ[i + 3] >= '1' && templ[i + 3] <= '9') {
      const int k = templ[i + 3] - '1';
      const MessageStore::Text* v = nullptr;
      std::string real;
      const char key = templ[i + 2];
      const int kind = (key == 'I' || key == 'i') ? 0 : (key == 'R' || key == 'r') ? 1
                       : (key == 'L' || key == 'l') ? 2 : -1;
      if (kind >= 0 && !(st.stored & field_bit(kind, k + 1))) st.looked_up_first |= field_bit(kind, k + 1);
      switch (key) {
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

void push_overflow(Context& ctx) {
  E1SUBI(ctx, 1, kMaxLevels);
  std::string text = build(ctx, "Error condition in E1PSH.  Push would cause stack level to exceed %(I1). ");
  stack_misuse(ctx, text);
}

void pop_slow(Context& ctx, const char* name) {
  HandlerState& h = ctx.handler;
  if (h.level < 2) {
    E1SUBL(ctx, 1, trimmed(name));
    stack_misuse(ctx, build(ctx, "Error condition in E1POP.  Cannot pop from %(L1) because stack is empty."));
  }
  Level& top = h.levels[h.level];
  if (top.name != name && trimmed(top.name) != trimmed(name)) {
    E1SUBL(ctx, 1, trimmed(name));
    E1SUBL(ctx, 2, trimmed(top.name));
    stack_misuse(ctx, build(ctx, "Error condition in E1POP.  %(L1) does not match the name %(L2) in the stack."));
  }

  const int32_t type = top.type;
  if (type >= 2 && type <= 7) {
    h.levels[h.level - 1].type = type;
    h.levels[h.level - 1].code = top.code;
  }
  if (type >= 1 && type <= 4 && h.level == 2) {
    if (prints(type)) print_current(ctx);
    if (stops(type)) stop_program(ctx);
  }
  if (type >= 5) {
    if (prints(type)) print_current(ctx);  // a message already printed is empty
    if (type == 5 && stops(type)) stop_program(ctx);
    if ((type == 6 || type == 7) && h.level == 2 && stops(type)) stop_program(ctx);
  }
  --h.level;
  // Back with the program, which goes on: whatever was printed for this call
  // is a message of its own.
  if (h.level == 1) ctx.console.end_message();
}

}  // namespace detail

// ---- messages ------------------------------------------------------------

void E1MSG(Context& ctx, int32_t type, int32_t code, std::string_view templ) {
  Level& top = ctx.handler.levels[ctx.handler.level];
  if (type != -1) top.type = type;
  if (code >= 0) top.code = code;
  MessageStore& st = ctx.messages;
  if (top.type == 0 || top.code == 0) {
    st.message.clear();
    return;
  }
  if (!(templ.empty() || templ == " ")) st.message = build(ctx, templ);
  if (top.type >= 5 && top.type <= 7 && prints(top.type)) print_current(ctx);
}

void E1SUBI(Context& ctx, int32_t index, int32_t value) {
  if (!valid_index(index)) return;
  MessageStore::Text& v = ctx.messages.ints[index - 1];
  v.text = std::to_string(value);
  v.set = true;
  ctx.messages.stored |= field_bit(0, index);
}

void E1SUBR(Context& ctx, int32_t index, float value) {
  if (!valid_index(index)) return;
  MessageStore::Real& v = ctx.messages.reals[index - 1];
  v.value = value;  // edited by real_text when a message uses it
  v.set = true;
  ctx.messages.stored |= field_bit(1, index);
}

void E1SUBL(Context& ctx, int32_t index, std::string_view text) {
  if (!valid_index(index)) return;
  MessageStore::Text& v = ctx.messages.strings[index - 1];
  v.text = std::string(text.substr(0, kStringMax));
  v.set = true;
  ctx.messages.stored |= field_bit(2, index);
}

// ---- queries -------------------------------------------------------------

namespace {

[[noreturn]] void bad_query(Context& ctx, const char* routine) {
  std::string text = std::string("The argument passed to ") + routine + " must be 0 or 1.";
  print_message(ctx, ERR_TERMINAL, 1, routine, text);
  put_traceback(ctx, routine, ERR_TERMINAL, 1);
  detail::stop_program(ctx);
}

}  // namespace

int32_t N1RTY(Context& ctx, int32_t i) {
  if (i != 0 && i != 1) bad_query(ctx, "N1RTY");
  return ctx.handler.levels[ctx.handler.level + i].type;
}

int32_t N1RCD(Context& ctx, int32_t i) {
  if (i != 0 && i != 1) bad_query(ctx, "N1RCD");
  return ctx.handler.levels[ctx.handler.level + i].code;
}

// ---- utilities -----------------------------------------------------------

void I1ACHK(Context& ctx, int32_t value, std::string_view name, int32_t lo, int32_t hi,
            int32_t& code) {
  if (hi >= lo) {
    if (value < lo || value > hi) {
      E1SUBL(ctx, 1, name);
      E1SUBI(ctx, 1, value);
      E1SUBI(ctx, 2, lo);
      E1SUBI(ctx, 3, hi);
      E1MSG(ctx, ERR_TERMINAL, code,
            "%(L1) = %(I1).  %(L1) must be greater than or equal to %(I2) and less than or equal to %(I3).");
    }
  } else if (value < lo) {
    E1SUBL(ctx, 1, name);
    E1SUBI(ctx, 1, value);
    E1SUBI(ctx, 2, lo);
    E1MSG(ctx, ERR_TERMINAL, code, "%(L1) = %(I1).  %(L1) must be greater than or equal to %(I2).");
  }
  ++code;
}

char ACHAR(Context& ctx, int32_t i) {
  if (i >= 0) return static_cast<char>(static_cast<unsigned char>(i & 0xFF));
  E1PSH(ctx, "ACHAR ");
  E1SUBI(ctx, 1, i);
  E1MSG(ctx, ERR_TERMINAL, 1, "The ASCII value must be non-negative while I = %(I1) is given.");
  E1POP(ctx, "ACHAR ");
  return '\0';
}

void detail::stop_program(Context&) { textio::end_run(Status::numerical_stop); }

}  // namespace numlib
