// The genealogy of a chain: tree-matrix operations, random generation, every
// chain's starting state and the genealogy (node-time and regraft) moves.
#pragma once

#include <iosfwd>
#include <vector>

#include "mutloc.h"

// Tree matrix. A fresh matrix has 2n - 1 rows of TMAT + TOTLOCI cells holding
// the fresh values (labels and links -1, times 0, branch lengths -1, ...).
TreeMatrix freshTree();
void copytree(const TreeMatrix &source, TreeMatrix &target);
void mysorttreematrev(TreeMatrix &matrix, int rowCount, int width);
// In-order walks below node; the matrix must be in label order.
void getlabelorder(int caller, int node, int count, std::vector<int> &order,
                   const TreeMatrix &matrix);
void getlabelorder2(int caller, int node, TreeMatrix &matrix, double factor);
// Sorts all rows of a run-shaped matrix on one column.
void sortTree(TreeMatrix &matrix, int column);

// Fills the matrix of chain ch with a random genealogy and node states.
void generatetree(Seed *seed, TreeMatrix &matrix, int ch);
// The allele a population draw u picks at locus k: the first label 1..maxall[k]
// at which the running sum of freqs[label][k] reaches u; 0 when none does.
int populationAllele(double u, const Table &freqs, int k);

// Builds every chain's starting state (genealogy, data on the leaves, imputed
// alleles, log terms) and writes the "Rootstate" lines to log.
void initchains(Seed *seed, std::ostream &log);
// The missing-allele record of a leaf row from its current cells: [label,
// m1 = imputed cells in the first allele block, m2 = in the second, the m1
// then the m2 columns (counted from TMAT) in increasing order, then zeros],
// TOTLOCI + 3 ints in all, written over record.
void missingRecord(const TreeRow &leaf, std::vector<int> &record);

// One genealogy move of chain ch in iteration i (node-time or regraft move,
// with the mutation-age proposal and the age sample of sampling iterations).
void updateGenealogy(Seed *seed, int ch, int32_t i);
void rotate_nodes(TreeMatrix &tree, int n, Seed *seed);
void adjcoaltimes(TreeMatrix &tree, int n, Seed *seed, int ch);
void reassignnodes(TreeMatrix &tree, const TreeMatrix &timeSorted, std::vector<int> &order);
// The regraft of the label-ordered tree: node j's subtree with j's parent is
// cut out and its attachment point moved a signed distance g (positive toward
// the present), the subtree rescaled to fit under its new attachment age.
// Returns false when the walk found no place (g not finite or far too long);
// tree is then left cut apart and must be discarded.
bool regraftSubtree(TreeMatrix &tree, int j, double g, Seed *seed);
