// Runs the built mutloc as a child process with its own standard output and
// standard error (each to a file, or standard error to a pseudo-terminal),
// and reports its status, time and peak memory, and waits for the files it
// writes to grow. For the end-to-end tests of the command line, signals, the
// progress line and the report of an interrupted run.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

struct Child {
  pid_t pid = -1;
  int terminal = -1; // master side of the pseudo-terminal, when asked for
  std::chrono::steady_clock::time_point started;
};

struct Finished {
  int status = -1;       // exit status, or 128 + signal when killed
  double seconds = 0;    // wall time from start to end
  double cpuSeconds = 0; // the child's user and system time
  long peakKb = 0;       // the child's peak resident memory
  std::string out, err;  // what it wrote (err: what the terminal showed)
};

// Starts mutloc with args in dir; standard output goes to dir/stdout.txt,
// standard error to dir/stderr.txt or, with onTerminal, to a new
// pseudo-terminal.
Child startMutloc(const std::string &dir, const std::vector<std::string> &args,
                  bool onTerminal = false);
// Waits for the child's end (reading the terminal meanwhile); with a limit,
// kills it outright after that many seconds from now.
Finished waitFor(const Child &child, const std::string &dir, double limitSeconds = 0);
// Runs mutloc to its end.
Finished runToEnd(const std::string &dir, const std::vector<std::string> &args,
                  bool onTerminal = false);
// Waits until path holds at least n lines (at most 20 s).
bool waitForLines(const std::string &path, size_t n);
