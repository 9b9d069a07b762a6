#' Plot Bayes factor results
#'
#' In base graphics. For one hypothesis, two panels: the fit and the
#' complexity of each constraint side by side (with their MC errors as
#' bars where they are known), and the distribution of the BFia replicates
#' with the estimate (solid line) and its 2.5 / 97.5 percentile interval
#' (dashed lines); where there are no replicates, the estimate with its
#' interval. For several hypotheses from [ineqbf()], the posterior model
#' probabilities over the hypotheses alone and with the unconstrained
#' hypothesis Hu, each with its interval.
#'
#' @param x An object of class `ineqbf`.
#' @param hypothesis `NULL` (a comparison when there are several
#'   hypotheses, else the one hypothesis), or the label (`"H2"`) or number of
#'   one hypothesis to plot.
#' @param ... Passed to the plotting functions of each panel (`col`, ...).
#' @return `x`, invisibly.
#' @examples
#' r <- ineqbf(c(a = 0.5, b = 0.2), "a > b > 0; a > 0", Sigma = diag(c(0.04, 0.09)),
#'             method = "gibbs")
#' plot(r)
#' plot(r, hypothesis = "H1")
#' @export
plot.ineqbf <- function(x, hypothesis = NULL, ...) {
  labels <- rownames(x$hypotheses)
  if (is.null(hypothesis) && length(labels) > 1L && !is.null(x$comparison)) {
    plot_comparison(x, ...)
    return(invisible(x))
  }
  h <- if (is.null(hypothesis)) 1L else if (is.character(hypothesis)) match(hypothesis, labels) else hypothesis
  if (length(h) != 1L || is.na(h) || h < 1L || h > length(labels))
    stop(sprintf("hypothesis must be one of %s or a number from 1 to %d",
                 paste(labels, collapse = ", "), length(labels)), call. = FALSE)
  old <- graphics::par(mfrow = c(1L, 2L))
  on.exit(graphics::par(old))
  plot_constraints(x, labels[h], ...)
  plot_replicates(x, h, ...)
  invisible(x)
}

# Error bars from lower to upper at positions at (vertical unless across).
interval_bars <- function(at, lower, upper, across = FALSE) {
  ok <- is.finite(lower) & is.finite(upper) & upper > lower
  if (!any(ok)) return(invisible())
  if (across) graphics::arrows(lower[ok], at[ok], upper[ok], at[ok], angle = 90, code = 3, length = 0.04)
  else graphics::arrows(at[ok], lower[ok], at[ok], upper[ok], angle = 90, code = 3, length = 0.04)
}

plot_constraints <- function(x, label, ...) {
  k <- x$constraints[x$constraints$hypothesis == label, ]
  values <- rbind(fit = k$fit, complexity = k$complexity)
  errors <- rbind(k$fit_error, k$complexity_error)
  colnames(values) <- k$constraint
  # (the legend in a band above 1, clear of the bars)
  at <- graphics::barplot(values, beside = TRUE, ylim = c(0, 1.2), yaxt = "n",
                          legend.text = c("fit", "complexity"),
                          args.legend = list(x = "top", horiz = TRUE, bty = "n"), xlab = "constraint",
                          ylab = "probability", main = paste(label, "fit and complexity"), ...)
  graphics::axis(2, at = seq(0, 1, 0.2))
  interval_bars(at, values - 2 * errors, values + 2 * errors)
}

plot_replicates <- function(x, h, ...) {
  b <- x$hypotheses[h, ]
  reps <- if (length(x$replicates$BFia)) x$replicates$BFia[, h] else numeric(0)
  reps <- reps[is.finite(reps)]
  main <- paste(rownames(b), "BFia")
  if (length(unique(reps)) > 1L) {
    graphics::hist(reps, breaks = 30, main = main, xlab = "BFia replicates",
                   xlim = range(reps, b$BFia_lower, b$BFia_upper, finite = TRUE), ...)
  } else {
    span <- range(b$BFia, b$BFia_lower, b$BFia_upper, finite = TRUE)
    graphics::plot(b$BFia, 1, xlim = span + c(-0.05, 0.05) * max(diff(span), 1e-12), yaxt = "n",
                   ylab = "", xlab = "BFia", main = main, pch = 19, ...)
    interval_bars(1, b$BFia_lower, b$BFia_upper, across = TRUE)
  }
  graphics::abline(v = b$BFia, lwd = 2)
  graphics::abline(v = c(b$BFia_lower, b$BFia_upper), lty = 2)
}

plot_comparison <- function(x, ...) {
  old <- graphics::par(mfrow = c(1L, 2L))
  on.exit(graphics::par(old))
  dots <- function(p, main) {
    at <- rev(seq_len(nrow(p)))
    graphics::plot(p$value, at, xlim = c(0, 1), ylim = c(0.5, nrow(p) + 0.5), yaxt = "n", pch = 19,
                   xlab = "posterior model probability", ylab = "", main = main, ...)
    graphics::axis(2, at = at, labels = rownames(p), las = 1)
    interval_bars(at, p$lower, p$upper, across = TRUE)
  }
  dots(x$comparison$pmp, "PMP")
  dots(x$comparison$pmp_u, "PMP with Hu")
}
