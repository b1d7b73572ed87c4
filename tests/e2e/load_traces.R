# Loads the per-chain traces of a finished run as a user would, with
# read.table and coda, and fails (non-zero exit) on anything unexpected.
# usage: Rscript load_traces.R CONTROL_PATH CHAINS BURN_IN
suppressPackageStartupMessages(library(coda))
args <- commandArgs(trailingOnly = TRUE)
control <- args[1]
chains <- as.integer(args[2])
burn_in <- as.integer(args[3])
traces <- lapply(seq_len(chains), function(k) {
  t <- read.table(paste0(control, ".chain", k, ".tsv"), header = TRUE, sep = "\t")
  # Every column is a number but the last, the run's identity on every row.
  stopifnot(names(t)[1] == "state", names(t)[ncol(t)] == "run", length(unique(t$run)) == 1,
            all(sapply(t[-ncol(t)], is.numeric)), nrow(t) > 2,
            all(diff(t$state) > 0), t$state[1] == 0, any(t$state < burn_in),
            all(c("log_posterior", "location", "age") %in% names(t)))
  t
})
sampled <- mcmc.list(lapply(traces, function(t) {
  kept <- t[t$state >= burn_in, ]
  mcmc(kept[, c("log_posterior", "location", "age")], start = kept$state[1],
       thin = kept$state[2] - kept$state[1])
}))
stopifnot(nchain(sampled) == chains, all(is.finite(effectiveSize(sampled))))
if (chains > 1) stopifnot(all(is.finite(gelman.diag(sampled, autoburnin = FALSE)$psrf)))
cat("loaded", chains, "traces\n")
