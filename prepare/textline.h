// Damage in a line of a text input: a NUL or another control byte is never
// data in VCF, PLINK, map or list files, and C string functions would stop
// at a NUL and read a cut value as a whole one.
#pragma once

#include <string>

// "" for a clean line, else what is wrong, e.g. "a NUL byte in column 3
// (character 17)". Tabs are field separators, a carriage return may end the
// line.
std::string controlByteIn(const std::string &line);
// The line as a message can show it: control bytes as \xNN, at most about
// 100 characters.
std::string shown(const std::string &line);
// Throws DataError naming where when line holds a control byte.
void refuseControlBytes(const std::string &line, const std::string &where);
