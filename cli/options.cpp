#include "cli/options.h"

#include <charconv>
#include <string_view>

#include "ineqbf/ineqbf.h"

namespace cli {

namespace {

bool to_int(std::string_view text, int64_t lo, int64_t hi, int32_t& out) {
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
  out = static_cast<int32_t>(v);
  return true;
}

std::vector<std::string> split_names(std::string_view text) {
  std::vector<std::string> names;
  for (;;) {
    const size_t comma = text.find(',');
    std::string_view name = text.substr(0, comma);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    names.emplace_back(name);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return names;
}

}  // namespace

Parsed parse_arguments(int argc, const char* const* argv) {
  Parsed r;
  Options& o = r.options;
  o.seed = ineqbf::default_seed;
  bool only_paths = false;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (only_paths || arg == "-" || arg.empty() || arg[0] != '-') {
      o.paths.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      only_paths = true;
      continue;
    }
    // --name=value is the same as --name value.
    std::string_view name = arg;
    std::optional<std::string_view> attached;
    if (arg.starts_with("--")) {
      const size_t eq = arg.find('=');
      if (eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        attached = arg.substr(eq + 1);
      }
    }
    auto value = [&](std::string_view& out) -> bool {
      if (attached) {
        out = *attached;
        return true;
      }
      if (i + 1 >= argc) {
        r.error = "option " + std::string(name) + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto flag = [&]() -> bool {
      if (attached) r.error = "option " + std::string(name) + " takes no value";
      return !attached;
    };
    std::string_view v;
    if (name == "-h" || name == "--help") {
      if (!flag()) return r;
      o.help = true;
    } else if (name == "-V" || name == "--version") {
      if (!flag()) return r;
      o.version = true;
    } else if (name == "-q" || name == "--quiet") {
      if (!flag()) return r;
      o.quiet = true;
    } else if (name == "-o" || name == "--output") {
      if (!value(v)) return r;
      if (v.empty()) {
        r.error = "option " + std::string(name) + " needs a file name";
        return r;
      }
      o.output = std::string(v);
    } else if (name == "--json") {
      if (!value(v)) return r;
      if (v.empty()) {
        r.error = "option --json needs a file name, or - for standard output";
        return r;
      }
      o.json = std::string(v);
    } else if (name == "--hypothesis") {
      if (!value(v)) return r;
      o.hypothesis = std::string(v);
    } else if (name == "--names") {
      if (!value(v)) return r;
      o.names = split_names(v);
    } else if (name == "--seed") {
      if (!value(v)) return r;
      if (!to_int(v, 1, 2147483646, o.seed)) {
        r.error = "--seed needs a whole number from 1 to 2147483646, not \"" + std::string(v) + "\"";
        return r;
      }
    } else if (name == "-j" || name == "--jobs") {
      if (!value(v)) return r;
      if (!to_int(v, 1, 1024, o.jobs)) {
        r.error = std::string(name) + " needs a number of problems from 1 to 1024, not \"" + std::string(v) + "\"";
        return r;
      }
    } else if (name == "--threads") {
      if (!value(v)) return r;
      if (!to_int(v, 1, 1024, o.threads)) {
        r.error = "--threads needs a number from 1 to 1024, not \"" + std::string(v) + "\"";
        return r;
      }
    } else {
      r.error = "unknown option " + std::string(arg);
      return r;
    }
  }
  if (o.output && o.paths.size() > 1) {
    r.error = "-o names the report of one problem, but " + std::to_string(o.paths.size()) + " are given";
    return r;
  }
  return r;
}

std::string usage_text() {
  return "usage: ineqbf [OPTIONS] [PATH ...]\n"
         "Try 'ineqbf --help' for more information.\n";
}

std::string help_text() {
  return "usage: ineqbf [OPTIONS] [PATH ...]\n"
         "\n"
         "Bayes factors for a hypothesis made of linear inequality constraints on\n"
         "model parameters, from their estimates and covariance matrix.\n"
         "\n"
         "Without PATH, reads Input.txt in the current folder and writes the report\n"
         "to Output.txt there. A PATH that is a folder is analysed the same way in\n"
         "that folder. A PATH that is a file is analysed and its report written to\n"
         "Output.txt beside it when the file is called Input.txt, otherwise to the\n"
         "file's name with .out.txt in place of its extension (data.txt gives\n"
         "data.out.txt), or to FILE with -o. Several PATHs are analysed as a batch,\n"
         "with one line per problem on standard error.\n"
         "\n"
         "Options:\n"
         "  -o, --output FILE     write the report of the one problem to FILE\n"
         "  -j, --jobs N          analyse N problems of a batch at a time (default: cores)\n"
         "      --threads N       threads one analysis may use (default: cores)\n"
         "      --seed N          seed of the random stream, 1 to 2147483646 (default 12345)\n"
         "      --hypothesis TEXT constraint rows from TEXT replace the file's rows, e.g.\n"
         "                        \"theta1 > theta2 > theta3\"; several hypotheses separated\n"
         "                        by ; are analysed one by one and compared\n"
         "      --names a,b,c     parameter names for --hypothesis and --json\n"
         "                        (default: theta1, theta2, ...)\n"
         "      --json FILE       every number of the run as JSON in FILE (- for standard\n"
         "                        output)\n"
         "  -q, --quiet           no warnings about the input, no live progress\n"
         "  -h, --help            show this help and exit\n"
         "  -V, --version         show the version and exit\n"
         "\n"
         "Exit status: 0 the report is complete; 1 the input could not be read, a\n"
         "file could not be written, or memory ran out; 2 the numerical work could\n"
         "not be done; 3 a count of the input is out of range; 4 the command line,\n"
         "a hypothesis or the names are malformed; 5 the analysis was cancelled.\n"
         "In a batch, the highest status of its problems.\n";
}

}  // namespace cli
