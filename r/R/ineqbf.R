#' Bayes factors for hypotheses of linear inequality constraints
#'
#' Computes, for each hypothesis, the Bayes factor against the unconstrained
#' hypothesis (BFia) and against its complement (BFic), with Monte Carlo
#' errors and 2.5 / 97.5 percentile intervals; with several hypotheses also
#' the Bayes factors between them and their posterior model probabilities.
#' The posterior of the parameters is the multivariate normal distribution
#' with means `x` and covariance `Sigma`.
#'
#' @section Methods:
#' `method = "integration"` (the default) computes every fit and complexity
#' as a multivariate normal probability in double precision, without Markov
#' chains, to the relative MC error `precision` on BFia. `method = "gibbs"`
#' is the `ineqbf` program's truncated Gibbs sampler: each hypothesis is
#' analysed with the same seed, so its numbers and its report are those of
#' the program run on an `Input.txt` holding its rows ([ineqbf_file()] always
#' uses it). The sampler can be far off when parameters are strongly
#' correlated (an intercept and an uncentred slope); the analysis then warns.
#'
#' @section Warnings:
#' What the engine has to say about a result that does not stop it (a Gibbs
#' estimate off its integrated value, an asymmetric or ill-conditioned
#' covariance matrix, a bounded region, a precision not reached) is
#' signalled as a warning of class `c("ineqbf_warning", "warning",
#' "condition")` and kept in the result's `warnings` element. With several
#' hypotheses a warning about one of them starts with its label (`H2: `).
#'
#' @section Parameter names:
#' The parameters are named by `names(x)` (or `colnames(Sigma)`; `theta1`,
#' `theta2`, ... when neither has names, or for an empty name). When the
#' estimates and `Sigma` both carry names, `Sigma` is taken in the order of
#' the estimates, by name; names that do not match are refused. A
#' hypothesis refers to the parameters by name. A name that is not an
#' identifier of the hypothesis syntax (a letter, `_` or `.` not followed by
#' a digit, then letters, digits, `_` and `.`; non-ASCII letters count as
#' letters) is mapped to one as [ineqbf_names()] describes: `(Intercept)`
#' becomes `Intercept`, `factor(g)b` becomes `factor_g_b`, `2x` becomes
#' `X2x`.
#'
#' The original name can be used too, written between backquotes:
#' `` `(Intercept)` > 0 `` is the same as `Intercept > 0`. The mapped names
#' are those of the result (`names` element, constraint texts and rows).
#'
#' @section Hypothesis syntax:
#' Linear expressions of parameter names and numbers with `+`, `-`, `*`, `/`
#' and parentheses, compared with `>` or `<` (`>=` and `<=` mean the same).
#' A chain `a > b > c` stands for two constraints, a range `-1 < a < 1` too.
#' `&` joins the constraints of one hypothesis, `;` separates hypotheses:
#' `"b1 > b2 > b3; b1 > 2*b2 + 0.5 & b3 > 0"`. Equality constraints are not
#' supported. Constraint k of a hypothesis is evaluated given that
#' constraints 1 to k-1 hold, so their order matters (in the digits of the
#' numbers, not in the Bayes factor's meaning).
#'
#' @param x A numeric vector of estimates (named after the parameters), or a
#'   fitted model: `lm`, `aov`, `glm`, `nls`, `coxph`, `survreg`, `polr`,
#'   `rma` and any model whose [stats::coef()] gives a named vector, with
#'   [stats::vcov()] matched by name (a survreg's `Log(scale)` and polr's
#'   thresholds are left out); the fixed effects of `lmer`/`glmer` (lme4),
#'   `lme` (nlme) and `glmmTMB` (conditional model); the free parameters of
#'   a lavaan fit (`sem`, `cfa`; a parameter held equal across groups once);
#'   the means of an emmeans grid (`emmGrid`), named by their levels
#'   (`cyl4`, `cyl6:am1`). A `t.test()` result is refused with a note on
#'   what to pass instead.
#' @param hypothesis The hypotheses: a string in the syntax below, one or
#'   several hypotheses separated by `;`. Or constraint rows given by hand: a
#'   numeric matrix with one row per constraint, the coefficients of the
#'   parameters then the right-hand side (row `a b c` asks for `a*p1 + b*p2 > c`),
#'   or a list of such matrices, one per hypothesis.
#' @param Sigma The covariance matrix of the estimates; for a fitted model,
#'   `vcov(x)` when `NULL`.
#' @param method `"integration"` (the default) or `"gibbs"`: see the section
#'   "Methods".
#' @param precision For integration: the relative MC error of BFia aimed at.
#' @param prior Prior model probabilities for the comparison of hypotheses:
#'   `NULL` for equal prior odds, or one positive weight per hypothesis, or
#'   one more for the unconstrained hypothesis `Hu` (last); they are
#'   normalised. They enter the posterior model probabilities and their
#'   replicates.
#' @param seed The seed of the random stream (1 to 2147483646); the program
#'   uses 12345.
#' @param progress `TRUE` for a progress bar ([utils::txtProgressBar()]),
#'   `FALSE` for none, or a function called now and then with the fraction
#'   of the work done (0 to 1). By default a bar in interactive sessions only.
#'
#' @return An object of class `ineqbf`, a list with
#' \describe{
#'   \item{`hypotheses`}{a data frame, one row per hypothesis (`H1`, `H2`, ...):
#'     `text`, `total_fit`, `total_complexity`, `BFia` with `BFia_error` (its
#'     MC error, the standard deviation of its replicates), `BFia_lower` and
#'     `BFia_upper` (the 2.5 and 97.5 percentiles of its replicates), the same
#'     four for `BFic`, and `BFic_infinite`: `TRUE` where the total fit is
#'     exactly 1 and the report shows BFic as `infinit`.}
#'   \item{`constraints`}{a data frame, one row per constraint of each
#'     hypothesis: `hypothesis`, `constraint` (its place in the hypothesis),
#'     `text` (the row as text), `fit` and `complexity`, their hit counts
#'     `fit_hits`, `complexity_hits` and the iterations of their final chains
#'     `fit_iterations`, `complexity_iterations` (Gibbs), their MC errors
#'     `fit_error`, `complexity_error` and the points of the final lattice
#'     rules `fit_points`, `complexity_points` (integration).}
#'   \item{`rows`}{a list of matrices, the constraint rows of each hypothesis:
#'     one column per parameter, then `rhs`.}
#'   \item{`comparison`}{for `ineqbf()`: `bf`, an array `[i, j, ]` of the Bayes
#'     factor of hypothesis i against j (`value`, `error`, `lower`, `upper`);
#'     `pmp`, the posterior model probabilities with equal prior odds, and
#'     `pmp_u`, the same with the unconstrained hypothesis `Hu` added, each a
#'     data frame with `value`, `error`, `lower`, `upper`; `prior`, the prior
#'     model probabilities (normalised, `Hu` last). `NULL` for
#'     `ineqbf_file()`.}
#'   \item{`method`, `precision`}{the method used and, for integration, the
#'     precision aimed at.}
#'   \item{`warnings`}{a data frame of the warnings given: `hypothesis`,
#'     `message`, `quantity` (`"fit"`, `"complexity"`, `"bf_ia"` or empty),
#'     `constraint` (0 for none), `value` and `integrated` (the run's and the
#'     integrated value, where `quantity` is set).}
#'   \item{`replicates`}{matrices `BFia` and `BFic`, one column per
#'     hypothesis: the 1000 replicates of each Bayes factor, in the order
#'     drawn.}
#'   \item{`report`}{the bytes the program writes to `Output.txt` for each
#'     hypothesis (CR LF line ends), one string per hypothesis.}
#'   \item{`console`}{what the program prints on the console, likewise.}
#'   \item{`estimates`, `Sigma`, `names`}{the estimates and covariance matrix
#'     analysed, and the parameter names (mapped as described below).}
#'   \item{`seed`, `version`}{the seed and the engine's version.}
#' }
#'
#' @section Errors and interrupts:
#' An error of the analysis, or a malformed request, is signalled as a
#' condition of class `c("ineqbf_error", "error", "condition")` whose message
#' is the text the program prints, with the program's exit status in its
#' `status` element (1 to 3 as the program, 4 for a malformed problem or
#' hypothesis) and what was printed on the console up to it in `console`.
#' An analysis stops within about 65536 draws of an interrupt (Ctrl-C), and
#' R gets the interrupt as usual.
#'
#' @section Many problems in parallel:
#' Each analysis is independent of every other, so many problems can be
#' analysed at once in separate R processes, for instance with the
#' `future.apply` package; the results equal those of a sequential
#' [lapply()], number for number:
#' ```
#' library(ineqbf)   # for print(), summary() and plot() of the results
#' library(future.apply)
#' plan(multisession, workers = 2)
#' results <- future_lapply(fits, function(fit) ineqbf(fit, "x1 > x2 > 0"))
#' plan(sequential)
#' sapply(results, function(r) r$hypotheses$BFia)
#' ```
#'
#' @seealso [ineqbf_file()] for a problem in an `Input.txt` file,
#'   [print.ineqbf()], [summary.ineqbf()], [plot.ineqbf()].
#' @examples
#' fit <- lm(mpg ~ wt + hp + qsec, data = mtcars)
#' r <- ineqbf(fit, "wt < hp & hp < 0; wt < 0 & hp < 0 & qsec > 0", method = "gibbs")
#' r
#' summary(r)
#'
#' # The intercept under its mapped name or its own name in backquotes
#' ineqbf(fit, "Intercept > 0", method = "gibbs")$hypotheses$BFia ==
#'   ineqbf(fit, "`(Intercept)` > 0", method = "gibbs")$hypotheses$BFia
#'
#' # Estimates and a covariance matrix, and the same rows by hand
#' est <- c(a = 0.5, b = 0.2)
#' S <- matrix(c(0.04, 0.01, 0.01, 0.09), 2)
#' ineqbf(est, "a > b > 0", Sigma = S, method = "gibbs")
#' ineqbf(est, rbind(c(1, -1, 0), c(0, 1, 0)), Sigma = S, method = "gibbs")
#' @export
ineqbf <- function(x, hypothesis, Sigma = NULL, method = c("integration", "gibbs"),
                   precision = 1e-3, prior = NULL, seed = 12345L, progress = interactive()) {
  call <- match.call()
  method <- method_of(method, call)
  precision <- precision_of(precision, call)
  prior <- prior_of(prior, call)
  problem <- estimates_of(x, Sigma, call)
  names <- map_names(names(problem$estimates), length(problem$estimates))
  hyps <- hypotheses_of(hypothesis, names, call)
  seed <- seed_of(seed, call)
  raw <- with_progress(progress, function(callback) {
    .analyse(unname(problem$estimates), unname(problem$Sigma), names$names, hyps, seed, callback,
             method, precision, prior)
  })
  stop_on_error(raw, call)
  results <- raw$results
  texts <- vapply(seq_along(hyps), function(h) {
    if (nzchar(hyps[[h]]$text)) hyps[[h]]$text else joined_text(results[[h]])
  }, "")
  r <- new_ineqbf(results, texts, problem$estimates, problem$Sigma, names$names, seed,
                  comparison_of(raw, length(results), prior))
  r$written <- lapply(hyps, function(h) h$pieces)
  if (method == "integration") r$precision <- precision
  warn_all(r$warnings, nrow(r$hypotheses), call)
  r
}

#' Analyse an Input.txt file
#'
#' Reads a problem in the `Input.txt` format of the `ineqbf` program (see
#' the program's README: counts, estimates, covariance matrix, constraint
#' rows) and analyses it exactly as the program does, with the program's
#' reader and engine: the report is the bytes the program writes to
#' `Output.txt`, an error is the program's exit status and message.
#'
#' @param path An `Input.txt`-format file, or a folder holding one named
#'   `Input.txt`.
#' @inheritParams ineqbf
#' @return An object of class `ineqbf` (see [ineqbf()]) with one hypothesis,
#'   the file's constraint rows, written over the parameters `theta1`,
#'   `theta2`, ...; `report` is one string, the bytes of `Output.txt`;
#'   `comparison` is `NULL`.
#' @seealso [ineqbf()]
#' @examples
#' dir <- tempfile()
#' dir.create(dir)
#' writeLines(c("Number of parameters and of constraints", "2 2",
#'              "Means", "0.50 0.20",
#'              "Covariance matrix", "0.040 0.010", "0.010 0.090",
#'              "Constraints: coefficients, then right-hand side",
#'              "1 -1 0", "0 1 0"), file.path(dir, "Input.txt"))
#' r <- ineqbf_file(dir)
#' cat(gsub("\r", "", r$report))
#'
#' # An error, as a classed condition with the program's status and message
#' tryCatch(ineqbf_file(file.path(dir, "missing.txt")),
#'          ineqbf_error = function(e) c(status = e$status, message = conditionMessage(e)))
#' unlink(dir, recursive = TRUE)
#' @export
ineqbf_file <- function(path, seed = 12345L, progress = interactive()) {
  call <- match.call()
  if (!is.character(path) || length(path) != 1L || is.na(path))
    stop(ineqbf_condition(4L, "path must be one file or folder name", "", call))
  seed <- seed_of(seed, call)
  raw <- with_progress(progress, function(callback) .analyse_file(path.expand(path), seed, callback))
  stop_on_error(raw, call)
  result <- raw$result
  names <- paste0("theta", seq_along(raw$means))
  Sigma <- matrix(raw$covariance, length(raw$means), byrow = TRUE, dimnames = list(names, names))
  r <- new_ineqbf(list(result), joined_text(result), stats::setNames(raw$means, names), Sigma,
                  names, seed, NULL)
  r$report <- r$report[[1]]
  r$console <- r$console[[1]]
  warn_all(r$warnings, nrow(r$hypotheses), call)
  r
}

# ---- pieces ------------------------------------------------------------------------

ineqbf_condition <- function(status, message, console, call) {
  structure(class = c("ineqbf_error", "error", "condition"),
            list(message = message, call = call, status = as.integer(status), console = console))
}

stop_on_error <- function(raw, call) {
  if (isTRUE(raw$error)) stop(ineqbf_condition(raw$status, raw$message, raw$console, call))
}

hypotheses_of <- function(hypothesis, names, call) {
  npar <- length(names$names)
  usage <- function(message) usage_error(message, call)
  rows <- function(m) {
    m <- as.matrix(m)
    if (!is.numeric(m)) usage("constraint rows must be numeric")
    if (ncol(m) != npar + 1L)
      usage(sprintf("constraint rows need %d columns (%d coefficients, then the right-hand side), not %d",
                    npar + 1L, npar, ncol(m)))
    storage.mode(m) <- "double"
    list(text = "", rows = unname(m))
  }
  if (is.character(hypothesis)) {
    if (length(hypothesis) != 1L || is.na(hypothesis))
      usage("hypothesis must be one string; separate hypotheses by \";\"")
    parsed <- .parse(enc2utf8(hypothesis), names$names, names$aliases, names$alias_of)
    stop_on_error(parsed, call)
    return(lapply(parsed$hypotheses, function(h) {
      h$pieces <- written_pieces(h$text, nrow(h$rows))
      h
    }))
  }
  if (is.list(hypothesis) && !is.data.frame(hypothesis)) {
    if (!length(hypothesis)) usage("the list of hypotheses is empty")
    return(lapply(hypothesis, rows))
  }
  if (is.numeric(hypothesis) || is.data.frame(hypothesis)) return(list(rows(hypothesis)))
  usage("hypothesis must be a string, a matrix of constraint rows or a list of such matrices")
}

usage_error <- function(message, call) stop(ineqbf_condition(4L, message, "", call))

# One message however many values were given.
shown_value <- function(v) {
  if (length(v) == 1L && is.atomic(v)) format(v) else paste(deparse(v, width.cutoff = 60L)[1], collapse = "")
}

# The part of a hypothesis as written that each of its rows comes from: the
# text between "&"s, one piece for each comparison in it (a chain or a
# range gives several rows). Backquoted names may hold "&", "<" or ">".
# NULL when the pieces do not account for the rows.
written_pieces <- function(text, rows) {
  masked <- text
  spans <- gregexpr("`[^`]*`", text)[[1]]
  for (i in seq_along(spans)[spans > 0])
    substr(masked, spans[i], spans[i] + attr(spans, "match.length")[i] - 1L) <-
      strrep("x", attr(spans, "match.length")[i])
  cuts <- c(0L, as.integer(gregexpr("&", masked, fixed = TRUE)[[1]]), nchar(text) + 1L)
  cuts <- cuts[cuts >= 0L]
  starts <- utils::head(cuts, -1L) + 1L
  ends <- cuts[-1L] - 1L
  pieces <- trimws(substring(text, starts, ends))
  comparisons <- lengths(regmatches(substring(masked, starts, ends),
                                    gregexpr("[<>]", substring(masked, starts, ends))))
  if (sum(comparisons) != rows) return(NULL)
  rep(pieces, comparisons)
}

# The library's message for a number out of range; one message for a value
# that is not one whole number.
seed_of <- function(seed, call) {
  range <- .seed_range()
  between <- paste("between", range[1], "and", range[2])
  if (!is.numeric(seed) || length(seed) != 1L || is.na(seed) || seed != round(seed))
    usage_error(paste0("the seed must be one whole number ", between, ", not ", shown_value(seed)), call)
  if (seed < range[1] || seed > range[2])
    usage_error(paste0("the seed must be ", between, ", not ", format(seed, scientific = FALSE)), call)
  as.integer(seed)
}

method_of <- function(method, call) {
  if (identical(method, c("integration", "gibbs"))) return("integration")
  if (!is.character(method) || length(method) != 1L || !method %in% c("integration", "gibbs"))
    usage_error(paste("the method must be \"gibbs\" or \"integration\", not", shown_value(method)), call)
  method
}

precision_of <- function(precision, call) {
  if (!is.numeric(precision) || length(precision) != 1L || !is.finite(precision) || precision <= 0)
    usage_error(paste("the precision must be one positive number, not", shown_value(precision)), call)
  as.double(precision)
}

# The library checks the count and the values of the weights.
prior_of <- function(prior, call) {
  if (is.null(prior)) return(numeric(0))
  if (!is.numeric(prior) || !is.null(dim(prior)))
    usage_error("the prior model probabilities must be a numeric vector, one per hypothesis (and one for Hu)", call)
  as.double(prior)
}

# The warnings of the results, one row per warning of each hypothesis.
warning_table <- function(results) {
  labels <- paste0("H", seq_along(results))
  rows <- lapply(seq_along(results), function(h) {
    w <- results[[h]]$warnings
    data.frame(hypothesis = rep(labels[h], length(w$message)), w, stringsAsFactors = FALSE)
  })
  do.call(rbind, rows)
}

# Each message of the table signalled once as an "ineqbf_warning"
# condition; a message about some of several hypotheses names them.
warn_all <- function(table, hypotheses, call) {
  for (message in unique(table$message)) {
    who <- unique(table$hypothesis[table$message == message])
    text <- if (length(who) < hypotheses) paste0(paste(who, collapse = ", "), ": ", message) else message
    warning(structure(class = c("ineqbf_warning", "warning", "condition"),
                      list(message = text, call = call)))
  }
}

with_progress <- function(progress, run) {
  if (is.function(progress)) return(run(progress))
  if (!isTRUE(progress)) return(run(NULL))
  bar <- utils::txtProgressBar(min = 0, max = 1, style = 3)
  on.exit(close(bar))
  run(function(value) utils::setTxtProgressBar(bar, value))
}

joined_text <- function(result) {
  text <- result$constraints$text
  if (length(text)) paste(text, collapse = " & ") else "(no constraints)"
}

estimate_names <- c("value", "error", "lower", "upper")

comparison_of <- function(raw, n, prior) {
  labels <- paste0("H", seq_len(n))
  frame <- function(m, rows) {
    colnames(m) <- estimate_names
    data.frame(m, row.names = rows)
  }
  list(bf = array(raw$bayes_factors, c(n, n, 4L), list(labels, labels, estimate_names)),
       pmp = frame(raw$posterior, labels),
       pmp_u = frame(raw$posterior_with_unconstrained, c(labels, "Hu")),
       prior = prior_weights(prior, labels))
}

# The prior model probabilities as the library uses them: equal weights, or
# the caller's normalised, Hu weighing as the mean of the hypotheses' when
# it is not given.
prior_weights <- function(prior, labels) {
  n <- length(labels)
  w <- if (!length(prior)) rep(1, n + 1L) else if (length(prior) == n) c(prior, mean(prior)) else prior
  stats::setNames(w / sum(w), c(labels, "Hu"))
}

# R's names of the library's fields in the table of hypotheses, where they
# differ.
shown_names <- c(bf_ia = "BFia", bf_ic = "BFic", bf_ic_infinite = "BFic_infinite")

# A result's row of the table of hypotheses: every number and flag of the
# result, and every estimate as four columns (BFia, BFia_error, BFia_lower,
# BFia_upper); replicates, the rows, texts and the seed stay out.
hypothesis_row <- function(result) {
  scalar <- function(x) is.null(dim(x)) && length(x) >= 1L &&
    ((is.double(x) && (length(x) == 1L || !is.null(names(x)))) || (is.logical(x) && length(x) == 1L))
  shown <- result[vapply(result, scalar, TRUE) & !grepl("_replicates$", names(result))]
  columns <- lapply(names(shown), function(field) {
    x <- shown[[field]]
    name <- if (field %in% names(shown_names)) shown_names[[field]] else field
    if (is.null(names(x))) return(stats::setNames(list(x), name))
    stats::setNames(as.list(unname(x)), ifelse(names(x) == "value", name, paste(name, names(x), sep = "_")))
  })
  data.frame(do.call(c, columns))
}

new_ineqbf <- function(results, texts, estimates, Sigma, names, seed, comparison) {
  labels <- paste0("H", seq_along(results))
  hypotheses <- data.frame(text = texts, do.call(rbind, lapply(results, hypothesis_row)),
                           row.names = labels, stringsAsFactors = FALSE)
  constraints <- do.call(rbind, lapply(seq_along(results), function(h) {
    c <- results[[h]]$constraints
    data.frame(hypothesis = rep(labels[h], length(c$text)), constraint = seq_along(c$text),
               c, stringsAsFactors = FALSE)
  }))
  rownames(constraints) <- NULL
  rows <- lapply(results, function(r) {
    m <- r$rows
    dimnames(m) <- list(NULL, c(names, "rhs"))
    m
  })
  names(rows) <- labels
  # (one column per hypothesis; a shorter column is filled with NA)
  replicates <- function(field) {
    n <- max(vapply(results, function(r) length(r[[field]]), 0L))
    m <- vapply(results, function(r) c(r[[field]], rep(NA_real_, n - length(r[[field]]))), numeric(n))
    matrix(m, ncol = length(results), dimnames = list(NULL, labels))
  }
  dimnames(Sigma) <- list(names, names)
  structure(list(method = results[[1]]$method, warnings = warning_table(results),
    hypotheses = hypotheses, constraints = constraints, rows = rows, comparison = comparison,
    replicates = list(BFia = replicates("bf_ia_replicates"), BFic = replicates("bf_ic_replicates")),
    report = vapply(results, function(r) r$report, ""),
    console = vapply(results, function(r) r$console, ""),
    estimates = stats::setNames(unname(estimates), names), Sigma = Sigma, names = names,
    seed = seed, version = .version()), class = "ineqbf")
}
