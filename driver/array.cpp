#include "driver/array.h"

#include <cstdio>
#include <limits>

#include "textio/textio.h"

namespace driver {

void subscript_error(const char* name, int position, int64_t value, int64_t extent) {
  char text[160];
  if (value < 1) {
    std::snprintf(text, sizeof text, "vexlib: severe: array %s, subscript %d = %lld is below its lower bound 1",
                  name, position, static_cast<long long>(value));
  } else {
    std::snprintf(text, sizeof text,
                  "vexlib: severe: array %s, subscript %d = %lld is above its upper bound %lld", name,
                  position, static_cast<long long>(value), static_cast<long long>(extent));
  }
  textio::end_run(Status::subscript, text);
}

void allocation_error() {
  textio::end_run(Status::io_error, "vexlib: severe: insufficient virtual memory");
}

void* allocate_zeroed(int64_t n1, int64_t n2, std::size_t size) {
  n1 = nonnegative(n1);
  n2 = nonnegative(n2);
  // Byte count n1 * n2 * size, refused before the allocation when it does
  // not fit in the address space.
  const uint64_t limit = std::numeric_limits<std::size_t>::max() / 2;
  uint64_t count = static_cast<uint64_t>(n1);
  if (n2 != 0 && count > limit / static_cast<uint64_t>(n2)) allocation_error();
  count *= static_cast<uint64_t>(n2);
  if (count > limit / size) allocation_error();
#ifdef INEQBF_FUZZ
  // Fuzz build only: a request beyond FUZZ_ALLOCATION_CAP bytes is refused
  // like a failed allocation, so the fuzzer's own memory limit never trips.
  constexpr uint64_t FUZZ_ALLOCATION_CAP = UINT64_C(64) << 20;
  if (count * size > FUZZ_ALLOCATION_CAP) allocation_error();
#endif
  // calloc hands back pages that are zero without touching them, so a large
  // array that the run never fills costs no memory.
  void* p = std::calloc(count == 0 ? 1 : count, size);
  if (p == nullptr) allocation_error();
  return p;
}

}  // namespace driver
