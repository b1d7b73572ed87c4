// The seven output files of a run, and how earlier results survive a run
// that stops before its first iteration: when files of those names already
// exist, the new ones are written under temporary names and take their places
// only when the sampler starts; a stop before that removes them again. In a
// folder without earlier outputs the files are written in place from the
// start, so a stop leaves what it has written (the log echo up to the stop).
//
// When the sampler starts, every file of an earlier run on the same prefix
// (the seven, its traces, summary, draws, verdict, manifest and report page)
// moves into the folder <base>.earlier as a set, so that the folder never
// holds files of two runs. A run that then fails puts them back.
#pragma once

#include <string>
#include <vector>

#include "outfile.h"

struct OutputFiles {
  std::string base;    // the files are base + ".dat", base + ".log", ...
  bool staged = false; // written under temporary names until committed
  bool committed = false;
  OutFile dat, log, sig, hap, hpf, mat, tre;
  std::vector<std::string> aside; // names of the earlier run's files set aside
};

// A file that cannot be created, and the system's reason.
struct Unopened {
  std::string path; // "" when every file is open
  int reason = 0;
};

// Opens the seven files in their order (.dat .log .sig .hap .hpf .mat .tre).
// Returns the first that cannot be opened; staged files made before it are
// removed again.
Unopened openOutputs(OutputFiles &files, const std::string &base);
// Sets the earlier run's files aside, then moves staged files into their
// places; the streams stay open and go on writing to them. Stops the run,
// before anything is moved, when a write to any of them has failed.
void commitOutputs(OutputFiles &files);
// Stops the run when a write to any of the seven files has failed.
void checkOutputs(const OutputFiles &files);
// Closes the seven files, stopping the run at the first that failed.
void closeOutputs(OutputFiles &files);
// After a stop: puts back the earlier run where there was one (removing
// staged files, or, once committed, this run's files) and returns true.
// Without an earlier run the files written in place are kept (false).
bool abandonOutputs(OutputFiles &files);
// The temporary name of a staged file.
std::string stagedName(const std::string &finalName);
// The folder the earlier run's files are set aside in.
std::string earlierFolder(const std::string &base);
