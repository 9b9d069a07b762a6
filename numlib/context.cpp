// A context's state as a value: set, compared with another's and handed
// over, for chains that run ahead of time on contexts of their own.
#include "numlib/context.h"

#include <cstring>

namespace numlib {

namespace {

bool same_level(const Level& a, const Level& b) {
  return a.name == b.name && a.type == b.type && a.code == b.code;
}

bool same_text(const MessageStore::Text& a, const MessageStore::Text& b) {
  return a.set == b.set && (!a.set || a.text == b.text);
}

bool same_real(const MessageStore::Real& a, const MessageStore::Real& b) {
  return a.set == b.set && (!a.set || std::memcmp(&a.value, &b.value, sizeof a.value) == 0);
}

bool same_generator(const GeneratorRecord& a, const GeneratorRecord& b) {
  return a.state == b.state && std::memcmp(&a.modulus, &b.modulus, sizeof a.modulus) == 0 &&
         std::memcmp(&a.scale, &b.scale, sizeof a.scale) == 0 && a.initialised == b.initialised &&
         a.seed_given == b.seed_given && a.rgunif_called == b.rgunif_called &&
         a.rnun_called == b.rnun_called;
}

}  // namespace

ContextState state_of(const Context& ctx) {
  ContextState s;
  s.handler = ctx.handler;
  s.messages = ctx.messages;
  s.generator = ctx.generator;
  s.options = ctx.options;
  for (int i = 0; i < 3; ++i) s.units[i] = ctx.units[i];
  return s;
}

void set_state(Context& ctx, const ContextState& state) {
  ctx.handler = state.handler;
  ctx.messages = state.messages;
  ctx.messages.stored = 0;
  ctx.messages.looked_up_first = 0;
  ctx.generator = state.generator;
  ctx.options = state.options;
  for (int i = 0; i < 3; ++i) ctx.units[i] = state.units[i];
}

bool started_alike(const ContextState& start, const Context& ran, const Context& actual) {
  if (!same_generator(start.generator, actual.generator)) return false;
  const HandlerState& a = start.handler;
  const HandlerState& b = actual.handler;
  if (a.level != b.level) return false;
  for (int32_t l = 1; l <= a.level && l <= kMaxLevels + 2; ++l)
    if (!same_level(a.levels[l], b.levels[l])) return false;
  const MessageStore& m = start.messages;
  const MessageStore& n = actual.messages;
  if (m.message != n.message) return false;
  const uint32_t looked = ran.messages.looked_up_first;
  for (int32_t i = 1; i <= 9; ++i) {
    if ((looked & field_bit(0, i)) && !same_text(m.ints[i - 1], n.ints[i - 1])) return false;
    if ((looked & field_bit(1, i)) && !same_real(m.reals[i - 1], n.reals[i - 1])) return false;
    if ((looked & field_bit(2, i)) && !same_text(m.strings[i - 1], n.strings[i - 1])) return false;
  }
  for (int i = 0; i < 3; ++i)
    if (start.units[i] != actual.units[i]) return false;
  const Option& o = start.options.options[0];
  const Option& p = actual.options.options[0];
  return o.chapter == p.chapter && o.number == p.number && o.count == p.count &&
         o.values[0] == p.values[0] && o.values[1] == p.values[1];
}

void clear_handler(Context& ctx) {
  ctx.handler = HandlerState{};
  ctx.messages = MessageStore{};
}

void hand_over_state(Context& to, const Context& from) {
  to.handler = from.handler;
  to.generator = from.generator;
  to.options = from.options;
  for (int i = 0; i < 3; ++i) to.units[i] = from.units[i];
  MessageStore& m = to.messages;
  const MessageStore& f = from.messages;
  m.message = f.message;
  for (int32_t i = 1; i <= 9; ++i) {
    if (f.stored & field_bit(0, i)) m.ints[i - 1] = f.ints[i - 1];
    if (f.stored & field_bit(1, i)) m.reals[i - 1] = f.reals[i - 1];
    if (f.stored & field_bit(2, i)) m.strings[i - 1] = f.strings[i - 1];
  }
  m.looked_up_first |= f.looked_up_first & ~m.stored;
  m.stored |= f.stored;
}

}  // namespace numlib
