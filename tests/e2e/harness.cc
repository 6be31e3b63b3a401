#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace e2e {

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// In a child process: enters cwd and replaces the process by the program with a clean environment.
[[noreturn]] void execInDirectory(const std::string& program, const std::vector<std::string>& args,
                                  const std::string& cwd, const std::map<std::string, std::string>& env) {
  if (chdir(cwd.c_str()) != 0) _exit(127);
  std::map<std::string, std::string> vars = {{"PATH", "/usr/bin:/bin"}, {"HOME", "/tmp"}, {"TZ", "UTC"}};
  for (const auto& [k, v] : env) vars[k] = v;
  std::vector<std::string> envStrings;
  for (const auto& [k, v] : vars) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp, argv;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string prog = program;
  argv.push_back(prog.data());
  std::vector<std::string> copies = args;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  execve(prog.c_str(), argv.data(), envp.data());
  _exit(127);
}

// Reads back what a started program left, given its wait status, and removes the files.
// What a pseudo-terminal's master side still holds once the program is gone.
std::string drainTerminal(int master) {
  std::string received;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      received.append(buffer, size_t(n));
    } else if (!(n < 0 && errno == EINTR)) {
      break;  // EIO once the slave side is closed and drained
    }
  }
  close(master);
  return received;
}

RunResult collect(const StartedProgram& started, int status) {
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = slurp(started.outPath);
  result.err = slurp(started.errPath);
  if (started.terminal >= 0) result.terminal = drainTerminal(started.terminal);
  unlink(started.outPath.c_str());
  unlink(started.errPath.c_str());
  return result;
}

}  // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                     const std::map<std::string, std::string>& env) {
  return runProgramKilledAfter(program, args, cwd, env, std::chrono::microseconds(0));
}

namespace {

StartedProgram start(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                     const std::map<std::string, std::string>& env, bool withTerminal) {
  char outTemplate[] = "/tmp/e2e-out-XXXXXX";
  char errTemplate[] = "/tmp/e2e-err-XXXXXX";
  int outFd = mkstemp(outTemplate), errFd = mkstemp(errTemplate);
  int master = -1, slave = -1;
  if (withTerminal) {
    struct termios raw {};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
  }
  pid_t pid = fork();
  if (pid == 0) {
    setsid();  // no controlling terminal, unless the pseudo-terminal becomes it
    if (slave >= 0 && ioctl(slave, TIOCSCTTY, 0) != 0) _exit(126);
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
    dup2(outFd, 1);
    dup2(errFd, 2);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    execInDirectory(program, args, cwd, env);
  }
  close(outFd);
  close(errFd);
  if (slave >= 0) close(slave);
  return {pid, outTemplate, errTemplate, master};
}

}  // namespace

StartedProgram startProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                            const std::map<std::string, std::string>& env) {
  return start(program, args, cwd, env, false);
}

RunResult runProgramWithTerminal(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& cwd, const std::map<std::string, std::string>& env) {
  return finishProgram(start(program, args, cwd, env, true));
}

RunResult finishProgram(const StartedProgram& started) {
  int status = 0;
  waitpid(started.pid, &status, 0);
  return collect(started, status);
}

RunResult runProgramKilledAfter(const std::string& program, const std::vector<std::string>& args,
                                const std::string& cwd, const std::map<std::string, std::string>& env,
                                std::chrono::microseconds delay) {
  StartedProgram started = startProgram(program, args, cwd, env);
  if (delay.count() <= 0) return finishProgram(started);
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + delay;
  while (waitpid(started.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(started.pid, SIGKILL);
      waitpid(started.pid, &status, 0);
      break;
    }
    usleep(200);
  }
  return collect(started, status);
}

RunResult runProgramOnTerminal(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                               const std::map<std::string, std::string>& env) {
  struct termios raw {};
  cfmakeraw(&raw);
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, &raw, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) execInDirectory(program, args, cwd, env);
  RunResult result;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      result.out.append(buffer, size_t(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // end of file, or EIO once the slave side is closed by the program's end
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

ScenarioDir::ScenarioDir() : ScenarioDir(kOnDisk) {}

ScenarioDir::ScenarioDir(Storage storage) {
  std::string base = "/tmp";
  if (storage == kInMemory && access("/dev/shm", W_OK | X_OK) == 0) base = "/dev/shm";
  std::string dirTemplate = base + "/e2e-scenario-XXXXXX";
  if (mkdtemp(dirTemplate.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = dirTemplate;
}

ScenarioDir::~ScenarioDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void ScenarioDir::write(const std::string& relative, const std::string& bytes) const {
  fs::path p = fs::path(path_) / relative;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

void ScenarioDir::makeDirectory(const std::string& relative) const { fs::create_directories(file(relative)); }

std::string ScenarioDir::read(const std::string& relative) const { return slurp(file(relative)); }

bool ScenarioDir::exists(const std::string& relative) const { return fs::exists(file(relative)); }

std::vector<std::string> ScenarioDir::list(const std::string& relative) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(relative.empty() ? path_ : file(relative))) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void ScenarioDir::copyFrom(const ScenarioDir& source) const {
  for (const auto& entry : fs::recursive_directory_iterator(source.path())) {
    fs::path target = fs::path(path_) / fs::relative(entry.path(), source.path());
    if (entry.is_symlink()) {
      fs::copy_symlink(entry.path(), target);
    } else if (entry.is_directory()) {
      fs::create_directories(target);
    } else {
      fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
      fs::last_write_time(target, fs::last_write_time(entry.path()));
    }
  }
}

std::string maskTimes(const std::string& text) {
  std::string out = text;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  for (size_t i = 0; i + 8 <= out.size(); ++i) {
    if (digit(out[i]) && digit(out[i + 1]) && out[i + 2] == ':' && digit(out[i + 3]) && digit(out[i + 4]) &&
        out[i + 5] == ':' && digit(out[i + 6]) && digit(out[i + 7])) {
      out.replace(i, 8, "hh:mm:ss");
      i += 7;
    }
  }
  return out;
}

}  // namespace e2e
