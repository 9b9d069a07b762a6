#include "api/read_check.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "textio/shortest.h"

namespace ineqbf::detail {

namespace {

using textio::ReadStatement;

// At most this many warnings of one kind; then how many more there were.
constexpr size_t MAX_OF_A_KIND = 5;

// The parts of the file in the order the reader takes them: which part a
// read statement is, given the counts.
struct Layout {
  int64_t npar;  // counts below 0 read as 0 rows
  int64_t ncon;
  int64_t ncon_written;  // NCON as line 2 gives it

  explicit Layout(const driver::ProblemArrays& p)
      : npar(std::max<int64_t>(p.NPAR, 0)), ncon(std::max<int64_t>(p.NCON, 0)), ncon_written(p.NCON) {}

  // What line 2 says of the constraints: "2 constraints", "-5 constraints
  // (read as none)".
  std::string constraints_said() const {
    return std::to_string(ncon_written) + (ncon_written == 1 ? " constraint" : " constraints") +
           (ncon_written < 0 ? " (read as none)" : "");
  }

  // Index of the heading before the constraint rows.
  int64_t constraint_heading() const { return 5 + npar; }

  bool is_heading(size_t i) const {
    return i == 0 || i == 2 || i == 4 || static_cast<int64_t>(i) == constraint_heading();
  }

  // What read statement i reads.
  std::string what(size_t i) const {
    const auto k = static_cast<int64_t>(i);
    if (k == 0) return "the first heading line";
    if (k == 1) return "the counts NPAR and NCON";
    if (k == 2) return "the heading before the estimates";
    if (k == 3) return "the " + std::to_string(npar) + " estimates";
    if (k == 4) return "the heading before the covariance matrix";
    if (k < constraint_heading())
      return "row " + std::to_string(k - 4) + " of the covariance matrix (" + std::to_string(npar) + " values)";
    if (k == constraint_heading()) return "the heading before the constraint rows";
    return "constraint row " + std::to_string(k - constraint_heading()) + " (" + std::to_string(npar) +
           " coefficients and the right-hand side)";
  }
  // A row of the covariance matrix or of the constraints, which is meant to
  // stand on one line.
  bool is_row(size_t i) const {
    const auto k = static_cast<int64_t>(i);
    return (k >= 5 && k < constraint_heading()) || k > constraint_heading();
  }
};

bool blank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// Whether a text holds numbers only (separated by blanks, tabs or commas),
// at least one.
bool only_numbers(std::string_view s) {
  bool any = false;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == ' ' || c == '\t' || c == ',') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t' && s[j] != ',') ++j;
    std::string_view word = s.substr(i, j - i);
    // Numbers as the reader takes them: sign, digits, point, exponent E or D.
    const bool number =
        !word.empty() && std::any_of(word.begin(), word.end(), [](char ch) { return ch >= '0' && ch <= '9'; }) &&
        std::all_of(word.begin(), word.end(), [](char ch) {
          return (ch >= '0' && ch <= '9') || ch == '.' || ch == '+' || ch == '-' || ch == 'e' || ch == 'E' ||
                 ch == 'd' || ch == 'D';
        });
    if (!number) return false;
    any = true;
    i = j;
  }
  return any;
}

std::string quoted(std::string_view s) {
  std::string q = "\"";
  for (char c : s) q += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
  if (s.size() >= textio::TRACE_TEXT) q += "...";
  return q + "\"";
}

std::string shortest(float v) {
  return textio::shortest_text(v);
}

std::string line_of(int64_t line) { return "line " + std::to_string(line); }

// Appends the warnings of one kind, at most MAX_OF_A_KIND of them.
void add_limited(std::vector<std::string>& out, const std::vector<std::string>& kind,
                 const std::string& more) {
  for (size_t i = 0; i < kind.size() && i < MAX_OF_A_KIND; ++i) out.push_back(kind[i]);
  if (kind.size() > MAX_OF_A_KIND)
    out.push_back("and " + std::to_string(kind.size() - MAX_OF_A_KIND) + " more " + more);
}

}  // namespace

namespace {

// Headings that hold numbers, or are blank: a line is missing or extra
// somewhere above, and the sections after it are shifted.
std::vector<std::string> heading_warnings(const Layout& layout, const std::vector<ReadStatement>& st) {
  std::vector<std::string> headings;
  for (size_t i = 0; i < st.size(); ++i) {
    if (!layout.is_heading(i)) continue;
    if (only_numbers(st[i].rest)) {
      headings.push_back(line_of(st[i].first_line) + " was read as " + layout.what(i) +
                         " but holds only numbers (" + quoted(st[i].rest) +
                         "): a line may be missing or extra above it, shifting the sections");
    } else if (blank(st[i].rest)) {
      headings.push_back(line_of(st[i].first_line) + " is blank where " + layout.what(i) +
                         " was expected: if it is an extra blank line, the sections after it are "
                         "shifted by one line");
    }
  }
  return headings;
}

// Values read from where they were perhaps not meant to come.
std::vector<std::string> row_warnings(const Layout& layout, const std::vector<ReadStatement>& st) {
  std::vector<std::string> rows;
  for (size_t i = 0; i < st.size(); ++i) {
    if (layout.is_heading(i) || st[i].asked == 0) continue;
    // Blank lines before a row's first value are skipped; nothing shifts.
    const int64_t first = std::max(st[i].first_line, st[i].first_value_line);
    if (layout.is_row(i) && first > st[i].first_line) {
      rows.push_back((first - st[i].first_line == 1 ? line_of(st[i].first_line) + " is blank"
                                                    : "lines " + std::to_string(st[i].first_line) + " to " +
                                                          std::to_string(first - 1) + " are blank") +
                     ": skipped, " + layout.what(i) + " is read from " + line_of(first));
    }
    if (layout.is_row(i) && st[i].last_line > first) {
      rows.push_back(layout.what(i) + " starts on " + line_of(first) + " and continues on " +
                     line_of(st[i].last_line) + ": " + line_of(first) + " holds fewer than " +
                     std::to_string(st[i].asked) + " values, so the rows after it are shifted");
    }
    if (only_numbers(st[i].rest)) {
      rows.push_back(line_of(st[i].last_line) + " holds more than " + layout.what(i) + "; the rest, " +
                     quoted(st[i].rest) + ", is not read");
    }
  }
  return rows;
}

// Numbers after the last row the counts ask for (in a file whose end comes
// without waiting: a pipe may stay open).
std::vector<std::string> extra_rows(const Layout& layout, const std::vector<ReadStatement>& st,
                                    textio::InputUnit& in) {
  std::string record;
  int64_t line = in.line();
  for (int scanned = 0; in.has_end() && scanned < 100000 && in.next_record(record); ++scanned) {
    if (only_numbers(record))
      return {line_of(line) + " holds another row (" + quoted(record) + "), but line " +
              std::to_string(st.size() > 1 ? st[1].first_line : 2) + " says " + layout.constraints_said() +
              ": it is not read"};
    line = in.line();
  }
  return {};
}

// A covariance matrix that is not symmetric.
std::vector<std::string> asymmetric_pairs(const Layout& layout, const driver::ProblemArrays& problem) {
  std::vector<std::string> asymmetric;
  for (int64_t i = 1; i <= layout.npar; ++i)
    for (int64_t j = i + 1; j <= layout.npar; ++j)
      if (!(problem.COV(i, j) == problem.COV(j, i)))
        asymmetric.push_back("the covariance matrix is not symmetric: element (" + std::to_string(i) + ", " +
                             std::to_string(j) + ") is " + shortest(problem.COV(i, j)) + " but (" +
                             std::to_string(j) + ", " + std::to_string(i) + ") is " +
                             shortest(problem.COV(j, i)));
  return asymmetric;
}

// Decimal commas: "0,42" reads as the two values 0 and 42.
std::vector<std::string> decimal_commas(const std::vector<textio::DecimalCommaSuspect>& suspects) {
  std::vector<std::string> commas;
  for (const textio::DecimalCommaSuspect& c : suspects) {
    const size_t comma = c.text.find(',');
    commas.push_back(line_of(c.line) + ", column " + std::to_string(c.column) + ": " + quoted(c.text) +
                     " reads as two values, " + c.text.substr(0, comma) + " and " + c.text.substr(comma + 1) +
                     "; if a decimal comma was meant, write " + c.text.substr(0, comma) + "." +
                     c.text.substr(comma + 1));
  }
  return commas;
}

}  // namespace

std::vector<std::string> layout_warnings(const driver::ProblemArrays& problem, const ReadLog& log,
                                         textio::InputUnit& in) {
  std::vector<std::string> out;
  const Layout layout(problem);
  add_limited(out, heading_warnings(layout, log.statements), "such headings");
  add_limited(out, row_warnings(layout, log.statements), "rows that do not fit their lines");
  add_limited(out, extra_rows(layout, log.statements, in), "");
  add_limited(out, asymmetric_pairs(layout, problem), "pairs that differ");
  add_limited(out, decimal_commas(log.commas), "values with a comma between digits");
  return out;
}

namespace {

// What went wrong with read statement `index`, where, and a hint.
// `shifted_by` names an extra line above that shifted the sections, if any.
std::string read_failure_hint(const textio::ReadFailure& failure, const Layout& layout, size_t index,
                              const std::string& shifted_by) {
  const std::string what = layout.what(index);
  const std::string where = line_of(failure.line) + ", column " + std::to_string(failure.column);
  const std::string value_of =
      failure.asked > 1 ? "value " + std::to_string(failure.values + 1) + " of " : std::string();
  const std::string progress = failure.asked > 1 ? " (" + std::to_string(failure.values) + " of " +
                                                       std::to_string(failure.asked) + " values read)"
                                                 : std::string();
  switch (failure.number) {
    case textio::ERR_EOF:
      // At the start of a record the file ended with the line end before it.
      return "the file ends " +
             (failure.column <= 1 && failure.line > 1 ? "after " + line_of(failure.line - 1)
                                                      : "at " + line_of(failure.line)) +
             " while reading " + what + progress +
             ": check the counts on line 2 against the lines of the file, and that every row holds "
             "all its values";
    case textio::ERR_SYNTAX: {
      std::string hint = where + ": expected " + value_of + what + ", found " + quoted(failure.found) +
                         ", which is not a number";
      if (failure.found.find_first_of("abcdfghijklmnopqrstuvwxyzABCFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos)
        hint += shifted_by.empty()
                    ? "; if this is a heading, a line of values is missing above it, or the counts ask for more"
                    : "; this is perhaps a heading, reached one line late because of " + shifted_by;
      else if (failure.found.find('.') != failure.found.rfind('.'))
        hint += "; a number has at most one decimal point";
      return hint;
    }
    case textio::ERR_CONVERSION:
      return where + ": " + quoted(failure.found) + " in " + what +
             " is too large for its variable (single precision reaches about 3.4e38; counts "
             "reach 2147483647)";
    case textio::ERR_LONG_RECORD:
      return line_of(failure.line) + " is longer than 64 MiB (reading " + what +
             "): is this a text file in the input format?";
    default:
      return where + ": the read of " + what + " failed";
  }
}

}  // namespace

std::string read_failure_detail(const textio::ReadFailure& failure, const ReadLog& log,
                                const driver::ProblemArrays& problem) {
  if (failure.number == 0 || log.statements.empty()) return {};
  const Layout layout(problem);
  const size_t index = log.statements.size() - 1;
  // A heading line that held numbers, or was blank: the likeliest cause of
  // what follows.
  std::string shifted, shifted_by;
  for (size_t i = 0; i < index; ++i) {
    if (!layout.is_heading(i)) continue;
    const std::string line = line_of(log.statements[i].first_line);
    if (only_numbers(log.statements[i].rest)) {
      shifted = "; " + line + " was read as " + layout.what(i) +
                " but holds only numbers: a heading line is perhaps missing above it";
    } else if (blank(log.statements[i].rest)) {
      shifted = "; " + line + " is blank where " + layout.what(i) +
                " was expected: if it is an extra blank line, remove it, as it shifts the sections after it";
      shifted_by = "the blank " + line;
    }
  }
  return read_failure_hint(failure, layout, index, shifted_by) + shifted;
}

}  // namespace ineqbf::detail
