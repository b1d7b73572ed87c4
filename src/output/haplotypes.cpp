// Placeholder until this part of the run is written.
#include "output.h"
void haplosave1(const TreeMatrix &, std::ostream &, int) {}
void haplosave3(const TreeMatrix &, std::ostream &) {}
