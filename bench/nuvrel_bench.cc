// Benchmarks of the poster: the results, quorum and password tables over a large vote base,
// against writing the same number of lines with plain stdio, and a many-day run that reads the
// vote manager's files once.  Prints the figures; run it with a scratch directory it may fill
// (default: a fresh directory under /tmp).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/log.h"
#include "common/platform.h"
#include "nuvrel/app.h"
#include "nuvrel/output.h"
#include "nuvrel/readers.h"
#include "nuvrel/templates.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

constexpr int kVoteRecords = 20000, kCandidates = 12, kRepeats = 5, kDays = 92;

void writeFile(const std::string& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

void writeElection(const std::string& dir) {
  std::FILE* vot = std::fopen((dir + "/korva.vot").c_str(), "wb");
  for (int r = 0; r < kVoteRecords; ++r) {
    int candidate = r % 97 == 0 ? -(1 + r % kCandidates) : 1 + (r * 7) % kCandidates;
    std::fprintf(vot, "%d\t0\t%.8X%.8X\t2:%d/%d.%d\tElector Name %d\tpw%08d\r\n", candidate, r * 2654435761u, r,
                 5000 + r % 50, (r * 31) % 1000, r % 3, (r * 7919) % kVoteRecords, (r * 104729) % 99999989);
  }
  std::fclose(vot);
  writeFile(dir + "/korva.sta", "VALD=19000\r\nMANV=100\r\nDUPE=700\r\nNDLA=200\r\n");
  writeFile(dir + "/results.tpl", "Results:\r\n%RESV\r\n");
  writeFile(dir + "/quorum.tpl", "Quorum:\r\n%QUON\r\n");
  writeFile(dir + "/passwords.tpl", "Passwords:\r\n%PASN\r\n");
  writeFile(dir + "/figures.tpl", "Ballots %ALLB, valid %VALD (%VALE%%), refused %INVD.\r\n");
}

void prepareRun(const std::string& dir) {
  using namespace nuvrel;
  app = AppState{};
  settings = Settings{};
  election = ElectionData{};
  output = OutputState{};
  app.configPath = dir + "/korva.cfp";
  app.textMode = true;
  app.currentSection = dir + "/out";
  settings.includeTearline = false;
  for (int c = 1; c <= kCandidates; ++c) election.candidates.push_back({"Candidate number " + std::to_string(c), 0});
}

// Seconds to write `lines` lines of a quorum row's shape with fprintf.
double stdioLines(const std::string& dir, int lines) {
  Clock::time_point start = Clock::now();
  std::FILE* f = std::fopen((dir + "/plain.txt").c_str(), "wb");
  for (int r = 0; r < lines; ++r) std::fprintf(f, " %-18s %s\n", "2:5000/31.1", "Elector Name 12345");
  std::fclose(f);
  return secondsSince(start);
}

double expandSeconds(const std::string& path) {
  Clock::time_point start = Clock::now();
  nuvrel::expandPostTemplate(path);
  return secondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "nuvrel_bench").string();
  std::filesystem::create_directories(dir);
  writeElection(dir);
  logging::logInit({"Nuvrel", nuvrel::kProgramVersion, ""});
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;  // the "processed" lines would swamp the figures
  double plain = 1e9;
  for (int i = 0; i < kRepeats; ++i) plain = std::min(plain, stdioLines(dir, kVoteRecords));

  struct Table {
    const char* name;
    const char* tpl;
    double load = 0, first = 0, best = 1e9;
  } tables[] = {{"results", "results.tpl"}, {"quorum", "quorum.tpl"}, {"passwords", "passwords.tpl"}};
  for (Table& t : tables) {
    prepareRun(dir);
    Clock::time_point loadStart = Clock::now();
    nuvrel::loadPosterVotes();  // once per run, at the first macro that needs it
    t.load = secondsSince(loadStart);
    t.first = expandSeconds(dir + "/" + t.tpl);  // the records still in file order
    for (int i = 0; i < kRepeats; ++i) t.best = std::min(t.best, expandSeconds(dir + "/" + t.tpl));
  }

  // A Test run's shape: every day expands every template; the files are read on the first day only.
  prepareRun(dir);
  Clock::time_point start = Clock::now();
  double firstDay = 0;
  for (int day = 0; day < kDays; ++day) {
    for (const char* tpl : {"figures.tpl", "results.tpl", "quorum.tpl", "passwords.tpl"}) {
      nuvrel::expandPostTemplate(dir + "/" + tpl);
    }
    if (day == 0) firstDay = secondsSince(start);
  }
  double allDays = secondsSince(start);
  std::fflush(stdout);
  std::FILE* out = stderr;  // standard output went to /dev/null above

  std::fprintf(out, "plain stdio, %d lines: %.4f s\n", kVoteRecords, plain);
  for (const Table& t : tables) {
    std::fprintf(out,
                 "%-9s over %d records: first %.4f s (%.2fx plain), later %.4f s (%.2fx); vote base read once: "
                 "%.4f s\n",
                 t.name, kVoteRecords, t.first, t.first / plain, t.best, t.best / plain, t.load);
  }
  std::fprintf(out, "%d days of 4 templates: first day %.4f s, each later day %.4f s on average\n", kDays, firstDay,
               (allDays - firstDay) / (kDays - 1));
  return 0;
}
