// Definitions of the run's shared records declared in mutloc.h and chain.h.
#include "chain.h"
#include "mutloc.h"

Settings pset;
std::vector<ChainSettings> chainSettings;
int TMAT = 7;
int TOTLOCI = 0;

std::vector<int> maxall;
std::vector<std::vector<int>> normmat;

std::vector<std::vector<int>> patientData;
int maxAllele = 0;
int patientBlockRows = 0;
std::vector<int> patientBlockRow;

std::vector<std::vector<int>> missingNormalLoci;
int normalHasMissing = 0;

std::vector<std::vector<double>> simAlleleFreqs;

std::vector<std::vector<int>> hapstate;

std::vector<Chain> chains;
