// A two-node FTN network on loopback around the built programs: an elector node and the election
// robot's node, each with binkd and crashmail (set up by ftn-network/setup-nodes.sh, which
// tools/run-network-demo.sh uses too).  A ballot travels from the elector to the robot over binkp,
// Scan judges it, and the reply and the poster's echomail travel back.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/interop/tosser.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kDeadline = 30s;

#define SKIP_WITHOUT_NETWORK()                                                                               \
  if (!tosser::installed() || tosser::programPath("binkd").empty())                                          \
  GTEST_SKIP() << "binkd or crashmail is not installed (tools/install-deps.sh installs them with apt-get); " \
                  "the network test cannot run"

// A TCP port on 127.0.0.1 that was free a moment ago: bound with port 0, read back and closed.
int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(fd);
  return port;
}

bool accepting(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(uint16_t(port));
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

bool waitFor(const std::function<bool()>& done) {
  for (auto end = std::chrono::steady_clock::now() + kDeadline; std::chrono::steady_clock::now() < end;) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

// The robot's binkd server, stopped with its whole process group (its session children too) when
// the test ends, whether it passed or not.
struct ServerGuard {
  e2e::StartedProgram server;
  ~ServerGuard() {
    if (server.pid <= 0) return;
    ::kill(-server.pid, SIGTERM);
    int status = 0;
    auto end = std::chrono::steady_clock::now() + 5s;
    while (::waitpid(server.pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(20ms);
    }
    ::kill(-server.pid, SIGKILL);
    e2e::finishProgram(server);
  }
};

struct Network {
  e2e::ScenarioDir dir;
  ServerGuard robotServer;

  std::string at(const std::string& relative) const { return dir.file(relative); }

  e2e::RunResult run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = "",
                     const char* tz = "UTC") const {
    return e2e::runProgram(program, args, cwd.empty() ? dir.path() : at(cwd), {{"TZ", tz}});
  }

  e2e::RunResult crashmail(const std::string& node, std::vector<std::string> args) const {
    args.insert(args.begin(), {"SETTINGS", at(node + "/crashmail.prefs")});
    return run(tosser::programPath("crashmail"), args);
  }

  void start() {
    int elector = freePort(), robot = freePort();
    while (robot == elector) robot = freePort();  // the port closed first may be handed out again
    e2e::RunResult setUp =
        run("/bin/bash", {std::string(KELVANOTH_SOURCE_DIR) + "/tests/interop/ftn-network/setup-nodes.sh", dir.path(),
                          std::to_string(elector), std::to_string(robot)});
    ASSERT_EQ(setUp.exitCode, 0) << setUp.out << setUp.err;
    robotServer.server = e2e::startProgram(tosser::programPath("binkd"), {"-s", at("robot/binkd.cfg")}, dir.path());
    ASSERT_TRUE(waitFor([robot] { return accepting(robot); })) << dir.read("robot/binkd.log");
  }

  // The elector's binkd calls the robot's until `arrived` holds: mail both ways in each session.
  void poll(const std::function<bool()>& arrived) const {
    ASSERT_TRUE(waitFor([&] {
      e2e::runProgramKilledAfter(tosser::programPath("binkd"), {"-p", "-P", "2:463/500", at("elector/binkd.cfg")},
                                 dir.path(), {{"TZ", "UTC"}}, kDeadline);
      return arrived();
    })) << dir.read("elector/binkd.log");
  }

  std::vector<tosser::Stored> area(const std::string& sub) const {
    std::vector<tosser::Stored> messages;
    for (const std::string& name : dir.list(sub)) messages.push_back(tosser::readStored(dir.read(sub + "/" + name)));
    return messages;
  }
};

bool has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(Network, ABallotCrossesBinkpIsJudgedAndTheReplyAndThePostingComeBack) {
  SKIP_WITHOUT_NETWORK();
  Network n;
  ASSERT_NO_FATAL_FAILURE(n.start());

  // The elector writes the ballot and routes it to the robot.  Its clock stands an hour behind
  // the robot's, so the ballot is dated before the scan even within one second.
  n.dir.write("elector/write/body.txt", "Irina Belova !kestrel\n");
  e2e::RunResult written =
      n.run(tosser::programPath("crashwrite"),
            {"DIR", n.at("elector/write"), "FROMNAME", "Alexei Morozov", "FROMADDR", "2:463/1", "TONAME", "Korvamgr",
             "TOADDR", "2:463/500", "SUBJECT", "Kazan NC Election 2026", "TEXT", n.at("elector/write/body.txt")},
            "", "Etc/GMT+1");
  ASSERT_EQ(written.exitCode, 0) << written.out;
  ASSERT_EQ(n.crashmail("elector", {"TOSSDIR", n.at("elector/write"), "NOSECURITY"}).exitCode, 0);
  ASSERT_NO_FATAL_FAILURE(n.poll([&n] { return !n.dir.list("robot/inbound").empty(); }));

  // The robot tosses, judges, posts its statistics, and exports the reply and the echomail in one
  // run: two runs within one second would give their packets the same name.
  ASSERT_EQ(n.crashmail("robot", {"TOSS"}).exitCode, 0);
  ASSERT_EQ(n.dir.list("robot/netmail/in").size(), 1u) << n.dir.read("robot/crashmail.log");
  e2e::RunResult scan = n.run(KORVA32_PATH, {"Scan", "-cfg:korva.cfg"}, "robot/election");
  ASSERT_EQ(scan.exitCode, 0) << scan.out;
  EXPECT_EQ(n.dir.read("robot/election/korva.vot"), "1\t0\t0000000000000000\t2:463/1.0\tAlexei Morozov\tkestrel\r\n")
      << n.dir.read("robot/election/korva.log");
  e2e::RunResult posted = n.run(NUVREL32_PATH, {"Post", "/sect:Statistics", "-cfg:korva.cfp"}, "robot/election");
  ASSERT_EQ(posted.exitCode, 0) << posted.out;
  ASSERT_EQ(n.crashmail("robot", {"TOSS", "SCAN"}).exitCode, 0);
  ASSERT_NO_FATAL_FAILURE(n.poll([&n] { return n.dir.list("elector/inbound").size() >= 2; }));
  ASSERT_EQ(n.crashmail("elector", {"TOSS"}).exitCode, 0);
  EXPECT_EQ(n.dir.list("elector/bad"), std::vector<std::string>{}) << n.dir.read("elector/crashmail.log");

  std::vector<tosser::Stored> replies = n.area("elector/netmail/mail");
  ASSERT_EQ(replies.size(), 1u) << n.dir.read("elector/crashmail.log");
  EXPECT_EQ(replies[0].to, "Alexei Morozov");
  EXPECT_EQ(replies[0].subject, "Kazan NC Election 2026");
  EXPECT_EQ(replies[0].origNet, 463);
  EXPECT_EQ(replies[0].origNode, 500);
  EXPECT_TRUE(has(tosser::textLines(replies[0].text),
                  "Alexei Morozov, your ballot has been ACCEPTED by the Kazan election robot."))
      << replies[0].text;

  std::vector<tosser::Stored> echo = n.area("elector/echo");
  ASSERT_EQ(echo.size(), 1u) << n.dir.read("elector/crashmail.log");
  EXPECT_EQ(echo[0].from, "Election Officer");
  EXPECT_EQ(echo[0].subject, "Kazan NC Election 2026: ballots so far");
  EXPECT_TRUE(has(tosser::textLines(echo[0].text), "Ballots accepted by the Kazan election robot so far: 1"))
      << echo[0].text;
}

}  // namespace
