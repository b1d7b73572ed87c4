# The report's posterior densities, checked on draws of known distributions:
# the pooled density is the mixture of the chains' densities (not a density
# of all draws at once, which blurs chains that sit apart), its highest-
# density region keeps the gap between two modes out and holds the level's
# share of the true mass, and draws piled against a bound keep their density
# up to the bound. Fails (non-zero exit) on the first miss.
# usage: Rscript report_densities.R PATH_OF_THE_BUILT_mutloc-report
source(commandArgs(trailingOnly = TRUE)[1])
set.seed(11)
n <- 20000
close_to <- function(x, target, tolerance) all(abs(x - target) <= tolerance)

# Two chains stuck at different places: N(1, 0.1) and N(3, 0.1).
values <- c(rnorm(n, 1, 0.1), rnorm(n, 3, 0.1))
chain <- rep(1:2, each = n)
d <- posterior_densities(values, chain)
dx <- d$x[2] - d$x[1]
stopifnot(close_to(sum(d$pooled) * dx, 1, 0.01),
          close_to(colSums(d$chains) * dx, 1, 0.01))
# At each mode the mixture is half that chain's peak, 0.5 * dnorm(0, 0, 0.1)
# (a density of the pooled draws, with their bandwidth, would be a third
# lower).
peak <- 0.5 * dnorm(0, 0, 0.1)
stopifnot(close_to(approx(d$x, d$pooled, c(1, 3))$y, peak, 0.05 * peak))

region <- hpd_region(d$x, d$pooled, 0.95)
stopifnot(nrow(region) == 2,
          close_to(region$low, c(1, 3) - qnorm(0.975) * 0.1, 0.03),
          close_to(region$high, c(1, 3) + qnorm(0.975) * 0.1, 0.03),
          !any(region$low <= 2 & region$high >= 2))
held <- sum(pnorm(region$high, c(1, 3), 0.1) - pnorm(region$low, c(1, 3), 0.1)) / 2
stopifnot(close_to(held, 0.95, 0.01))

# A skewed posterior: the region is one piece holding 95% of a gamma's mass
# and is shorter than the central interval.
values <- rgamma(2 * n, shape = 3, rate = 1)
d <- posterior_densities(values, chain, 0, Inf)
region <- hpd_region(d$x, d$pooled, 0.95)
stopifnot(nrow(region) == 1,
          close_to(pgamma(region$high, 3) - pgamma(region$low, 3), 0.95, 0.01),
          region$high - region$low < qgamma(0.975, 3) - qgamma(0.025, 3))

# Uniform draws on [0, 1]: with the bounds given, the density stays near 1 up
# to both ends (without reflection it halves there) and is not drawn outside.
values <- runif(2 * n)
d <- posterior_densities(values, chain, 0, 1)
stopifnot(min(d$x) >= 0, max(d$x) <= 1,
          close_to(d$pooled[c(1, length(d$x))], 1, 0.1),
          close_to(sum(d$pooled) * (d$x[2] - d$x[1]), 1, 0.01))

# A parameter the run held fixed has no density.
stopifnot(is.null(posterior_densities(rep(50, 2 * n), chain)))
cat("densities checked\n")
