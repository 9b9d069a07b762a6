# Numbers as the tables show them: fits, complexities and totals with three
# decimals as in the report; Bayes factors and probabilities with four
# significant digits, their MC errors with two.
fixed3 <- function(x) formatC(x, digits = 3, format = "f")
num <- function(x) sub("\\.$", "", sprintf("%#.4g", x))
error_text <- function(x) trimws(formatC(signif(x, 2), digits = 2, format = "fg"))
with_interval <- function(value, error, lower, upper) {
  sprintf("%s (%s) [%s, %s]", num(value), error_text(error), num(lower), num(upper))
}

#' Print, summarise and convert Bayes factor results
#'
#' `print()` shows one line per hypothesis: its fit and complexity (the
#' totals over its constraints), BFia and BFic, each with its MC error in
#' parentheses and its 2.5 / 97.5 percentile interval in brackets; with
#' several hypotheses also their posterior model probabilities, over the
#' hypotheses alone (PMP) and with the unconstrained hypothesis Hu added
#' (PMPu). `summary()` adds every constraint: its fit and complexity with the
#' hits and iterations they come from. `as.data.frame()` gives the table of
#' hypotheses (the `hypotheses` element) and `coef()` the Bayes factors.
#'
#' @param x,object An object of class `ineqbf`, from [ineqbf()] or
#'   [ineqbf_file()].
#' @param ... Not used.
#' @return `print()` returns `x` invisibly; `summary()` an object of class
#'   `summary.ineqbf` (a list with `hypotheses` and `constraints`);
#'   `as.data.frame()` a data frame with one row per hypothesis; `coef()` a
#'   matrix with one row per hypothesis and the columns `BFia` and `BFic`
#'   (`Inf` where the report shows BFic as `infinit`).
#' @examples
#' r <- ineqbf(c(a = 0.5, b = 0.2, c = 0.1), "a > b > c; a > b & a > c",
#'             Sigma = diag(c(0.04, 0.09, 0.05)))
#' r
#' summary(r)
#' as.data.frame(r)
#' coef(r)
#' @name ineqbf-methods
NULL

#' @rdname ineqbf-methods
#' @export
print.ineqbf <- function(x, ...) {
  h <- x$hypotheses
  n <- nrow(h)
  cat(sprintf("Bayes factors of %d hypothes%s on %d parameters (seed %d)\n\n",
              n, if (n == 1L) "is" else "es", length(x$names), x$seed))
  cat(paste0(rownames(h), ": ", h$text, "\n"), "\n", sep = "")
  bfic <- with_interval(h$BFic, h$BFic_error, h$BFic_lower, h$BFic_upper)
  bfic[h$BFic_infinite] <- "infinite (total fit 1)"
  table <- data.frame(
    fit = fixed3(h$total_fit), complexity = fixed3(h$total_complexity),
    "BFia (error) [2.5%, 97.5%]" = with_interval(h$BFia, h$BFia_error, h$BFia_lower, h$BFia_upper),
    "BFic (error) [2.5%, 97.5%]" = bfic,
    row.names = rownames(h), check.names = FALSE, stringsAsFactors = FALSE)
  print(table)
  if (n > 1L && !is.null(x$comparison)) {
    p <- x$comparison$pmp
    pu <- x$comparison$pmp_u
    cat("\nPosterior model probabilities (equal prior odds; Hu: unconstrained)\n")
    pmp <- data.frame(
      "PMP (error) [2.5%, 97.5%]" = c(with_interval(p$value, p$error, p$lower, p$upper), ""),
      "PMPu (error) [2.5%, 97.5%]" = with_interval(pu$value, pu$error, pu$lower, pu$upper),
      row.names = rownames(pu), check.names = FALSE)
    print(pmp)
  }
  invisible(x)
}

#' @rdname ineqbf-methods
#' @export
summary.ineqbf <- function(object, ...) {
  structure(list(hypotheses = object$hypotheses, constraints = object$constraints,
                 seed = object$seed), class = "summary.ineqbf")
}

#' @rdname ineqbf-methods
#' @export
print.summary.ineqbf <- function(x, ...) {
  for (label in rownames(x$hypotheses)) {
    h <- x$hypotheses[label, ]
    cat(sprintf("%s: %s\n", label, h$text))
    k <- x$constraints[x$constraints$hypothesis == label, ]
    if (nrow(k)) {
      table <- data.frame(
        constraint = k$text,
        fit = sprintf("%s (%d/%d)", fixed3(k$fit), k$fit_hits, k$fit_iterations),
        complexity = sprintf("%s (%d/%d)", fixed3(k$complexity), k$complexity_hits,
                             k$complexity_iterations),
        row.names = paste0("  ", k$constraint), check.names = FALSE)
      print(table, right = FALSE)
    }
    cat(sprintf("  total fit %s, total complexity %s\n", fixed3(h$total_fit), fixed3(h$total_complexity)))
    cat(sprintf("  BFia %s\n", with_interval(h$BFia, h$BFia_error, h$BFia_lower, h$BFia_upper)))
    cat(sprintf("  BFic %s\n\n", if (h$BFic_infinite) "infinite (total fit 1)" else
      with_interval(h$BFic, h$BFic_error, h$BFic_lower, h$BFic_upper)))
  }
  cat(sprintf("(fit and complexity: estimate (hits/iterations); Bayes factors: estimate (MC error) [2.5%%, 97.5%%]; seed %d)\n",
              x$seed))
  invisible(x)
}

#' @rdname ineqbf-methods
#' @param row.names,optional Not used (the rows are named after the
#'   hypotheses, `H1`, `H2`, ...).
#' @export
as.data.frame.ineqbf <- function(x, row.names = NULL, optional = FALSE, ...) {
  x$hypotheses
}

#' @rdname ineqbf-methods
#' @export
coef.ineqbf <- function(object, ...) {
  h <- object$hypotheses
  cbind(BFia = stats::setNames(h$BFia, rownames(h)),
        BFic = ifelse(h$BFic_infinite, Inf, h$BFic))
}
