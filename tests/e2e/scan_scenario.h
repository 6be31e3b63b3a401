// A small election for the Scan tests: configuration, candidates, nodelist, templates and ballots
// built from readable descriptions.
#ifndef TESTS_E2E_SCAN_SCENARIO_H_
#define TESTS_E2E_SCAN_SCENARIO_H_

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/korva/stored_message_builder.h"

namespace e2e {

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Election {
  ScenarioDir dir;

  Election() = default;
  explicit Election(ScenarioDir::Storage storage) : dir(storage) {}

  // The robot is 2:5020/50; electors are 2:5020/*.*; voting runs through April 2005.
  void writeSetup(const std::string& extra = "") const {
    std::string config =
        "Address 2:5020/50\r\nVoteId \"Elections 2005\"\r\nValidAddress 2:5020/*.*\r\n"
        "Dates 1.4.2005-30.4.2005\r\nLog korva.log\r\nNetmailIn in\r\nNetmailOut out\r\n"
        "MoveValid valid\r\nMoveInvalid invalid\r\nMoveBadDate baddate\r\nMoveBadRoute badroute\r\n"
        "MoveBadMsgId badmsgid\r\nMoveBadUserId baduserid\r\nMoveAuxiliary aux\r\nMoveCancel cancel\r\n"
        "MoveDupe dupe\r\nMoveBadSyntax badsyntax\r\nMoveBadSubj badsubj\r\nMoveBadNode badnode\r\n"
        "Candidates cand.txt\r\nNodelist net.ndl\r\n"
        "ValidTpl valid.tpl\r\nUncheckValidTpl uncheck.tpl\r\nRevoteTpl revote.tpl\r\nHelpTpl help.tpl\r\n"
        "CheckOkTpl checkok.tpl\r\nCancelPntTpl cancelpnt.tpl\r\nRevoteLimitExceedTpl limit.tpl\r\n";
    for (const char* key :
         {"InvalidTpl",     "DuplicateTpl",      "InvalidAddressTpl", "RejectAddressTpl", "InvalidEMailTpl",
          "BadListNameTpl", "MissingAddressTpl", "PvtAddressTpl",     "HoldAddressTpl",   "DownAddressTpl",
          "BadNodeNameTpl", "BadPointNameTpl",   "PointTpl",          "DirPointTpl",      "BadRouteTpl",
          "BadOrigTpl",     "InvPointTpl",       "SoonTpl",           "LateTpl",          "BadDateTpl",
          "BadSubjTpl",     "ManyVoicesTpl",     "EmptyPasswordTpl",  "BadUserIdTpl"}) {
      config += std::string(key) + " refused.tpl\r\n";
    }
    dir.write("x.cfg", config + extra);
    dir.write("cand.txt", "Alpha\r\nBeta\r\nGamma\r\n");
    dir.write("net.ndl",
              ";A test nodelist\r\nZone,2,Z,Z,Z_C,0,300\r\nHost,5020,N,M,Host_Sysop,0,300\r\n"
              ",1,S,M,Ivan_Petrov,0,300\r\nPvt,2,S,M,Pvt_Sysop,-Unpublished-,300\r\n,3,S,M,Voter_Three,0,300\r\n"
              ",4,S,M,Voter_Abc,0,300\r\nHold,5,S,M,Held_Sysop,0,300\r\nDown,6,S,M,Down_Sysop,0,300\r\n");
    dir.write("points.pnt", ";A test pointlist\r\nBoss,2:5020/1\r\nPoint,1,P,M,Point_One,0,300\r\n");
    dir.write("valid.lst", "2:5020/1 Ivan Petrov\r\n2:5020/1.1\r\n2:5020/3\r\n2:5020/4 <voter@example.org>\r\n");
    dir.write("valid.tpl", "Accepted: %FNAM\r\n");
    dir.write("uncheck.tpl", "Unchecked accepted: %FNAM\r\n");
    dir.write("revote.tpl", "Revote accepted: %FNAM\r\n");
    dir.write("help.tpl", "Help text\r\n%CAND\r\n");
    dir.write("checkok.tpl", "Check ok\r\n");
    dir.write("cancelpnt.tpl", "Your vote was cancelled\r\n");
    dir.write("limit.tpl", "Revote limit exceeded\r\n");
    dir.write("refused.tpl", "Refused: %FNAM\r\n");
    dir.write("aux.tpl", "Auxiliary done\r\n");
    for (const char* sub : {"in", "out"}) dir.makeDirectory(sub);
  }

  // A ballot to the robot from 2:5020/<node>[.<point>], dated within the voting period.
  testmsg::StoredMessage ballot(const std::string& from, int node, const std::string& line, int point = 0,
                                const std::string& secondLine = "") const {
    testmsg::StoredMessage m;
    m.from = from;
    m.to = "Korvamgr";
    m.subject = "Elections 2005";
    m.date = "05 Apr 05  10:20:30";
    m.origNet = 5020;
    m.origNode = uint16_t(node);
    m.destNet = 5020;
    m.destNode = 50;
    std::string address = "2:5020/" + std::to_string(node);
    m.kludge("INTL 2:5020/50 " + address);
    m.kludge("MSGID: " + address + (point ? "." + std::to_string(point) : "") + " 1234abcd");
    if (point) m.kludge("FMPT " + std::to_string(point));
    if (!line.empty()) m.line(line);
    if (!secondLine.empty()) m.line(secondLine);
    m.zeroTerminated = true;
    return m;
  }

  void put(const std::string& relative, const testmsg::StoredMessage& m) const { dir.write(relative, m.bytes()); }

  RunResult scan() const { return runProgram(KORVA32_PATH, {"Scan", "-cfg:x.cfg"}, dir.path(), {{"TZ", "UTC"}}); }

  // A scan with more environment variables (TZ stays UTC).
  RunResult scan(std::map<std::string, std::string> env) const {
    env["TZ"] = "UTC";
    return runProgram(KORVA32_PATH, {"Scan", "-cfg:x.cfg"}, dir.path(), env);
  }

  // Verify, with more arguments ("-quiet").
  RunResult verify(std::vector<std::string> args = {}) const {
    args.insert(args.begin(), {"Verify", "-cfg:x.cfg"});
    return runProgram(KORVA32_PATH, args, dir.path(), {{"TZ", "UTC"}});
  }

  std::string voteBase() const { return dir.exists("x.vot") ? dir.read("x.vot") : ""; }
};

}  // namespace e2e

#endif  // TESTS_E2E_SCAN_SCENARIO_H_
