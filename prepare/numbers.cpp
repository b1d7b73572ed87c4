// Number parsing and formatting shared by the readers and the writer.
#include "numbers.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

bool parseLong(const std::string &text, long &value) {
  if (text.empty())
    return false;
  errno = 0;
  char *end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  // The end of the text, not the first NUL: "1200\0500" is not 1200.
  return errno == 0 && end == text.c_str() + text.size();
}

bool parseDouble(const std::string &text, double &value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
    return false;
  errno = 0;
  char *end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value);
}

std::string shortest(double value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

std::vector<std::string> increasingTexts(const std::vector<double> &values, int minDigits) {
  std::vector<std::string> texts(values.size());
  // 17 significant digits give back every double exactly, so the search ends.
  for (int digits = minDigits;; digits++) {
    bool increasing = true;
    double previous = 0;
    for (size_t i = 0; i < values.size(); i++) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*g", digits, values[i]);
      texts[i] = buf;
      const double back = std::strtod(buf, nullptr);
      if (i > 0 && !(back > previous))
        increasing = false;
      previous = back;
    }
    if (increasing || digits >= 17)
      return texts;
  }
}

std::vector<std::string> fields(const std::string &line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
      i++;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
      i++;
    if (i > start)
      out.push_back(line.substr(start, i - start));
  }
  return out;
}
