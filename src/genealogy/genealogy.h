// The genealogy of a chain: tree-matrix operations, random generation, every
// chain's starting state and the genealogy (node-time and regraft) moves.
#pragma once

#include <iosfwd>
#include <vector>

#include "chain.h"
#include "likelihoodmemo.h"
#include "mutloc.h"
#include "random.h"

// What a chain's genealogy moves keep besides the chain's state: the memo of
// its likelihood evaluations, the rows a proposal made on the genealogy itself
// keeps to put back (see keepRow), and the buffers of the founder leaves'
// genealogy term (see founderTreeTerm). The code that runs a chain holds one
// beside it (the samplers' ChainWork extends it with their moves' own) and
// hands it to every move with the chain.
struct GenealogyWork {
  LikelihoodMemo memo;
  std::vector<int> keptRows;
  std::vector<int> events, foundersBelow;
};

// Tree matrix. A fresh matrix has 2n - 1 rows of TMAT + TOTLOCI cells holding
// the fresh values (labels and links -1, times 0, branch lengths -1, ...).
TreeMatrix freshTree();
void copytree(const TreeMatrix &source, TreeMatrix &target);
void mysorttreematrev(TreeMatrix &matrix, int rowCount, int width);
// In-order walk below node storing at most count labels in order; returns
// the number stored. The matrix must be in label order.
int getlabelorder(int node, int count, std::vector<int> &order, const TreeMatrix &matrix);
// Rescales the ages below node, node's own branch included, by factor.
void scaleSubtreeAges(int node, TreeMatrix &matrix, double factor);
// A link cell (child, parent) of a row as a node label; the child of node that
// is not the given one; and the change of parentNode's child entry that names
// oldChild to name newChild.
int link(const TreeMatrix &tree, int node, int column);
int otherChild(const TreeMatrix &tree, int node, int child);
void replaceChild(TreeMatrix &tree, int parentNode, int oldChild, int newChild);
// Sorts all rows of a run-shaped matrix on one column.
void sortTree(TreeMatrix &matrix, int column);
// The node ages of a run-shaped matrix in ascending order and the labels of
// their rows, both in exactly the order sortTree(matrix, nodeTime) would leave
// the rows in, ties included; the matrix itself is not changed.
void ageOrder(const TreeMatrix &matrix, std::vector<double> &ages, std::vector<int> &labels);

// Fills the chain's genealogy with a random one and its node states, for the
// chain's starting age and tables.
void generatetree(Rng &rng, Chain &chain);
// The allele a population draw u picks at locus k: the first label 1..maxall[k]
// at which the running sum of freqs[label][k] reaches u; 0 when none does.
int populationAllele(double u, const Table &freqs, int k);

// Builds every chain's starting state (genealogy, data on the leaves, imputed
// alleles, log terms) and writes the "Rootstate" lines to log.
void initchains(Rng &rng, std::ostream &log);
// The missing-allele record of a leaf row from its current cells: [label,
// m1 = imputed cells in the first allele block, m2 = in the second, the m1
// then the m2 columns (counted from TMAT) in increasing order, then zeros],
// TOTLOCI + 3 ints in all, written over record.
void missingRecord(const TreeRow &leaf, std::vector<int> &record);

// What genealogy proposals share (proposal.cpp). Whether the genealogy moves
// propose a mutation age with the genealogy.
bool ageIsProposed();
// Moves one value of the ascending ages from old to now, keeping them
// ascending: the values between the two places shift by one.
void moveSortedAge(std::vector<double> &ages, double old, double now);
// A proposal made on the chain's genealogy itself keeps each row in the same
// row of chain.propTree before its first change, its label listed in
// work.keptRows (which the move empties first); a rejection
// copies the kept rows back. keepRow ignores -1 and rows already kept.
void keepRow(Chain &chain, GenealogyWork &work, int row);
void restoreKeptRows(Chain &chain, const GenealogyWork &work);
// Scores a proposal (its log-likelihood logLik already summed, its ascending
// node ages in chain.propTimes, its mutation age in chain.propMutAge) against
// the chain's state by the age prior, the genealogy prior (with the founder
// leaves' term under heterogeneity, read from the proposal's genealogy
// `proposed`) and the likelihood; hastings is the proposal's own log
// correction. On acceptance the chain takes the proposal's ages, log terms and
// mutation age, and the caller makes its genealogy the chain's. A proposed age
// outside its bounds lies outside the prior's support: the move is refused,
// after the usual draw. Returns whether it was accepted.
bool acceptGenealogy(Rng &rng, Chain &chain, GenealogyWork &work, const TreeMatrix &proposed,
                     double logLik, double hastings);

// One genealogy move of the chain in iteration i, as the default sampler
// makes it: a node-time move with probability 0.1, else a regraft move, each
// proposing a new mutation age with the genealogy when the age is sampled
// (and then recording the chain's age as iteration i's age sample).
void updateGenealogy(Rng &rng, Chain &chain, GenealogyWork &work, int32_t i);
// The same choice of moves at the chain's mutation age, which they leave as it
// is (the mixing sampler moves the age by moves of its own).
void updateGenealogyAtAge(Rng &rng, Chain &chain, GenealogyWork &work);
// Each kind of move alone at the chain's mutation age.
void nodeTimeMoveAtAge(Rng &rng, Chain &chain, GenealogyWork &work);
void regraftMoveAtAge(Rng &rng, Chain &chain, GenealogyWork &work);
void rotate_nodes(TreeMatrix &tree, int n, Rng &rng);
// Steps every positive age by a uniform of half-width step, reflected into
// [0, age].
void adjcoaltimes(TreeMatrix &tree, int n, Rng &rng, double step, double age);
// Rebuilds the links and branch lengths of the label-ordered tree by merging
// the nodes of the in-order sequence order in the age order byAge (as given by
// ageOrder): each internal node takes its two neighbours as children and then
// stands for the merged cluster. order is consumed: it is left holding the
// root alone.
void reassignnodes(TreeMatrix &tree, const std::vector<int> &byAge, std::vector<int> &order,
                   double age);
// The regraft of the label-ordered tree: node j's subtree with j's parent is
// cut out and its attachment point moved a signed distance g (positive toward
// the present), the subtree rescaled to fit under its new attachment age.
// age is the mutation age, the top of the root's branch. Returns false when
// the walk found no place (g not finite or far too long); tree is then left
// cut apart and must be discarded.
bool regraftSubtree(TreeMatrix &tree, int j, double g, double age, Rng &rng);
