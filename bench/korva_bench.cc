// Benchmarks of the vote manager: the index build over a large nodelist, pointlist and valid
// addresses list, and the three kinds of lookup.  Prints the figures; run it from a scratch
// directory it may fill (default: a fresh directory under /tmp).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "common/config_values.h"
#include "common/platform.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/nodelist_index.h"
#include "korva/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

constexpr int kNodelistLines = 200000, kPointlistLines = 50000, kValidLines = 10000, kLookups = 10000;
constexpr int kNodesPerNet = 400;

// Node n of the synthetic nodelist: zone 2, net 100 + n / kNodesPerNet, node 1 + n % kNodesPerNet.
FtnAddress nodeAddress(int n) { return {2, int16_t(100 + n / kNodesPerNet), int16_t(1 + n % kNodesPerNet), 0}; }

void writeFiles(const std::string& dir) {
  std::FILE* nl = std::fopen((dir + "/nodelist.txt").c_str(), "wb");
  std::fprintf(nl, ";A Synthetic nodelist for the benchmark\r\nZone,2,Zone_Two,Somewhere,Zone_Coordinator,7-000,300,CM\r\n");
  int written = 2, n = 0;
  while (written < kNodelistLines) {
    FtnAddress a = nodeAddress(n++);
    if (a.node == 1) {
      std::fprintf(nl, "Host,%d,Net_%d,Somewhere,Host_Sysop_%d,7-000,300,CM\r\n", a.net, a.net, a.net);
      ++written;
    }
    const char* status = n % 50 == 0 ? "Pvt" : n % 77 == 0 ? "Hold" : n % 91 == 0 ? "Down" : "";
    std::fprintf(nl, "%s,%d,Station_%d,City_%d,Sysop_Name_%d,7-000-000-%04d,9600,CM,XA,IBN\r\n", status, a.node, n, a.net,
                 n, n % 10000);
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

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "korva_bench").string();
  std::filesystem::create_directories(dir);
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
  election.candidates = {{"First Candidate", 0}, {"Second Candidate", 0}};

  // Floor: reading the three files line by line with the index builder's buffer.
  double floor = 1e9, build = 1e9;
  for (int round = 0; round < 3; ++round) {
    Clock::time_point start = Clock::now();
    size_t lines = readAllLines(settings.nodelist) + readAllLines(settings.pointlist) +
                   readAllLines(settings.validAddressList);
    floor = std::min(floor, secondsSince(start));
    if (lines == 0) return 1;
    app.indexRebuildRequest = true;
    std::fflush(stdout);
    start = Clock::now();
    openIndex();
    build = std::min(build, secondsSince(start));
  }
  std::printf("\nindex records: %zu\n", indexState.records.size());
  std::printf("reading the sources line by line: %.3f s\n", floor);
  std::printf("index build:                      %.3f s  (%.2fx the reading)\n", build, build / floor);

  std::mt19937 random(12345);
  InboundMessage msg;
  int found = 0;
  Clock::time_point start = Clock::now();
  for (int i = 0; i < kLookups; ++i) found += findNodelistEntry(nodeAddress(int(random() % (kNodelistLines - 600)))) > 0;
  double nodelistTime = secondsSince(start);
  start = Clock::now();
  for (int i = 0; i < kLookups; ++i) {
    int p = int(random() % (kPointlistLines - 10));
    msg.orig = nodeAddress(p / 5);
    msg.orig.point = int16_t(p % 5 + 1);
    found += findPointlistEntry(msg) > 0;
  }
  double pointlistTime = secondsSince(start);
  start = Clock::now();
  for (int i = 0; i < kLookups; ++i) {
    int v = int(random() % kValidLines);
    msg.orig = nodeAddress(v * 7);
    msg.fromName = text::format("Sysop Name %d", v * 7 + 1);
    found += findValidAddress(msg) == 0;
  }
  double validTime = secondsSince(start);
  std::printf("%d lookups each (%d found):\n", kLookups, found);
  std::printf("  findNodelistEntry  %.3f s (%.1f us each)\n", nodelistTime, nodelistTime * 1e6 / kLookups);
  std::printf("  findPointlistEntry %.3f s (%.1f us each)\n", pointlistTime, pointlistTime * 1e6 / kLookups);
  std::printf("  findValidAddress   %.3f s (%.1f us each)\n", validTime, validTime * 1e6 / kLookups);
  return 0;
}
