// Stored genealogies: chain 0's final tree matrix and ancestral haplotype in
// the .mat layout, the reading of that layout back from "inmat.txt" so that a
// later run can start chain 0 where an earlier one ended, and a screen print
// of a tree matrix for inspection.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>

#include "input.h"
#include "messages.h"
#include "stop.h"

namespace {

int rowCount() {
  return 2 * pset.numChromosomes - 1;
}

// The next blank-separated word of in as a number; false at the end of the
// input or when the word is not a number as a whole.
bool readNumber(std::istream &in, double &value) {
  std::string word;
  if (!(in >> word))
    return false;
  char *end = nullptr;
  value = std::strtod(word.c_str(), &end);
  return end != word.c_str() && *end == '\0';
}

// A link cell as a label: the label, -1 for "none", or -2 when the cell is
// not a whole number in -1..rows - 1.
int linkOf(double cell, int rows) {
  if (!(cell >= -1 && cell < rows) || cell != static_cast<int>(cell))
    return -2;
  return static_cast<int>(cell);
}

bool isAllele(double cell, int locus) {
  double a = cell < 0 ? -cell : cell;
  return a >= 1 && a <= maxall[locus] && a == static_cast<int>(a);
}

// Whether the rows form one binary genealogy of the run's shape: labels
// 0..2n - 2 once each, links inside the matrix, every node reached from the
// single root through children that name their parent back (so no node is
// reached twice and the walk ends), n leaves, paired leaves that name each
// other, and allele labels the likelihood can look up. A stored file that
// fails this would send the walks and look-ups of the sampler outside the
// matrix.
bool isGenealogy(const TreeMatrix &tree) {
  const int rows = rowCount();
  std::vector<int> rowOf(rows, -1);
  int root = -1;
  for (int r = 0; r < rows; r++) {
    int label = linkOf(tree[r][nodeLabel], rows);
    if (label < 0 || rowOf[label] != -1)
      return false;
    rowOf[label] = r;
    for (int c : {child1, child2, parent})
      if (linkOf(tree[r][c], rows) == -2)
        return false;
    if (tree[r][parent] == -1) {
      if (root != -1)
        return false;
      root = label;
    }
    for (int c = 0; c < TOTLOCI; c++)
      if (!isAllele(tree[r][TMAT + c], c % pset.numLoci))
        return false;
  }
  if (root == -1)
    return false;

  std::vector<int> pending{root};
  int visited = 0, leaves = 0;
  while (!pending.empty()) {
    int node = pending.back();
    pending.pop_back();
    visited++;
    const TreeRow &row = tree[rowOf[node]];
    int first = static_cast<int>(row[child1]), second = static_cast<int>(row[child2]);
    if (first == -1 && second == -1) {
      leaves++;
      continue;
    }
    if (first == -1 || second == -1 || first == second)
      return false;
    for (int child : {first, second}) {
      if (tree[rowOf[child]][parent] != node)
        return false;
      pending.push_back(child);
    }
  }
  if (visited != rows || leaves != pset.numChromosomes)
    return false;

  if (TMAT == 8)
    for (const TreeRow &row : tree) {
      if (row[child1] != -1)
        continue;
      int partner = linkOf(row[partnerLeaf], rows);
      if (partner < 0 || partner == row[nodeLabel])
        return false;
      const TreeRow &other = tree[rowOf[partner]];
      if (other[child1] != -1 || other[partnerLeaf] != row[nodeLabel])
        return false;
    }
  return true;
}

} // namespace

void storemat(const TreeMatrix &tree, const Haplotype &root, std::ostream &out) {
  const int width = TMAT + TOTLOCI;
  for (int r = 0; r < rowCount(); r++) {
    for (int c = 0; c < width; c++)
      out << tree[r][c] << ' ';
    out << std::endl;
  }
  for (int k = 0; k < pset.numLoci; k++)
    out << root[k] << ' ';
  out.flush();
}

// Everything is read into scratch storage first: a file that is short, holds
// a word that is not a number, or does not describe a genealogy of this run
// stops the run before chain 0 is touched.
void readmat(TreeMatrix &tree) {
  std::ifstream in("inmat.txt");
  if (!in.is_open())
    return;
  in.peek();
  if (in.bad())
    return;

  const int width = TMAT + TOTLOCI;
  TreeMatrix scratch(rowCount(), TreeRow(width));
  Haplotype root(pset.numLoci);
  for (TreeRow &row : scratch)
    for (double &cell : row)
      if (!readNumber(in, cell))
        stop(msg::inmatMalformed);
  for (int k = 0; k < pset.numLoci; k++) {
    double allele;
    if (!readNumber(in, allele) || allele < 0 || !isAllele(allele, k))
      stop(msg::inmatMalformed);
    root[k] = static_cast<int>(allele);
  }
  if (!isGenealogy(scratch))
    stop(msg::inmatMalformed);

  tree = std::move(scratch);
  chainSettings[0].rootLoci = std::move(root);
}

void printmat(const TreeMatrix &tree) {
  for (int r = 0; r < rowCount(); r++) {
    for (int c = 0; c < TMAT; c++)
      std::cout << tree[r][c] << '\t';
    std::cout << "\t\t";
    for (int c = 0; c < TOTLOCI; c++)
      std::cout << tree[r][TMAT + c];
    std::cout << std::endl;
  }
  std::cout << std::endl;
}
