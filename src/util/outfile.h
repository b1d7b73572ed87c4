// Output files whose every write, flush and close is checked. A stream's
// state tells only that something failed; an OutFile keeps the system's
// reason of its first failure, so that the stop can name it.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

class OutFile : public std::ostream {
public:
  OutFile();
  // Closes without a check: a run that gets here normally has already closed
  // its files through closeOrStop.
  ~OutFile() override;
  OutFile(const OutFile &) = delete;
  OutFile &operator=(const OutFile &) = delete;

  // Creates or empties path for writing; false, with errno set, when it cannot.
  bool open(const std::string &path);
  bool is_open() const;
  // Writes out what is buffered and closes the file (once).
  void close();
  const std::string &path() const;
  // errno of the first write, flush or close that failed; 0 while none has.
  int failure() const;

private:
  // Buffered writes to a file descriptor. A piece too long for the buffer
  // goes out in one write of its own, so a caller that flushes after each
  // record (the .dat lines) writes each record in one system call.
  class Buffer : public std::streambuf {
  public:
    int fd = -1;
    int error = 0;
    std::string path;
    bool writeOut();

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char *s, std::streamsize n) override;
    int sync() override;

  private:
    bool writeAll(const char *s, size_t n);
    std::vector<char> space = std::vector<char>(8192);
  };
  Buffer buffer;
};

// Stops the run because path cannot be created: "NAME can't be opened." on
// the screen, and the path with the system's reason on standard error.
[[noreturn]] void stopUnopened(const std::string &path, int reason);
// Stops the run because path cannot be written (or moved), naming it and the
// system's reason on standard error.
[[noreturn]] void stopUnwritten(const std::string &path, int reason);
// Stops as stopUnwritten does when a write, flush or close of file has failed.
void stopIfUnwritten(const OutFile &file);
// Closes file, then stops as stopIfUnwritten does.
void closeOrStop(OutFile &file);
