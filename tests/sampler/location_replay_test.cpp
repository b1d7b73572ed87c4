// The location and haplotype-state moves replayed draw by draw: each test
// walks a move's rules step by step on a copy of the chain (its own
// evaluations, its own counting, its own acceptance test), from the same
// fresh stream as the move, and requires the move to end in exactly the same
// place with the same terms, counters and number of draws. Covered are the
// paths a whole run rarely reaches: independence proposals, slice sampling
// with and without sequence weights, the width reduction of the random walk,
// every-locus redraws and runs without the ancestral move.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <sstream>
#include <vector>

#include "chainfixture.h"
#include "sampler.h"

namespace {

constexpr double minusInf = -std::numeric_limits<double>::infinity();

// What a location update leaves behind.
struct LocationOutcome {
  double x, lik, prior, count;
  Seed seed;
};

// Log-likelihood of chain 0 with the mutation at x, on a copy of its tree.
double likAt(double x) {
  const Chain &c = chains[0];
  TreeMatrix copy = c.tree;
  LikelihoodMemo memo;
  double lik = 0;
  tprob(c.popHapFreqs, copy, x, pset.mapDist, &lik, c.rootLoci, -1, 0, c.MP1, memo);
  return lik;
}

// Location prior inside the slice sampler: a zero-weight location is
// impossible there.
double slicePrior(double x) {
  const double p = sequenceprob(x);
  return p == zeroWeightMarker ? minusInf : p;
}

// One Metropolis test of x as in the random walk and the independence
// proposals; on acceptance the outcome takes x.
bool replayTest(Rng &rng, double x, LocationOutcome *out) {
  const double lik = likAt(x);
  double r = lik - chains[0].logLik;
  double p = 0;
  if (pset.useSeqWeights == 1) {
    p = sequenceprob(x);
    r += p - chains[0].locPrior;
  }
  double a = r >= 0 ? 1 : std::exp(r);
  if (pset.useSeqWeights == 1 && p > 99.98 && p < 99.991)
    a = 0;
  if (!(ran1(rng) < a))
    return false;
  out->x = x;
  out->lik = lik;
  if (pset.useSeqWeights == 1)
    out->prior = p;
  out->count += 1;
  return true;
}

// The location update of chain 0, replayed from seed start on a copy.
LocationOutcome replayLocation(Seed start) {
  const Chain &c = chains[0];
  Rng rng = streamFrom(start);
  LocationOutcome out = {c.mutLoc, c.logLik, c.locPrior, c.accMutLoc, 0};
  const double low = pset.mutLocLow, high = pset.mutLocHigh;
  const double x0 = c.mutLoc;
  double w = c.recDistAdjust;
  if (pset.iterMutLocation == 1) {
    double x = x0;
    if (w <= high - low) {
      x = x + (2 * ran1(rng) - 1) * w;
      if (x < low)
        x = 2 * low - x;
      else if (x > high)
        x = 2 * high - x;
    }
    replayTest(rng, x, &out);
  } else if (pset.iterMutLocation == 3) {
    for (int t = 0; t < 10; t++)
      if (replayTest(rng, low + ran1(rng) * (high - low), &out))
        break;
  } else if (pset.iterMutLocation == 2) {
    const bool weights = pset.useSeqWeights != 0;
    const auto f = [&](double x) { return likAt(x) + (weights ? slicePrior(x) : 0); };
    double count = 0;
    double y = std::log(ran1(rng)) + c.logLik;
    if (weights)
      y += slicePrior(x0);
    const double u2 = ran1(rng);
    double left, right;
    if (weights) {
      double lft = x0 - w * u2, rgt = lft + w;
      if (lft <= low) {
        left = low;
      } else {
        while (true) {
          if (!(f(lft) > y)) {
            left = lft;
            break;
          }
          lft -= w;
          count += 1;
          if (lft <= low) {
            left = low;
            break;
          }
        }
      }
      if (rgt >= high) {
        right = high;
      } else {
        while (true) {
          if (!(f(rgt) > y)) {
            right = rgt;
            break;
          }
          rgt += w;
          count += 1;
          if (rgt >= high) {
            right = high;
            break;
          }
        }
      }
    } else {
      double lft = std::max(low, x0 - u2 * w);
      double rgt = std::min(high, lft + w);
      while (lft > low && f(lft) > y)
        lft -= w;
      left = std::max(low, lft);
      while (rgt < high && f(rgt) > y) {
        rgt += w;
        count += 1;
      }
      right = std::min(high, rgt);
    }
    double x1 = left + ran1(rng) * (right - left);
    while (f(x1) < y) {
      count += 0.00001;
      if (x1 >= x0)
        right = x1;
      else
        left = x1;
      x1 = left + ran1(rng) * (right - left);
    }
    out = {x1, likAt(x1), weights ? slicePrior(x1) : c.locPrior, count, 0};
  }
  out.seed = rng.seed;
  return out;
}

// Runs the real update from seed start and requires the replayed outcome.
void expectUpdateAsReplayed(Seed start) {
  const LocationOutcome want = replayLocation(start);
  const Seed seed = runFrom(start, updateLocation);
  const Chain &c = chains[0];
  ASSERT_EQ(seed, want.seed) << "draws differ from seed " << start;
  ASSERT_EQ(c.mutLoc, want.x) << "seed " << start;
  ASSERT_EQ(c.logLik, want.lik) << "seed " << start;
  ASSERT_EQ(c.locPrior, want.prior) << "seed " << start;
  ASSERT_EQ(c.accMutLoc, want.count) << "seed " << start;
  ASSERT_TRUE(chainConsistent(0)) << "seed " << start;
}

// 60 updates of chain 0, each from its own fresh seed, each compared with
// its replay.
void expectUpdatesAsReplayed(Seed firstSeed) {
  for (Seed s = firstSeed; s > firstSeed - 60; s--) {
    expectUpdateAsReplayed(s);
    if (::testing::Test::HasFatalFailure())
      return;
  }
}

void buildLocationRun(double algSwitch, int mode, double width, double start) {
  Chain &c = buildChain(algSwitch);
  pset.iterMutLocation = mode;
  c.recDistAdjust = width;
  placeMutation(start);
}

TEST(ReplaySlice, WithoutWeightsFollowsEveryRule) {
  for (double alg : {0.0, 1.0})
    for (double width : {0.0015, 0.004, 0.02, 0.05})
      for (double start : {0.0, 0.001, 0.015, 0.029, 0.03}) {
        buildLocationRun(alg, 2, width, start);
        expectUpdatesAsReplayed(-101);
        ASSERT_FALSE(HasFatalFailure()) << alg << " " << width << " " << start;
      }
}

TEST(ReplaySlice, WithWeightsFollowsEveryRule) {
  for (double alg : {0.0, 1.0})
    for (double width : {0.0015, 0.004, 0.02, 0.05})
      for (double start : {0.0, 0.005, 0.015, 0.03})
        for (double middle : {0.0, 0.2, 5.0}) {
          buildLocationRun(alg, 2, width, start);
          useSegments(1, middle, 3);
          expectUpdatesAsReplayed(-211);
          ASSERT_FALSE(HasFatalFailure()) << alg << " " << width << " " << start << " " << middle;
        }
}

TEST(ReplaySlice, ZeroWeightStartGivesALevelOfMinusInfinity) {
  // From a zero-weight location the level is minus infinity, so the first
  // shrinkage point is taken, while the zero-weight points count as outside
  // the slice in stepping out: the initial interval, which here lies wholly
  // in the zero-weight segment, is not widened.
  buildLocationRun(0, 2, 0.004, 0.015);
  useSegments(1, 0, 1);
  Chain &c = chains[0];
  c.accMutLoc = 2;
  const Seed seed = runFrom(-7, updateLocation);
  const std::vector<double> u = firstDraws(-7, 3);
  EXPECT_EQ(drawsBetween(-7, seed), 3);
  const double left = 0.015 - 0.004 * u[1];
  const double x1 = left + u[2] * ((left + 0.004) - left);
  EXPECT_EQ(c.mutLoc, x1);
  EXPECT_EQ(c.locPrior, minusInf);
  EXPECT_EQ(c.accMutLoc, 0);
  EXPECT_TRUE(chainConsistent(0));
}

TEST(ReplayIndependence, FollowsEveryRule) {
  for (double alg : {0.0, 1.0})
    for (double start : {0.0, 0.015, 0.03}) {
      buildLocationRun(alg, 3, 0.004, start);
      expectUpdatesAsReplayed(-307);
      ASSERT_FALSE(HasFatalFailure());
      buildLocationRun(alg, 3, 0.004, start);
      useSegments(0.1, 0, 4);
      expectUpdatesAsReplayed(-401);
      ASSERT_FALSE(HasFatalFailure());
    }
}

TEST(ReplayIndependence, TriesUntilTheFirstAcceptance) {
  // Only the last third of the interval has weight: every try in the first
  // two thirds is refused, so the draws are two per try up to the first
  // accepted one.
  buildLocationRun(0, 3, 0.004, 0.025);
  useSegments(0, 0, 1);
  const Chain &c = chains[0];
  for (Seed s = -500; s > -540; s--) {
    const std::vector<double> u = firstDraws(s, 20);
    int tries = 0;
    while (tries < 10 && u[2 * tries] * 0.03 <= 0.02)
      tries++;
    const double before = c.mutLoc;
    const double count = c.accMutLoc;
    const Seed end = runFrom(s, updateLocation);
    if (tries == 10) {
      EXPECT_EQ(drawsBetween(s, end), 20);
      EXPECT_EQ(c.mutLoc, before);
      EXPECT_EQ(c.accMutLoc, count);
    } else if (c.mutLoc != before) {
      // Accepted at a try outside the zero-weight part, which ended the
      // update.
      int accepted = tries;
      while (accepted < 10 && u[2 * accepted] * 0.03 != c.mutLoc)
        accepted++;
      ASSERT_LT(accepted, 10);
      EXPECT_EQ(drawsBetween(s, end), 2 * accepted + 2);
      EXPECT_EQ(c.accMutLoc, count + 1);
    } else {
      EXPECT_EQ(c.accMutLoc, count);
    }
    ASSERT_TRUE(chainConsistent(0));
  }
}

TEST(ReplayRandomWalk, FollowsEveryRule) {
  for (double alg : {0.0, 1.0})
    for (double width : {0.004, 0.03}) {
      buildLocationRun(alg, 1, width, 0.002);
      expectUpdatesAsReplayed(-601);
      ASSERT_FALSE(HasFatalFailure());
      buildLocationRun(alg, 1, width, 0.002);
      useSegments(2, 0, 0.5);
      expectUpdatesAsReplayed(-701);
      ASSERT_FALSE(HasFatalFailure());
    }
}

TEST(ReplayRandomWalk, ReductionHappensOnceThenTheWalkDraws) {
  buildLocationRun(0, 1, 0.07, 0.015);
  std::ostringstream screen;
  std::streambuf *real = std::cout.rdbuf(screen.rdbuf());
  std::cout.precision(8);
  // First update: no step drawn, the unchanged location is accepted.
  const Seed first = runFrom(-801, updateLocation);
  const LocationOutcome second = replayLocation(-802);
  const Seed next = runFrom(-802, updateLocation);
  std::cout.rdbuf(real);
  EXPECT_EQ(drawsBetween(-801, first), 1);
  EXPECT_EQ(chains[0].accMutLoc, second.count);
  EXPECT_EQ(next, second.seed);
  EXPECT_EQ(drawsBetween(-802, next), 2);
  EXPECT_EQ(chains[0].mutLoc, second.x);
  EXPECT_EQ(screen.str(), "Adjustment level for recdist is too large. It has been changed "
                          "to0.03, the size of the interval specified.\n");
}

// What the haplotype-state moves leave behind.
struct StatesOutcome {
  TreeMatrix tree;
  Haplotype root;
  double lik, rootProb;
  int accRoot, accInternal;
  Seed seed;
};

// The allele-redraw proposal with level p.
void replayRedraw(int *state, Rng &rng, int *changed, int allLoci, double p) {
  *changed = 0;
  const auto redraw = [&](int k) {
    const int allele = static_cast<int>(std::floor(ran1(rng) * maxall[k])) + 1;
    if (allele != state[k])
      *changed = 1;
    state[k] = allele;
  };
  if (allLoci != 0) {
    for (int k = 0; k < pset.numLoci; k++)
      if (ran1(rng) < p)
        redraw(k);
  } else {
    const double u1 = ran1(rng), u2 = ran1(rng);
    const int k = static_cast<int>(std::floor(u1 * pset.numLoci));
    if (u2 < p)
      redraw(k);
  }
}

// The ancestral and internal-state moves of chain 0, replayed from seed
// start on a copy.
StatesOutcome replayStates(Seed start) {
  const Chain &c = chains[0];
  Rng rng = streamFrom(start);
  LikelihoodMemo memo;
  StatesOutcome out = {c.tree, c.rootLoci, c.logLik, c.rootHapProb, c.accRoot, c.accInternal, 0};
  TreeMatrix &t = out.tree;
  const Table &freqs = c.popHapFreqs;
  if (pset.iterAncestral != 0) {
    Haplotype h = out.root;
    int changed;
    replayRedraw(h.data(), rng, &changed, pset.flipAllLoci, pset.ancestralAdjust);
    if (changed) {
      size_t root = 0;
      while (t[root][parent] != -1)
        root++;
      TreeMatrix trial = t;
      double lik = 0;
      tprob(freqs, trial, c.mutLoc, pset.mapDist, &lik, h, static_cast<int>(root), 1, c.MP1, memo);
      const double hp = probhap2(freqs, c.MP1, h.data(), memo);
      const double r = (lik + hp) - (out.lik + out.rootProb);
      if (ran1(rng) < (r >= 0 ? 1 : std::exp(r))) {
        t = trial;
        out.root = h;
        out.lik = lik;
        out.rootProb = hp;
        out.accRoot++;
      }
    }
  }
  int treated = 0;
  for (size_t v = 0; v < t.size() && treated < pset.numChromosomes - 1; v++) {
    if (t[v][child1] == -1)
      continue;
    treated++;
    Haplotype h(pset.numLoci);
    for (int k = 0; k < pset.numLoci; k++)
      h[k] = static_cast<int>(t[v][TMAT + k]);
    int changed;
    replayRedraw(h.data(), rng, &changed, pset.flipAllLoci, pset.internalAdjust);
    if (!changed)
      continue;
    TreeMatrix trial = t;
    for (int k = 0; k < pset.numLoci; k++)
      trial[v][TMAT + k] = h[k];
    double lik = 0;
    tprob(freqs, trial, c.mutLoc, pset.mapDist, &lik, out.root, static_cast<int>(v), 0, c.MP1,
          memo);
    const double r = lik - out.lik;
    if (ran1(rng) <= (r >= 0 ? 1 : std::exp(r))) {
      t = trial;
      out.lik = lik;
      out.accInternal++;
    }
  }
  out.seed = rng.seed;
  return out;
}

void expectStatesAsReplayed(Seed start) {
  const StatesOutcome want = replayStates(start);
  const Seed seed = runFrom(start, updateStates);
  const Chain &c = chains[0];
  ASSERT_EQ(seed, want.seed) << "draws differ from seed " << start;
  ASSERT_EQ(c.tree, want.tree) << "seed " << start;
  ASSERT_EQ(c.rootLoci, want.root) << "seed " << start;
  ASSERT_EQ(c.logLik, want.lik) << "seed " << start;
  ASSERT_EQ(c.rootHapProb, want.rootProb) << "seed " << start;
  ASSERT_EQ(c.accRoot, want.accRoot) << "seed " << start;
  ASSERT_EQ(c.accInternal, want.accInternal) << "seed " << start;
  ASSERT_TRUE(chainConsistent(0)) << "seed " << start;
}

TEST(ReplayStates, FollowEveryRuleInEveryMode) {
  for (double alg : {0.0, 1.0})
    for (int rootLabel : {0, 2})
      for (int ancestral : {0, 1})
        for (int flip : {0, 1})
          for (double level : {0.3, 1.0}) {
            buildChain(alg, rootLabel);
            pset.iterAncestral = ancestral;
            pset.flipAllLoci = flip;
            pset.ancestralAdjust = level;
            pset.internalAdjust = 1.3 - level;
            for (Seed s = -901; s > -961; s--) {
              expectStatesAsReplayed(s);
              ASSERT_FALSE(HasFatalFailure())
                  << alg << " " << rootLabel << " " << ancestral << " " << flip << " " << level;
            }
          }
}

TEST(ReplayStates, WithoutTheAncestralMoveTheRootNeverChanges) {
  const Chain &c = buildChain(1);
  pset.iterAncestral = 0;
  pset.flipAllLoci = 1;
  pset.ancestralAdjust = 1;
  pset.internalAdjust = 0;
  const Haplotype root = c.rootLoci;
  const TreeMatrix tree = c.tree;
  // Two internal nodes, one attempt number per locus each, nothing else.
  EXPECT_EQ(drawsBetween(-71, runFrom(-71, updateStates)), 2 * 3);
  EXPECT_EQ(c.rootLoci, root);
  EXPECT_EQ(c.tree, tree);
  EXPECT_EQ(c.accRoot, 0);
}

// A stored term c for which exp(t - c) == u exactly, with t - c < 0, so that
// the acceptance probability of a proposal whose side of the log ratio is t
// equals its acceptance number u; NaN when none lies near t - log(u).
double tieTerm(double t, double u) {
  double c = t - std::log(u);
  for (int step = 0; step < 20; step++)
    c = std::nextafter(c, minusInf);
  for (int step = 0; step < 41; step++, c = std::nextafter(c, -minusInf))
    if (t - c < 0 && std::exp(t - c) == u)
      return c;
  return std::nan("");
}

// A proposal of a state move whose acceptance number equals its acceptance
// probability: the seed, the proposed haplotype and the stored term.
struct Tie {
  Seed seed;
  Haplotype state;
  double stored;
};

// Searches seeds from -1001 down for a tie of the first proposal of a state
// move with level 1 on one locus (three proposal draws, then the acceptance
// number); target gives the proposal's side of the ratio for a haplotype.
Tie findTie(const Haplotype &from, double (*target)(const Haplotype &)) {
  for (Seed s = -1001; s > -3001; s--) {
    const std::vector<double> u = firstDraws(s, 4);
    Haplotype h = from;
    const int k = static_cast<int>(std::floor(u[0] * pset.numLoci));
    h[k] = static_cast<int>(std::floor(u[2] * maxall[k])) + 1;
    if (h == from)
      continue;
    const double c = tieTerm(target(h), u[3]);
    if (!std::isnan(c))
      return {s, h, c};
  }
  return {0, {}, 0};
}

double rootSide(const Haplotype &h) {
  const Chain &c = chains[0];
  TreeMatrix copy = c.tree;
  LikelihoodMemo memo;
  double lik = 0;
  tprob(c.popHapFreqs, copy, c.mutLoc, pset.mapDist, &lik, h, 0, 1, c.MP1, memo);
  return lik + probhap2(c.popHapFreqs, c.MP1, h.data(), memo);
}

double firstInternalSide(const Haplotype &h) {
  const Chain &c = chains[0];
  TreeMatrix copy = c.tree;
  for (int k = 0; k < pset.numLoci; k++)
    copy[0][TMAT + k] = h[k];
  LikelihoodMemo memo;
  double lik = 0;
  tprob(c.popHapFreqs, copy, c.mutLoc, pset.mapDist, &lik, c.rootLoci, 0, 0, c.MP1, memo);
  return lik;
}

// Sets the stored term of row so that the stored terms sum to total exactly;
// false when no value near the needed one does.
bool storedTermsSumTo(TreeMatrix &tree, int row, double total) {
  double &term = tree[row][nodeLogLik];
  term += total - storedTotal(tree);
  for (int step = 0; step < 64; step++)
    term = std::nextafter(term, minusInf);
  for (int step = 0; step < 129; step++, term = std::nextafter(term, -minusInf))
    if (storedTotal(tree) == total)
      return true;
  return false;
}

TEST(ReplayStates, AnInternalTieIsAccepted) {
  Chain &c = buildChain(0);
  pset.iterAncestral = 0;
  pset.flipAllLoci = 0;
  pset.internalAdjust = 1;
  Haplotype first(3);
  for (int k = 0; k < 3; k++)
    first[k] = static_cast<int>(c.tree[0][TMAT + k]);
  const Tie tie = findTie(first, firstInternalSide);
  ASSERT_NE(tie.seed, 0) << "no tie found";
  // The tie needs a current total that differs from the proposal's by the
  // log of the acceptance number exactly. The node's own term is recomputed
  // by the move, so its stored value is free: it is set to make the stored
  // terms sum to that total, and the chain's log-likelihood is their sum, as
  // it always is.
  ASSERT_TRUE(storedTermsSumTo(c.tree, 0, tie.stored)) << "no term gives the tie's total";
  c.logLik = tie.stored;
  runFrom(tie.seed, updateStates);
  for (int k = 0; k < 3; k++)
    EXPECT_EQ(c.tree[0][TMAT + k], tie.state[k]);
  EXPECT_GE(c.accInternal, 1);
}

TEST(ReplayStates, ARootTieIsRejected) {
  Chain &c = buildChain(0);
  pset.iterAncestral = 1;
  pset.flipAllLoci = 0;
  pset.ancestralAdjust = 1;
  pset.internalAdjust = 0;
  const Tie tie = findTie(c.rootLoci, rootSide);
  ASSERT_NE(tie.seed, 0) << "no tie found";
  const Haplotype root = c.rootLoci;
  const TreeMatrix tree = c.tree;
  c.logLik = 0;
  c.rootHapProb = tie.stored;
  runFrom(tie.seed, updateStates);
  EXPECT_EQ(c.rootLoci, root);
  EXPECT_EQ(c.tree, tree);
  EXPECT_EQ(c.rootHapProb, tie.stored);
  EXPECT_EQ(c.accRoot, 0);
}

TEST(ReplayIndependence, ATieIsRejected) {
  // The first try's acceptance number equals its acceptance probability: the
  // strict test refuses it and a second try follows.
  buildLocationRun(0, 3, 0.004, 0.015);
  Seed seed = 0;
  double x = 0, stored = std::nan("");
  for (Seed s = -1001; s > -3001 && std::isnan(stored); s--) {
    const std::vector<double> u = firstDraws(s, 2);
    seed = s;
    x = u[0] * 0.03;
    stored = tieTerm(likAt(x), u[1]);
  }
  ASSERT_FALSE(std::isnan(stored)) << "no tie found";
  chains[0].logLik = stored;
  const Seed end = runFrom(seed, updateLocation);
  EXPECT_GT(drawsBetween(seed, end), 2);
  EXPECT_NE(chains[0].mutLoc, x);
}

} // namespace
