// Strict reading and compact writing of the numbers of the command line, the
// sample lists, the genetic maps and the control file.
#pragma once

#include <string>
#include <vector>

// The whole text must be the number; a double must also be finite.
bool parseLong(const std::string &text, long &value);
bool parseDouble(const std::string &text, double &value);
// The shortest text that reads back as exactly value.
std::string shortest(double value);
// The values with the fewest significant digits (at least minDigits) at which
// their texts read back strictly increasing, as a map must be written.
std::vector<std::string> increasingTexts(const std::vector<double> &values, int minDigits);
// Splits a line at runs of blanks and tabs.
std::vector<std::string> fields(const std::string &line);
