// Readers and writers of the program's input: the control file, the stored
// tree-matrix file and the annotated sequence file.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "memorybudget.h"
#include "mutloc.h"
#include "random.h"

// Reads and checks the whole control file from its first byte, fills pset and
// the data tables, draws the random starting values it asks for and echoes the
// settings into log. Returns the largest allele label (0 after a missing-allele
// report). Stops the run with a message on the first bad item, and on a size
// whose tables would not fit into budget.
int readdata3(Rng &rng, int *segCount, std::istream &in, std::ostream &log,
              std::vector<std::vector<int>> &patientData,
              std::vector<std::vector<Haplotype>> &normalHaps,
              const MemoryBudget &budget = machineMemoryBudget());

// The 1-based line of in that holds position at (-1: the current read
// position; past the end: the last line). Keeps the stream's state and
// position.
long lineNumberAt(std::istream &in, std::streampos at = -1);

// Reads the annotated sequence file fileName into 2 * count - 1 segment
// entries (positions and kinds e/i/n) and writes them to "exons.txt".
void readseq(std::vector<double> &positions, std::vector<char> &kinds, int *count,
             const std::string &fileName);

// Writes tree and its ancestral haplotype root in the stored-matrix layout.
void storemat(const TreeMatrix &tree, const Haplotype &root, std::ostream &out);
// Loads tree and chainSettings[0].rootLoci from "inmat.txt" when that file exists.
void readmat(TreeMatrix &tree);
// Prints a tree matrix to the screen for inspection.
void printmat(const TreeMatrix &tree);
