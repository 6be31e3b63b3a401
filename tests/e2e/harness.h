// Runs the built programs over scenario directories and reads back what they left.
#ifndef TESTS_E2E_HARNESS_H_
#define TESTS_E2E_HARNESS_H_

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace e2e {

struct RunResult {
  int exitCode = -1;     // the process's exit status (0..255)
  std::string out;       // standard output
  std::string err;       // standard error
  std::string terminal;  // what reached the controlling terminal (runProgramWithTerminal only)
};

// Runs `program` with `args` in the working directory `cwd`, with a clean environment holding only
// PATH, HOME and the given variables (TZ defaults to UTC).  The process has no controlling
// terminal, as under cron.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                     const std::map<std::string, std::string>& env = {});

// As runProgram, but the process is killed with SIGKILL once `delay` has passed (exit code 137);
// a delay of 0 waits for the end.
RunResult runProgramKilledAfter(const std::string& program, const std::vector<std::string>& args,
                                const std::string& cwd, const std::map<std::string, std::string>& env,
                                std::chrono::microseconds delay);

// A program started and not yet waited for, so that several can run at once.
struct StartedProgram {
  pid_t pid = -1;
  std::string outPath, errPath;  // files that collect its standard output and error
  int terminal = -1;             // the master side of its controlling terminal, if it has one
};

// Starts the program as runProgram would and returns at once; finishProgram waits for its end and
// reads back what it wrote.  Every started program must be finished.
StartedProgram startProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                            const std::map<std::string, std::string>& env = {});
RunResult finishProgram(const StartedProgram& started);

// As runProgram, but the process has a controlling terminal (a raw pseudo-terminal) while its
// standard output and error stay files: `terminal` holds what was written straight to it.
RunResult runProgramWithTerminal(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& cwd, const std::map<std::string, std::string>& env = {});

// As runProgram, but on a pseudo-terminal: standard input, output and error and the controlling
// terminal are all its slave side, set raw so that the bytes read back are the bytes written.
// `out` holds everything the terminal received; `err` stays empty.
RunResult runProgramOnTerminal(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                               const std::map<std::string, std::string>& env = {});

// A fresh empty directory, removed when the object goes.
class ScenarioDir {
 public:
  // kInMemory puts the directory on a memory-backed file system (/dev/shm) where there is one, for
  // tests that run the programs hundreds of times: forcing files to disk costs nothing there, and a
  // killed or failing process leaves the same files behind as on a disk.
  enum Storage { kOnDisk, kInMemory };

  ScenarioDir();
  explicit ScenarioDir(Storage storage);
  ~ScenarioDir();
  ScenarioDir(const ScenarioDir&) = delete;
  ScenarioDir& operator=(const ScenarioDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& relative) const { return path_ + "/" + relative; }
  // Writes bytes exactly as given (creating parent directories).
  void write(const std::string& relative, const std::string& bytes) const;
  void makeDirectory(const std::string& relative) const;
  std::string read(const std::string& relative) const;
  bool exists(const std::string& relative) const;
  // Names of the entries of a subdirectory ("" for the top), sorted.
  std::vector<std::string> list(const std::string& relative = "") const;
  // Copies every file and directory of `source` into this directory, keeping the files' last-write
  // times, so that the copy looks to the programs just as the original does (an index built from
  // the lists stays current).
  void copyFrom(const ScenarioDir& source) const;

 private:
  std::string path_;
};

// Replaces every "HH:MM:SS" time of day by "hh:mm:ss", so logs compare across runs.
std::string maskTimes(const std::string& text);

}  // namespace e2e

#endif  // TESTS_E2E_HARNESS_H_
