// The program's console and report file for the library's callers: the
// text layer's console and output unit behind the public interface, their
// failures turned into the program's messages.
#include "driver/run.h"
#include "ineqbf/ineqbf.h"
#include "textio/textio.h"

namespace ineqbf {

namespace {


}  // namespace

struct ProgramConsole::State {
  explicit State(std::FILE* stream) : console(stream) {}
  textio::Console console;
};

ProgramConsole::ProgramConsole(std::FILE* stream) : state_(std::make_unique<State>(stream)) {}

ProgramConsole::~ProgramConsole() = default;

void ProgramConsole::write(std::string_view records) {
  for (size_t end; (end = records.find("\r\n")) != std::string_view::npos; records.remove_prefix(end + 2))
    state_->console.write_record(records.substr(0, end));
}

void ProgramConsole::message(std::string_view lines) { state_->console.write_message_lines(lines); }

Status ProgramConsole::close() {
  try {
    state_->console.close();
    return Status::ok;
  } catch (const textio::RunEnded& e) {
    return driver::end_of_run(state_->console, e);
  }
}

struct ReportFile::State {
  textio::OutputUnit out;
};

ReportFile::ReportFile() : state_(std::make_unique<State>()) {}

ReportFile::~ReportFile() = default;

namespace {

// Runs a step of the text layer; a run it ends becomes an Error.
template <class Step>
void as_error(Step&& step) {
  try {
    step();
  } catch (const textio::RunEnded& e) {
    throw Error(e.status, e.pending);
  }
}

}  // namespace

void ReportFile::open(const std::string& path, const std::string& shown) {
  as_error([&] { state_->out.open(textio::REPORT_UNIT, path, shown); });
}

void ReportFile::write(std::string_view report) {
  as_error([&] { state_->out.write_text(report); });
}

void ReportFile::close() {
  as_error([&] { state_->out.close(); });
}

}  // namespace ineqbf
