#include "cli/options.h"

#include "cli/utf8.h"
#include "ineqbf/fields.h"

#include <charconv>
#include <cmath>
#include <set>
#include <string_view>

namespace cli {

namespace {

bool to_int(std::string_view text, int64_t lo, int64_t hi, int32_t& out) {
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
  out = static_cast<int32_t>(v);
  return true;
}

bool to_real(std::string_view text, double& out) { return ineqbf::read_number(text, out); }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}


// The names of --names, checked: non-empty, distinct, UTF-8.
std::string check_names(const std::vector<std::string>& names) {
  std::set<std::string> seen;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string which = "--names: name " + std::to_string(i + 1);
    if (names[i].empty()) return which + " is empty";
    if (!valid_utf8(names[i])) return which + " is not valid UTF-8";
    if (!seen.insert(names[i]).second) return "--names: \"" + names[i] + "\" is given twice";
  }
  return {};
}

// The command line being read, one argument after the other.
class ArgumentReader {
 public:
  ArgumentReader(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}

  Parsed read() {
    for (; i_ < argc_ && r_.error.empty(); ++i_) one(argv_[i_]);
    Options& o = r_.options;
    if (r_.error.empty() && o.output && o.paths.size() > 1)
      r_.error = "-o names the report of one problem, but " + std::to_string(o.paths.size()) + " are given";
    if (r_.error.empty() && o.names) r_.error = check_names(*o.names);
    return r_;
  }

 private:
  void one(std::string_view arg) {
    if (only_paths_ || arg == "-" || arg.empty() || arg[0] != '-') {
      r_.options.paths.emplace_back(arg);
      return;
    }
    if (arg == "--") {
      only_paths_ = true;
      return;
    }
    // --name=value is the same as --name value.
    name_ = arg;
    attached_.reset();
    if (arg.starts_with("--") && arg.find('=') != std::string_view::npos) {
      name_ = arg.substr(0, arg.find('='));
      attached_ = arg.substr(arg.find('=') + 1);
    }
    if (!flag_option() && !value_option()) r_.error = "unknown option " + std::string(arg);
  }

  bool flag_option() {
    Options& o = r_.options;
    bool* flag = name_ == "-h" || name_ == "--help"      ? &o.help
                 : name_ == "-V" || name_ == "--version" ? &o.version
                 : name_ == "-q" || name_ == "--quiet"   ? &o.quiet
                                                         : nullptr;
    bool off = false;
    if (name_ == "--no-check") flag = &off;
    if (flag == nullptr) return false;
    if (attached_) r_.error = "option " + std::string(name_) + " takes no value";
    *flag = true;
    if (name_ == "--no-check") o.check = false;
    return true;
  }

  // Options that take a value. Each may be given once, but --hypothesis,
  // which adds its hypotheses to those of the others.
  bool value_option() {
    static const std::set<std::string_view> kKnown = {
        "-o", "--output", "--json", "--hypothesis", "--names", "--seed", "-j", "--jobs",
        "--threads", "--method", "--precision", "--prior"};
    if (!kKnown.contains(name_)) return false;
    const std::string canonical = name_ == "-o" ? "--output" : name_ == "-j" ? "--jobs" : std::string(name_);
    if (canonical != "--hypothesis" && !given_.insert(canonical).second) {
      r_.error = "option " + std::string(name_) + " is given twice; give it once";
      return true;
    }
    std::string_view v;
    if (!value(v)) return true;
    set(canonical, v);
    return true;
  }

  bool value(std::string_view& out) {
    if (attached_) {
      out = *attached_;
      return true;
    }
    if (i_ + 1 >= argc_) {
      r_.error = "option " + std::string(name_) + " needs a value";
      return false;
    }
    out = argv_[++i_];
    return true;
  }

  void set(const std::string& name, std::string_view v) {
    Options& o = r_.options;
    const std::string quoted = std::string("\"").append(v) + "\"";
    if (name == "--output") {
      if (v.empty()) r_.error = "option " + std::string(name_) + " needs a file name";
      o.output = std::string(v);
    } else if (name == "--json") {
      if (v.empty()) r_.error = "option --json needs a file name, or - for standard output";
      o.json = std::string(v);
    } else if (name == "--hypothesis") {
      o.hypotheses.emplace_back(v);
    } else if (name == "--names") {
      o.names = split_list(v);
    } else if (name == "--seed") {
      if (!to_int(v, ineqbf::min_seed, ineqbf::max_seed, o.seed))
        r_.error = "--seed needs a whole number from " + std::to_string(ineqbf::min_seed) + " to " +
                   std::to_string(ineqbf::max_seed) + ", not " + quoted;
    } else if (name == "--jobs") {
      if (!to_int(v, 0, 1024, o.jobs))
        r_.error = std::string(name_) + " needs a number of problems from 0 (every core) to 1024, not " + quoted;
    } else if (name == "--threads") {
      if (!to_int(v, 0, 1024, o.threads))
        r_.error = "--threads needs a number from 0 (every core) to 1024, not " + quoted;
    } else {
      set_analysis(name, v, quoted);
    }
  }

  void set_analysis(const std::string& name, std::string_view v, const std::string& quoted) {
    Options& o = r_.options;
    if (name == "--method") {
      if (!ineqbf::method_named(v, o.method)) r_.error = "--method needs gibbs or integration, not " + quoted;
    } else if (name == "--precision") {
      if (!to_real(v, o.precision) || !(o.precision > 0.0))
        r_.error = "--precision needs a positive number (a relative MC error such as 0.001), not " + quoted;
    } else if (name == "--prior") {
      for (const std::string& w : split_list(v)) {
        double x = 0.0;
        if (!to_real(w, x)) {
          r_.error = "--prior needs prior model probabilities as numbers separated by commas, not " + quoted;
          return;
        }
        o.prior.push_back(x);
      }
    }
  }

  int argc_;
  const char* const* argv_;
  int i_ = 0;
  bool only_paths_ = false;
  std::string_view name_;
  std::optional<std::string_view> attached_;
  std::set<std::string> given_;
  Parsed r_;
};

}  // namespace

std::vector<std::string> split_list(std::string_view text) {
  std::vector<std::string> parts;
  for (;;) {
    const size_t comma = text.find(',');
    parts.emplace_back(trimmed(text.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return parts;
}

Parsed parse_arguments(int argc, const char* const* argv) { return ArgumentReader(argc, argv).read(); }

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
         "  -j, --jobs N          analyse N problems of a batch at a time (0, the\n"
         "                        default: one per core)\n"
         "      --threads N       threads one analysis may use (0, the default: one per\n"
         "                        core)\n"
         "      --seed N          seed of the random stream, 1 to 2147483646 (default 12345)\n"
         "      --method M        gibbs (the default): the program's Gibbs sampler, its\n"
         "                        report and bytes; integration: the same quantities\n"
         "                        integrated in double precision from the values as\n"
         "                        written, without Markov chains\n"
         "      --precision X     integration: the relative MC error of BFia aimed at\n"
         "                        (default 0.001)\n"
         "      --no-check        gibbs: do not compare the run with integrated values\n"
         "                        (by default a run that is off says so)\n"
         "      --hypothesis TEXT constraint rows from TEXT replace the file's rows, e.g.\n"
         "                        \"theta1 > theta2 > theta3\"; several hypotheses separated\n"
         "                        by ; (or given by further --hypothesis options, which\n"
         "                        add theirs) are analysed one by one and compared, each\n"
         "                        report numbered: Output-1.txt, Output-2.txt, ...\n"
         "      --prior w1,w2[,wU] prior model probabilities of the hypotheses (and of\n"
         "                        the unconstrained one, last); default: equal\n"
         "      --names a,b,c     parameter names for --hypothesis and --json\n"
         "                        (default: theta1, theta2, ...)\n"
         "      --json FILE       every number of the run as JSON in FILE (- for standard\n"
         "                        output)\n"
         "  -q, --quiet           no warnings about the input, no live progress\n"
         "  -h, --help            show this help and exit\n"
         "  -V, --version         show the version and exit\n"
         "\n"
         "Every option but --hypothesis may be given once; a second is an error.\n"
         "Everything on the command line is checked, and every input read, before a\n"
         "file is written; no report or JSON file may be an input or another output\n"
         "of the run, through links either.\n"
         "\n"
         "Exit status: 0 the report is complete; 1 the input could not be read, a\n"
         "file could not be written, or memory ran out; 2 the numerical work could\n"
         "not be done; 3 a count of the input is out of range; 4 the command line,\n"
         "a hypothesis or the names are malformed; 5 the analysis was cancelled.\n"
         "In a batch, the highest status of its problems.\n";
}

}  // namespace cli
