// Positions in a text stream as people count them: line numbers for the
// messages and warnings that point into the control file.
#include <istream>

#include "input.h"

long lineNumberAt(std::istream &in, std::streampos at) {
  const std::ios::iostate state = in.rdstate();
  in.clear();
  const std::streampos here = in.tellg();
  if (at == std::streampos(-1))
    at = here;
  long line = 1;
  in.seekg(0);
  // A position past the end (the reader stopped at the end of the file)
  // counts every line.
  for (std::streamoff k = 0; at == std::streampos(-1) || k < std::streamoff(at); k++) {
    const int c = in.get();
    if (c == std::char_traits<char>::eof())
      break;
    if (c == '\n')
      line++;
  }
  in.clear();
  if (here != std::streampos(-1))
    in.seekg(here);
  in.setstate(state);
  return line;
}
