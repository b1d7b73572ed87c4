// The mixing sampler's own moves of the genealogy and its hidden alleles
// against the default sampler's regraft and node-time moves followed by draws
// of every hidden allele, on a three-leaf data set with the age, location and
// tables held: the guided regraft alone (it draws the alleles of the node it
// moves, and every internal node is moved in turn), and the allele blocks
// with the default genealogy moves, must give the same posterior of the
// topology, the node ages and an internal node's alleles. The guided regraft
// offers the branches whose haplotypes match and draws the new parent's
// alleles from its neighbours', so without either part of its Hastings term
// it visits those genealogies and alleles too often; an allele block that
// took in a neighbour of the new allele would not be its own reverse.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "batchmeans.h"
#include "genealogy.h"
#include "likelihood.h"
#include "mixing.h"
#include "sampler/datachains.h"

namespace {

// Per iteration: whether leaves 3 and 4 form the cherry, whether 2 and 3 do,
// the younger and the older internal age, and the cherry parent's allele at
// the first marker.
struct Draws {
  std::vector<double> cherry34, cherry23, young, old, allele;
};

int parentOf(const Chain &c, int node) {
  return static_cast<int>(c.tree[node][parent]);
}

enum class Moves { guided, blocks, plain };

Draws run(Moves moves, int iterations, long seed) {
  Chain &c = buildChain(1.0);
  ChainWork work;
  pset.mutAgeLow = 1;
  pset.mutAgeHigh = 50;
  pset.growthRate = 0.5;
  pset.propSampled = 0.1;
  c.treeAdjust = 1;
  c.rootDepthAdjust = 1;
  c.propTree = c.tree;
  computeTerms();
  Rng rng = streamFrom(seed);
  Draws d;
  for (int i = 0; i < iterations; i++) {
    if (moves == Moves::guided) {
      guidedRegraft(rng, c, work);
    } else if (moves == Moves::blocks) {
      updateGenealogyAtAge(rng, c, work);
      for (int b = 0; b < 3; b++)
        flipAlleleBlock(rng, c, work);
    } else {
      updateGenealogyAtAge(rng, c, work);
      takeRowParts(c, work.memo, work.scratch.parts);
      for (int v = 0; v < static_cast<int>(c.tree.size()); v++)
        if (c.tree[v][child1] != -1)
          for (int k = 0; k < pset.numLoci; k++)
            drawNodeAllele(rng, c, work, work.scratch.parts, v, k);
    }
    const int cherry = parentOf(c, 3) == parentOf(c, 4)   ? parentOf(c, 3)
                       : parentOf(c, 2) == parentOf(c, 3) ? parentOf(c, 2)
                                                          : parentOf(c, 2);
    d.cherry34.push_back(parentOf(c, 3) == parentOf(c, 4));
    d.cherry23.push_back(parentOf(c, 2) == parentOf(c, 3));
    d.young.push_back(c.tree[cherry][nodeTime]);
    d.old.push_back(c.tree[parentOf(c, cherry)][nodeTime]);
    d.allele.push_back(rowAllele(c.tree[cherry].data(), 0) == 1);
  }
  return d;
}

} // namespace

TEST(GuidedMoves, AgreeWithTheDefaultSamplersGenealogyMovesOnData) {
  const int iterations = 200000;
  const Draws plain = run(Moves::plain, iterations, -3141);
  for (Moves moves : {Moves::guided, Moves::blocks}) {
    const Draws d = run(moves, iterations, -2718);
    const std::string name = moves == Moves::guided ? " (guided regrafts)" : " (allele blocks)";
    expectSameMean(d.cherry34, plain.cherry34, "leaves 3 and 4 a cherry" + name);
    expectSameMean(d.cherry23, plain.cherry23, "leaves 2 and 3 a cherry" + name);
    expectSameMean(d.young, plain.young, "younger internal age" + name);
    expectSameMean(d.old, plain.old, "older internal age" + name);
    expectSameMean(d.allele, plain.allele, "cherry parent's first allele" + name);
  }
}
