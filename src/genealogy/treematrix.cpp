// The tree matrix that holds a chain's genealogy: one row per node, links to
// children and parent stored as node labels. Here are the whole-matrix
// operations: a fresh matrix, copy, sort on a column, reversal of the row
// order, the age order of the rows, and the two in-order walks below a node.
#include "genealogy.h"
#include "sort.h"

#include <algorithm>
#include <utility>

namespace {

int rowCount() {
  return 2 * pset.numChromosomes - 1;
}

int rowWidth() {
  return TMAT + TOTLOCI;
}

} // namespace

TreeMatrix freshTree() {
  TreeRow row(rowWidth(), -1.0);
  row[nodeTime] = 0;
  row[nodeLogLik] = 0;
  return TreeMatrix(rowCount(), row);
}

void copytree(const TreeMatrix &source, TreeMatrix &target) {
  const int width = rowWidth();
  for (int r = 0; r < rowCount(); r++)
    std::copy_n(source[r].begin(), width, target[r].begin());
}

void mysorttreematrev(TreeMatrix &matrix, int rowCount, int width) {
  for (int i = 0; i < rowCount / 2; i++)
    for (int c = 0; c < width; c++)
      std::swap(matrix[i][c], matrix[rowCount - 1 - i][c]);
}

namespace {

// The nested calls of one walk share the position; the walk stores nothing
// once count labels are stored.
void labelWalk(int node, int count, std::vector<int> &order, int &position,
               const TreeMatrix &matrix) {
  if (position >= count || node == -1)
    return;
  labelWalk(static_cast<int>(matrix[node][child1]), count, order, position, matrix);
  if (position >= count)
    return;
  order[position++] = static_cast<int>(matrix[node][nodeLabel]);
  labelWalk(static_cast<int>(matrix[node][child2]), count, order, position, matrix);
}

} // namespace

int getlabelorder(int node, int count, std::vector<int> &order, const TreeMatrix &matrix) {
  int position = 0;
  labelWalk(node, count, order, position, matrix);
  return position;
}

// Rescales the ages below node, node's own branch included, so that a moved
// subtree fits under a new attachment age.
void scaleSubtreeAges(int node, TreeMatrix &matrix, double factor) {
  if (node == -1)
    return;
  scaleSubtreeAges(static_cast<int>(matrix[node][child1]), matrix, factor);
  matrix[node][nodeTime] *= factor;
  matrix[node][branchLength] *= factor;
  scaleSubtreeAges(static_cast<int>(matrix[node][child2]), matrix, factor);
}

void sortTree(TreeMatrix &matrix, int column) {
  mysorttreemat(matrix, rowCount(), rowWidth(), column);
}

// The quicksort's comparisons read only the keys and its exchanges only swap
// positions, so sorting (age, label) pairs makes the exchanges that sorting
// the whole rows on their age would make, and rows of equal age come out in
// the same order. The moves read nothing of the sorted rows but these two
// columns.
void ageOrder(const TreeMatrix &matrix, std::vector<double> &ages, std::vector<int> &labels) {
  const int rows = rowCount();
  ages.resize(rows);
  labels.resize(rows);
  for (int r = 0; r < rows; r++) {
    ages[r] = matrix[r][nodeTime];
    labels[r] = static_cast<int>(matrix[r][nodeLabel]);
  }
  mysort3(labels.data(), ages.data(), rows);
}

// A link cell (child, parent) of a row as a node label.
int link(const TreeMatrix &tree, int node, int column) {
  return static_cast<int>(tree[node][column]);
}

// The child of node that is not the given one.
int otherChild(const TreeMatrix &tree, int node, int child) {
  const int first = link(tree, node, child1);
  return first == child ? link(tree, node, child2) : first;
}

// Makes parentNode's child entry that names oldChild name newChild.
void replaceChild(TreeMatrix &tree, int parentNode, int oldChild, int newChild) {
  const int column = link(tree, parentNode, child1) == oldChild ? child1 : child2;
  tree[parentNode][column] = newChild;
}
