#include "cli/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace cli {

namespace fs = std::filesystem;

std::string numbered(const std::string& path, size_t i, size_t n) {
  if (n <= 1) return path;
  const fs::path p(path);
  return (p.parent_path() / (p.stem().string() + "-" + std::to_string(i) + p.extension().string())).string();
}

std::string missing_input(const Job& job) {
  std::error_code ec;
  const bool folder = job.input_name == "Input.txt" && job.input_path != "Input.txt";
  if (fs::exists(fs::symlink_status(job.input_path, ec)) || fs::exists(job.input_path, ec)) return {};
  if (folder && !fs::exists(fs::path(job.input_path).parent_path(), ec))
    return job.shown + ": no such folder; give a folder that holds an Input.txt, or an input file";
  if (folder) return job.shown + ": the folder holds no Input.txt; write the problem there, or give the input file";
  if (!job.shown.empty() && job.shown.back() == '/')
    return job.shown + ": no such folder; give a folder that holds an Input.txt, or an input file";
  return job.shown + ": no such file; give an input file, or a folder that holds an Input.txt";
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  std::error_code e1, e2;
  const fs::path ca = fs::weakly_canonical(a, e1), cb = fs::weakly_canonical(b, e2);
  return !e1 && !e2 && ca == cb;
}

std::string overlapping_outputs(const std::vector<RunFile>& inputs, const std::vector<RunFile>& outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    for (const RunFile& in : inputs)
      if (same_file(outputs[i].path, in.path))
        return outputs[i].what + " (" + outputs[i].path + ") would overwrite the input " + in.path +
               " (the same file, or a link to it); nothing is written";
    for (size_t k = i + 1; k < outputs.size(); ++k)
      if (same_file(outputs[i].path, outputs[k].path))
        return outputs[i].what + " (" + outputs[i].path + ") and " + outputs[k].what + " (" + outputs[k].path +
               ") would be the same file (or links to it); nothing is written";
  }
  return {};
}

std::vector<std::string> stale_reports(const std::string& path, size_t n) {
  std::vector<std::string> stale;
  std::error_code ec;
  for (size_t i = n <= 1 ? 1 : n + 1;; ++i) {
    const std::string p = numbered(path, i, 2);
    if (!fs::exists(p, ec)) break;
    stale.push_back(p);
  }
  return stale;
}

namespace {

std::string system_error(const std::string& what, int error) {
  return "cannot write " + what + ": " + std::strerror(error);
}

// Writes and closes; errno of the first failure, or 0.
int write_and_close(std::FILE* f, const std::string& text) {
  errno = 0;
  bool failed = std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fflush(f) != 0;
  int error = failed ? errno : 0;
  if (std::fclose(f) != 0 && !failed) {
    failed = true;
    error = errno;
  }
  return !failed ? 0 : error != 0 ? error : EIO;
}

}  // namespace

std::string write_whole(const std::string& path, const std::string& text) {
  std::error_code ec;
  // A link is followed: the file it names is replaced, not the link.
  fs::path target = fs::is_symlink(path, ec) ? fs::weakly_canonical(path, ec) : fs::path(path);
  const fs::path temporary =
      target.parent_path() / (std::string(".").append(target.filename().string()) + ".tmp-" + std::to_string(::getpid()));
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) return system_error(path, errno);
  if (const int error = write_and_close(f, text); error != 0) {
    fs::remove(temporary, ec);
    return system_error(path, error);
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    fs::remove(temporary, ec);
    return system_error(path, error);
  }
  return {};
}

std::string write_stream(std::FILE* stream, const std::string& text, const std::string& what) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::fflush(stream) != 0)
    return system_error(what, errno != 0 ? errno : EIO);
  return {};
}

std::string write_report(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return system_error("the report " + path, errno);
  if (const int error = write_and_close(f, text); error != 0) return system_error("the report " + path, error);
  return {};
}

}  // namespace cli
