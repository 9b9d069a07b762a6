# The repository's golden cases: every folder under examples/,
# tests/e2e/cases/ and bench/inputs/ that has a console.txt. The checkout is
# INEQBF_SOURCE_DIR (r/test.sh sets it), else the first folder above the
# tests that holds the engine's header; without one the golden tests skip.
source_dir <- function() {
  is_checkout <- function(d) file.exists(file.path(d, "include", "ineqbf", "ineqbf.h"))
  given <- Sys.getenv("INEQBF_SOURCE_DIR")
  if (nzchar(given)) {
    if (!is_checkout(given)) stop("INEQBF_SOURCE_DIR is no ineqbf checkout: ", given)
    return(normalizePath(given))
  }
  d <- normalizePath(".")
  repeat {
    if (is_checkout(d)) return(d)
    if (dirname(d) == d) return(NULL)
    d <- dirname(d)
  }
}

golden_cases <- function(skip = "bench/inputs/deep") {
  root <- source_dir()
  if (is.null(root)) testthat::skip("no ineqbf checkout found for the golden cases")
  dirs <- unlist(lapply(c("examples", "tests/e2e/cases", "bench/inputs"), function(r) {
    d <- list.dirs(file.path(root, r), recursive = FALSE)
    d[file.exists(file.path(d, "console.txt"))]
  }))
  dirs[!endsWith(dirs, skip)]
}

read_bytes <- function(path) {
  if (!file.exists(path)) return("")
  readChar(path, file.size(path), useBytes = TRUE)
}

# The numbers of a report, by line: fits and complexities with their
# iterations, the totals, BFia and BFic ("infinit" as NA).
report_numbers <- function(report) {
  lines <- strsplit(report, "\r\n", fixed = TRUE)[[1]]
  block <- function(header) {
    i <- match(header, lines) + 1L
    j <- i
    while (lines[j] != " ") j <- j + 1L
    if (j == i) return(matrix(numeric(0), 0, 2))
    do.call(rbind, lapply(strsplit(trimws(lines[i:(j - 1L)]), " +"), as.numeric))
  }
  after <- function(pattern) {
    fields <- strsplit(trimws(lines[grep(pattern, lines) + 1L]), " +")[[1]]
    suppressWarnings(as.numeric(fields))  # "infinit", asterisks: NA
  }
  list(fits = block("   Fits        numbers of iterations"),
       complexities = block("Complexities   numbers of iterations"),
       totals = after("^Total fit"), bf_ia = after("^   BFia"), bf_ic = after("^   BFic"))
}

# A value equals the report's when the report's three decimals are its own.
expect_reported <- function(value, shown, label) {
  ok <- is.na(shown) | abs(value - shown) <= 0.0005 + 1e-6 * abs(value)
  testthat::expect_true(all(ok), label = label)
}

two_parameters <- list(estimates = c(a = 0.5, b = 0.2), Sigma = matrix(c(0.04, 0.01, 0.01, 0.09), 2))

# An analysis by the program's method, quietly.
gibbs <- function(x, hypothesis, ...) ineqbf(x, hypothesis, ..., method = "gibbs", progress = FALSE)

# An analysis by integration, or a skip while this build of the library has
# no integration method (the call reached the library all the same).
integrated <- function(x, hypothesis, ...) {
  tryCatch(ineqbf(x, hypothesis, ..., progress = FALSE), ineqbf_error = function(e) {
    if (conditionMessage(e) == "the integration method is not available in this build")
      testthat::skip("no integration method in this build")
    stop(e)
  })
}

# The warnings an expression signals, as their classes and messages.
warnings_of <- function(expr) {
  seen <- list()
  withCallingHandlers(expr, warning = function(w) {
    seen[[length(seen) + 1L]] <<- w
    invokeRestart("muffleWarning")
  })
  seen
}

# A folder holding the Input.txt of two parameters and two rows
# (theta1 > theta2 > 0).
input_folder <- function() {
  dir <- tempfile()
  dir.create(dir)
  writeLines(c("Number of parameters and of constraints", "2 2", "Means", "0.50 0.20",
               "Covariance matrix", "0.040 0.010", "0.010 0.090",
               "Constraints: coefficients, then right-hand side", "1 -1 0", "0 1 0"),
             file.path(dir, "Input.txt"))
  dir
}
