// Definitions of the run's shared state declared in mutloc.h.
#include "mutloc.h"

Settings pset;
int TMAT = 7;
int TOTLOCI = 0;

std::vector<int> maxall;
std::vector<std::vector<int>> normmat;
std::vector<TransTable> MP1;
std::vector<double> answer;
double segweights[3] = {0, 0, 0};
int numsegs = 0;

std::vector<std::vector<int>> patientData;
std::vector<std::vector<Haplotype>> normalHaps;
int maxAllele = 0;

std::vector<std::vector<int>> missingNormalLoci;
int normalHasMissing = 0;
std::vector<std::vector<int>> missingLeaves;
std::vector<std::vector<std::vector<int>>> missingLoci;

std::vector<TreeMatrix> chainTree;
std::vector<TreeMatrix> sortedTree;
std::vector<TreeMatrix> propTree;
std::vector<std::vector<double>> nodeTimes;
std::vector<double> propTimes;
std::vector<int> labelOrder;
std::vector<double> chainLogLik;
std::vector<double> chainTreePrior;
std::vector<double> chainMutAgePrior;
std::vector<double> chainRootHapProb;
std::vector<double> chainLocPrior;
std::vector<double> chainPartnerProb;
std::vector<double> chainPopSampleProb;
std::vector<int> accTree;
std::vector<double> accMutLoc;
std::vector<int> accRoot;
std::vector<int> accInternal;
std::vector<int> accFreq;
std::vector<std::vector<double>> props;
std::vector<std::vector<double>> locationSamples;
std::vector<std::vector<double>> ageSamples;
std::vector<std::vector<double>> simAlleleFreqs;

std::vector<std::vector<int>> hapstate;
