# Bayes factors as a table shows them: as they are or as base-10 logarithms
# (the MC error then that of the replicates' logarithms).
bayes_factor_columns <- function(x, log10) {
  h <- x$hypotheses
  if (!log10) return(h)
  for (bf in c("BFia", "BFic")) {
    for (part in c("", "_lower", "_upper")) h[[paste0(bf, part)]] <- base::log10(h[[paste0(bf, part)]])
    reps <- x$replicates[[bf]]
    h[[paste0(bf, "_error")]] <- if (length(reps) && nrow(reps) > 1L)
      apply(base::log10(reps), 2, function(v) stats::sd(v[is.finite(v)])) else NA_real_
  }
  h
}

#' Print, summarise and convert Bayes factor results
#'
#' `print()` shows one line per hypothesis: its fit and complexity (the
#' totals over its constraints), BFia and BFic, each with its MC error in
#' parentheses and its 2.5 / 97.5 percentile interval in brackets; with
#' several hypotheses also the Bayes factors between them and their
#' posterior model probabilities, over the hypotheses alone (PMP) and with
#' the unconstrained hypothesis Hu added (PMPu). A value and its interval
#' switch to scientific notation together when one of them is below 1e-3 or
#' from 1e5 up; `Inf` and `NaN` come with a note saying why. `summary()`
#' adds every constraint: the hypothesis as written beside the row it gave,
#' its fit and complexity with the hits and iterations (Gibbs) or the MC
#' error (integration) they come from. `as.data.frame()` gives the table of
#' hypotheses and, for a comparison, their PMPs; `coef()` the Bayes factors.
#'
#' @param x,object An object of class `ineqbf`, from [ineqbf()] or
#'   [ineqbf_file()].
#' @param digits Significant digits of Bayes factors and probabilities; fits
#'   and complexities get `digits - 1` decimals.
#' @param log10 `TRUE` to show (`print()`) or return (`coef()`,
#'   `as.data.frame()`) the Bayes factors as their base-10 logarithms, and
#'   their intervals likewise.
#' @param ... Not used.
#' @return `print()` returns `x` invisibly; `summary()` an object of class
#'   `summary.ineqbf` (a list with `hypotheses`, `constraints` and
#'   `written`); `as.data.frame()` a data frame with one row per hypothesis
#'   (the `hypotheses` element); for a comparison from [ineqbf()] also the
#'   columns `PMP`, `PMP_error`, `PMP_lower`, `PMP_upper` and `PMPu`,
#'   `PMPu_error`, `PMPu_lower`, `PMPu_upper`, and a last row `Hu` (the
#'   unconstrained hypothesis) with only its `PMPu` columns set; with `log10
#'   = TRUE` the columns `BFia`, `BFia_lower`, `BFia_upper`, `BFic`,
#'   `BFic_lower`, `BFic_upper` hold base-10 logarithms and the MC errors
#'   those of the replicates' logarithms. `coef()` a matrix with one row per
#'   hypothesis and the columns `BFia` and `BFic` (`Inf` where the report
#'   shows BFic as `infinit`).
#' @examples
#' r <- ineqbf(c(a = 0.5, b = 0.2, c = 0.1), "a > b > c; a > b & a > c",
#'             Sigma = diag(c(0.04, 0.09, 0.05)), method = "gibbs")
#' r
#' print(r, digits = 3, log10 = TRUE)
#' summary(r)
#' as.data.frame(r)
#' coef(r)
#' @name ineqbf-methods
NULL

#' @rdname ineqbf-methods
#' @export
print.ineqbf <- function(x, digits = 4L, log10 = FALSE, ...) {
  h <- bayes_factor_columns(x, log10)
  n <- nrow(h)
  how <- if (identical(x$method, "integration")) sprintf("integration to a relative MC error of %s", format(x$precision))
         else "Gibbs"
  cat(sprintf("Bayes factors of %d hypothes%s on %d parameters (%s; seed %d)\n\n",
              n, if (n == 1L) "is" else "es", length(x$names), how, x$seed))
  cat(paste0(rownames(h), ": ", h$text, "\n"), "\n", sep = "")
  name <- function(bf) sprintf("%s%s (error) [2.5%%, 97.5%%]", if (log10) "log10 " else "", bf)
  bfic <- with_interval(h$BFic, h$BFic_error, h$BFic_lower, h$BFic_upper, digits, log10)
  bfic[h$BFic_infinite] <- "infinite (total fit 1)"
  table <- data.frame(
    fit = probability_text(h$total_fit, digits), complexity = probability_text(h$total_complexity, digits),
    a = with_interval(h$BFia, h$BFia_error, h$BFia_lower, h$BFia_upper, digits, log10), c = bfic,
    row.names = rownames(h), stringsAsFactors = FALSE)
  names(table)[3:4] <- c(name("BFia"), name("BFic"))
  print(table)
  if (n > 1L && !is.null(x$comparison)) print_comparison(x, digits, log10)
  notes <- nonfinite_notes(x)
  if (length(notes)) cat("\n", paste0("Note: ", notes, "\n"), sep = "")
  if (nrow(x$warnings))
    cat(sprintf("\n%d warning%s (see $warnings)\n", nrow(x$warnings), if (nrow(x$warnings) == 1L) "" else "s"))
  invisible(x)
}

print_comparison <- function(x, digits, log10) {
  bf <- x$comparison$bf[, , "value"]
  if (log10) bf <- base::log10(bf)
  cat(sprintf("\n%sBayes factors between hypotheses (row against column)\n", if (log10) "log10 " else ""))
  shown <- matrix(vapply(bf, number_text, "", digits = digits, scientific = !log10 && scientific_range(bf),
                         decimals = log10),
                  nrow(bf), dimnames = dimnames(bf))
  print(noquote(shown), right = TRUE)
  p <- x$comparison$pmp
  pu <- x$comparison$pmp_u
  prior <- x$comparison$prior
  odds <- if (length(unique(signif(prior, 12))) == 1L) "equal prior odds" else
    paste("prior", paste(names(prior), signif(prior, 3), collapse = ", "))
  cat(sprintf("\nPosterior model probabilities (%s; Hu: unconstrained)\n", odds))
  pmp <- data.frame(
    "PMP (error) [2.5%, 97.5%]" = c(with_interval(p$value, p$error, p$lower, p$upper, digits), ""),
    "PMPu (error) [2.5%, 97.5%]" = with_interval(pu$value, pu$error, pu$lower, pu$upper, digits),
    row.names = rownames(pu), check.names = FALSE)
  print(pmp)
}

#' @rdname ineqbf-methods
#' @export
summary.ineqbf <- function(object, ...) {
  structure(list(hypotheses = object$hypotheses, constraints = object$constraints,
                 written = object$written, method = object$method, seed = object$seed),
            class = "summary.ineqbf")
}

#' @rdname ineqbf-methods
#' @export
print.summary.ineqbf <- function(x, digits = 4L, ...) {
  gibbs <- !identical(x$method, "integration")
  for (i in seq_len(nrow(x$hypotheses))) {
    label <- rownames(x$hypotheses)[i]
    h <- x$hypotheses[i, ]
    cat(sprintf("%s: %s\n", label, h$text))
    k <- x$constraints[x$constraints$hypothesis == label, ]
    if (nrow(k)) print_constraints(k, x$written[[i]], gibbs, digits)
    cat(sprintf("  total fit %s, total complexity %s\n", probability_text(h$total_fit, digits),
                probability_text(h$total_complexity, digits)))
    cat(sprintf("  BFia %s\n", with_interval(h$BFia, h$BFia_error, h$BFia_lower, h$BFia_upper, digits)))
    cat(sprintf("  BFic %s\n\n", if (h$BFic_infinite) "infinite (total fit 1)" else
      with_interval(h$BFic, h$BFic_error, h$BFic_lower, h$BFic_upper, digits)))
  }
  cat(sprintf("(fit and complexity: %s; Bayes factors: estimate (MC error) [2.5%%, 97.5%%]; seed %d)\n",
              if (gibbs) "estimate (hits/iterations)" else "estimate (MC error)", x$seed))
  invisible(x)
}

# The constraints of one hypothesis: the part of the hypothesis as written
# (once for the rows of a chain), the row it gave, fit and complexity.
print_constraints <- function(k, written, gibbs, digits) {
  detail <- function(value, hits, iterations, error) {
    if (gibbs) sprintf("%s (%d/%d)", probability_text(value, digits), hits, iterations)
    else sprintf("%s (%s)", probability_text(value, digits), vapply(error, error_text, ""))
  }
  table <- data.frame(row = k$text, stringsAsFactors = FALSE)
  if (!is.null(written)) {
    written[duplicated(written) & c(FALSE, written[-1L] == written[-length(written)])] <- ""
    table <- data.frame("as written" = written, row = k$text, check.names = FALSE, stringsAsFactors = FALSE)
  }
  table$fit <- detail(k$fit, k$fit_hits, k$fit_iterations, k$fit_error)
  table$complexity <- detail(k$complexity, k$complexity_hits, k$complexity_iterations, k$complexity_error)
  rownames(table) <- paste0("  ", k$constraint)
  print(table, right = FALSE)
}

#' @rdname ineqbf-methods
#' @param row.names,optional Not used (the rows are named after the
#'   hypotheses, `H1`, `H2`, ..., and `Hu`).
#' @export
as.data.frame.ineqbf <- function(x, row.names = NULL, optional = FALSE, ..., log10 = FALSE) {
  h <- bayes_factor_columns(x, log10)
  if (is.null(x$comparison)) return(h)
  p <- x$comparison$pmp
  pu <- x$comparison$pmp_u
  labels <- rownames(pu)
  hu <- h[1L, ]
  hu[1L, ] <- NA
  hu$text <- "unconstrained"
  out <- rbind(h, hu)
  rownames(out) <- labels
  suffix <- c("", "_error", "_lower", "_upper")
  for (q in seq_along(suffix)) out[[paste0("PMP", suffix[q])]] <- c(p[[q]], NA)
  for (q in seq_along(suffix)) out[[paste0("PMPu", suffix[q])]] <- pu[[q]]
  out
}

#' @rdname ineqbf-methods
#' @export
coef.ineqbf <- function(object, log10 = FALSE, ...) {
  h <- object$hypotheses
  bf <- cbind(BFia = stats::setNames(h$BFia, rownames(h)),
              BFic = ifelse(h$BFic_infinite, Inf, h$BFic))
  if (log10) base::log10(bf) else bf
}
