// The terms of rows whose allele changed, from the parts of the terms taken
// before the change, against terms evaluated afresh with nothing remembered;
// and the parts kept through a run of changes against parts taken afresh.
#include <gtest/gtest.h>

#include <random>

#include "likelihood.h"
#include "sampler/chainfixture.h"

namespace {

double freshTerm(const Chain &c, int node) {
  LikelihoodMemo memo;
  return nodeTerm(c.popHapFreqs, c.tree, c.mutLoc, pset.mapDist, c.rootLoci, node, c.MP1, memo);
}

// The allele a node inherits at locus: its parent's cell, or the ancestral
// haplotype's at the root.
void setInherited(Chain &c, int node, int locus, int allele) {
  const int up = static_cast<int>(c.tree[node][parent]);
  if (up < 0)
    c.rootLoci[locus] = allele;
  else
    c.tree[up][TMAT + locus] = allele;
}

int inherited(const Chain &c, int node, int locus) {
  const int up = static_cast<int>(c.tree[node][parent]);
  return up < 0 ? c.rootLoci[locus] : static_cast<int>(c.tree[up][TMAT + locus]);
}

int rootOf(const TreeMatrix &tree) {
  int r = 0;
  while (tree[r][parent] != -1)
    r++;
  return r;
}

// Locations with every marker right of the mutation, both sides, and every
// marker left of it.
constexpr double locations[] = {0.0, 0.005, 0.015, 0.03};

} // namespace

TEST(RowParts, ATermAfterOneAlleleChangedIsTheFreshTerm) {
  LikelihoodMemo memo;
  for (double alg : {0.0, 1.0})
    for (double x : locations) {
      Chain &c = buildChain(alg);
      placeMutation(x);
      RowParts parts;
      takeRowParts(c, memo, parts);
      for (int node = 0; node < 5; node++)
        for (int locus = 0; locus < 3; locus++)
          for (int a = 1; a <= maxall[locus]; a++) {
            const double own = c.tree[node][TMAT + locus];
            c.tree[node][TMAT + locus] = a;
            EXPECT_EQ(changedRowTerm(c, memo, parts, node, locus, true, 0), freshTerm(c, node))
                << "own: algSwitch " << alg << " x " << x << " row " << node << " locus " << locus
                << " allele " << a;
            c.tree[node][TMAT + locus] = own;
            const int before = inherited(c, node, locus);
            setInherited(c, node, locus, a);
            EXPECT_EQ(changedRowTerm(c, memo, parts, node, locus, false, 2), freshTerm(c, node))
                << "inherited: algSwitch " << alg << " x " << x << " row " << node << " locus "
                << locus << " allele " << a;
            setInherited(c, node, locus, before);
          }
    }
}

// Changes of internal nodes' alleles and of the ancestral haplotype, each kept
// or dropped at random, the changed rows' parts kept with it: the parts are
// then those taken afresh from the chain as it stands.
TEST(RowParts, PartsKeptThroughChangesAreTakenAfresh) {
  LikelihoodMemo memo;
  std::mt19937 gen(7);
  for (double alg : {0.0, 1.0})
    for (double x : locations) {
      Chain &c = buildChain(alg);
      placeMutation(x);
      RowParts parts, fresh;
      takeRowParts(c, memo, parts);
      for (int change = 0; change < 200; change++) {
        const int locus = static_cast<int>(gen() % 3);
        const int allele = 1 + static_cast<int>(gen() % maxall[locus]);
        const bool keep = gen() % 2 == 0;
        const int root = rootOf(c.tree);
        if (gen() % 3 == 0) {
          const int before = c.rootLoci[locus];
          c.rootLoci[locus] = allele;
          changedRowTerm(c, memo, parts, root, locus, false, 0);
          if (keep)
            keepRowPart(parts, root, false, 0);
          else
            c.rootLoci[locus] = before;
        } else {
          // Row 1 is the internal node below the root.
          const int node = gen() % 2 == 0 ? root : 1;
          const double before = c.tree[node][TMAT + locus];
          c.tree[node][TMAT + locus] = allele;
          const int rows[3] = {node, static_cast<int>(c.tree[node][child1]),
                               static_cast<int>(c.tree[node][child2])};
          for (int j = 0; j < 3; j++)
            changedRowTerm(c, memo, parts, rows[j], locus, j == 0, j);
          if (keep)
            for (int j = 0; j < 3; j++)
              keepRowPart(parts, rows[j], j == 0, j);
          else
            c.tree[node][TMAT + locus] = before;
        }
        takeRowParts(c, memo, fresh);
        ASSERT_EQ(parts.lookUps, fresh.lookUps) << "change " << change;
        ASSERT_EQ(parts.left, fresh.left) << "change " << change;
        ASSERT_EQ(parts.right, fresh.right) << "change " << change;
      }
    }
}
