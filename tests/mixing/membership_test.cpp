// The heterogeneity model's draws against the target they must keep: with
// data that say nothing, the founder share, the number of founder chromosomes
// and the age follow their priors; on a small data set, the memberships
// follow the exact posterior of every configuration, enumerated by brute
// force from terms recomputed from scratch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "batchmeans.h"
#include "flatchain.h"
#include "genealogy.h"
#include "likelihood.h"
#include "mixing.h"
#include "sampler.h"
#include "sampler/datachains.h"

namespace {

// Share of a series' values equal to v, with its batch-means error.
std::vector<double> indicator(const std::vector<double> &series, double v) {
  std::vector<double> out;
  for (double x : series)
    out.push_back(x == v ? 1.0 : 0.0);
  return out;
}

// log C(n, k) B(k + a, n - k + b) / B(a, b): the Beta-binomial probability of
// k founders among n chromosomes.
double betaBinomialLog(int n, int k, double a, double b) {
  const auto logBeta = [](double x, double y) {
    return std::lgamma(x) + std::lgamma(y) - std::lgamma(x + y);
  };
  return std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) +
         logBeta(k + a, n - k + b) - logBeta(a, b);
}

} // namespace

// The founder leaves' own genealogy has the coalescent prior of as many
// leaves, whatever the other leaves do: with two of four leaves drawn from
// the population and the age held, their common ancestor's age is one draw of
// the node-age density truncated to [0, T], which the prior of all four
// leaves would make older (the largest of up to three such draws).
TEST(Membership, TheFounderLeavesGenealogyHasThePriorOfItsLeaves) {
  Chain &c = flat::flatChain();
  ChainWork work;
  HeterogeneityOptions options;
  options.on = true;
  options.fixedShare = 0.5;
  startMembership(c, options);
  c.membership.drawn[4] = c.membership.drawn[5] = 1;
  c.membership.founders = 2;
  std::vector<int> events, below;
  c.membership.treeTerm = founderTreeTerm(c.tree, c.membership, events, below);
  c.treePrior += c.membership.treeTerm;
  c.mutAgePrior = ageLogPrior(c, c.mutAge);
  // The node-age CDF on [0, T] (as in genealogyprior_test.cpp).
  const auto cdf = [](double t) {
    const auto integral = [](double v) {
      const double e = std::exp(-flat::growth * v);
      return (1 - e) / (flat::sampled + (2 * flat::growth - flat::sampled) * e);
    };
    return integral(t) / integral(flat::age);
  };
  Rng rng = streamFrom(-99);
  std::vector<double> transform, young;
  for (int i = 0; i < 200000; i++) {
    updateGenealogyAtAge(rng, c, work);
    // The common ancestor of leaves 3 and 6: the lowest node above both.
    std::vector<int> above;
    for (int v = 3; v != -1; v = static_cast<int>(c.tree[v][parent]))
      above.push_back(v);
    int v = 6;
    while (std::find(above.begin(), above.end(), v) == above.end())
      v = static_cast<int>(c.tree[v][parent]);
    const double u = cdf(c.tree[v][nodeTime]);
    transform.push_back(u);
    young.push_back(u < 0.2 ? 1.0 : 0.0);
  }
  ASSERT_TRUE(chainMatchesRecomputation(0));
  flat::expectNear(transform, 0.5, "founders' ancestor's age transform");
  flat::expectNear(young, 0.2, "founders' ancestor in the lowest fifth");
}

// No term depends on the memberships but their prior, so the share is
// Beta(2, 1), the founder count Beta-binomial, and the age the mixture over
// founder counts of the age prior of that many chromosomes, truncated to its
// bounds (computed here by the midpoint rule in the age itself): whether the
// memberships change by their Gibbs draws or with the leaves' guided regrafts.
TEST(Membership, WithoutInformativeDataShareFoundersAndAgeFollowTheirPriors) {
  for (bool gibbs : {true, false}) {
    const std::string moves = gibbs ? " (membership draws)" : " (guided regrafts)";
    Chain &c = flat::flatChain();
    ChainWork work;
    HeterogeneityOptions options;
    options.on = true;
    options.priorA = 2;
    options.priorB = 1;
    startMembership(c, options);
    Rng rng = streamFrom(-2024);
    std::vector<double> shares, founders, ages;
    for (int i = 0; i < 200000; i++) {
      if (gibbs) {
        takeRowParts(c, work.memo, work.scratch.parts);
        drawMemberships(rng, c, work, work.scratch.parts);
      } else {
        guidedRegraft(rng, c, work);
      }
      drawShare(rng, c);
      updateGenealogyAtAge(rng, c, work);
      updateAge(rng, c, work);
      scaleGenealogy(rng, c, work);
      shares.push_back(c.membership.share);
      founders.push_back(c.membership.founders);
      ages.push_back(c.mutAge);
    }
    ASSERT_TRUE(chainMatchesRecomputation(0));

    flat::expectNear(shares, 2.0 / 3, "share mean" + moves);
    std::vector<double> lowShare;
    for (double s : shares)
      lowShare.push_back(s < 0.5 ? 1.0 : 0.0);
    flat::expectNear(lowShare, 0.25, "share below 0.5" + moves);

    const int steps = 20000;
    const double low = pset.mutAgeLow, h = (pset.mutAgeHigh - low) / steps;
    double meanAge = 0, youngAge = 0;
    for (int k = 0; k <= 4; k++) {
      const double pk = std::exp(betaBinomialLog(4, k, 2, 1));
      flat::expectNear(indicator(founders, k), pk, std::to_string(k) + " founders" + moves);
      double mass = 0, moment = 0, young = 0;
      for (int s = 0; s < steps; s++) {
        const double T = low + (s + 0.5) * h;
        const double w = std::exp(tpriormut(std::max(1, k), T, flat::growth));
        mass += w;
        moment += w * T;
        young += T < 40 ? w : 0;
      }
      meanAge += pk * moment / mass;
      youngAge += pk * young / mass;
    }
    flat::expectNear(ages, meanAge, "age mean" + moves);
    std::vector<double> young;
    for (double T : ages)
      young.push_back(T < 40 ? 1.0 : 0.0);
    flat::expectNear(young, youngAge, "age below 40" + moves);
  }
}

// Three leaves with data, the share held at 0.3 and the age at 5: the
// memberships' Gibbs draws must visit each of the eight configurations as
// often as its posterior, the terms of every row, the memberships' prior and
// the age prior of the founder count, all recomputed from scratch.
TEST(Membership, DrawsFollowTheExactPosteriorOfTheConfigurations) {
  for (double algSwitch : {0.0, 1.0}) {
    Chain &c = buildChain(algSwitch);
    ChainWork work;
    pset.growthRate = 0.08;
    pset.propSampled = 0.02;
    pset.mutAgeLow = 1;
    pset.mutAgeHigh = 50;
    HeterogeneityOptions options;
    options.on = true;
    options.fixedShare = 0.3;
    startMembership(c, options);
    const int leaves[3] = {2, 3, 4};
    std::vector<int> events, below;

    const auto configure = [&](int z) {
      c.membership.founders = 0;
      for (int j = 0; j < 3; j++) {
        const bool founder = (z >> j) & 1;
        c.membership.drawn[leaves[j]] = !founder;
        c.membership.founders += founder;
      }
    };
    std::vector<double> logPost(8);
    double top = -INFINITY;
    for (int z = 0; z < 8; z++) {
      configure(z);
      TreeMatrix fresh = c.tree;
      LikelihoodMemo memo;
      double lik = 0;
      tprob(c.popHapFreqs, fresh, c.mutLoc, pset.mapDist, &lik, c.rootLoci, -1, 0, c.MP1, memo,
            drawnRows(c));
      const int m = c.membership.founders;
      logPost[z] = lik + m * std::log(0.3) + (3 - m) * std::log(0.7) +
                   boundedAgeLogPrior(c, std::max(1, m), c.mutAge) +
                   founderTreeTerm(c.tree, c.membership, events, below);
      top = std::max(top, logPost[z]);
      // The chain's terms and the membership prior the trace adds to them
      // make the same log density, whatever the configuration.
      const double traced = lik + founderTreeTerm(c.tree, c.membership, events, below) +
                            ageLogPrior(c, c.mutAge) + membershipLogPrior(c);
      EXPECT_NEAR(traced, logPost[z], 1e-9) << "configuration " << z;
    }
    double total = 0;
    for (double &v : logPost)
      total += (v = std::exp(v - top));

    configure(7);
    c.logLik = chainTprob(c, work.memo, c.tree, c.mutLoc, c.rootLoci);
    Rng rng = streamFrom(-77);
    takeRowParts(c, work.memo, work.scratch.parts);
    std::vector<double> visits;
    for (int i = 0; i < 200000; i++) {
      drawMemberships(rng, c, work, work.scratch.parts);
      int z = 0;
      for (int j = 0; j < 3; j++)
        z |= c.membership.drawn[leaves[j]] ? 0 : 1 << j;
      visits.push_back(z);
    }
    TreeMatrix fresh = c.tree;
    LikelihoodMemo memo;
    double lik = 0;
    tprob(c.popHapFreqs, fresh, c.mutLoc, pset.mapDist, &lik, c.rootLoci, -1, 0, c.MP1, memo,
          drawnRows(c));
    EXPECT_NEAR(c.logLik, lik, 1e-9) << "stored log-likelihood, model " << algSwitch;
    for (int z = 0; z < 8; z++)
      flat::expectNear(indicator(visits, z), logPost[z] / total,
                       "configuration " + std::to_string(z) + ", model " +
                           std::to_string(algSwitch));
  }
}

// Every move of the mixing sampler's iteration, with memberships changing
// among them, keeps each row's stored term (a drawn leaf's the population
// probability of its alleles) and the chain's log terms equal to a
// recomputation from scratch, for each kind of data with missing alleles.
// The membership draws set every leaf's term afresh, so the moves are checked
// one by one before a whole iteration (which adds the allele and phase draws).
TEST(Membership, EveryMoveKeepsTheTermsCurrentForEveryDataKind) {
  for (DataKind kind :
       {DataKind::haplotypes, DataKind::unpairedGenotypes, DataKind::pairedGenotypes}) {
    buildDataChain(kind);
    const int iterations = 400;
    pset.iterAncestral = pset.iterMutAge = pset.iterMutLocation = pset.iterAlleleFreq = 1;
    chains[0].treeAdjust = 1;
    chains[0].rootDepthAdjust = 1;
    pset.mutAgeLow = 1;
    pset.mutAgeHigh = 50;
    pset.realIterations = iterations;
    Chain &c = chains[0];
    ChainWork work;
    c.propTree = c.tree;
    c.locationSamples.assign(iterations, 0);
    c.ageSamples.assign(iterations, 0);
    c.logLikSamples.assign(iterations, 0);
    HeterogeneityOptions options;
    options.on = true;
    startMembership(c, options);
    Rng rng = streamFrom(-5150);
    int flips = 0;
    const std::pair<const char *, std::function<void()>> moves[] = {
        {"frequencies", [&] { updateFrequenciesWhole(rng, c, work); }},
        {"table refresh", [&] { refreshTable(rng, c, work); }},
        {"missing alleles", [&] { updatePatientMissing(rng, c, work); }},
        {"genealogy", [&] { updateGenealogyAtAge(rng, c, work); }},
        {"guided regraft", [&] { guidedRegraft(rng, c, work); }},
        {"allele block", [&] { flipAlleleBlock(rng, c, work); }},
        {"age", [&] { updateAge(rng, c, work); }},
        {"stretch", [&] { scaleGenealogy(rng, c, work); }},
        {"location", [&] { updateLocation(rng, c, work); }},
        {"memberships",
         [&] {
           const PopulationRows before = c.membership.drawn;
           takeRowParts(c, work.memo, work.scratch.parts);
           drawMemberships(rng, c, work, work.scratch.parts);
           drawShare(rng, c);
           flips += before != c.membership.drawn;
         }},
        {"iteration", [&] { mixingIteration(rng, c, work, 0); }}};
    for (int i = 0; i < iterations; i++)
      for (const auto &move : moves) {
        move.second();
        ASSERT_TRUE(chainMatchesRecomputation(0))
            << move.first << ", iteration " << i << ", kind " << static_cast<int>(kind);
      }
    EXPECT_GT(flips, 20) << static_cast<int>(kind);
  }
}
