// The seven output files of a run, and how earlier results survive a run
// that stops before its first iteration: when files of those names already
// exist, the new ones are written under temporary names and take their places
// only when the sampler starts; a stop before that removes them again. In a
// folder without earlier outputs the files are written in place from the
// start, so a stop leaves what it has written (the log echo up to the stop).
#pragma once

#include <string>

#include "outfile.h"

struct OutputFiles {
  std::string base;    // the files are base + ".dat", base + ".log", ...
  bool staged = false; // written under temporary names until committed
  bool committed = false;
  OutFile dat, log, sig, hap, hpf, mat, tre;
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
// Moves staged files into their places; the streams stay open and go on
// writing to them. Does nothing for files written in place. Stops the run,
// before anything is moved, when a write to any of them has failed.
void commitOutputs(OutputFiles &files);
// Stops the run when a write to any of the seven files has failed.
void checkOutputs(const OutputFiles &files);
// Closes the seven files, stopping the run at the first that failed.
void closeOutputs(OutputFiles &files);
// After a stop: closes staged, uncommitted files and removes them, so that
// the earlier outputs stay as they were. Files written in place are kept.
void abandonOutputs(OutputFiles &files);
// The temporary name of a staged file.
std::string stagedName(const std::string &finalName);
