// Every message with which the run stops for an error, in one list, grouped by
// the part of the run that detects it.
#pragma once

namespace msg {

// Entry and output files.
inline constexpr const char *noInputFile = "You haven't opened the input file yet.";
inline constexpr const char *cantBeOpened = " can't be opened.";
// An output file that cannot be created or written, and a prefix another run
// holds (standard error; a write failure ends with writeFailedStatus).
inline constexpr const char *cannotCreateBefore = "mutloc: cannot create \"";
inline constexpr const char *cannotWriteBefore = "mutloc: cannot write \"";
inline constexpr const char *reasonAfter = "\": ";
inline constexpr int writeFailedStatus = 1;
inline constexpr const char *cannotLockBefore = "mutloc: cannot lock \"";
inline constexpr const char *lockedBefore = "mutloc: another run (process ";
inline constexpr const char *lockedMiddle = ") is writing the files of \"";
inline constexpr const char *lockedAfter =
    "\"; wait for it to end, or give this run another --out prefix.";
// Command line (standard error; a usage error ends with usageStatus).
inline constexpr int usageStatus = 2;
inline constexpr const char *unknownOption = "mutloc: unknown option ";
inline constexpr const char *missingOptionValue = "mutloc: the option needs a value: ";
inline constexpr const char *extraArgument = "mutloc: only one control file can be given; extra: ";
inline constexpr const char *seeHelp = "Try 'mutloc --help' for the options.";
inline constexpr const char *cannotOpenBefore = "mutloc: cannot open the control file \"";
inline constexpr const char *cannotOpenAfter = "\": ";
// Where the control-file reader was when it stopped (standard error).
inline constexpr const char *stoppedAtBefore = "mutloc: the control file ";
inline constexpr const char *stoppedAtMiddle = " was being read at line ";
// A size in the control file beyond the run's memory budget.
inline constexpr const char *memoryBefore = "\"";
inline constexpr const char *memoryMiddle = "\" asks for about ";
inline constexpr const char *memoryAfter = " of memory, more than the ";
inline constexpr const char *memoryEnd = " this run may use.";

// Sampler options.
inline constexpr const char *badSampler = "mutloc: --sampler takes exact or mixing, not: ";
inline constexpr const char *badThreads =
    "mutloc: --threads takes a whole number from 1 to 1024, not: ";
inline constexpr const char *badThin =
    "mutloc: --thin takes a whole number from 1 to 1000000000, not: ";
inline constexpr const char *badSharePrior =
    "mutloc: --founder-share-prior takes two positive numbers A,B (a Beta prior), not: ";
inline constexpr const char *badShare =
    "mutloc: --founder-share takes a number above 0 and at most 1, not: ";
inline constexpr const char *shareWithoutHeterogeneity =
    "mutloc: --founder-share and --founder-share-prior belong to --heterogeneity";
inline constexpr const char *markerListBefore = "mutloc: the marker list \"";
inline constexpr const char *markerListAfter =
    " (it names the markers in the answers; give the one written with this control file "
    "with --markers, or move it away)";
inline constexpr const char *heterogeneityNeedsMixing =
    "mutloc: --heterogeneity needs --sampler mixing";
inline constexpr const char *heterogeneityNeedsData =
    "mutloc: --heterogeneity needs the patient chromosomes of the control file; it cannot be used "
    "with a simulation run (\"Run simulation\") or a stored genealogy (\"Read old file\")";

// Control file.
// Item labels as the messages name them.
inline constexpr const char *itemDataAsGenotypes = "Data as genotypes";
inline constexpr const char *itemGeneticModel = "Genetic model";
inline constexpr const char *itemReadOldFile = "Read old file";
inline constexpr const char *itemRandomSeed = "Use fixed random seed";
inline constexpr const char *itemChromosomes = "# chromosomes";
inline constexpr const char *itemLoci = "#loci per chromosome";
inline constexpr const char *itemNormalPop = "Numbers of haplotypes in the normal pop";
inline constexpr const char *itemMapDistance = "Map distance";
inline constexpr const char *itemRunSimulation = "Run simulation";
inline constexpr const char *itemMutLocation = "Mutation location";
inline constexpr const char *itemMutLocBounds = "Mutation's low and high boundary";
inline constexpr const char *itemChains = "Simulation runs";
inline constexpr const char *itemMutLocStart = "Starting value(s) for mutation";
inline constexpr const char *itemGrowthRate = "Population growth rate ";
inline constexpr const char *itemPropSampled = "Proportion of population sampled ";
inline constexpr const char *itemIterate =
    "Iterate ancestral state, mutation age, mutatin location, allele freq";
inline constexpr const char *itemFlipAllLoci = "Flip all Loci";
inline constexpr const char *itemAdjust =
    "Adjustment level for tree, root, recdist, ancestral, internal states, alleles,algswitch";
inline constexpr const char *itemBurnIn = "Burn-in iteration";
inline constexpr const char *itemIterations = "Iterations";
inline constexpr const char *itemUpdates = "Screen and file updates, save acceptance props, save "
                                           "haplotypes, save individual haplotypes...";
inline constexpr const char *itemHistogramBars = "Number of histogram bars";
inline constexpr const char *itemAlphaLevel = "Alpha level";
inline constexpr const char *itemMutAge = "Mutation age";
inline constexpr const char *itemMutAgeBounds = "Mutation age boundaries";
inline constexpr const char *itemStarGenealogy = "Star genealogy";
inline constexpr const char *itemRootLoci = "Loci for the root";
inline constexpr const char *itemPatients = "Patient haplo- or genotypes:";
inline constexpr const char *itemUseSeqWeights = "Use sequence weights";
inline constexpr const char *itemSeqWeights = "Weights for exons, introns, non-genes";
inline constexpr const char *itemContigPositions = "The positions of markers in the contig";
// Scanner stops: the text before the item label, then itemEnd.
inline constexpr const char *couldNotRead = "Could not read a number for \"";
inline constexpr const char *unexpectedEnd = "Unexpected end of the control file while reading \"";
inline constexpr const char *itemEnd = "\".";
inline constexpr const char *outOfMemory = "Not enough memory for the data of the control file.";
// Settings items.
inline constexpr const char *dataAsGenotypes01 = "\"Data as genotypes\" should be 0 or 1.";
inline constexpr const char *geneticModel01 = "\"Genetic model\" should be 0 or 1.";
inline constexpr const char *readOldFile01 = "\"Read old file\" should be 0 or 1.";
inline constexpr const char *randomSeedSign = "\"Use fixed random seed\" should be 0 or negative.";
inline constexpr const char *chromosomesPositive = "\"# chromosomes\" should be positive integer.";
inline constexpr const char *chromosomesEven =
    "There must be an even number of chromosomes when using genotypes.";
inline constexpr const char *chromosomesTooFew = "At least two disease chromosomes (two "
                                                 "individuals with unpaired genotypes) are needed.";
inline constexpr const char *lociPositive = "\"#loci per chromosome\" should be positive integer.";
inline constexpr const char *lociLimit =
    "\"#loci per chromosome\" should be at most 999 with haplotypes and 500 with genotypes.";
inline constexpr const char *mapIncreasing = "The numbers of \"Map distance\" should be increasing";
inline constexpr const char *mapCount = "\"Map distance\" should have #loci entries";
inline constexpr const char *mapStart = "\"Map distance\" should start at 0.";
inline constexpr const char *runSimulation01 = "\"Run simulation\" should be 0 or 1.";
inline constexpr const char *mutLocBoundsCount =
    "You should have 2 numbers for \"Mutation's low and high boundary\".";
inline constexpr const char *mutLocBoundsOrder =
    "Mutation's low boundary should less than high boundary.";
inline constexpr const char *chainsPositive = "\"Simulation runs\" should be positive.";
inline constexpr const char *growthRatePositive = "\"Population growth rate \" should be positive.";
inline constexpr const char *propSampledPositive =
    "\"Proportion of population sampled \" should be positive.";
inline constexpr const char *iterateValue =
    "The number of \"Iterate ancestral state, mutation age, mutatin location, allele freq\" "
    "should be 0 or 1 (or 2 or 3 for mut location).";
inline constexpr const char *iterateCount = "You should have 4 numbers for \"Iterate ancestral "
                                            "state, mutation age, mutatin location, allele freq\".";
inline constexpr const char *flipAllLoci01 = "\"Flip all Loci\" should be 0 or 1.";
inline constexpr const char *adjustValue =
    "The number of \"Adjustment level for tree, root, recdist, ancestral, internal states, "
    "alleles, and method\" should be non-negative.";
inline constexpr const char *adjustCount =
    "You should have 7 numbers for \"Adjustment level for tree, root, recdist, ancestral, "
    "internal states, alleles,algswitch\".";
inline constexpr int adjustCountStatus = 255;
inline constexpr const char *burnInPositive = "\"Burn-in iteration\" should be positive integer.";
inline constexpr const char *iterationsPositive = "\"Iterations\" should be positive integer.";
inline constexpr const char *updatesValue =
    "The numbers for \"Screen update and file update ...\" should be non-negative integers.";
inline constexpr const char *updatesCount =
    "You should have 4 numbers for \"Screen and file updates, save acceptance props, save "
    "haplotypes, save individual haplotypes...\".";
inline constexpr const char *histogramBarsPositive =
    "\"Number of histogram bars\" should be positive integer.";
inline constexpr const char *alphaLevelRange =
    "\"Alpha level for recdist\" should be positive and less than 1.";
inline constexpr const char *mutAgeValue = "\"Mutation age\" should be positive or -99(random).";
inline constexpr const char *mutAgeBoundsValue =
    "\"Mutation age boundaries\" should be a non-negative integer.";
inline constexpr const char *mutAgeBoundsCount =
    "You should have 2 numbers for \"Mutation age boundaries\".";
inline constexpr const char *mutAgeBoundsOrder =
    "\"Mutation age boundaries\": the first number should be less than the second one.";
inline constexpr const char *mutAgeNotIterated =
    "\"Mutation age\" should be positive when the mutation age is not iterated.";
inline constexpr const char *starGenealogy01 = "\"Star genealogy\" should be 0(no) or 1(yes).";
inline constexpr const char *rootLociValue = "\"Loci for the root\" should be positive integer.";
inline constexpr const char *rootLociCount = "You should have #loci for \"Loci for the root\".";
inline constexpr const char *rootLociLabelBefore = "\"Loci for the root\": the allele of marker ";
inline constexpr const char *rootLociLabelAfter = " is not a label of that marker in the data.";
inline constexpr const char *useSeqWeights01 = "\"Use sequence weights\" should be 0 or 1.";
// Data sections.
inline constexpr const char *zeroAllele = "0's are not allowed as input alleles, please recode";
inline constexpr const char *normalColumns =
    "\"Numbers of haplotypes in the normal pop\" should have #loci+1 columns.";
inline constexpr const char *normalNegativeCount =
    "\"Numbers of haplotypes in the normal pop\": counts should not be negative.";
inline constexpr const char *normalCountTotal =
    "\"Numbers of haplotypes in the normal pop\": the counts should add up to at most 1000000.";
inline constexpr const char *normalLabelLimit =
    "\"Numbers of haplotypes in the normal pop\": allele labels should be less than 499.";
inline constexpr const char *patientColumns =
    " You should have #loci+1 columns for \"Patient haplo- or genotypes:\" if data as genotype "
    "is 0 or #loci column if data as genotype is 1.";
inline constexpr const char *patientRows =
    "The rows of \"Patient haplo- or genotypes:\" should less than # chromosomes.";
inline constexpr const char *patientSum = "The sum of the numbers in the first column of "
                                          "\"Patient haplo- or genotypes:\" should equal to the # "
                                          "chromosomes.";
inline constexpr const char *patientNegativeCount =
    "\"Patient haplo- or genotypes:\": counts should not be negative.";
inline constexpr const char *patientLabelLimit =
    "\"Patient haplo- or genotypes:\": allele labels should be less than 499.";
inline constexpr const char *patientRowLimit =
    "\"Patient haplo- or genotypes:\" should have at most 1000 rows.";
inline constexpr const char *patientTooFewGenotypes =
    "\"Patient haplo- or genotypes:\" should have one genotype row per individual.";
inline constexpr const char *markerWithoutAlleleBefore = "Marker ";
inline constexpr const char *markerWithoutAlleleAfter =
    " has no allele in the normal population or the patient data.";
inline constexpr const char *segmentKind =
    "\"Weights for exons, introns, non-genes\": the second column should be i, e or n.";
inline constexpr const char *segmentColumns =
    "You should have 2 columns for: \"Weights for exons, introns, non genes\".";
inline constexpr const char *segmentLimit =
    "\"Weights for exons, introns, non-genes\" should have at most 10000 segment rows.";
inline constexpr const char *contigPositive =
    "\"The positions of markers in the contig\" should be positive integer.";
inline constexpr const char *contigCount =
    "You should have #loci positive integer for \"The positions of markers in the contig\".";
// Missing-allele report (not a stop: every gap is listed first).
inline constexpr const char *missingAlleleBefore = "Missing allele labelled ";
inline constexpr const char *missingAlleleMiddle = " from marker ";
inline constexpr const char *missingAlleleAfter = "Fix input file";

// Starting state and stored genealogies.
inline constexpr const char *recDistAdjustRange =
    "Recombination distance adjustment(c) out of range (0.0 - 0.5)";
inline constexpr const char *treeAdjustBefore = "Coalescence time adjustment ";
inline constexpr const char *treeAdjustAfter = " must be a > 0.0";
inline constexpr const char *outOfMemoryChains =
    "Not enough memory for the genealogies and samples of the run.";
inline constexpr const char *nodeAgesNotPositive =
    "The starting genealogy has node ages that are not positive numbers: check \"Population "
    "growth rate \", \"Proportion of population sampled \" and \"Mutation age\".";
inline constexpr const char *inmatMalformed = "\"inmat.txt\" is incomplete or malformed.";

// Sequence annotation.
inline constexpr const char *exonsFileOpen = "exons.txt is currently open";
inline constexpr const char *seqFileOpen = "Couldn't open sequence file ";
inline constexpr const char *seqFileSpelling = "Check spelling";
inline constexpr const char *seqLocationChar = "Unexpected character in the location \"";
inline constexpr const char *seqLocationNumber = "A number is too large in the location \"";
inline constexpr const char *seqLocationEnd = "\" of the sequence file.";

} // namespace msg
