// Placeholder until this part of the run is written.
#include "driver.h"
void setuprun() {}
