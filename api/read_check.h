// Checks of an input file that reads without error but perhaps not as it
// was meant, and details of a read that failed: what Reader::warnings()
// says, never changing what the program prints, writes or ends with.
#pragma once

#include <string>
#include <vector>

#include "driver/run.h"
#include "textio/textio.h"

namespace ineqbf::detail {

// What the reader saw of one input file.
struct ReadLog {
  std::vector<textio::ReadStatement> statements;
  std::vector<textio::DecimalCommaSuspect> commas;
};

// Warnings about a file read into `problem` (in.next_record() gives the
// records after the last one read): rows beyond the counts, a covariance
// matrix that is not symmetric, values that look like decimal commas, a
// heading line that holds numbers or is blank, rows that spill onto the next
// line or hold more values than they need. Each warning is one line without
// a line end.
std::vector<std::string> layout_warnings(const driver::ProblemArrays& problem, const ReadLog& log,
                                         textio::InputUnit& in);

// Where and on what a read failed, with a hint; empty when the failure was
// not a read of the file's content (the file could not be opened).
std::string read_failure_detail(const textio::ReadFailure& failure, const ReadLog& log,
                                const driver::ProblemArrays& problem);

}  // namespace ineqbf::detail
