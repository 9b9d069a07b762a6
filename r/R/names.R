#' Parameter names as hypotheses refer to them
#'
#' The names that [ineqbf()] gives the parameters, so that a hypothesis can
#' name each of them bare. The rules, applied in this order:
#' 1. an empty or missing name at position i becomes `theta<i>`;
#' 2. `(Intercept)` becomes `Intercept`;
#' 3. every ASCII character other than the letters `A-Z`, `a-z`, the digits
#'    `0-9`, `_` and `.` becomes `_` (characters beyond ASCII are kept: the
#'    hypothesis syntax takes them as letters);
#' 4. a name that then starts with a digit, or with `.` and a digit, gets `X`
#'    in front;
#' 5. a name changed by rules 2 to 4 that equals a name unchanged by them,
#'    or an earlier changed one, gets `_2` appended, or `_3`, ... (the first
#'    free suffix), in the order of the parameters.
#'
#' A name that rules 2 to 5 changed can still be written as it was, between
#' backquotes (`` `(Intercept)` ``, `` `factor(g)b` ``), unless it holds a
#' backquote itself.
#'
#' @param names Parameter names as R gives them, e.g. `names(coef(fit))`.
#' @return The names, in the same order, as a hypothesis refers to them.
#' @examples
#' ineqbf_names(c("(Intercept)", "factor(g)b", "x:z", "2x", "wt"))
#' # lavaan's names, and a clash with a name already taken
#' ineqbf_names(c("dem65~dem60", "visual=~x2", ".p2.", "x_z", "x:z"))
#' @export
ineqbf_names <- function(names) map_names(names)$names

# The names as they are written in a hypothesis (see the help page) and the
# original spellings that may be used between backquotes (aliases).
map_names <- function(original, n = length(original)) {
  original <- if (is.null(original)) rep("", n) else enc2utf8(as.character(original))
  original[is.na(original)] <- ""
  mapped <- original
  empty <- !nzchar(mapped)
  mapped[empty] <- paste0("theta", which(empty))
  mapped[mapped == "(Intercept)"] <- "Intercept"
  # (every ASCII character but letters, digits, "_" and "."; other characters
  # are letters to the hypothesis syntax)
  mapped <- gsub("(?![A-Za-z0-9_.])[\\x00-\\x7F]", "_", mapped, perl = TRUE)
  digit <- grepl("^\\.?[0-9]", mapped)
  mapped[digit] <- paste0("X", mapped[digit])
  changed <- mapped != original & !empty
  taken <- mapped[!changed]
  for (i in which(changed)) {
    candidate <- mapped[i]
    k <- 1L
    while (candidate %in% taken) {
      k <- k + 1L
      candidate <- paste0(mapped[i], "_", k)
    }
    mapped[i] <- candidate
    taken <- c(taken, candidate)
  }
  alias <- which(changed & !grepl("`", original, fixed = TRUE))
  list(names = mapped, aliases = original[alias], alias_of = alias)
}

