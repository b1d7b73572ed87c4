// What every fuzz target shares: error stops become exceptions, so that one
// input's stop does not end the fuzzing process; the screen and the warnings
// are silenced; and the targets work in a folder of their own, since the
// readers use fixed file names ("inmat.txt", "exons.txt").
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

#include "stop.h"

// Thrown in place of an error stop.
struct Stopped {
  int status;
};

inline void prepareFuzzing() {
  setStopHandler([](const std::string &, int status) { throw Stopped{status}; });
  std::cout.setstate(std::ios::badbit);
  std::cerr.setstate(std::ios::badbit);
  // A memory-backed folder where there is one: every input is a file write.
  char folder[] = "/dev/shm/mutloc-fuzz-XXXXXX";
  char fallback[] = "/tmp/mutloc-fuzz-XXXXXX";
  const char *made = mkdtemp(folder);
  if (!made)
    made = mkdtemp(fallback);
  if (!made || chdir(made) != 0)
    std::abort();
  // The folder and the files the readers left in it go when the fuzzer ends.
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::current_path(ignored), ignored);
  });
}

inline void writeInput(const char *name, const uint8_t *data, size_t size) {
  std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char *>(data), size);
}

// Runs body; a stop is one of the expected outcomes of a bad input.
template <class Body> void untilStopped(Body body) {
  try {
    body();
  } catch (const Stopped &) {
  }
}
