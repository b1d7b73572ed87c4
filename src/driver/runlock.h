// One run per output prefix at a time: a run holds an exclusive flock on
// <prefix>.lock, which holds its process id, for as long as it lives. The
// lock goes with the process, however it ends; the file stays.
#pragma once

#include <string>

// Takes the lock of the prefix base. Stops the run at once when another run
// holds it (naming that run's process) or the lock file cannot be made.
void lockPrefix(const std::string &base);
