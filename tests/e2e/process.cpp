// Child processes of the end-to-end tests.
#include "process.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testkit.h"

Child startMutloc(const std::string &dir, const std::vector<std::string> &args, bool onTerminal) {
  Child child;
  int replica = -1;
  if (onTerminal) {
    child.terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (child.terminal < 0 || grantpt(child.terminal) != 0 || unlockpt(child.terminal) != 0)
      return child;
    replica = open(ptsname(child.terminal), O_RDWR | O_NOCTTY);
  }
  child.started = std::chrono::steady_clock::now();
  child.pid = fork();
  if (child.pid == 0) {
    if (chdir(dir.c_str()) != 0)
      _exit(126);
    const int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = onTerminal ? replica : open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int none = open("/dev/null", O_RDONLY);
    dup2(none, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char *> argv{const_cast<char *>(MUTLOC_BINARY)};
    for (const std::string &a : args)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(MUTLOC_BINARY, argv.data());
    _exit(127);
  }
  if (replica >= 0)
    close(replica);
  return child;
}

Finished waitFor(const Child &child, const std::string &dir, double limitSeconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(limitSeconds));
  Finished f;
  std::string shown;
  int st = 0;
  rusage usage{};
  for (;;) {
    if (child.terminal >= 0) {
      pollfd p{child.terminal, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) {
        char buf[4096];
        const ssize_t got = read(child.terminal, buf, sizeof buf);
        if (got > 0)
          shown.append(buf, got);
      }
    } else {
      usleep(2000);
    }
    if (limitSeconds > 0 && std::chrono::steady_clock::now() > deadline)
      kill(child.pid, SIGKILL);
    const pid_t done = wait4(child.pid, &st, WNOHANG, &usage);
    if (done == child.pid)
      break;
    if (done < 0)
      return f;
  }
  f.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - child.started).count();
  f.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  f.peakKb = usage.ru_maxrss;
  f.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  if (child.terminal >= 0) {
    // What is left on the terminal after the end.
    char buf[4096];
    ssize_t got;
    fcntl(child.terminal, F_SETFL, O_NONBLOCK);
    while ((got = read(child.terminal, buf, sizeof buf)) > 0)
      shown.append(buf, got);
    close(child.terminal);
  }
  f.out = readFile(dir + "/stdout.txt");
  f.err = child.terminal >= 0 ? shown : readFile(dir + "/stderr.txt");
  return f;
}

Finished runToEnd(const std::string &dir, const std::vector<std::string> &args, bool onTerminal) {
  return waitFor(startMutloc(dir, args, onTerminal), dir);
}

bool waitForLines(const std::string &path, size_t n) {
  for (int k = 0; k < 2000; k++) {
    if (lines(readFile(path)).size() >= n)
      return true;
    usleep(10000);
  }
  return false;
}
