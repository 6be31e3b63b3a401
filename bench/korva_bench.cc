// Benchmarks of the vote manager: the index build over a large nodelist, pointlist and valid
// addresses list, and the three kinds of lookup.  Prints the figures; run it from a scratch
// directory it may fill (default: a fresh directory under /tmp).
//
// With --scaling it measures instead how Scan's cost grows with the election: for each size it runs
// the built Korva32 over that many fresh ballots and, in the same run, the durable floor over them.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/child_run.h"
#include "common/byte_order.h"
#include "common/config_values.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/message_format.h"
#include "korva/message_reader.h"
#include "korva/nodelist_index.h"
#include "korva/scan.h"
#include "korva/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

constexpr int kNodelistLines = 200000, kPointlistLines = 50000, kValidLines = 10000, kLookups = 10000;
constexpr int kNodesPerNet = 400;
constexpr int kBallots = 2000;

// Node n of the synthetic nodelist: zone 2, net 100 + n / kNodesPerNet, node 1 + n % kNodesPerNet.
FtnAddress nodeAddress(int n) { return {2, int16_t(100 + n / kNodesPerNet), int16_t(1 + n % kNodesPerNet), 0}; }

// The three lists, with nodelistLines lines in the nodelist and validLines electors in the valid
// list (elector v is node v * 7 of the nodelist).
void writeFiles(const std::string& dir, int nodelistLines, int validLines) {
  std::FILE* nl = std::fopen((dir + "/nodelist.txt").c_str(), "wb");
  std::fprintf(
      nl, ";A Synthetic nodelist for the benchmark\r\nZone,2,Zone_Two,Somewhere,Zone_Coordinator,7-000,300,CM\r\n");
  int written = 2, n = 0;
  while (written < nodelistLines) {
    FtnAddress a = nodeAddress(n++);
    if (a.node == 1) {
      std::fprintf(nl, "Host,%d,Net_%d,Somewhere,Host_Sysop_%d,7-000,300,CM\r\n", a.net, a.net, a.net);
      ++written;
    }
    const char* status = n % 50 == 0 ? "Pvt" : n % 77 == 0 ? "Hold" : n % 91 == 0 ? "Down" : "";
    std::fprintf(nl, "%s,%d,Station_%d,City_%d,Sysop_Name_%d,7-000-000-%04d,9600,CM,XA,IBN\r\n", status, a.node, n,
                 a.net, n, n % 10000);
    ++written;
  }
  std::fclose(nl);
  std::FILE* pl = std::fopen((dir + "/pointlist.txt").c_str(), "wb");
  std::fprintf(pl, ";A Synthetic pointlist\r\n");
  for (int p = 0; p < kPointlistLines - 1; ++p) {
    FtnAddress boss = nodeAddress(p / 5);
    if (p % 5 == 0) std::fprintf(pl, "Boss,%d:%d/%d\r\n", boss.zone, boss.net, boss.node);
    std::fprintf(pl, "Point,%d,Point_Station,City,Point_Sysop_%d,-Unpublished-,300,CM\r\n", p % 5 + 1, p);
  }
  std::fclose(pl);
  std::FILE* vl = std::fopen((dir + "/valid.lst").c_str(), "wb");
  for (int v = 0; v < validLines; ++v) {
    FtnAddress a = nodeAddress(v * 7);
    std::fprintf(vl, "%d:%d/%d               Sysop Name %d\r\n", a.zone, a.net, a.node, v * 7 + 1);
  }
  std::fclose(vl);
  std::FILE* cfg = std::fopen((dir + "/korva.cfg").c_str(), "wb");
  std::fclose(cfg);
}

size_t readAllLines(const std::string& path) {
  std::FILE* f = platform::openFile(path, "rb");
  std::string line;
  size_t lines = 0;
  while (platform::readBinaryLine(f, line, config::kLineCapacity)) ++lines;
  std::fclose(f);
  return lines;
}

// ---- Scan -------------------------------------------------------------------------------------

// A ballot from elector v of the valid list to the robot 2:5020/1; a revote chooses the other
// candidate under another MSGID.
std::string ballotBytes(int v, bool revote = false) {
  FtnAddress from = nodeAddress(v * 7);
  uint8_t header[msg_header::kSize] = {};
  auto text = [&header](size_t offset, const std::string& s) { std::memcpy(header + offset, s.data(), s.size()); };
  text(msg_header::kFromName, text::format("Sysop Name %d", v * 7 + 1));
  text(msg_header::kToName, "Korvamgr");
  text(msg_header::kSubject, "Bench Election");
  text(msg_header::kDateTime, "05 Apr 05  10:20:30");
  byte_order::put16(header + msg_header::kOrigNet, uint16_t(from.net));
  byte_order::put16(header + msg_header::kOrigNode, uint16_t(from.node));
  byte_order::put16(header + msg_header::kDestNet, 5020);
  byte_order::put16(header + msg_header::kDestNode, 1);
  bool alpha = (v % 2 != 0) != revote;
  std::string body = text::format("\x01INTL 2:5020/1 2:%d/%d\r\x01MSGID: 2:%d/%d %x\r%s !pw%d\r", from.net, from.node,
                                  from.net, from.node, (revote ? 0x100000 : 0x1000) + v, alpha ? "Alpha" : "Beta", v);
  return std::string(reinterpret_cast<char*>(header), sizeof header) + body + '\0';
}

void writeBallots(const std::string& directory, int ballots, bool revotes = false) {
  std::filesystem::create_directories(directory);
  for (int v = 0; v < ballots; ++v) {
    std::string path = directory + std::to_string(v + 1) + ".msg";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::string bytes = ballotBytes(v, revotes);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// The least any scan must do per ballot: read its file, save the election files durably as large
// as they are by then (the vote base up to this ballot's record, and the statistic file), and
// rename the ballot into its filing directory.  voteBase holds one record line per ballot.  Each
// save is the product's own: a temporary forced to disk, renamed over the file, the directory
// synced.  Ends the program when a step fails, since a floor that skipped work would flatter.
double scanFloor(const std::string& dir, int ballots, const std::string& voteBase, const std::string& statistic) {
  std::string in = dir + "/floor-in/", out = dir + "/floor-out/";
  writeBallots(in, ballots);
  std::filesystem::create_directories(out);
  ::sync();  // the ballots' own write-back is not the floor's
  Clock::time_point start = Clock::now();
  size_t recordEnd = 0;
  for (int v = 0; v < ballots; ++v) {
    std::string name = std::to_string(v + 1) + ".msg", bytes;
    recordEnd = voteBase.find('\n', recordEnd);
    if (recordEnd == std::string::npos) recordEnd = voteBase.size() - 1;
    ++recordEnd;
    if (!platform::readWholeFile(in + name, bytes) || bytes.empty() ||
        !platform::writeFileAtomically(dir + "/floor.sta", statistic) ||
        !platform::writeFileAtomically(dir + "/floor.vot", std::string_view(voteBase).substr(0, recordEnd)) ||
        platform::renameFile(in + name, out + name) != platform::RenameResult::kDone) {
      std::fprintf(stderr, "the floor failed at ballot %d in %s\n", v + 1, dir.c_str());
      std::exit(1);
    }
  }
  return secondsSince(start);
}

// The vote base records the floor saves when no real vote base is at hand: one per ballot, as
// long as Korva32's.
std::string syntheticVoteBase(int ballots) {
  std::string voteBase;
  for (int v = 0; v < ballots; ++v)
    voteBase += text::format("1\t0\t00000000%08X\t2:%d/%d.0\tSysop Name %d\tpw%d\r\n", v, 100, v, v, v);
  return voteBase;
}

void prepareElection(const std::string& dir, const std::string& name, bool withReplies) {
  using namespace korva;
  std::string base = dir + "/" + name;
  for (const char* sub : {"/in/", "/valid/", "/invalid/", "/out/"}) std::filesystem::create_directories(base + sub);
  settings.voteId = "Bench Election";
  settings.netmailIn = base + "/in/";
  settings.moveValid = base + "/valid/";
  settings.moveInvalid = base + "/invalid/";
  settings.netmailOut = withReplies ? base + "/out/" : "";
  settings.periodStart = 1104537600;  // 2005
  settings.periodEnd = 1135987200;
  std::FILE* tpl = std::fopen((dir + "/reply.tpl").c_str(), "wb");
  std::fputs("Your ballot from %FADR for %SUBJ was taken.\nCandidates:\n%CAND\n", tpl);
  std::fclose(tpl);
  settings.validTpl = settings.auditTpl = withReplies ? dir + "/reply.tpl" : "";
  clearVotes();
  election.counters = VerdictCounters{};
  election.voteBasePath = base + ".vot";
  election.statisticPath = base + ".sta";
  election.candidatesPath = dir + "/cand.txt";
  app.journalPath = base + ".jnl";
  app.startTime = std::time(nullptr);
}

double timeScan(const std::string& dir, const std::string& name, int ballots, bool withReplies) {
  prepareElection(dir, name, withReplies);
  writeBallots(korva::settings.netmailIn, ballots);
  korva::app.checkingPass = true;
  Clock::time_point start = Clock::now();
  korva::scanDirectory(korva::settings.netmailIn);
  double seconds = secondsSince(start);
  if (korva::election.votes.size() != size_t(ballots)) {
    std::fprintf(stderr, "scan recorded %zu of %d ballots\n", korva::election.votes.size(), ballots);
    std::exit(1);
  }
  return seconds;
}

void benchScan(const std::string& dir, int ballots, bool withReplies) {
  std::fprintf(stderr, "\nScan of %d ballots from distinct electors against that index:\n", ballots);
  double floor = scanFloor(dir, ballots, syntheticVoteBase(ballots), std::string(600, 'x'));
  double plain = timeScan(dir, "plain", ballots, false);
  std::fprintf(stderr, "  floor (read, rename, durable save each): %.3f s\n", floor);
  std::fprintf(stderr, "  (a) without replies:                     %.3f s  (%.2fx the floor)\n", plain, plain / floor);
  if (!withReplies) return;
  double serialFloor = 2.0 * ballots / 100.0;  // two messages a ballot, 100 MSGID serials a second
  double replies = timeScan(dir, "replies", ballots, true);
  std::fprintf(stderr, "  (b) with reply and audit:                %.3f s  (%.2fx the serial floor of %.1f s)\n",
               replies, replies / serialFloor, serialFloor);
}

// ---- Scaling ----------------------------------------------------------------------------------

constexpr const char* kScalingUsage =
    "usage: korva_bench --scaling [N ...] [--revotes] [--korva=PATH] [--dir=DIR] [--keep]\n"
    "  For each N (default 1000 8000): Scan by Korva32 over N fresh ballots from N distinct electors\n"
    "  in a fresh election without templates, and the durable floor over the same N.  Then the cost\n"
    "  of one durable save of the whole vote base at each N and at 50000 records.  The last column\n"
    "  is the time of Verify over the election each Scan left.\n"
    "  --revotes     then a second Scan over N revotes, each elector choosing the other candidate\n"
    "  --korva=PATH  the Korva32 to run (default: the one beside korva_bench)\n"
    "  --dir=DIR     where the scratch directory is made (default: /tmp)\n"
    "  --keep        leave the scratch directory in place\n";

struct ScalingOptions {
  std::vector<int> sizes;
  std::string korva, parent = "/tmp";
  bool keep = false, revotes = false;
};

struct ScalingFigures {
  int ballots = 0;
  double scanSeconds = 0, floorSeconds = 0, revoteSeconds = 0, verifySeconds = 0;
  long peakKiB = 0, revotePeakKiB = 0;
};

[[noreturn]] void scalingFailure(const std::string& what) {
  std::fprintf(stderr, "korva_bench: %s\n", what.c_str());
  std::exit(1);
}

bool parseScalingOptions(int argc, char** argv, ScalingOptions& options) {
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--korva=", 0) == 0) {
      options.korva = arg.substr(8);
    } else if (arg.rfind("--dir=", 0) == 0) {
      options.parent = arg.substr(6);
    } else if (arg == "--keep") {
      options.keep = true;
    } else if (arg == "--revotes") {
      options.revotes = true;
    } else {
      // The electors' nets must stay within a 16-bit field.
      char* end = nullptr;
      long n = std::strtol(arg.c_str(), &end, 10);
      if (arg.empty() || *end != '\0' || n < 1 || n > 1000000) return false;
      options.sizes.push_back(int(n));
    }
  }
  if (options.sizes.empty()) options.sizes = {1000, 8000};
  std::sort(options.sizes.begin(), options.sizes.end());
  if (options.korva.empty()) {
    std::error_code error;
    options.korva = (std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "Korva32").string();
  }
  return true;
}

// An election of its own for one size: the robot 2:5020/1 without templates or replies, every
// check off, the lists shared with the other sizes; Scan files every ballot into MoveValid.
void writeElection(const std::string& dir, const std::string& lists) {
  std::filesystem::create_directories(dir + "/in");
  std::string config = text::format(
      "Address 2:5020/1\r\nVoteId \"Bench Election\"\r\nValidAddress 2:*/*.*\r\n"
      "Dates 1.1.2005-31.12.2005\r\nLog korva.log\r\nNetmailIn in\r\nMoveValid valid\r\n"
      "MoveInvalid invalid\r\nMoveCancel cancel\r\nMaxRevotes 1\r\nCandidates cand.txt\r\n"
      "Nodelist %s/nodelist.txt\r\n"
      "Pointlist %s/pointlist.txt\r\nValidAddressList %s/valid.lst\r\n",
      lists.c_str(), lists.c_str(), lists.c_str());
  if (!platform::writeNewFile(dir + "/korva.cfg", config) ||
      !platform::writeNewFile(dir + "/cand.txt", "Alpha\r\nBeta\r\n"))
    scalingFailure("cannot write the election in " + dir);
}

size_t countEntries(const std::string& directory) {
  std::error_code error;
  size_t entries = 0;
  for (auto it = std::filesystem::directory_iterator(directory, error); !error && it != decltype(it){};
       it.increment(error))
    ++entries;
  return entries;
}

void measureRevotes(const ScalingOptions& options, const std::string& dir, int ballots, ScalingFigures& figures);

// Scan of a fresh election of `ballots` ballots, then the floor over as many, in `dir`.  The index
// is built by a run of its own first, so that Scan's time is the scan's.
ScalingFigures measureSize(const ScalingOptions& options, const std::string& scratch, int ballots) {
  std::string dir = scratch + "/n" + std::to_string(ballots);
  writeElection(dir, scratch);
  bench::ChildRun index = bench::runChild(options.korva, {"Index", "-cfg:korva.cfg", "-quiet"}, dir);
  if (index.exitCode != 0)
    scalingFailure(text::format("%s Index ended with %d in %s", options.korva.c_str(), index.exitCode, dir.c_str()));
  writeBallots(dir + "/in/", ballots);
  ::sync();  // the ballots' own write-back is not the scan's
  bench::ChildRun scan = bench::runChild(options.korva, {"Scan", "-cfg:korva.cfg", "-quiet"}, dir);
  if (scan.exitCode != 0)
    scalingFailure(text::format("%s Scan ended with %d in %s", options.korva.c_str(), scan.exitCode, dir.c_str()));
  // A scan that skipped ballots would look fast: every one must be recorded and filed.
  std::string voteBase, statistic;
  if (!platform::readWholeFile(dir + "/korva.vot", voteBase) || !platform::readWholeFile(dir + "/korva.sta", statistic))
    scalingFailure("Scan left no vote base or statistic file in " + dir);
  size_t records = size_t(std::count(voteBase.begin(), voteBase.end(), '\n'));
  size_t filed = countEntries(dir + "/valid"), left = countEntries(dir + "/in");
  if (records != size_t(ballots) || filed != size_t(ballots) || left != 0)
    scalingFailure(text::format("Scan of %d ballots recorded %zu, filed %zu and left %zu in %s", ballots, records,
                                filed, left, dir.c_str()));
  // Verify proves the vote base the scan wrote against every ballot it filed.
  bench::ChildRun verify = bench::runChild(options.korva, {"Verify", "-cfg:korva.cfg", "-quiet"}, dir);
  if (verify.exitCode != 0)
    scalingFailure(text::format("%s Verify ended with %d in %s", options.korva.c_str(), verify.exitCode, dir.c_str()));
  ScalingFigures figures;
  figures.ballots = ballots;
  figures.scanSeconds = scan.seconds;
  figures.peakKiB = scan.peakKiB;
  figures.verifySeconds = verify.seconds;
  // The floor saves the very vote base and statistic file the scan wrote, record by record.
  figures.floorSeconds = scanFloor(dir + "/floor", ballots, voteBase, statistic);
  if (options.revotes) measureRevotes(options, dir, ballots, figures);
  if (!options.keep) std::filesystem::remove_all(dir);
  return figures;
}

// A second Scan over a revote from every elector: each cancels the elector's vote, which moves the
// earlier ballot from MoveValid to MoveCancel, and records the new one.
void measureRevotes(const ScalingOptions& options, const std::string& dir, int ballots, ScalingFigures& figures) {
  writeBallots(dir + "/in/", ballots, true);
  ::sync();
  bench::ChildRun scan = bench::runChild(options.korva, {"Scan", "-cfg:korva.cfg", "-quiet"}, dir);
  if (scan.exitCode != 0)
    scalingFailure(
        text::format("%s Scan of revotes ended with %d in %s", options.korva.c_str(), scan.exitCode, dir.c_str()));
  std::string voteBase;
  if (!platform::readWholeFile(dir + "/korva.vot", voteBase)) scalingFailure("Scan lost the vote base in " + dir);
  size_t records = size_t(std::count(voteBase.begin(), voteBase.end(), '\n'));
  size_t filed = countEntries(dir + "/valid"), cancelled = countEntries(dir + "/cancel");
  if (records != 2 * size_t(ballots) || filed != size_t(ballots) || cancelled != size_t(ballots) ||
      countEntries(dir + "/in") != 0)
    scalingFailure(text::format("Scan of %d revotes left %zu records, %zu filed and %zu cancelled in %s", ballots,
                                records, filed, cancelled, dir.c_str()));
  figures.revoteSeconds = scan.seconds;
  figures.revotePeakKiB = scan.peakKiB;
}

// What one durable save of a vote base of `records` records costs, the median of several: the part
// of every ballot's cost that grows with the election, since the vote base is saved whole.
double voteBaseSaveMs(const std::string& scratch, int records) {
  std::string bytes = syntheticVoteBase(records), path = scratch + "/rewrite.vot";
  std::vector<double> ms;
  for (int round = 0; round < 11; ++round) {
    Clock::time_point start = Clock::now();
    if (!platform::writeFileAtomically(path, bytes)) scalingFailure("cannot save " + path);
    ms.push_back(secondsSince(start) * 1000.0);
  }
  platform::deleteFile(path);
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

double perBallotMs(double seconds, int ballots) { return seconds * 1000.0 / ballots; }

void printRevotes(const std::vector<ScalingFigures>& all) {
  std::printf("\nrevotes: a second Scan, every elector choosing the other candidate\n");
  std::printf("%8s %10s %10s %10s\n", "ballots", "Scan s", "ms/ballot", "peak KiB");
  for (const ScalingFigures& f : all)
    std::printf("%8d %10.3f %10.3f %10ld\n", f.ballots, f.revoteSeconds, perBallotMs(f.revoteSeconds, f.ballots),
                f.revotePeakKiB);
  if (all.size() > 1) {
    const ScalingFigures &small = all.front(), &large = all.back();
    std::printf("per-ballot growth %d -> %d: %.2fx\n", small.ballots, large.ballots,
                perBallotMs(large.revoteSeconds, large.ballots) / perBallotMs(small.revoteSeconds, small.ballots));
  }
}

// The whole-file save at each size measured and at 50,000 records.
void printVoteBaseSaves(const std::string& scratch, std::vector<int> sizes) {
  sizes.push_back(50000);
  std::printf("\none durable save of the whole vote base (median of 11), paid once per ballot:\n");
  for (int records : sizes) {
    double ms = voteBaseSaveMs(scratch, records);
    std::printf("%8d records %10.3f ms  (%zu bytes)\n", records, ms, syntheticVoteBase(records).size());
  }
}

int scalingMain(int argc, char** argv) {
  ScalingOptions options;
  if (!parseScalingOptions(argc, argv, options)) {
    std::fputs(kScalingUsage, stderr);
    return 2;
  }
  if (::access(options.korva.c_str(), X_OK) != 0) scalingFailure("no Korva32 to run at " + options.korva);
  // Dates in the ballots and the log read alike wherever the benchmark runs.
  ::setenv("TZ", "UTC", 1);
  std::string scratch = options.parent + "/korva_scaling.XXXXXX";
  if (::mkdtemp(scratch.data()) == nullptr) scalingFailure("cannot make a scratch directory in " + options.parent);
  scratch = std::filesystem::absolute(scratch).string();
  // Every elector of the largest election is in the nodelist and the valid list.
  int electors = std::max(options.sizes.back(), kValidLines);
  writeFiles(scratch, std::max(kNodelistLines, 8 * electors), electors);

  std::printf("Scan by %s without templates, fresh ballots from distinct electors, TZ=UTC\n", options.korva.c_str());
  std::printf("floor per ballot: read it, save vote base and statistic file durably, file it\n\n");
  std::printf("%8s %10s %10s %10s %10s %11s %10s %10s\n", "ballots", "Scan s", "ms/ballot", "floor s", "ms/ballot",
              "Scan/floor", "peak KiB", "Verify s");
  std::fflush(stdout);
  std::vector<ScalingFigures> all;
  for (int ballots : options.sizes) {
    ScalingFigures f = measureSize(options, scratch, ballots);
    std::printf("%8d %10.3f %10.3f %10.3f %10.3f %10.2fx %10ld %10.3f\n", f.ballots, f.scanSeconds,
                perBallotMs(f.scanSeconds, f.ballots), f.floorSeconds, perBallotMs(f.floorSeconds, f.ballots),
                f.scanSeconds / f.floorSeconds, f.peakKiB, f.verifySeconds);
    std::fflush(stdout);
    all.push_back(f);
  }
  if (all.size() > 1) {
    const ScalingFigures &small = all.front(), &large = all.back();
    std::printf("\nper-ballot growth %d -> %d: Scan %.2fx, floor %.2fx\n", small.ballots, large.ballots,
                perBallotMs(large.scanSeconds, large.ballots) / perBallotMs(small.scanSeconds, small.ballots),
                perBallotMs(large.floorSeconds, large.ballots) / perBallotMs(small.floorSeconds, small.ballots));
  }
  if (options.revotes) printRevotes(all);
  printVoteBaseSaves(scratch, options.sizes);
  if (options.keep) {
    std::printf("scratch directory kept: %s\n", scratch.c_str());
  } else {
    std::filesystem::remove_all(scratch);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--scaling") == 0) return scalingMain(argc, argv);
  std::string dir = (std::filesystem::temp_directory_path() / "korva_bench").string();
  int ballots = kBallots;
  bool withReplies = true;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--ballots=", 0) == 0) {
      ballots = std::atoi(arg.c_str() + 10);
    } else if (arg == "--no-replies") {
      withReplies = false;
    } else {
      dir = arg;
    }
  }
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  // The vote manager logs every step to standard output; the figures go to standard error.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  writeFiles(dir, kNodelistLines, kValidLines);
  using namespace korva;
  settings.ownAddress = {2, 5020, 1, 0};
  settings.validAddress.wildcard[1] = settings.validAddress.wildcard[2] = settings.validAddress.wildcard[3] = true;
  settings.validAddress.part[0] = 2;
  settings.nodelist = dir + "/nodelist.txt";
  settings.pointlist = dir + "/pointlist.txt";
  settings.validAddressList = dir + "/valid.lst";
  app.configPath = dir + "/korva.cfg";
  app.startTime = 0;
  election.candidates = {{"Alpha", 0}, {"Beta", 0}};

  // Floor: reading the three files line by line with the index builder's buffer.
  double floor = 1e9, build = 1e9;
  for (int round = 0; round < 3; ++round) {
    Clock::time_point start = Clock::now();
    size_t lines =
        readAllLines(settings.nodelist) + readAllLines(settings.pointlist) + readAllLines(settings.validAddressList);
    floor = std::min(floor, secondsSince(start));
    if (lines == 0) return 1;
    app.indexRebuildRequest = true;
    start = Clock::now();
    openIndex();
    build = std::min(build, secondsSince(start));
  }
  std::fprintf(stderr, "\nindex records: %zu\n", indexState.records.size());
  std::fprintf(stderr, "reading the sources line by line: %.3f s\n", floor);
  std::fprintf(stderr, "index build:                      %.3f s  (%.2fx the reading)\n", build, build / floor);

  std::mt19937 random(12345);
  InboundMessage msg;
  int found = 0;
  Clock::time_point start = Clock::now();
  for (int i = 0; i < kLookups; ++i)
    found += isListed(findNodelistEntry(nodeAddress(int(random() % (kNodelistLines - 600)))).status);
  double nodelistTime = secondsSince(start);
  start = Clock::now();
  for (int i = 0; i < kLookups; ++i) {
    int p = int(random() % (kPointlistLines - 10));
    msg.orig = nodeAddress(p / 5);
    msg.orig.point = int16_t(p % 5 + 1);
    found += findPointlistEntry(msg).status == PointStatus::kListed;
  }
  double pointlistTime = secondsSince(start);
  start = Clock::now();
  for (int i = 0; i < kLookups; ++i) {
    int v = int(random() % kValidLines);
    msg.orig = nodeAddress(v * 7);
    msg.fromName = text::format("Sysop Name %d", v * 7 + 1);
    found += findValidAddress(msg) == SenderListing::kAccepted;
  }
  double validTime = secondsSince(start);
  std::fprintf(stderr, "%d lookups each (%d found):\n", kLookups, found);
  std::fprintf(stderr, "  findNodelistEntry  %.3f s (%.1f us each)\n", nodelistTime, nodelistTime * 1e6 / kLookups);
  std::fprintf(stderr, "  findPointlistEntry %.3f s (%.1f us each)\n", pointlistTime, pointlistTime * 1e6 / kLookups);
  std::fprintf(stderr, "  findValidAddress   %.3f s (%.1f us each)\n", validTime, validTime * 1e6 / kLookups);
  benchScan(dir, ballots, withReplies);
  return 0;
}
