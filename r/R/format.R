# Numbers as the tables show them. A value and its interval are written in
# one notation: scientific where any of them, not zero, lies below 1e-3 or
# from 1e5 up, so that a tiny estimate does not read as 0.000 beside an
# interval of 1e-07; fixed otherwise, with `digits` significant digits. MC
# errors get two significant digits. Inf and NaN are written as such; the
# tables add a note saying why (nonfinite_notes).

scientific_range <- function(v) {
  v <- abs(v[is.finite(v) & v != 0])
  any(v < 1e-3 | v >= 1e5)
}

# One value in the given notation; decimals: digits - 1 decimals (for
# logarithms).
number_text <- function(x, digits, scientific, decimals = FALSE) {
  if (!is.finite(x)) return(format(x))
  if (decimals) return(sprintf("%.*f", max(digits - 1L, 0L), x))
  if (scientific) return(sprintf("%.*e", max(digits - 1L, 0L), x))
  sub("\\.$", "", sprintf("%#.*g", digits, x))
}

error_text <- function(x) {
  if (!is.finite(x)) return(format(x))
  if (x != 0 && (abs(x) < 1e-3 || abs(x) >= 1e5)) return(sprintf("%.1e", x))
  trimws(formatC(signif(x, 2), digits = 2, format = "fg"))
}

# "value (error) [lower, upper]" per element; an error NA (not NaN) leaves
# it out.
# log10: the values are logarithms, written with digits - 1 decimals.
with_interval <- function(value, error, lower, upper, digits = 4L, log10 = FALSE) {
  vapply(seq_along(value), function(i) {
    sci <- !log10 && scientific_range(c(value[i], lower[i], upper[i]))
    shown <- function(v) number_text(v, digits, sci, decimals = log10)
    paste0(shown(value[i]), if (!is.na(error[i]) || is.nan(error[i])) paste0(" (", error_text(error[i]), ")"),
           " [", shown(lower[i]), ", ", shown(upper[i]), "]")
  }, "")
}

# Fits and complexities: digits - 1 decimals, as the report's three by
# default; a value that would read as 0.000 but is not 0 in scientific
# notation.
probability_text <- function(x, digits = 4L) {
  vapply(x, function(v) {
    if (is.finite(v) && v != 0 && abs(v) < 10^-(digits - 1L)) sprintf("%.1e", v)
    else formatC(v, digits = max(digits - 1L, 0L), format = "f")
  }, "")
}

# Why a Bayes factor or a probability of the tables is not a finite number.
nonfinite_notes <- function(x) {
  h <- x$hypotheses
  labels <- rownames(h)
  notes <- character(0)
  for (i in seq_len(nrow(h))) {
    if (is.nan(h$BFia[i]))
      notes <- c(notes, sprintf("%s: BFia is NaN: fit and complexity are both 0 (0/0)", labels[i]))
    else if (is.infinite(h$BFia[i]))
      notes <- c(notes, sprintf("%s: BFia is Inf: its total complexity is 0, no prior draw met the constraints",
                                labels[i]))
    if (!h$BFic_infinite[i] && !is.finite(h$BFic[i]))
      notes <- c(notes, sprintf("%s: BFic is %s: its total fit or complexity is 0 or 1, so one odds is 0/0 or x/0",
                                labels[i], format(h$BFic[i])))
  }
  if (any(h$BFic_infinite))
    notes <- c(notes, "BFic infinite: the total fit is 1, the complement has no support (the report says \"infinit\")")
  bf <- x$comparison$bf
  if (!is.null(bf) && nrow(h) > 1L && any(!is.finite(bf[, , "value"]))) {
    zero <- labels[h$BFia == 0]
    if (length(zero))
      notes <- c(notes, sprintf(paste0("Bayes factors against %s are Inf (NaN against one another): ",
                                       "BFia is 0 there, no posterior draw met the constraints"),
                                paste(zero, collapse = ", ")))
    odd <- labels[!is.finite(h$BFia)]
    if (length(odd))
      notes <- c(notes, sprintf("Bayes factors of %s are not finite: BFia is not finite there (see above)",
                                paste(odd, collapse = ", ")))
  }
  if (!is.null(x$comparison) && anyNA(x$comparison$pmp$value))
    notes <- c(notes, "PMPs are NaN: every hypothesis has BFia 0 or some BFia is not finite")
  notes
}
