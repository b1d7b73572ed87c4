// Heterogeneity: which patient chromosomes descend from the founder. The
// target the mixing sampler draws from with --heterogeneity is
//
//   Beta(s; a, b) prod_i s^z_i (1 - s)^(1 - z_i)            share, memberships
//   x p(T | m) / Z(m)                                         the age
//   x p(genealogy | T, z)                                     the genealogy
//   x prod_rows term_r x (population and partner terms as without the option)
//
// where z_i = 1 when leaf i descends from the founder, m = sum z_i is the
// number of founder chromosomes, p(T | m) is the age prior of max(1, m)
// chromosomes (tpriormut) and Z(m) its integral over the age bounds, so that
// the age is that of the founder chromosomes' mutation. Every chromosome keeps
// its leaf; the genealogy prior is the coalescent of the m founder leaves,
// completed by the drawn leaves' lineages joining it (founderTreeTerm,
// priors.cpp), so that the founder leaves' genealogy has the prior of m
// leaves. A leaf drawn from the population has the population probability of
// its alleles as its term (nothing of its branch, its parent or the
// location). Internal nodes above such leaves only carry haplotypes that the
// terms sum out. With z all 1 (the share fixed at 1) this is the target
// without the option.
//
// Each z_i is drawn from its full conditional, which involves leaf i's two
// possible terms, the share, the age prior's founder count and the founder
// genealogy's term; the share from its conjugate Beta(a + m, b + n - m).
#include <cmath>
#include <limits>

#include "likelihood.h"
#include "mixing.h"

void startMembership(Chain &chain, const HeterogeneityOptions &options) {
  Membership &m = chain.membership;
  const size_t rows = chain.tree.size();
  m.drawn.assign(rows, 0);
  m.founders = pset.numChromosomes;
  m.priorA = options.priorA;
  m.priorB = options.priorB;
  m.shareFixed = options.fixedShare > 0;
  m.share = m.shareFixed ? options.fixedShare : m.priorA / (m.priorA + m.priorB);
  m.founderIterations.assign(rows, 0);
  takeLogTables(m);
  m.shareSamples.assign(pset.realIterations, m.share);
  chain.mutAgePrior = ageLogPrior(chain, chain.mutAge);
}

void drawMemberships(Rng &rng, Chain &chain, ChainWork &work, const RowParts &parts) {
  Membership &m = chain.membership;
  // With every chromosome certain to descend from the founder there is
  // nothing to draw, and the chain is the chain without heterogeneity.
  if (m.share >= 1)
    return;
  TreeMatrix &tree = chain.tree;
  std::vector<int> &events = work.events, &below = work.foundersBelow;
  orderEvents(tree, events);
  countFounders(tree, m.drawn, below);
  // Adds delta to the founder counts of leaf r and of every node above it.
  const auto shift = [&](int r, int delta) {
    for (int v = r; v != -1; v = static_cast<int>(tree[v][parent]))
      below[v] += delta;
  };
  const double logShare = std::log(m.share), logRest = std::log1p(-m.share);
  const double treeTermBefore = m.treeTerm;
  for (size_t r = 0; r < tree.size(); r++) {
    if (tree[r][child1] != -1)
      continue;
    const int node = static_cast<int>(r);
    const bool wasFounder = !m.drawn[r];
    const int others = m.founders - wasFounder;
    // The founder genealogy's term in the leaf's present state, then in the
    // other, whose founder counts are left in place.
    double treeAs[2];
    treeAs[wasFounder] = founderTreeTerm(tree, events, below, others + wasFounder, m);
    shift(node, wasFounder ? -1 : 1);
    treeAs[!wasFounder] = founderTreeTerm(tree, events, below, others + !wasFounder, m);
    const double descent = descentTerm(parts, node);
    const double drawn =
        populationLogProb(chain.popHapFreqs, chain.MP1, tree[r].data() + TMAT, work.memo);
    const double asFounder =
        logShare + descent + treeAs[1] + boundedAgeLogPrior(chain, others + 1, chain.mutAge);
    const double asDrawn =
        logRest + drawn + treeAs[0] + boundedAgeLogPrior(chain, others, chain.mutAge);
    const double founderProbability = 1 / (1 + std::exp(asDrawn - asFounder));
    const bool founder = ran1(rng) < founderProbability;
    if (founder == wasFounder)
      shift(node, wasFounder ? 1 : -1);
    m.drawn[r] = !founder;
    m.founders = others + founder;
    m.treeTerm = treeAs[founder];
    tree[r][nodeLogLik] = founder ? descent : drawn;
  }
  chain.logLik = storedTotal(tree, work.memo.total);
  chain.mutAgePrior = ageLogPrior(chain, chain.mutAge);
  chain.treePrior += m.treeTerm - treeTermBefore;
}

void drawShare(Rng &rng, Chain &chain) {
  Membership &m = chain.membership;
  if (m.shareFixed)
    return;
  m.share = betaDeviate(m.priorA + m.founders, m.priorB + pset.numChromosomes - m.founders, rng);
}

// log Beta(s; A, B) + m log s + (n - m) log(1 - s) - log Z(max(1, m)): the
// Beta term only when the share is sampled, each Bernoulli term only when a
// chromosome takes it (so that a share of 1 gives 0, not 0 times -infinity).
// The age prior's normalisation is the difference between the truncated
// density and tpriormut, which the chain's age prior holds.
double membershipLogPrior(Chain &chain) {
  const Membership &m = chain.membership;
  const int n = pset.numChromosomes;
  double sum =
      boundedAgeLogPrior(chain, m.founders, chain.mutAge) - ageLogPrior(chain, chain.mutAge);
  if (!m.shareFixed)
    sum += std::lgamma(m.priorA + m.priorB) - std::lgamma(m.priorA) - std::lgamma(m.priorB) +
           (m.priorA - 1) * std::log(m.share) + (m.priorB - 1) * std::log1p(-m.share);
  if (m.founders > 0)
    sum += m.founders * std::log(m.share);
  if (m.founders < n)
    sum += (n - m.founders) * std::log1p(-m.share);
  return sum;
}

void recordMembership(Chain &chain, long sample) {
  Membership &m = chain.membership;
  for (size_t r = 0; r < m.drawn.size(); r++)
    m.founderIterations[r] += chain.tree[r][child1] == -1 && !m.drawn[r];
  m.shareSamples[sample] = m.share;
}

void finishMemberships(RunRecord &record, long sampled) {
  record.membership.copies.assign(patientBlockRows, 0);
  const Chain &first = chains[0];
  for (size_t r = 0; r < first.dataRow.size(); r++)
    if (first.dataRow[r] >= 0)
      record.membership.copies[patientBlockRow[first.dataRow[r]]]++;
  for (const Chain &chain : chains) {
    const Membership &m = chain.membership;
    record.shareDraws.emplace_back(m.shareSamples.begin(), m.shareSamples.begin() + sampled);
    std::vector<double> founder(patientBlockRows, 0.0);
    for (size_t r = 0; r < chain.dataRow.size(); r++)
      if (chain.dataRow[r] >= 0)
        founder[patientBlockRow[chain.dataRow[r]]] += m.founderIterations[r];
    for (int row = 0; row < patientBlockRows; row++) {
      const int copies = record.membership.copies[row];
      founder[row] = copies > 0 && sampled > 0
                         ? founder[row] / (static_cast<double>(copies) * sampled)
                         : std::numeric_limits<double>::quiet_NaN();
    }
    record.membership.chains.push_back(std::move(founder));
  }
}
