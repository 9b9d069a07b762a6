library(testthat)
library(ineqbf)

test_check("ineqbf")
