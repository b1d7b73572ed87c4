// The run's working structures, created between the reading of the control
// file and the building of the chains' starting states.
#pragma once

// Creates the working structures, the population tables and the tree-row
// layout, and gives every chain fresh tree matrices.
void setuprun();
