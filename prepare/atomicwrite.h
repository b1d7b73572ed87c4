// Writing a file so that it is either complete or not there at all.
#pragma once

#include <string>

// Writes text to a temporary file in path's folder and renames it to path
// once it is complete and flushed. On any failure the temporary file is
// removed, path is left as it was, and DataError is thrown.
void writeAtomically(const std::string &path, const std::string &text);
