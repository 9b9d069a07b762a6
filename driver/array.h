// The driver's arrays: indexed from 1, two-dimensional arrays stored column
// by column (first index fastest), every subscript checked against the
// declared bounds in every build type. A subscript outside the bounds ends
// the run with a message naming the array, the position of the subscript,
// its value and the bound it broke (exit status 3).
//
// Arrays are allocated once, zero-filled, at their final size. An extent
// that would be negative is taken as 0. An allocation that fails, or whose
// byte count overflows, stops the run with "insufficient virtual memory"
// (exit status 1) before any memory is touched.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "textio/textio.h"

namespace driver {

using ineqbf::Status;

// Ends the run (textio::RunEnded): subscript `position` (1 or 2) of array
// `name` has `value` outside [1, extent].
[[noreturn]] void subscript_error(const char* name, int position, int64_t value, int64_t extent);
// Ends the run with the allocation layer's fatal error.
[[noreturn]] void allocation_error();
// Zero-filled storage for n1*n2 elements of `size` bytes; extents below 0
// count as 0. Refuses (allocation_error) a byte count that overflows.
void* allocate_zeroed(int64_t n1, int64_t n2, std::size_t size);

inline int64_t nonnegative(int64_t n) { return n < 0 ? 0 : n; }

template <typename T>
class Array1 {
 public:
  Array1() = default;
  Array1(const Array1&) = delete;
  Array1& operator=(const Array1&) = delete;
  ~Array1() { std::free(data_); }

  void allocate(const char* name, int64_t extent) {
    std::free(data_);  // a second allocation replaces the first storage
    data_ = nullptr;
    name_ = name;
    n_ = 0;  // a refused allocation leaves the array without elements
    const int64_t n = nonnegative(extent);
    data_ = static_cast<T*>(allocate_zeroed(n, 1, sizeof(T)));
    n_ = n;
  }

  T& operator()(int64_t i) {
    check(i);
    return data_[i - 1];
  }
  const T& operator()(int64_t i) const {
    check(i);
    return data_[i - 1];
  }
  // Checks that elements first .. last lie within the bounds (for loops that
  // then walk raw storage).
  void check_range(int64_t first, int64_t last) const {
    if (last < first) return;
    check(first);
    check(last);
  }

  int64_t extent() const { return n_; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  const char* name() const { return name_; }

 private:
  void check(int64_t i) const {
    if (static_cast<uint64_t>(i - 1) >= static_cast<uint64_t>(n_)) [[unlikely]]
      subscript_error(name_, 1, i, n_);
  }
  const char* name_ = "";
  int64_t n_ = 0;
  T* data_ = nullptr;
};

template <typename T>
class Array2 {
 public:
  Array2() = default;
  Array2(const Array2&) = delete;
  Array2& operator=(const Array2&) = delete;
  ~Array2() { std::free(data_); }

  void allocate(const char* name, int64_t extent1, int64_t extent2) {
    std::free(data_);  // a second allocation replaces the first storage
    data_ = nullptr;
    name_ = name;
    n1_ = n2_ = 0;  // a refused allocation leaves the array without elements
    const int64_t n1 = nonnegative(extent1);
    const int64_t n2 = nonnegative(extent2);
    data_ = static_cast<T*>(allocate_zeroed(n1, n2, sizeof(T)));
    n1_ = n1;
    n2_ = n2;
  }

  T& operator()(int64_t i, int64_t j) {
    check(i, j);
    return data_[(i - 1) + (j - 1) * n1_];
  }
  const T& operator()(int64_t i, int64_t j) const {
    check(i, j);
    return data_[(i - 1) + (j - 1) * n1_];
  }

  int64_t extent1() const { return n1_; }
  int64_t extent2() const { return n2_; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  const char* name() const { return name_; }

 private:
  void check(int64_t i, int64_t j) const {
    if (static_cast<uint64_t>(i - 1) >= static_cast<uint64_t>(n1_)) [[unlikely]]
      subscript_error(name_, 1, i, n1_);
    if (static_cast<uint64_t>(j - 1) >= static_cast<uint64_t>(n2_)) [[unlikely]]
      subscript_error(name_, 2, j, n2_);
  }
  const char* name_ = "";
  int64_t n1_ = 0;
  int64_t n2_ = 0;
  T* data_ = nullptr;
};

}  // namespace driver
