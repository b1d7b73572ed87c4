// The self-updating progress line.
#include "progress.h"

#include <cstdio>
#include <ostream>

namespace {

// Redraws closer together than this only flicker.
constexpr double redrawSeconds = 0.2;
// Carriage return, then erase to the end of the line.
constexpr const char *clearLine = "\r\033[K";

double secondsBetween(std::chrono::steady_clock::time_point from,
                      std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

std::string clockText(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

} // namespace

Progress startProgress(long total, int screenInterval, bool enabled) {
  Progress p;
  p.enabled = enabled && total > 0;
  p.total = total;
  p.screenInterval = screenInterval;
  p.start = std::chrono::steady_clock::now();
  return p;
}

std::string progressText(long done, long total, double seconds) {
  char text[160];
  const double share = total > 0 ? 100.0 * done / total : 100.0;
  if (done <= 0 || seconds <= 0) {
    std::snprintf(text, sizeof text, "iteration %ld of %ld (%.1f%%)", done, total, share);
    return text;
  }
  const double rate = done / seconds;
  std::snprintf(text, sizeof text, "iteration %ld of %ld (%.1f%%), %.*f iterations/s, %s left",
                done, total, share, rate < 10 ? 2 : 0, rate,
                clockText((total - done) / rate).c_str());
  return text;
}

void showProgress(Progress &p, long done, std::ostream &err) {
  if (!p.enabled)
    return;
  // The iteration after this one (index done) writes to the screen: clear
  // the line so that the record starts on an empty one.
  const bool screenNext =
      done < p.total &&
      ((p.screenInterval != 0 && done % p.screenInterval == 0) || done == p.total - 1);
  if (screenNext) {
    if (p.shown)
      err << clearLine << std::flush;
    p.shown = false;
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (p.shown && secondsBetween(p.lastDrawn, now) < redrawSeconds)
    return;
  err << clearLine << progressText(done, p.total, secondsBetween(p.start, now)) << std::flush;
  p.shown = true;
  p.lastDrawn = now;
}

void endProgress(Progress &p, std::ostream &err) {
  if (p.enabled && p.shown)
    err << clearLine << std::flush;
  p.shown = false;
}
