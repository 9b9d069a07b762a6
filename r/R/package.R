#' ineqbf: Bayes factors for hypotheses of linear inequality constraints
#'
#' From estimates of model parameters and their covariance matrix (or a
#' fitted model), [ineqbf()] computes Bayes factors for hypotheses such as
#' `"b1 > b2 > b3"`, with Monte Carlo errors and percentile intervals, by the
#' engine of the `ineqbf` program; [ineqbf_file()] analyses an `Input.txt`
#' file as the program does.
#'
#' @keywords internal
#' @name ineqbf-package
#' @aliases ineqbf-package
#' @docType package
#' @useDynLib ineqbf, .registration = TRUE
#' @importFrom Rcpp sourceCpp
NULL
