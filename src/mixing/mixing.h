// The mixing sampler, chosen with --sampler mixing: the same model, data,
// settings and output files as the default sampler, with moves that reach the
// posterior in runs of ordinary length, every chain on its own random stream
// and the chains spread over threads (--threads).
#pragma once

#include <functional>
#include <iosfwd>
#include <vector>

#include "chain.h"
#include "chainwork.h"
#include "random.h"
#include "runrecord.h"

// The threads a run of chainCount chains takes when requested threads were
// asked for (0: the machine's cores): at least 1, at most chainCount.
int workerCount(int requested, int chainCount);

// The random stream of chain index, derived from the state of the run's
// stream after set-up: the same seed gives the same chain streams.
Rng chainStream(const Rng &runStream, int index);

// When the control file asks for random starting locations, chain k of K
// starts at a uniform point (from its stream) of the k-th of K equal parts of
// the location interval instead of anywhere. The chain's terms are not
// recomputed (startFromLeaves does that).
void spreadStart(Rng &stream, Chain &chain);

// With unpaired genotypes, puts at every heterozygous locus of every patient
// the allele that most patients carry on the disease chromosome (the first
// allele block), where it stands when the mutation's ancestor carried it,
// and recomputes the chain's partner term. Cells holding imputed alleles keep
// their places. The node terms are left for startFromLeaves.
void phaseTowardsConsensus(Chain &chain, ChainWork &work);

// Gives every internal node the majority alleles of the leaves below it (and,
// when the ancestral haplotype is sampled, the root the majority of all
// leaves) and recomputes the chain's likelihood and ancestral term: a start
// close to the haplotypes the data support, instead of random ones.
void startFromLeaves(Chain &chain, ChainWork &work);

// One merge of a hierarchical clustering: the clusters in slots a and b
// (slot i starts as item i; a merged cluster takes slot a) joined at height.
struct ClusterMerge {
  int a, b;
  double height;
};

// The n - 1 merges of average-linkage clustering of n items, whose distances
// are dist[i * n + j] (symmetric), in an order in which every cluster is
// formed before it is merged again.
std::vector<ClusterMerge> averageLinkage(std::vector<double> dist, int n);

// Rebuilds the chain's genealogy as an average-linkage clustering of its
// leaves' haplotypes (allele mismatches, ties broken by draws from stream),
// the chain's internal node ages handed to the merges from the youngest up:
// the same ages and leaves, a topology that groups similar haplotypes. Node
// alleles and terms are left for startFromLeaves. A genealogy of more than
// 4096 leaves is left as it is (the clustering's distances would take more
// than 128 MB).
void startFromClusters(Rng &stream, Chain &chain);

// Draws of one allele. Of internal node `node` at locus: a Metropolis-Hastings
// move whose proposal is the allele of a neighbour (parent or ancestral
// haplotype, children) or, with a fixed small share, any allele, scored by the
// node's own branch term and those of its two children. Of the ancestral
// haplotype at locus: the exact conditional (Gibbs) from the root's term and
// the haplotype's population probability. Both keep the chain's terms and the
// parts of its rows' terms current (parts taken by takeRowParts at the chain's
// state, every change since made by these draws) and return whether the
// allele changed.
bool drawNodeAllele(Rng &rng, Chain &chain, ChainWork &work, RowParts &parts, int node, int locus);
bool drawRootAllele(Rng &rng, Chain &chain, ChainWork &work, RowParts &parts, int locus);

// The row of the genealogy's root.
int rootRow(const TreeMatrix &tree);

// Metropolis move of the mutation age alone, the genealogy held fixed: a
// uniform step reflected into [max(mutAgeLow, root age), mutAgeHigh], scored
// by the age prior, the genealogy's prior given the age and the root's branch
// term.
void updateAge(Rng &rng, Chain &chain, ChainWork &work);

// Metropolis move of the mutation age with the node ages above a pivot (0, the
// root's age or a random internal node's age) stretched by the same factor, a step uniform
// on the log scale: the genealogy keeps its shape and the age its room above
// the root, so the two move together as the data allow, where the age alone
// is held by the root and the prior of the node ages given the age.
void scaleGenealogy(Rng &rng, Chain &chain, ChainWork &work);

// A regraft guided by the haplotypes (guidedregraft.cpp): a random node and
// its parent cut out and offered every branch of the rest of the genealogy,
// weighted by how well the branch's haplotype matches the node's; the
// parent's age uniform on the branch and its haplotype drawn from its new
// neighbours' alleles; under heterogeneity a moved leaf may change its
// membership with its place. The mutation age is held.
void guidedRegraft(Rng &rng, Chain &chain, ChainWork &work);

// At one marker, a random internal node and the internal nodes below it that
// share its allele, reached through one another, moved to another allele
// together by a Metropolis test (blockflip.cpp).
void flipAlleleBlock(Rng &rng, Chain &chain, ChainWork &work);

// An independence proposal of one population table (the first-locus
// frequencies or the transitions from one locus to the next, at a random
// locus) from its conditional given the normal-population sample alone,
// scored by the whole target (tablerefresh.cpp).
void refreshTable(Rng &rng, Chain &chain, ChainWork &work);

// The heterogeneity model (--heterogeneity; membership.cpp states its
// target): off, or a Beta(priorA, priorB) prior of the founder share, or the
// share held at fixedShare in (0, 1].
struct HeterogeneityOptions {
  bool on = false;
  double priorA = 1, priorB = 1;
  double fixedShare = 0; // 0: the share is sampled
};

// Starts the chain's membership: every leaf descends from the founder, the
// share at its fixed value or its prior mean; keeps the options' prior.
void startMembership(Chain &chain, const HeterogeneityOptions &options);
// Draws every leaf's membership from its full conditional, given the parts
// of the rows' terms at the chain's state (takeRowParts), and keeps the
// chain's terms current; then the share from its conditional.
void drawMemberships(Rng &rng, Chain &chain, ChainWork &work, const RowParts &parts);
void drawShare(Rng &rng, Chain &chain);
// Adds sampling iteration `sample`'s memberships and share to the chain's
// tallies.
void recordMembership(Chain &chain, long sample);
// The log prior of the chain's founder share and memberships, and the age
// prior's normalisation over the founder count: with the chain's other log
// terms it makes the log density of the whole target (membership.cpp).
double membershipLogPrior(Chain &chain);
// Puts the chains' share draws of the first `sampled` sampling iterations
// and their memberships by row of the patient block into the record.
void finishMemberships(RunRecord &record, long sampled);

// One iteration i of the mixing sampler's moves on a chain, with its location,
// age and log-likelihood samples (logLikSamples sized as the others).
void mixingIteration(Rng &rng, Chain &chain, ChainWork &work, long i);

// Starts every chain on a stream of its own and runs its iterations in the
// shared run frame (runChains), in blocks on the given threads; the trace and
// screen records are written in chain order as the default sampler writes
// them, whatever the thread count. runStream is the run's stream after
// set-up. With a record, also writes the per-chain traces (every record->thin-th
// .dat record and the last) and keeps the draws and log-likelihoods.
// afterIteration, when given, is called with the number of iterations done
// after each block of iterations; when it returns false the run ends there.
// Returns the number of sampling iterations whose samples are stored.
// With heterogeneity on, every chain's membership starts after its start
// state, and the record (when given) receives the memberships.
long runMixingSampler(const Rng &runStream, int threads, std::ostream &dat, std::ostream &hpf,
                      RunRecord *record = nullptr,
                      const std::function<bool(long done)> &afterIteration = nullptr,
                      const HeterogeneityOptions &heterogeneity = HeterogeneityOptions());
