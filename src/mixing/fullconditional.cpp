// Full-conditional draws of single alleles of the hidden haplotypes. The
// alleles of an internal node enter only its own branch term (its haplotype
// given its parent's) and the terms of its two children (theirs given its);
// the ancestral haplotype enters only the root's term and its own population
// probability. For one locus the draw tries every allele in turn and picks one
// with probability proportional to the product of those terms, which is the
// exact conditional of the posterior: every draw is kept.
#include <cmath>
#include <limits>

#include "likelihood.h"
#include "mixing.h"

int rootRow(const TreeMatrix &tree) {
  int r = 0;
  while (tree[r][parent] != -1)
    r++;
  return r;
}

double storedLikelihood(const TreeMatrix &tree) {
  double total = 0;
  for (const TreeRow &row : tree)
    total += row[nodeLogLik];
  return total;
}

namespace {

// Picks candidate a (0-based) with probability proportional to
// exp(logWeight(a)); -1 when no candidate has a finite positive weight.
template <class Weight> int drawCandidate(Rng &rng, int count, Weight logWeight) {
  double top = -std::numeric_limits<double>::infinity();
  for (int a = 0; a < count; a++)
    if (logWeight(a) > top)
      top = logWeight(a);
  if (!std::isfinite(top))
    return -1;
  double total = 0;
  for (int a = 0; a < count; a++)
    total += std::exp(logWeight(a) - top);
  double u = ran1(rng) * total;
  for (int a = 0; a < count; a++) {
    const double w = std::exp(logWeight(a) - top);
    if (u < w)
      return a;
    u -= w;
  }
  // Rounding left u above the last weight: the last candidate with weight.
  for (int a = count - 1; a >= 0; a--)
    if (logWeight(a) > -std::numeric_limits<double>::infinity())
      return a;
  return -1;
}

} // namespace

bool drawNodeAllele(Rng &rng, Chain &chain, int node, int locus) {
  const int count = maxall[locus];
  TreeMatrix &tree = chain.tree;
  TreeRow &row = tree[node];
  if (count < 2 || row[child1] == -1)
    return false;
  const int rows[3] = {node, static_cast<int>(row[child1]), static_cast<int>(row[child2])};
  std::vector<double> &terms = chain.scratch.candidateTerms;
  terms.resize(3 * count);
  const double old = row[TMAT + locus];
  for (int a = 0; a < count; a++) {
    row[TMAT + locus] = a + 1;
    for (int j = 0; j < 3; j++)
      terms[3 * a + j] = nodeTerm(chain.popHapFreqs, tree, chain.mutLoc, pset.mapDist,
                                  chain.rootLoci, rows[j], chain.MP1, chain.memo);
  }
  const int pick = drawCandidate(
      rng, count, [&](int a) { return terms[3 * a] + terms[3 * a + 1] + terms[3 * a + 2]; });
  if (pick < 0) {
    row[TMAT + locus] = old;
    return false;
  }
  row[TMAT + locus] = pick + 1;
  for (int j = 0; j < 3; j++)
    tree[rows[j]][nodeLogLik] = terms[3 * pick + j];
  chain.logLik = storedLikelihood(tree);
  return pick + 1 != old;
}

bool drawRootAllele(Rng &rng, Chain &chain, int locus) {
  const int count = maxall[locus];
  if (count < 2)
    return false;
  TreeMatrix &tree = chain.tree;
  const int root = rootRow(tree);
  std::vector<double> &terms = chain.scratch.candidateTerms;
  terms.resize(2 * count);
  const int old = chain.rootLoci[locus];
  for (int a = 0; a < count; a++) {
    chain.rootLoci[locus] = a + 1;
    terms[2 * a] = nodeTerm(chain.popHapFreqs, tree, chain.mutLoc, pset.mapDist, chain.rootLoci,
                            root, chain.MP1, chain.memo);
    terms[2 * a + 1] = probhap2(chain.popHapFreqs, chain.MP1, chain.rootLoci.data(), chain.memo);
  }
  const int pick =
      drawCandidate(rng, count, [&](int a) { return terms[2 * a] + terms[2 * a + 1]; });
  if (pick < 0) {
    chain.rootLoci[locus] = old;
    return false;
  }
  chain.rootLoci[locus] = pick + 1;
  tree[root][nodeLogLik] = terms[2 * pick];
  chain.rootHapProb = terms[2 * pick + 1];
  chain.logLik = storedLikelihood(tree);
  return pick + 1 != old;
}
