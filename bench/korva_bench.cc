// Benchmarks of the vote manager: the index build over a large nodelist, pointlist and valid
// addresses list, and the three kinds of lookup.  Prints the figures; run it from a scratch
// directory it may fill (default: a fresh directory under /tmp).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>

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

void writeFiles(const std::string& dir) {
  std::FILE* nl = std::fopen((dir + "/nodelist.txt").c_str(), "wb");
  std::fprintf(
      nl, ";A Synthetic nodelist for the benchmark\r\nZone,2,Zone_Two,Somewhere,Zone_Coordinator,7-000,300,CM\r\n");
  int written = 2, n = 0;
  while (written < kNodelistLines) {
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
  for (int v = 0; v < kValidLines; ++v) {
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

// A ballot from elector v of the valid list to the robot 2:5020/1.
std::string ballotBytes(int v) {
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
  std::string body = text::format("\x01INTL 2:5020/1 2:%d/%d\r\x01MSGID: 2:%d/%d %x\r%s !pw%d\r", from.net, from.node,
                                  from.net, from.node, 0x1000 + v, v % 2 ? "Alpha" : "Beta", v);
  return std::string(reinterpret_cast<char*>(header), sizeof header) + body + '\0';
}

void writeBallots(const std::string& directory, int ballots) {
  std::filesystem::create_directories(directory);
  for (int v = 0; v < ballots; ++v) {
    std::string path = directory + std::to_string(v + 1) + ".msg";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::string bytes = ballotBytes(v);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// The least any scan must do per ballot: read its file, rename it once, and save election files as
// large as they are by then (vote base and statistic file) durably.
double scanFloor(const std::string& dir, int ballots) {
  std::string in = dir + "/floor-in/", out = dir + "/floor-out/";
  writeBallots(in, ballots);
  std::filesystem::create_directories(out);
  std::string voteBase, statistic(600, 'x');
  Clock::time_point start = Clock::now();
  for (int v = 0; v < ballots; ++v) {
    std::string name = std::to_string(v + 1) + ".msg";
    std::FILE* f = std::fopen((in + name).c_str(), "rb");
    char buffer[65536];
    size_t got = std::fread(buffer, 1, sizeof buffer, f);
    std::fclose(f);
    if (got == 0) return 0;
    std::rename((in + name).c_str(), (out + name).c_str());
    voteBase += text::format("1\t0\t00000000%08X\t2:%d/%d.0\tSysop Name %d\tpw%d\r\n", v, 100, v, v, v);
    platform::writeFileAtomically(dir + "/floor.sta", statistic);
    platform::writeFileAtomically(dir + "/floor.vot", voteBase);
  }
  return secondsSince(start);
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
  election.votes.clear();
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
  double floor = scanFloor(dir, ballots);
  double plain = timeScan(dir, "plain", ballots, false);
  std::fprintf(stderr, "  floor (read, rename, durable save each): %.3f s\n", floor);
  std::fprintf(stderr, "  (a) without replies:                     %.3f s  (%.2fx the floor)\n", plain, plain / floor);
  if (!withReplies) return;
  double serialFloor = 2.0 * ballots / 100.0;  // two messages a ballot, 100 MSGID serials a second
  double replies = timeScan(dir, "replies", ballots, true);
  std::fprintf(stderr, "  (b) with reply and audit:                %.3f s  (%.2fx the serial floor of %.1f s)\n",
               replies, replies / serialFloor, serialFloor);
}

}  // namespace

int main(int argc, char** argv) {
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
  writeFiles(dir);
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
