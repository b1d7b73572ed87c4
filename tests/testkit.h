// In-memory builders shared by the unit tests: settings of a small run, tree
// matrices written out row by row, temporary directories, text helpers and a
// runner for the built binary.
#pragma once

#include <string>
#include <vector>

#include "chain.h"
#include "mutloc.h"

// Resets pset and the layout to a small run of n chromosomes, L loci and the
// given number of chains, haplotype data (TMAT 7, TOTLOCI L), and makes that
// many fresh chain records.
void setSmallRun(int n, int loci, int chains = 1);

// A tree matrix from rows written as {label, child1, child2, parent, time,
// branch, loglik, alleles...}; rows shorter than TMAT + TOTLOCI are padded
// with -1.
TreeMatrix makeTree(const std::vector<std::vector<double>> &rows);

// Result of running the mutloc binary in a directory.
struct RunResult {
  int status;
  std::string out;
};
// Makes a fresh temporary directory and returns its path; it is removed when
// the test program ends.
std::string makeTempDir();
// Enters a fresh temporary directory (from makeTempDir) when made and returns
// to the previous working directory when destroyed, for the routines that
// read or write files by plain names ("inmat.txt", "exons.txt").
struct InTempDir {
  InTempDir();
  ~InTempDir();
  std::string previous, dir;
};
// Writes text to dir/name.
void writeFile(const std::string &dir, const std::string &name, const std::string &text);
// Reads a whole file ("" when missing).
std::string readFile(const std::string &path);
// The file base + suffix of a run with the run's identity (the run field of
// base.run.tsv) written as RUN, so that the files of two runs compare.
std::string readRunFile(const std::string &base, const std::string &suffix);
// The lines of text, without their line ends.
std::vector<std::string> lines(const std::string &text);
// Runs mutloc with arguments args (already quoted as needed) inside dir.
RunResult runMutloc(const std::string &dir, const std::string &args);
// Runs a shell command; its standard output and exit status.
RunResult runShell(const std::string &command);
