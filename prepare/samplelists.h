// The case and control groups of a VCF: the sample ID lists given on the
// command line, checked against the samples of the file.
#pragma once

#include <string>
#include <vector>

struct Groups {
  // Column numbers of the file's samples, each group in the file's order.
  std::vector<int> cases, controls;
};

// Reads casesFile and controlsFile ("" for every sample that is not a case)
// and finds their IDs among samples (the samples of source). Unknown IDs,
// duplicates, an ID in both lists and an empty group throw DataError naming
// them.
Groups chooseGroups(const std::vector<std::string> &samples, const std::string &source,
                    const std::string &casesFile, const std::string &controlsFile);
// Makes the checked group list names[...] of column numbers into the sample
// order of a Callset: cases then controls.
std::vector<std::string> groupNames(const std::vector<std::string> &samples, const Groups &g);
