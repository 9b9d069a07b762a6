// The files of a command line: where each problem's input and reports are,
// the checks that no output is an input or another output of the run
// (through links too), and files written whole or not at all.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// One problem of the command line: where its input is and where its
// report goes, each with the name that messages give it.
struct Job {
  std::string input_path;
  std::string input_name;
  std::string report_path;
  std::string report_name;
  std::string shown;  // the path as given, for summaries and JSON
};

// Report `path` of hypothesis i (1-based) of n: the path itself for one
// hypothesis, "Output-2.txt" for the second of several.
std::string numbered(const std::string& path, size_t i, size_t n);

// An input that is missing: a message naming it, with a hint; empty when
// the input is there.
std::string missing_input(const Job& job);

// Whether two paths name the same file: the same device and inode for files
// that exist (hard and symbolic links alike), else the same path once
// resolved.
bool same_file(const std::string& a, const std::string& b);

// A file of a run and what it is, for the checks below.
struct RunFile {
  std::string path;
  std::string what;  // e.g. "the report of data.txt", "the JSON file"
};

// The first output that is an input or another output, said in a message;
// empty when there is none.
std::string overlapping_outputs(const std::vector<RunFile>& inputs, const std::vector<RunFile>& outputs);

// Numbered reports beyond the n this run writes (path-(n+1) …, or path-1 …
// for a run of one hypothesis) that an earlier run left: they no longer
// belong with the others.
std::vector<std::string> stale_reports(const std::string& path, size_t n);

// Writes `text` to `path` whole or not at all: to a temporary file in the
// same folder, then renamed over it. An error text, or empty.
std::string write_whole(const std::string& path, const std::string& text);

// Writes `text` to a stream and flushes it; an error text, or empty.
std::string write_stream(std::FILE* stream, const std::string& text, const std::string& what);

// Writes a report: the file created (emptied) and written; an error text,
// or empty.
std::string write_report(const std::string& path, const std::string& text);

}  // namespace cli
