// The library's store of integer options, addressed by chapter and option
// number. One store per run (in its context) serves the whole library; the
// family name only labels the caller. The options and their defaults are
// listed with the store in numlib/context.h.
#include <cstdint>
#include <string_view>

#include "numlib/errors.h"

namespace numlib {
namespace {

constexpr int32_t kChapters = 10;  // chapters 1 ... kChapters exist

Option* find_option(OptionStore& store, int32_t chapter, int32_t number) {
  for (Option& o : store.options)
    if (o.chapter == chapter && o.number == number) return &o;
  return nullptr;
}

bool chapter_has_options(const OptionStore& store, int32_t chapter) {
  for (const Option& o : store.options)
    if (o.chapter == chapter) return true;
  return false;
}

}  // namespace

void IUMAG(Context& ctx, std::string_view /*family*/, int32_t chapter, int32_t action, int32_t count,
           const int32_t* options, int32_t* values) {
  OptionStore& store = ctx.options;
  E1PSH(ctx, "IUMAG ");
  if (action != 1 && action != 2) {
    E1SUBI(ctx, 1, action);
    E1MSG(ctx, ERR_TERMINAL, 1, "The action must be 1 (get) or 2 (put) while %(I1) is given.");
  } else if (chapter < 1 || chapter > kChapters) {
    E1SUBI(ctx, 1, kChapters);
    E1SUBI(ctx, 2, chapter);
    E1MSG(ctx, ERR_TERMINAL, 2, "The chapter number must be between 1 and %(I1) while %(I2) is given.");
  } else if (!chapter_has_options(store, chapter)) {
    E1SUBI(ctx, 1, chapter);
    E1MSG(ctx, ERR_TERMINAL, 3, "Chapter %(I1) has no options.");
  } else if (count < 0) {
    E1SUBI(ctx, 1, count);
    E1MSG(ctx, ERR_TERMINAL, 4, "The number of options must be nonnegative while %(I1) is given.");
  } else if (count > 0 && (options == nullptr || values == nullptr)) {
    E1SUBI(ctx, 1, count);
    E1MSG(ctx, ERR_TERMINAL, 6, "The option numbers or values are missing while %(I1) options are given.");
  } else {
    // Every option number is checked before any value moves, so a bad list
    // changes nothing.
    bool known = true;
    for (int32_t i = 0; i < count && known; ++i) {
      if (find_option(store, chapter, options[i]) == nullptr) {
        E1SUBI(ctx, 1, options[i]);
        E1SUBI(ctx, 2, chapter);
        E1MSG(ctx, ERR_TERMINAL, 5, "Option %(I1) is not defined in chapter %(I2).");
        known = false;
      }
    }
    if (known) {
      int32_t* v = values;
      for (int32_t i = 0; i < count; ++i) {
        Option& o = *find_option(store, chapter, options[i]);
        for (int32_t j = 0; j < o.count; ++j, ++v) {
          if (action == 1)
            *v = o.values[j];
          else
            o.values[j] = *v;
        }
      }
    }
  }
  E1POP(ctx, "IUMAG ");
}

}  // namespace numlib
