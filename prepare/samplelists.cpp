// Sample ID lists: reading, checking, and matching against the file's samples.
#include "samplelists.h"

#include <fstream>
#include <map>

#include "failure.h"

namespace {

// Names at most ten of the items, and how many more there are.
std::string someOf(const std::vector<std::string> &items) {
  std::string out;
  for (size_t i = 0; i < items.size() && i < 10; i++)
    out += (i ? ", " : "") + items[i];
  if (items.size() > 10)
    out += " and " + std::to_string(items.size() - 10) + " more";
  return out;
}

std::string trimmed(const std::string &s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos)
    return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// One ID per line, in file order; a repeated ID throws naming both lines.
std::vector<std::string> readIds(const std::string &path) {
  std::ifstream in(path);
  if (!in)
    throw DataError("cannot read the sample list " + path);
  std::vector<std::string> ids;
  std::map<std::string, int> lineOf;
  std::string line;
  for (int n = 1; std::getline(in, line); n++) {
    const std::string id = trimmed(line);
    if (id.empty() || id[0] == '#')
      continue;
    const auto [at, fresh] = lineOf.emplace(id, n);
    if (!fresh)
      throw DataError(path + " line " + std::to_string(n) + ": sample " + id +
                      " is listed twice (first on line " + std::to_string(at->second) + ")");
    ids.push_back(id);
  }
  if (in.bad())
    throw DataError("cannot read the sample list " + path);
  return ids;
}

// Marks the listed samples with mark in chosen; throws for unknown IDs and for
// samples marked already by the other list.
void mark(const std::vector<std::string> &ids, const std::string &listFile,
          const std::map<std::string, int> &column, const std::string &source, int markValue,
          const std::string &otherFile, std::vector<int> &chosen) {
  std::vector<std::string> unknown, both;
  for (const auto &id : ids) {
    const auto at = column.find(id);
    if (at == column.end()) {
      unknown.push_back(id);
      continue;
    }
    if (chosen[at->second] != 0)
      both.push_back(id);
    chosen[at->second] = markValue;
  }
  if (!unknown.empty())
    throw DataError(listFile + ": " + std::to_string(unknown.size()) + " sample ID(s) not in " +
                    source + ": " + someOf(unknown));
  if (!both.empty())
    throw DataError("sample(s) listed both in " + otherFile + " and in " + listFile + ": " +
                    someOf(both));
}

} // namespace

Groups chooseGroups(const std::vector<std::string> &samples, const std::string &source,
                    const std::string &casesFile, const std::string &controlsFile) {
  std::map<std::string, int> column;
  for (size_t i = 0; i < samples.size(); i++)
    column.emplace(samples[i], static_cast<int>(i));
  // 0 not chosen, 1 case, 2 control.
  std::vector<int> chosen(samples.size(), 0);
  mark(readIds(casesFile), casesFile, column, source, 1, "", chosen);
  if (!controlsFile.empty())
    mark(readIds(controlsFile), controlsFile, column, source, 2, casesFile, chosen);
  Groups g;
  for (size_t i = 0; i < samples.size(); i++) {
    if (chosen[i] == 1)
      g.cases.push_back(static_cast<int>(i));
    else if (chosen[i] == 2 || controlsFile.empty())
      g.controls.push_back(static_cast<int>(i));
  }
  if (g.cases.empty())
    throw DataError(casesFile + " lists no case");
  if (g.controls.empty())
    throw DataError(controlsFile.empty() ? source + " has no sample left as a control"
                                         : controlsFile + " lists no control");
  return g;
}

std::vector<std::string> groupNames(const std::vector<std::string> &samples, const Groups &g) {
  std::vector<std::string> names;
  for (int c : g.cases)
    names.push_back(samples[c]);
  for (int c : g.controls)
    names.push_back(samples[c]);
  return names;
}
