// Runs a program as a child of a benchmark and tells what the run cost: its wall-clock time and
// the child's own peak resident memory, so that a figure is the program's as an operator runs it.
#ifndef BENCH_CHILD_RUN_H_
#define BENCH_CHILD_RUN_H_

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

namespace bench {

struct ChildRun {
  int exitCode = -1;  // 128 + the signal when a signal ended it; -1 when it could not be started
  double seconds = 0;
  long peakKiB = 0;  // the child's largest resident set, as wait4 reports it
};

// Runs `program` with `args` in `directory`, its standard output thrown away (its standard error
// stays, so that a failure shows), and waits for it.  The environment is the caller's.
inline ChildRun runChild(const std::string& program, const std::vector<std::string>& args,
                         const std::string& directory) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ChildRun run;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid < 0) return run;
  if (pid == 0) {
    int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull < 0 || ::dup2(devNull, STDOUT_FILENO) < 0 || ::chdir(directory.c_str()) != 0) ::_exit(127);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  pid_t waited;
  do {
    waited = ::wait4(pid, &status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (waited != pid) return run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.peakKiB = usage.ru_maxrss;
  return run;
}

}  // namespace bench

#endif  // BENCH_CHILD_RUN_H_
