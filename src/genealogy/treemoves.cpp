// Placeholder until this part of the run is written.
#include "genealogy.h"
void updateGenealogy(Seed *, int, int32_t) {}
void rotate_nodes(TreeMatrix &, int, Seed *) {}
void adjcoaltimes(TreeMatrix &, int, Seed *, int) {}
void reassignnodes(TreeMatrix &, const TreeMatrix &, std::vector<int> &) {}
