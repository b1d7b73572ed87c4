// The command line: the control file and the options around it.
#pragma once

#include <string>

struct Options {
  enum class Action { run, help, version, usageError };
  Action action = Action::run;
  std::string controlFile; // empty when none was given
  std::string outPrefix;   // output names are outPrefix + suffix; empty: the control file's path
  bool mixing = false;     // --sampler mixing; the default is the exact sampler
  int threads = 0;         // --threads N; 0: one per core
  long thin = 0;           // --thin N; 0: chosen from the run's size (mixing sampler)
  // --heterogeneity, with the founder share's Beta prior (--founder-share-prior
  // A,B) or its fixed value (--founder-share F; 0: sampled).
  bool heterogeneity = false;
  double sharePriorA = 1, sharePriorB = 1;
  double fixedShare = 0;
  // --markers FILE: the marker list (default: CONTROL_FILE.markers.tsv when
  // it exists).
  std::string markerList;
  std::string error; // what was wrong, for a usage error
};

// Reads the arguments after the program name. Options may come before or
// after the control file; "--" ends them.
Options parseOptions(int argc, const char *const *argv);

// The --help and --version texts.
std::string usageText();
std::string versionText();
