// The shifts' generator.
#include "integrate/lattice.h"

namespace integrate {

namespace {

uint64_t mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

}  // namespace

ShiftStream::ShiftStream(uint64_t seed, uint64_t stream, uint64_t level)
    : state_(mix(mix(mix(seed) ^ stream) ^ level)) {}

uint64_t ShiftStream::next() {
  state_ += 0x9e3779b97f4a7c15ULL;
  return mix(state_);
}

double ShiftStream::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

}  // namespace integrate
