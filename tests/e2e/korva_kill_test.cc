// A scan killed at arbitrary instants and resumed never loses an accepted ballot nor a file; a scan
// killed, or failing, at any one of its file operations is finished by the next scan exactly as an
// undisturbed scan would have done it; scans started together take turns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/scan_scenario.h"

namespace {

using e2e::contains;
using e2e::Election;
using e2e::ScenarioDir;

constexpr int kBallots = 150;

std::string electorName(int n) { return "Voter " + std::to_string(n); }

// Electors named in the vote base, with how often each stands there counted (cancelled or not).
std::map<std::string, int> recordedElectors(const std::string& voteBase) {
  std::map<std::string, int> seen;
  std::istringstream lines(voteBase);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string f; std::getline(split, f, '\t');) fields.push_back(f);
    if (fields.size() >= 5) ++seen[fields[4]];
  }
  return seen;
}

TEST(KorvaKill, KilledScansLoseNoBallot) {
  Election e;
  e.writeSetup();
  for (int n = 1; n <= kBallots; ++n) {
    e.put("in/" + std::to_string(n) + ".msg", e.ballot(electorName(n), 100 + n, "Alpha !pw" + std::to_string(n)));
  }
  std::mt19937 random(20261207);
  int kills = 0;
  for (int round = 0; round < 200; ++round) {
    // From almost at once to well into the run.
    auto delay = std::chrono::microseconds(500 + random() % 40000);
    e2e::RunResult r =
        e2e::runProgramKilledAfter(KORVA32_PATH, {"Scan", "-cfg:x.cfg"}, e.dir.path(), {{"TZ", "UTC"}}, delay);
    if (r.exitCode == 0) break;
    ASSERT_EQ(r.exitCode, 128 + 9) << r.out;
    ++kills;

    // Whatever instant the kill came at: every ballot filed as valid is in the vote base.
    std::map<std::string, int> recorded = recordedElectors(e.voteBase());
    if (!e.dir.exists("valid")) continue;
    for (const std::string& name : e.dir.list("valid")) {
      std::string bytes = e.dir.read("valid/" + name);
      std::string from = bytes.substr(0, bytes.find('\0'));
      EXPECT_EQ(recorded[from], 1) << from << " filed as valid but not recorded once (round " << round << ")";
    }
  }
  EXPECT_GT(kills, 3);
  e2e::RunResult last = e.scan();
  ASSERT_EQ(last.exitCode, 0) << last.out;

  // Every elector is recorded exactly once; every inbound file is in exactly one place.
  std::map<std::string, int> recorded = recordedElectors(e.voteBase());
  EXPECT_EQ(recorded.size(), size_t(kBallots));
  for (int n = 1; n <= kBallots; ++n) EXPECT_EQ(recorded[electorName(n)], 1) << electorName(n);
  EXPECT_EQ(e.dir.list("in"), std::vector<std::string>{});
  std::multiset<std::string> filed;
  for (const char* sub : {"valid", "dupe"}) {
    if (!e.dir.exists(sub)) continue;
    for (const std::string& name : e.dir.list(sub)) {
      std::string bytes = e.dir.read(std::string(sub) + "/" + name);
      filed.insert(bytes.substr(0, bytes.find('\0')));
    }
  }
  EXPECT_EQ(filed.size(), size_t(kBallots));
  for (int n = 1; n <= kBallots; ++n) EXPECT_EQ(filed.count(electorName(n)), 1u) << electorName(n);
}

// Where each inbound file is: its From name and the directories holding a file of that name.
std::map<std::string, std::vector<std::string>> filedByName(const Election& e) {
  std::map<std::string, std::vector<std::string>> where;
  for (const char* sub : {"in", "valid", "invalid", "dupe", "badsyntax", "badnode", "aux"}) {
    if (!e.dir.exists(sub)) continue;
    for (const std::string& name : e.dir.list(sub)) {
      std::string bytes = e.dir.read(std::string(sub) + "/" + name);
      where[bytes.substr(0, bytes.find('\0'))].push_back(sub);
    }
  }
  return where;
}

// Many more ballots, valid ones and refused ones mixed, killed at many instants: after every kill
// each file is in exactly one directory and the election files load; at the end every accepted
// ballot is recorded exactly once.
TEST(KorvaKill, ManyKillsLeaveEveryFileOnceAndTheFilesLoadable) {
  constexpr int kVoters = 300, kOutsiders = 100;
  Election e;
  e.writeSetup();
  for (int n = 1; n <= kVoters + kOutsiders; ++n) {
    bool outsider = n > kVoters;
    testmsg::StoredMessage m = e.ballot((outsider ? "Outsider " : "Voter ") + std::to_string(n), 100 + n,
                                        (n % 3 == 0 ? "Beta !pw" : "Alpha !pw") + std::to_string(n));
    if (outsider) {  // from 2:5021, outside ValidAddress: refused
      std::string address = "2:5021/" + std::to_string(100 + n);
      m.origNet = 5021;
      m.lines[0] = "\x01INTL 2:5020/50 " + address;
      m.lines[1] = "\x01MSGID: " + address + " 1234abcd";
    }
    e.put("in/" + std::to_string(n) + ".msg", m);
  }
  std::mt19937 random(20261208);
  const auto start = std::chrono::steady_clock::now();
  int kills = 0;
  for (int round = 0; round < 400; ++round) {
    auto delay = std::chrono::microseconds(200 + random() % 30000);
    e2e::RunResult r =
        e2e::runProgramKilledAfter(KORVA32_PATH, {"Scan", "-cfg:x.cfg"}, e.dir.path(), {{"TZ", "UTC"}}, delay);
    if (r.exitCode == 0) break;
    ASSERT_EQ(r.exitCode, 128 + 9) << r.out;
    ++kills;
    for (const auto& [from, dirs] : filedByName(e)) {
      ASSERT_EQ(dirs.size(), 1u) << from << " is in more than one directory (round " << round << ")";
    }
    e2e::RunResult report = e2e::runProgram(KORVA32_PATH, {"Result", "-cfg:x.cfg"}, e.dir.path(), {{"TZ", "UTC"}});
    ASSERT_EQ(report.exitCode, 0) << "round " << round << ": " << report.out;
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(12)) break;  // enough instants tried
  }
  EXPECT_GT(kills, 20);
  e2e::RunResult last = e.scan();
  ASSERT_EQ(last.exitCode, 0) << last.out;
  ASSERT_EQ(e2e::runProgram(KORVA32_PATH, {"Result", "-cfg:x.cfg"}, e.dir.path(), {{"TZ", "UTC"}}).exitCode, 0);

  std::map<std::string, std::vector<std::string>> where = filedByName(e);
  EXPECT_EQ(where.size(), size_t(kVoters + kOutsiders));
  std::map<std::string, int> recorded = recordedElectors(e.voteBase());
  EXPECT_EQ(recorded.size(), size_t(kVoters));
  for (int n = 1; n <= kVoters + kOutsiders; ++n) {
    std::string from = (n > kVoters ? "Outsider " : "Voter ") + std::to_string(n);
    ASSERT_EQ(where[from].size(), 1u) << from;
    if (n > kVoters) {
      EXPECT_EQ(where[from][0], "invalid") << from;
      EXPECT_EQ(recorded.count(from), 0u) << from;
    } else {
      EXPECT_TRUE(where[from][0] == "valid" || where[from][0] == "dupe") << from << " in " << where[from][0];
      EXPECT_EQ(recorded[from], 1) << from;
    }
  }
  std::string statistic = e.dir.read("x.sta");
  for (const char* code : {"AUX_=", "VALD=", "NAMP=", "BUID="})
    EXPECT_NE(statistic.find(code), std::string::npos) << code;
}

// ---------------------------------------------------------------------------------------------
// Every crash point of a small scan
//
// The scan holds an accepted ballot, a revote that cancels a vote recorded by an earlier scan, and
// a refusal; each is answered, copied to CopyNetmailOut and audited.  The fault hook of the
// platform layer (KELVANOTH_FAULT_AT=n) kills the scan just before its n-th file operation that
// changes the disk, or makes that operation fail; for every n the next, undisturbed scan must leave
// the election as one undisturbed scan leaves it.

// The inbound directory and the Move directories: the places an inbound ballot may be in.
const char* const kBallotDirectories[] = {"in",  "valid",  "invalid", "baddate",   "badroute", "badmsgid", "baduserid",
                                          "aux", "cancel", "dupe",    "badsyntax", "badsubj",  "badnode"};

bool isMessageName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".msg";
}

// What is wrong with a stored message the robot wrote ("" when it is whole): a 190-byte header and
// a text that ends with the closing lines and one zero byte.
std::string wholeMessageProblem(const std::string& bytes) {
  if (bytes.empty()) return "empty";
  if (bytes.size() <= msg_header::kSize) return "only " + std::to_string(bytes.size()) + " bytes";
  if (bytes.back() != '\0') return "its text does not end with a zero byte";
  if (bytes.find('\0', msg_header::kSize) != bytes.size() - 1) return "a zero byte inside its text";
  if (!contains(bytes, "\r--- Korva v. ")) return "no tearline";
  return "";
}

// A written message as far as it is the same in every run: its To name and its template text (the
// text lines without control lines, tearline and origin; MSGID serials and dates differ).
struct WrittenMessage {
  std::string to, text;
};

WrittenMessage readWrittenMessage(const std::string& bytes) {
  WrittenMessage m;
  std::string to = bytes.substr(msg_header::kToName, msg_header::kToNameSize);
  m.to = to.substr(0, to.find('\0'));
  std::istringstream lines(bytes.substr(msg_header::kSize, bytes.size() - msg_header::kSize - 1));
  for (std::string line; std::getline(lines, line, '\r');) {
    if (line.empty() || line[0] == '\x01' || line.rfind("--- ", 0) == 0 || line.rfind(" * Origin:", 0) == 0) continue;
    m.text += (m.text.empty() ? "" : " / ") + line;
  }
  return m;
}

struct InboundBallot {
  std::string label;  // for the failure report
  std::string bytes;
};

// What a scan leaves that must not depend on where an earlier scan was stopped.
struct Outcome {
  std::map<std::string, std::vector<std::string>> places;  // ballot label: directories holding its bytes
  std::string voteBase;
  std::map<std::string, std::string> counters;              // verdict code: count, from the statistic file
  std::map<std::string, std::vector<std::string>> replies;  // To name: template texts, sorted
  std::map<std::string, std::vector<std::string>> copies;   // the same in CopyNetmailOut
  std::vector<std::string> strays;                          // files that belong nowhere, and why
  std::set<std::string> otherFiles;                         // every file but the messages, by relative path
};

// Every written message in a directory by its To name; broken ones go to `broken`.
std::map<std::string, std::vector<std::string>> writtenMessages(const Election& e, const std::string& directory,
                                                                std::vector<std::string>& broken) {
  std::map<std::string, std::vector<std::string>> byAddressee;
  if (!e.dir.exists(directory)) return byAddressee;
  for (const std::string& name : e.dir.list(directory)) {
    if (!isMessageName(name)) continue;
    std::string bytes = e.dir.read(directory + "/" + name);
    std::string problem = wholeMessageProblem(bytes);
    if (!problem.empty()) {
      broken.push_back(directory + "/" + name + ": " + problem);
      continue;
    }
    WrittenMessage m = readWrittenMessage(bytes);
    byAddressee[m.to].push_back(m.text);
  }
  for (auto& [to, texts] : byAddressee) std::sort(texts.begin(), texts.end());
  return byAddressee;
}

Outcome outcomeOf(const Election& e, const std::vector<InboundBallot>& ballots) {
  Outcome o;
  for (const InboundBallot& b : ballots) o.places[b.label];
  for (const char* sub : kBallotDirectories) {
    if (!e.dir.exists(sub)) continue;
    for (const std::string& name : e.dir.list(sub)) {
      if (!isMessageName(name)) continue;
      std::string bytes = e.dir.read(std::string(sub) + "/" + name);
      auto ballot =
          std::find_if(ballots.begin(), ballots.end(), [&](const InboundBallot& b) { return b.bytes == bytes; });
      if (ballot == ballots.end()) {
        o.strays.push_back(std::string(sub) + "/" + name + ": " + std::to_string(bytes.size()) +
                           " bytes, no inbound ballot");
      } else {
        o.places[ballot->label].push_back(sub);
      }
    }
  }
  o.voteBase = e.voteBase();
  std::istringstream statistic(e.dir.exists("x.sta") ? e.dir.read("x.sta") : "");
  for (std::string line; std::getline(statistic, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 5 && line[4] == '=') o.counters[line.substr(0, 4)] = line.substr(5);
  }
  o.replies = writtenMessages(e, "out", o.strays);
  o.copies = writtenMessages(e, "copies", o.strays);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(e.dir.path())) {
    std::string name = entry.path().filename().string();
    if (!entry.is_directory() && !isMessageName(name)) {
      o.otherFiles.insert(std::filesystem::relative(entry.path(), e.dir.path()).string());
    }
  }
  return o;
}

std::string listed(const std::vector<std::string>& items, const std::string& whenEmpty = "nothing") {
  if (items.empty()) return whenEmpty;
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + ("\"" + item + "\"");
  return text;
}

// The texts of the messages to one addressee (none when there are none).
const std::vector<std::string>& textsTo(const std::map<std::string, std::vector<std::string>>& byAddressee,
                                        const std::string& to) {
  static const std::vector<std::string> none;
  auto it = byAddressee.find(to);
  return it == byAddressee.end() ? none : it->second;
}

std::string counter(const Outcome& o, const std::string& code) {
  auto it = o.counters.find(code);
  return it == o.counters.end() ? "none" : it->second;
}

// The ways `got` differs from the undisturbed outcome, one line each.
std::vector<std::string> differences(const Outcome& want, const Outcome& got) {
  std::vector<std::string> found;
  for (const auto& [label, where] : want.places) {
    const std::vector<std::string>& now = got.places.at(label);
    if (now != where) {
      found.push_back("ballot " + label + ": expected in " + listed(where) + ", found in " + listed(now, "no place"));
    }
  }
  if (got.voteBase != want.voteBase) {
    auto shown = [](const std::string& text) {
      std::string lines;
      std::istringstream all(text);
      for (std::string line; std::getline(all, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines += "\n      " + line;
      }
      return lines.empty() ? std::string("\n      (empty)") : lines;
    };
    found.push_back("vote base, expected:" + shown(want.voteBase) + "\n    found:" + shown(got.voteBase));
  }
  std::set<std::string> codes;
  for (const auto& [code, n] : want.counters) codes.insert(code);
  for (const auto& [code, n] : got.counters) codes.insert(code);
  for (const std::string& code : codes) {
    if (counter(got, code) != counter(want, code)) {
      found.push_back("statistic " + code + ": expected " + counter(want, code) + ", found " + counter(got, code));
    }
  }
  std::set<std::string> addressees;
  for (const auto& [to, texts] : want.replies) addressees.insert(to);
  for (const auto& [to, texts] : got.replies) addressees.insert(to);
  for (const auto& [to, texts] : got.copies) addressees.insert(to);
  for (const std::string& to : addressees) {
    const std::vector<std::string>& w = textsTo(want.replies, to);
    const std::vector<std::string>& g = textsTo(got.replies, to);
    if (w != g) found.push_back("messages to " + to + ": expected " + listed(w) + ", found " + listed(g));
    // A failed copy is skipped, so a copy may be missing; it is never doubled, nor without its reply.
    const std::vector<std::string>& wc = textsTo(want.copies, to);
    const std::vector<std::string>& gc = textsTo(got.copies, to);
    if (!std::includes(wc.begin(), wc.end(), gc.begin(), gc.end())) {
      found.push_back("copies to " + to + ": " + listed(gc) + ", more than the undisturbed " + listed(wc));
    }
  }
  for (const std::string& stray : got.strays) found.push_back(stray);
  // Whatever a run keeps beside the messages while it works (temporary files, its journal) is gone
  // once a run has ended undisturbed.
  for (const std::string& name : got.otherFiles) {
    if (!want.otherFiles.count(name)) found.push_back(name + ": left behind");
  }
  for (const std::string& name : want.otherFiles) {
    if (!got.otherFiles.count(name)) found.push_back(name + ": missing");
  }
  return found;
}

// The line of the fault hook in a run's standard error, or "" when it did not fire.
std::string faultLine(const std::string& err) {
  size_t at = err.find("fault injected at operation ");
  if (at == std::string::npos) return "";
  return err.substr(at, err.find('\n', at) - at);
}

// The error lines ("!") of a run, for the failure report.
std::string errorLines(const e2e::RunResult& r) {
  std::string lines;
  std::istringstream all(r.out + "\n" + r.err);
  int n = 0;
  for (std::string line; std::getline(all, line) && n < 8;) {
    if (!contains(line, "! ")) continue;
    lines += "    " + line + "\n";
    ++n;
  }
  return lines.empty() ? "    none\n" : lines;
}

std::string bulleted(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += "  - " + item + "\n";
  return text;
}

// The election before the scan under test: an earlier scan recorded Ivan Petrov's vote for Alpha;
// now a new elector votes, Ivan Petrov changes his vote, and a third names two candidates.
struct CrashScenario {
  Election prepared{ScenarioDir::kInMemory};
  std::vector<InboundBallot> ballots;

  CrashScenario() {
    prepared.writeSetup("MaxRevotes 1\r\nAuditTpl audit.tpl\r\nCopyNetmailOut copies\r\n");
    prepared.dir.write("audit.tpl", "Audit: %FNAM\r\n");
    prepared.dir.makeDirectory("copies");
    add("in/1.msg", "Ivan Petrov for Alpha, recorded before", prepared.ballot("Ivan Petrov", 1, "Alpha !a"));
    e2e::RunResult first = prepared.scan();
    EXPECT_EQ(first.exitCode, 0) << first.out;
    add("in/1.msg", "Voter Three for Alpha", prepared.ballot("Voter Three", 3, "Alpha !c"));
    add("in/2.msg", "Ivan Petrov for Beta, a revote", prepared.ballot("Ivan Petrov", 1, "Beta !a"));
    add("in/3.msg", "Voter Abc for two", prepared.ballot("Voter Abc", 4, "Alpha !x", 0, "Beta"));
  }

  void add(const std::string& relative, const std::string& label, const testmsg::StoredMessage& m) {
    prepared.put(relative, m);
    ballots.push_back({"\"" + label + "\"", m.bytes()});
  }
};

// Walks the crash points n = 1, 2, ... of the scan until a scan ends before its n-th operation.
void walkCrashPoints(const std::string& mode) {
  constexpr int kFewestPoints = 30, kMostPoints = 5000, kReportedInFull = 5;
  const auto start = std::chrono::steady_clock::now();
  CrashScenario scenario;
  Election reference(ScenarioDir::kInMemory);
  reference.dir.copyFrom(scenario.prepared.dir);
  e2e::RunResult undisturbed = reference.scan();
  ASSERT_EQ(undisturbed.exitCode, 0) << undisturbed.out;
  const Outcome want = outcomeOf(reference, scenario.ballots);
  // The reference itself: each ballot where its verdict puts it, each elector answered.
  ASSERT_EQ(want.places.at(scenario.ballots[0].label), std::vector<std::string>{"cancel"});
  ASSERT_EQ(want.places.at(scenario.ballots[1].label), std::vector<std::string>{"valid"});
  ASSERT_EQ(want.places.at(scenario.ballots[2].label), std::vector<std::string>{"valid"});
  ASSERT_EQ(want.places.at(scenario.ballots[3].label), std::vector<std::string>{"badsyntax"});
  ASSERT_EQ(counter(want, "VALD"), "3");
  ASSERT_EQ(counter(want, "CANP"), "1");
  ASSERT_EQ(counter(want, "MANY"), "1");
  ASSERT_EQ(textsTo(want.replies, "Ivan Petrov"),
            (std::vector<std::string>{"Accepted: Ivan Petrov", "Revote accepted: Ivan Petrov"}));
  ASSERT_EQ(textsTo(want.replies, "Voter Abc"), std::vector<std::string>{"Refused: Voter Abc"});
  ASSERT_EQ(textsTo(want.replies, "Returning Officer").size(), 4u);
  ASSERT_EQ(textsTo(want.copies, "Voter Three"), std::vector<std::string>{"Accepted: Voter Three"});
  ASSERT_TRUE(want.strays.empty()) << listed(want.strays);

  int points = 0;
  std::vector<int> failing;
  for (int n = 1; n <= kMostPoints; ++n) {
    Election e(ScenarioDir::kInMemory);
    e.dir.copyFrom(scenario.prepared.dir);
    e2e::RunResult faulted = e.scan({{"KELVANOTH_FAULT_AT", std::to_string(n)}, {"KELVANOTH_FAULT", mode}});
    std::string fault = faultLine(faulted.err);
    std::vector<std::string> problems;
    if (fault.empty()) {
      // Fewer than n operations: the scan ran to its end and must have done what the undisturbed one did.
      if (faulted.exitCode != 0) problems.push_back("exit code " + std::to_string(faulted.exitCode));
      for (const std::string& d : differences(want, outcomeOf(e, scenario.ballots))) problems.push_back(d);
      EXPECT_TRUE(problems.empty()) << mode << ": the scan that ran past its last operation (" << n
                                    << ") differs from the undisturbed one:\n"
                                    << bulleted(problems);
      break;
    }
    ++points;
    if (!contains(fault, "fault injected at operation " + std::to_string(n) + ":")) {
      problems.push_back("the hook fired at another operation");
    }
    if (mode == "kill" && faulted.exitCode != 128 + SIGKILL) {
      problems.push_back("the killed scan ended with exit code " + std::to_string(faulted.exitCode));
    }
    std::vector<std::string> broken;
    writtenMessages(e, "out", broken);
    writtenMessages(e, "copies", broken);
    for (const std::string& b : broken) problems.push_back("right after the fault, " + b);
    e2e::RunResult restart = e.scan();
    if (restart.exitCode != 0)
      problems.push_back("the next scan ended with exit code " + std::to_string(restart.exitCode));
    for (const std::string& d : differences(want, outcomeOf(e, scenario.ballots))) problems.push_back(d);
    if (problems.empty()) continue;
    failing.push_back(n);
    if (failing.size() > size_t(kReportedInFull)) continue;
    ADD_FAILURE() << mode << " at operation " << n << " (" << fault << "), faulted scan exit " << faulted.exitCode
                  << ", next scan exit " << restart.exitCode << ":\n"
                  << bulleted(problems) << "  error lines of the faulted scan:\n"
                  << errorLines(faulted) << "  error lines of the next scan:\n"
                  << errorLines(restart);
  }
  if (!failing.empty()) {
    std::string numbers;
    for (int n : failing) numbers += " " + std::to_string(n);
    ADD_FAILURE() << mode << ": " << failing.size() << " of " << points << " crash points leave the election otherwise "
                  << "than an undisturbed scan (details above for the first " << kReportedInFull << "):" << numbers;
  }
  EXPECT_GE(points, kFewestPoints) << mode << ": the fault hook (KELVANOTH_FAULT_AT) fired at only " << points
                                   << " operations of the scan";
  EXPECT_LT(points, kMostPoints) << mode << ": the fault hook fired still at operation " << kMostPoints;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("[ %s ] %d crash points in %.1f s\n", mode.c_str(), points, seconds);
}

TEST(KorvaKill, AScanKilledAtAnyOperationIsFinishedByTheNext) { walkCrashPoints("kill"); }

TEST(KorvaKill, AScanWhoseAnyOneOperationFailsIsFinishedByTheNext) { walkCrashPoints("fail"); }

// Two scans started together over one election take turns: neither trips over the other's files,
// and every ballot is judged once.
TEST(KorvaKill, TwoScansStartedTogetherTakeTurns) {
  constexpr int kElectors = 300;
  Election e(ScenarioDir::kInMemory);
  e.writeSetup();
  for (int n = 1; n <= kElectors; ++n) {
    e.put("in/" + std::to_string(n) + ".msg", e.ballot(electorName(n), 100 + n, "Alpha !pw" + std::to_string(n)));
  }
  const std::vector<std::string> scan = {"Scan", "-cfg:x.cfg"};
  e2e::StartedProgram first = e2e::startProgram(KORVA32_PATH, scan, e.dir.path(), {{"TZ", "UTC"}});
  e2e::StartedProgram second = e2e::startProgram(KORVA32_PATH, scan, e.dir.path(), {{"TZ", "UTC"}});
  for (const e2e::RunResult& r : {e2e::finishProgram(first), e2e::finishProgram(second)}) {
    EXPECT_EQ(r.exitCode, 0) << errorLines(r);
    for (const char* trouble : {"Can't save", "Can't move", "create error"}) {
      EXPECT_FALSE(contains(r.out + r.err, trouble)) << trouble << "\n" << errorLines(r);
    }
  }
  std::map<std::string, int> recorded = recordedElectors(e.voteBase());
  EXPECT_EQ(recorded.size(), size_t(kElectors));
  std::vector<std::string> notOnce;
  for (int n = 1; n <= kElectors; ++n) {
    int times = recorded[electorName(n)];
    if (times != 1) notOnce.push_back(electorName(n) + " " + std::to_string(times) + " times");
  }
  if (notOnce.size() > 10) notOnce.resize(10);
  EXPECT_TRUE(notOnce.empty()) << "recorded otherwise than once: " << listed(notOnce);
  std::string statistic = e.dir.read("x.sta");
  size_t valid = statistic.find("VALD=");
  EXPECT_TRUE(contains(statistic, "VALD=" + std::to_string(kElectors) + "\r\n"))
      << (valid == std::string::npos ? "no VALD line" : statistic.substr(valid, statistic.find('\r', valid) - valid));
  EXPECT_EQ(e.dir.list("in"), std::vector<std::string>{});
  ASSERT_TRUE(e.dir.exists("valid"));
  EXPECT_EQ(e.dir.list("valid").size(), size_t(kElectors));
}

}  // namespace
