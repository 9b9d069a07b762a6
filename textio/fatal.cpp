// Fatal errors of the text layer (one message record, then the end of the
// run with Status::io_error) and the one way a run ends early.
#include <string>
#include <utility>

#include "textio/textio.h"

namespace textio {

namespace {

// Message text of an error number; "%d" stands for the unit number and "%s"
// for the file name.
const char* message_text(int number) {
  switch (number) {
    case ERR_EOF:
      return "end-of-file during read, unit %d, file %s";
    case ERR_NOT_FOUND:
      return "file not found, unit %d, file %s";
    case ERR_OPEN:
      return "open failure, unit %d, file %s";
    case ERR_WRITE:
      return "error during write, unit %d, file %s";
    case ERR_READ:
      return "error during read, unit %d, file %s";
    case ERR_SYNTAX:
      return "list-directed I/O syntax error, unit %d, file %s";
    case ERR_CONVERSION:
      return "input conversion error, unit %d, file %s";
    case ERR_OVERFLOW:
      return "output statement overflows record, unit %d, file %s";
    case ERR_LONG_RECORD:
      return "input record too long, unit %d, file %s";
    default:
      return "input/output error, unit %d, file %s";
  }
}

}  // namespace

std::string fatal_text(int number, int unit, std::string_view filename) {
  // The file name is inserted as it is, never used as a format.
  std::string record = "vexlib: severe (" + std::to_string(number) + "): ";
  for (const char* p = message_text(number); *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 'd') {
      record += std::to_string(unit);
      ++p;
    } else if (p[0] == '%' && p[1] == 's') {
      record.append(filename.data(), filename.size());
      ++p;
    } else {
      record += *p;
    }
  }
  return record;
}

void fatal(int number, int unit, std::string_view filename) {
  end_run(Status::io_error, fatal_text(number, unit, filename));
}

void end_run(Status status, std::string pending) { throw RunEnded(status, std::move(pending)); }

}  // namespace textio
