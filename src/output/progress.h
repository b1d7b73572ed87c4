// The progress line of a run on standard error: the iteration, the share
// done, the rate and the time left, redrawn in place. It is shown only on a
// terminal and gets out of the way of the screen records of standard output.
#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

struct Progress {
  bool enabled = false;
  long total = 0;         // iterations of the run
  int screenInterval = 0; // iterations between screen records (0: none)
  bool shown = false;     // a line is on the terminal now
  std::chrono::steady_clock::time_point start, lastDrawn;
};

// A progress record for a run of total iterations; shown only when enabled.
Progress startProgress(long total, int screenInterval, bool enabled);
// After `done` iterations: redraws the line (at most a few times a second),
// or clears it when the next iteration writes a screen record.
void showProgress(Progress &progress, long done, std::ostream &err);
// Clears the line for good.
void endProgress(Progress &progress, std::ostream &err);
// The text of the line after done of total iterations in seconds.
std::string progressText(long done, long total, double seconds);
