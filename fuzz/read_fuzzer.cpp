// libFuzzer target for the read stage of a run: the free-format reader of
// the text layer, read_problem on the input text, then the seed and the
// allocation of every working array, exactly as a run does them.
//
// Every early end of a run (text layer, allocator, subscript check) throws
// textio::RunEnded with the exit status and the message still to print, so
// one process can try input after input. A crash, a sanitizer report, an
// exit status the program never uses for its read stage, an early end
// without its message, anything printed by the read stage, or two line-end
// styles that read differently are findings.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/run.h"
#include "textio/textio.h"

namespace {

// What one read of the problem gave: the exit status it ended with (0 when
// it went through) and the message it had not printed yet, what its console
// printed, and, when it went through, the problem as read.
struct Outcome {
  textio::Status status = textio::Status::ok;
  std::string pending;
  textio::Console console;
  driver::RunState state{console};
};

void read_stage(const std::string& text, bool allocate_all, Outcome& out) {
  textio::InputUnit in;
  in.open_text(10, "Input.txt", text);
  try {
    driver::read_problem(out.state.problem, in);
    in.close();
    if (allocate_all) driver::start_run(out.state, driver::SEED);
  } catch (const textio::RunEnded& e) {
    out.status = e.status;
    out.pending = e.pending;
  }
}

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "read_fuzzer: %s\n", what);
  __builtin_trap();
}

template <class A>
bool same_storage(const A& a, const A& b, int64_t count) {
  return count == 0 || std::memcmp(a.data(), b.data(), static_cast<size_t>(count) * sizeof(float)) == 0;
}

bool same_problem(const driver::ProblemArrays& a, const driver::ProblemArrays& b) {
  if (a.NPAR != b.NPAR || a.NCON != b.NCON) return false;
  if (a.PARMEANS.extent() != b.PARMEANS.extent() || a.COV.extent1() != b.COV.extent1() ||
      a.COV.extent2() != b.COV.extent2() || a.R.extent1() != b.R.extent1() ||
      a.R.extent2() != b.R.extent2())
    return false;
  return same_storage(a.PARMEANS, b.PARMEANS, a.PARMEANS.extent()) &&
         same_storage(a.COV, b.COV, a.COV.extent1() * a.COV.extent2()) &&
         same_storage(a.R, b.R, a.R.extent1() * a.R.extent2());
}

std::string with_line_ends(const std::string& text, const char* end) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    if (c == '\n') {
      out += end;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  Outcome lf;
  read_stage(text, true, lf);
  if (lf.status != textio::Status::ok && lf.status != textio::Status::io_error && lf.status != textio::Status::subscript)
    finding("the read stage ended with an exit status it never uses");
  // Every early end of the read stage says why, in one message of the
  // layer's kind; nothing is printed before the caller prints it.
  if (lf.status != textio::Status::ok && lf.pending.rfind("vexlib: severe", 0) != 0)
    finding("the read stage ended without its message");
  if (!lf.console.text().empty()) finding("the read stage printed on the console");
  const driver::ProblemArrays& p = lf.state.problem;
  if (lf.status == textio::Status::ok && p.NPAR >= 0 && p.PARMEANS(int64_t{p.NPAR} + 1) != -1.0f)
    finding("PARMEANS(NPAR+1) is not -1 after the read");

  // A text with line feeds only must read the same with CR LF and with lone
  // CR line ends. The comparison is of the read alone, before the working
  // arrays, whose allocation does not depend on the line ends.
  if (text.find('\r') == std::string::npos && text.find('\n') != std::string::npos) {
    Outcome lf_read;
    read_stage(text, false, lf_read);
    for (const char* end : {"\r\n", "\r"}) {
      Outcome other;
      read_stage(with_line_ends(text, end), false, other);
      if (other.status != lf_read.status || other.pending != lf_read.pending)
        finding("line ends change how the file reads (status or message)");
      if (other.status == textio::Status::ok && !same_problem(other.state.problem, lf_read.state.problem))
        finding("line ends change how the file reads (values)");
    }
  }
  return 0;
}
