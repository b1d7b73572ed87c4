// Control bytes in text lines, and lines shown in messages.
#include "textline.h"

#include <cstdio>

#include "failure.h"

namespace {

bool isControl(unsigned char c) {
  return (c < 32 && c != '\t') || c == 127;
}

std::string byteName(unsigned char c) {
  if (c == 0)
    return "a NUL byte";
  char buf[32];
  std::snprintf(buf, sizeof buf, "a control byte (0x%02x)", c);
  return buf;
}

} // namespace

std::string controlByteIn(const std::string &line) {
  int column = 1;
  for (size_t i = 0; i < line.size(); i++) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c == '\t')
      column++;
    else if (c == '\r' && i + 1 == line.size())
      break;
    else if (isControl(c))
      return byteName(c) + " in tab-separated column " + std::to_string(column) + " (character " +
             std::to_string(i + 1) + ")";
  }
  return "";
}

std::string shown(const std::string &line) {
  constexpr size_t limit = 100;
  std::string out;
  for (size_t i = 0; i < line.size() && out.size() < limit; i++) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c == '\t') {
      out += "\\t";
    } else if (isControl(c) || c == '\r') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += line[i];
    }
  }
  return out.size() < limit ? out : out + "...";
}

void refuseControlBytes(const std::string &line, const std::string &where) {
  const std::string damage = controlByteIn(line);
  if (!damage.empty())
    throw DataError(where + ": " + damage + "; the line reads: " + shown(line));
}
