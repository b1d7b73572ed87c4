// How much of a long mixing run the draws file and the per-chain traces keep.
// Every draw serves the summary and the verdict; the files only show them, and
// a million iterations of four chains written whole would take hundreds of
// megabytes.
#pragma once

// The size the draws file and the traces of a run are kept to by default.
inline constexpr double thinnedBytes = 16e6;

// The smallest thin N (at least 1) under which the draws file, keeping every
// N-th of a chain's `sampled` sampling iterations, and the traces, keeping
// every N-th of their rows (one every fileInterval of `total` iterations, and
// the last), hold about thinnedBytes at most for `chains` chains.
long automaticThin(long total, long sampled, int chains, int fileInterval);
