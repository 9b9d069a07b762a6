#' @keywords internal
#' @useDynLib ineqbf, .registration = TRUE
#' @importFrom Rcpp sourceCpp
"_PACKAGE"
