// The portable number texts against the compiler's own std::to_chars and
// std::from_chars, which they stand in for where the standard library has
// no floating-point <charconv>.
#include "textio/shortest.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace {

template <class Real>
std::string library_text(Real v) {
  char b[400];
  return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
}

struct Known {
  double value;
  bool as_float;
  const char* text;
};

TEST(ShortestText, KnownValues) {
  const Known table[] = {
      {0.0, true, "0"},          {-0.0, true, "-0"},           {0.1, true, "0.1"},
      {1e-5, true, "1e-05"},     {1e-4, true, "1e-04"},        {0.001, true, "0.001"},
      {1200, true, "1200"},      {1e5, true, "1e+05"},         {1.5e6, true, "1500000"},
      {3.4e38, true, "3.4e+38"}, {1.4e-45, true, "1e-45"},     {123456700000.0, true, "123456700416"},
      {4.284, true, "4.284"},    {-2.5, true, "-2.5"},         {1e23, false, "1e+23"},
      {5e-324, false, "5e-324"}, {0.1, false, "0.1"},          {1.7976931348623157e308, false, "1.7976931348623157e+308"},
  };
  for (const Known& k : table) {
    const std::string got = k.as_float ? textio::shortest_text(static_cast<float>(k.value))
                                       : textio::shortest_text(k.value);
    EXPECT_EQ(got, k.text) << k.value;
  }
  EXPECT_EQ(textio::shortest_text(std::numeric_limits<float>::infinity()), "inf");
  EXPECT_EQ(textio::shortest_text(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(textio::shortest_text(std::numeric_limits<float>::quiet_NaN()), "nan");
}

// Every power of two (where the gap below is half the gap above, so the
// nearest short decimal may miss) and its neighbours, and random bit patterns.
TEST(ShortestText, FloatsAsTheLibraryWritesThem) {
  int differ = 0;
  const auto check = [&](float f) {
    if (std::isnan(f)) return;
    if (textio::shortest_text(f) != library_text(f) && ++differ < 10)
      ADD_FAILURE() << library_text(f) << " written " << textio::shortest_text(f);
  };
  for (int e = -149; e <= 127; ++e) {
    const float p = std::ldexp(1.0f, e);
    check(p);
    check(std::nextafter(p, 0.0f));
    check(std::nextafter(p, std::numeric_limits<float>::infinity()));
  }
  std::mt19937 bits(20261208);
  for (int i = 0; i < 200000; ++i) check(std::bit_cast<float>(static_cast<uint32_t>(bits())));
  EXPECT_EQ(differ, 0);
}

TEST(ShortestText, DoublesAsTheLibraryWritesThem) {
  int differ = 0;
  const auto check = [&](double d) {
    if (std::isnan(d)) return;
    if (textio::shortest_text(d) != library_text(d) && ++differ < 10)
      ADD_FAILURE() << library_text(d) << " written " << textio::shortest_text(d);
  };
  for (int e = -1074; e <= 1023; ++e) {
    const double p = std::ldexp(1.0, e);
    check(p);
    check(std::nextafter(p, 0.0));
  }
  std::mt19937_64 bits(20261208);
  for (int i = 0; i < 50000; ++i) check(std::bit_cast<double>(static_cast<uint64_t>(bits())));
  // Values of the size reports hold: a few digits, up to 1e7.
  std::uniform_real_distribution<double> small(0.0, 1e7);
  for (int i = 0; i < 50000; ++i) check(static_cast<double>(static_cast<float>(small(bits))));
  EXPECT_EQ(differ, 0);
}

struct Read {
  const char* text;
  textio::NumberRead status;
  double value;
  size_t used;
};

TEST(ReadNumber, AsTheLibraryReadsThem) {
  using textio::NumberRead;
  const Read table[] = {
      {"1e5", NumberRead::ok, 1e5, 3},
      {"0.5", NumberRead::ok, 0.5, 3},
      {".5", NumberRead::ok, 0.5, 2},
      {"5.", NumberRead::ok, 5.0, 2},
      {"-2.25E-3", NumberRead::ok, -2.25e-3, 8},
      {"2e", NumberRead::ok, 2.0, 1},      // an exponent needs digits
      {"2e+x", NumberRead::ok, 2.0, 1},
      {"3*4", NumberRead::ok, 3.0, 1},
      {"0x10", NumberRead::ok, 0.0, 1},    // no hexadecimal
      {"1e-310", NumberRead::ok, 1e-310, 6},  // subnormal: kept
      {"0e-999", NumberRead::ok, 0.0, 6},
      {"1e309", NumberRead::out_of_range, 0, 5},
      {"1e-400", NumberRead::out_of_range, 0, 6},
      {"1.7976931348623159e308", NumberRead::out_of_range, 0, 22},
      {"", NumberRead::invalid, 0, 0},
      {".", NumberRead::invalid, 0, 0},
      {"+1", NumberRead::invalid, 0, 0},
      {"inf", NumberRead::invalid, 0, 0},
      {" 1", NumberRead::invalid, 0, 0},
  };
  for (const Read& r : table) {
    double v = -7.0;
    size_t used = 0;
    EXPECT_EQ(textio::read_number(r.text, v, used), r.status) << r.text;
    if (r.status == NumberRead::invalid) continue;
    EXPECT_EQ(used, r.used) << r.text;
    EXPECT_EQ(v, r.status == NumberRead::ok ? r.value : -7.0) << r.text;
    double library = -7.0;
    const auto [ptr, ec] = std::from_chars(r.text, r.text + std::char_traits<char>::length(r.text), library);
    EXPECT_EQ(static_cast<size_t>(ptr - r.text), r.used) << r.text;
    EXPECT_EQ(ec == std::errc(), r.status == NumberRead::ok) << r.text;
  }
}

// A caller's locale with a decimal comma changes neither direction.
TEST(ShortestText, IgnoresTheCallersLocale) {
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr)
    GTEST_SKIP() << "no locale with a decimal comma";
  EXPECT_EQ(textio::shortest_text(0.25f), "0.25");
  double v = 0;
  size_t used = 0;
  EXPECT_EQ(textio::read_number("0.25", v, used), textio::NumberRead::ok);
  EXPECT_EQ(v, 0.25);
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
