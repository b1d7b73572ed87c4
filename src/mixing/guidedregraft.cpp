// The mixing sampler's regraft guided by the haplotypes. The blind regraft
// moves a subtree a random distance through the genealogy and almost always
// lands it beside haplotypes it does not share, so the topology changes by
// small steps the data rarely allow. This move cuts a random node j out with
// its parent p, and offers j every branch of the remaining genealogy, each
// weighted by how closely the haplotype below it matches j's and by its
// length; p's new age is uniform on the chosen branch and p's haplotype is
// drawn, locus by locus, from the alleles of its new neighbours (j, the
// branch's node and the node above it).
//
// The remaining genealogy, j's haplotype and every age but p's are the same
// before and after the move, so the reverse move sees the same branches with
// the same weights: the proposal's ratio is that of the weights of the
// branch p leaves and the one it joins (their lengths cancel against the
// densities of p's ages) times that of the haplotype proposals of p's old
// haplotype at its old place and its new one at its new place. The mutation
// age is held; the acceptance test is the genealogy moves' own. Under
// heterogeneity a moved leaf may also change its membership, so that a
// chromosome can leave or join the founder's genealogy together with a place
// in it that fits its haplotype, where the membership draws judge it only
// at the place it has.
#include <cmath>
#include <limits>

#include "genealogy.h"
#include "likelihood.h"
#include "mixing.h"

namespace {

// A branch's weight falls by this factor for each marker at which its node's
// haplotype differs from the moved node's. At 0.5 a branch whose haplotype
// matches at every marker is e^5 times as likely to be offered as one that
// differs at ten, and a branch that differs everywhere still has a chance.
constexpr double logWeightPerMismatch = -0.5;

// A proposed allele of p is, in proportion, each neighbour's allele with
// weight 1 and any allele of the locus with weight anyAlleleWeight in all:
// every haplotype can be proposed, the neighbours' alleles most often.
constexpr double anyAlleleWeight = 0.2;

int mismatches(const TreeRow &a, const TreeRow &b) {
  int count = 0;
  for (int k = 0; k < pset.numLoci; k++)
    count += rowAllele(a.data(), k) != rowAllele(b.data(), k);
  return count;
}

// Marks node and its subtree.
void markSubtree(const TreeMatrix &tree, int node, std::vector<char> &marked) {
  if (node == -1)
    return;
  marked[node] = 1;
  markSubtree(tree, link(tree, node, child1), marked);
  markSubtree(tree, link(tree, node, child2), marked);
}

// The alleles p's haplotype proposal draws from at one place: its two
// children and the node above it (null: the ancestral haplotype).
struct Neighbours {
  const TreeRow *first, *second, *above;
  const Haplotype *root;
};

int aboveAllele(const Neighbours &n, int k) {
  return n.above == nullptr ? (*n.root)[k] : rowAllele(n.above->data(), k);
}

// The proposal's probability of allele a at locus k.
double alleleProposal(const Neighbours &n, int k, int a) {
  const double votes = (rowAllele(n.first->data(), k) == a) +
                       (rowAllele(n.second->data(), k) == a) + (aboveAllele(n, k) == a);
  return (votes + anyAlleleWeight / maxall[k]) / (3 + anyAlleleWeight);
}

double haplotypeLogProposal(const Neighbours &n, const TreeRow &row) {
  double sum = 0;
  for (int k = 0; k < pset.numLoci; k++)
    sum += std::log(alleleProposal(n, k, rowAllele(row.data(), k)));
  return sum;
}

void drawHaplotype(Rng &rng, const Neighbours &n, TreeRow &row) {
  for (int k = 0; k < pset.numLoci; k++) {
    double u = ran1(rng);
    int a = 1;
    for (; a < maxall[k]; a++) {
      u -= alleleProposal(n, k, a);
      if (u < 0)
        break;
    }
    row[TMAT + k] = a;
  }
}

} // namespace

void guidedRegraft(Rng &rng, Chain &chain, ChainWork &work) {
  TreeMatrix &tree = chain.tree;
  const int rows = static_cast<int>(tree.size());
  int j;
  do
    j = random2(rows, rng);
  while (link(tree, j, parent) == -1);
  const int p = link(tree, j, parent);
  const int s = otherChild(tree, p, j);
  const int g = link(tree, p, parent);
  const double jAge = tree[j][nodeTime];

  // The branches of the genealogy without p and j's subtree, each by the node
  // below it (s's runs up to g), weighted by its match with j's haplotype and
  // its length; 0 where p cannot stand (above j, below the node above).
  std::vector<char> &cut = work.scratch.marked;
  cut.assign(rows, 0);
  markSubtree(tree, j, cut);
  cut[p] = 1;
  const auto aboveInCut = [&](int x) { return x == s ? g : link(tree, x, parent); };
  const auto topOf = [&](int x) {
    const int up = aboveInCut(x);
    return up == -1 ? chain.mutAge : tree[up][nodeTime];
  };
  // The weights' logs first, then the weights relative to the largest.
  std::vector<double> &weights = work.scratch.candidateTerms;
  weights.assign(rows, -std::numeric_limits<double>::infinity());
  double largest = -std::numeric_limits<double>::infinity();
  for (int x = 0; x < rows; x++) {
    const double length = topOf(x) - std::max(jAge, tree[x][nodeTime]);
    if (cut[x] || !(length > 0))
      continue;
    weights[x] = logWeightPerMismatch * mismatches(tree[j], tree[x]) + std::log(length);
    largest = std::max(largest, weights[x]);
  }
  double total = 0;
  for (double &w : weights)
    total += (w = std::exp(w - largest));
  double u = ran1(rng) * total;
  int x = -1;
  for (int r = 0; r < rows && !(u < 0); r++)
    if (weights[r] > 0) {
      x = r;
      u -= weights[r];
    }
  const double low = std::max(jAge, tree[x][nodeTime]), top = topOf(x);
  const double t1 = low + ran1(rng) * (top - low);
  const double t0 = tree[p][nodeTime];

  // The weights less the lengths, which cancel against p's age densities 1 /
  // length; the haplotype proposals of p's old and new haplotypes.
  const double lengthS = topOf(s) - std::max(jAge, tree[s][nodeTime]);
  double hastings = std::log(weights[s] / lengthS) - std::log(weights[x] / (top - low));
  const int xAbove = aboveInCut(x);
  hastings += haplotypeLogProposal(
      {&tree[j], &tree[s], g == -1 ? nullptr : &tree[g], &chain.rootLoci}, tree[p]);

  std::vector<int> &kept = work.keptRows;
  kept.clear();
  for (int row : {p, j, s, g, x, xAbove})
    keepRow(chain, work, row);
  // Cut p out: s takes its place.
  tree[s][parent] = g;
  if (g != -1)
    replaceChild(tree, g, p, s);
  tree[s][branchLength] = topOf(s) - tree[s][nodeTime];
  // Put p on x's branch at t1, over j and x, with a haplotype drawn there.
  tree[p][parent] = xAbove;
  if (xAbove != -1)
    replaceChild(tree, xAbove, x, p);
  tree[p][child1] = j;
  tree[p][child2] = x;
  tree[x][parent] = p;
  tree[p][nodeTime] = t1;
  tree[p][branchLength] = top - t1;
  tree[x][branchLength] = t1 - tree[x][nodeTime];
  tree[j][branchLength] = t1 - jAge;
  const Neighbours there{&tree[j], &tree[x], xAbove == -1 ? nullptr : &tree[xAbove],
                         &chain.rootLoci};
  drawHaplotype(rng, there, tree[p]);
  hastings -= haplotypeLogProposal(there, tree[p]);
  // Under heterogeneity a moved leaf changes its membership half the time:
  // a chromosome drawn from the population joins the founder's genealogy at
  // a branch it matches, or a founder leaf leaves it. The choice is the same
  // both ways; the membership's prior terms enter the test.
  Membership &m = chain.membership;
  const bool flip =
      !m.drawn.empty() && m.share < 1 && link(tree, j, child1) == -1 && ran1(rng) < 0.5;
  const auto flipMembership = [&] {
    m.drawn[j] = !m.drawn[j];
    m.founders += m.drawn[j] ? -1 : 1;
  };
  if (flip) {
    hastings -= membershipLogPrior(chain);
    flipMembership();
    hastings += membershipLogPrior(chain);
  }

  const int changed[] = {p, j, x, s};
  chainRowTerms(chain, work.memo, chain.rootLoci, changed, x == s ? 3 : 4);
  const double logLik = storedTotal(tree, work.memo.total);
  chain.propTimes = chain.nodeTimes;
  moveSortedAge(chain.propTimes, t0, t1);
  chain.propMutAge = chain.mutAge;
  if (acceptGenealogy(rng, chain, work, tree, logLik, hastings))
    return;
  restoreKeptRows(chain, work);
  if (flip)
    flipMembership();
}
