# Makes the pinned draws and the reference diagnostics that the unit tests of
# the diagnostics compare against. Run once, from this folder:
#   Rscript make-reference.R
# Each <case>.tsv holds one column per chain; reference.tsv holds R-hat, bulk
# and tail ESS of every case as computed by the posterior package.
suppressPackageStartupMessages(library(posterior))
set.seed(20240611)

ar1 <- function(n, phi, mu = 0, innov = rnorm) {
  x <- numeric(n)
  x[1] <- mu + innov(1)
  for (i in 2:n) x[i] <- mu + phi * (x[i - 1] - mu) + innov(1)
  x
}

cases <- list(
  mixed = sapply(1:4, function(k) ar1(300, 0.5)),
  shifted_means = sapply(c(0, 0.5, 1.5), function(m) ar1(250, 0.3, mu = m)),
  constant_chain = cbind(rep(0.5, 200), ar1(200, 0.2, mu = 0.5), ar1(200, 0.2, mu = 0.5)),
  heavy_tail = sapply(1:4, function(k) ar1(301, 0.2, innov = function(n) rt(n, df = 1))),
  antithetic = sapply(1:2, function(k) ar1(120, -0.7)),
  sticky = sapply(1:3, function(k) ar1(200, 0.97)),
  single_chain = matrix(ar1(300, 0.6), ncol = 1),
  ties = sapply(1:3, function(k) round(ar1(150, 0.4) * 2) / 2)
)

fmt <- function(x) trimws(formatC(x, digits = 17, format = "g"))
ref <- data.frame(case = character(), rhat = character(), ess_bulk = character(),
                  ess_tail = character())
for (name in names(cases)) {
  x <- cases[[name]]
  m <- apply(x, 2, fmt)
  if (is.null(dim(m))) m <- matrix(m, ncol = 1)
  writeLines(apply(m, 1, paste, collapse = "\t"), paste0(name, ".tsv"))
  # Read back what was written, so the figures belong to exactly those draws.
  x <- as.matrix(read.table(paste0(name, ".tsv")))
  ref[nrow(ref) + 1, ] <- c(name, fmt(rhat(x)), fmt(ess_bulk(x)), fmt(ess_tail(x)))
}
write.table(ref, "reference.tsv", sep = "\t", quote = FALSE, row.names = FALSE)
