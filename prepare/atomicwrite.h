// Writing files so that each is either complete or not there at all.
#pragma once

#include <string>
#include <vector>

struct OutputFile {
  std::string path, text;
};

// Writes each text to a temporary file in its path's folder and flushes it;
// only once every one is complete are they renamed to their paths, in order.
// On a failure before the renaming every temporary file is removed, every
// path is left as it was, and DataError is thrown.
void writeAtomically(const std::vector<OutputFile> &files);
