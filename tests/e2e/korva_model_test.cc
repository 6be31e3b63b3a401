// Scan against a small model of the counting rules, over random streams of ballots.
//
// A stream is one election under random settings (CheckUserID, OneVoteFromNode, MaxRevotes 0..3,
// BadPasswordAccept, CheckSubj, PointDirectAccept) with a few Scan runs; the ballots of a run are
// put into the inbound directory after the run before it has ended.  They come from a handful of
// electors: nodes and their points, electors behind a gateway (REPLYADDR), odd and empty names,
// and carry right, wrong and missing UserIDs.  After every run the vote base, the statistic file,
// the filed messages and the replies are compared with what the model expects.
//
// Every ballot passes the address, list, route and date checks (points' ballots only with
// PointDirectAccept); the model knows the counting rules: acceptance, duplicates, revotes and their
// limit, cancelled votes, one vote per node, UserIDs and their placeholder records, passwords, the
// subject, ballots without a sender, and the order in which the inbound files are taken.  Settings,
// electors, subjects and ballot texts are tables below; the model is the few functions under "The
// counting rules".
//
// Environment, for longer runs by hand:
//   KORVA_MODEL_SEED=n      seed of the first stream (default 1); stream i has seed n + i
//   KORVA_MODEL_STREAMS=k   how many streams (default 150, about 2500 ballots)
//   KORVA_MODEL_ONLY=3,7,9  keep only these ballots of the stream (for one stream); a failure prints
//                           the line that replays its shortened stream
//   KORVA_MODEL_SHRINK=0    report a failing stream as generated, without shortening it
//   KORVA_MODEL_JOBS=j      streams run at once (default 6)
// For example:
//   KORVA_MODEL_SEED=1000 KORVA_MODEL_STREAMS=3000 tests/e2e_tests --gtest_filter='KorvaModel.*'
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/scan_scenario.h"

namespace {

using e2e::contains;
using e2e::Election;

// ---------------------------------------------------------------------------------------------
// Settings of one stream

struct Settings {
  bool checkUserId = false, oneVoteFromNode = false, badPasswordAccept = false, checkSubj = false;
  bool pointDirectAccept = true;  // without it every ballot from a point (sent without VIA lines) is refused
  int maxRevotes = 0;

  std::string config() const {
    std::string c = "MaxRevotes " + std::to_string(maxRevotes) + "\r\n";
    auto flag = [&c](const char* key, bool on) { c += std::string(key) + (on ? " Yes\r\n" : " No\r\n"); };
    flag("CheckUserID", checkUserId);
    flag("OneVoteFromNode", oneVoteFromNode);
    flag("BadPasswordAccept", badPasswordAccept);
    flag("CheckSubj", checkSubj);
    flag("PointDirectAccept", pointDirectAccept);
    return c;
  }

  std::string describe() const {
    return "CheckUserID=" + std::to_string(checkUserId) + " OneVoteFromNode=" + std::to_string(oneVoteFromNode) +
           " MaxRevotes=" + std::to_string(maxRevotes) + " BadPasswordAccept=" + std::to_string(badPasswordAccept) +
           " CheckSubj=" + std::to_string(checkSubj) + " PointDirectAccept=" + std::to_string(pointDirectAccept);
  }
};

// ---------------------------------------------------------------------------------------------
// Electors: who writes, and under which names

// One way an elector writes: the From name, the REPLYADDR value, and the e-mail address the robot
// reads from them ("<...>"; empty when there is none).
struct Form {
  std::string from, replyAddr, email;
};

struct Person {
  std::string key;          // who the rules see: all forms of a person are the same elector at one address
  std::vector<Form> forms;  // the first is the usual one
  int weight;
};

const std::vector<Person>& people() {
  auto plain = [](const std::string& key, const std::vector<std::string>& names, int weight) {
    Person p{key, {}, weight};
    for (const std::string& n : names) p.forms.push_back({n, "", ""});
    return p;
  };
  // Behind a gateway the e-mail address names the elector, whatever the From name says.
  auto gateway = [](const std::string& key, const std::vector<std::string>& names,
                    const std::vector<std::pair<std::string, std::string>>& addresses, int weight) {
    Person p{key, {}, weight};
    for (const auto& [replyAddr, email] : addresses) {
      for (const std::string& n : names) p.forms.push_back({n, replyAddr, email});
    }
    return p;
  };
  static const std::vector<Person> kPeople = {
      plain("IvanPetrov",
            {"Ivan Petrov", "ivan petrov", "IVAN_PETROV", "IP> Ivan Petrov", "Ivan Petrov, 2:5020/1", " Ivan  Petrov"},
            5),
      plain("VoterThree", {"Voter Three", "Voter.Three", "voter three;"}, 4),
      plain("Anna", {"Anna", "ANNA", "A.n.n.a"}, 3),
      plain("<Odd Name>", {"<Odd Name>", "<odd name>"}, 1),
      plain("KonstantinKonstantinopolskiyZadov",  // as long as the From field allows
            {"Konstantin Konstantinopolskiy Zadov", "KONSTANTIN KONSTANTINOPOLSKIY ZADOV"}, 1),
      plain("", {"...", "_", ". :"}, 1),  // nothing is left of these names for comparison
      Person{"<joe@example.org>",
             {{"joe@example.org", "", "<joe@example.org>"},
              {"Joe <joe@example.org>", "", "<joe@example.org>"},
              {"JOE@example.org", "", "<JOE@example.org>"}},
             2},
      gateway("<user@example.org>", {"Gate User", "", "UUCP", "Ivan Petrov"},
              {{"user@example.org", "<user@example.org>"},
               {"Gate User <user@example.org>", "<user@example.org>"},
               {"\"U\" <USER@example.org>", "<USER@example.org>"},
               {"Some Gateway User Name <user@example.org>", "<user@example.org>"}},
              3),
      gateway("<other@example.org>", {"Other User", "   "}, {{"other@example.org", "<other@example.org>"}}, 2),
      plain("(no sender)", {"", "   "}, 1),  // neither a name nor an e-mail address
  };
  return kPeople;
}

struct SubjectForm {
  const char* text;
  bool election;  // the election's subject, however written
  int weight;
};

const std::vector<SubjectForm> kSubjects = {
    {"Elections 2005", true, 12}, {"Re: Elections 2005", true, 3}, {"RE:Elections 2005", true, 1},
    {"elections  2005", true, 1}, {"Elections 2004", false, 1},    {"Hello", false, 1},
};

// The UserID a ballot carries in its subject.
enum class IdKind { kNone, kRight, kRightInLowerCase, kRightAfterOneBlank, kHalfRight, kWrong, kZeroFirstHalf };
const std::vector<std::pair<IdKind, int>> kIdKinds = {
    {IdKind::kNone, 12},     {IdKind::kRight, 62}, {IdKind::kRightInLowerCase, 4}, {IdKind::kRightAfterOneBlank, 4},
    {IdKind::kHalfRight, 4}, {IdKind::kWrong, 8},  {IdKind::kZeroFirstHalf, 6}};
const char* idKindName(IdKind k) {
  switch (k) {
    case IdKind::kNone:
      return "none";
    case IdKind::kRight:
      return "right";
    case IdKind::kRightInLowerCase:
      return "right, in lower case";
    case IdKind::kRightAfterOneBlank:
      return "right, after one blank";
    case IdKind::kHalfRight:
      return "half-right";
    case IdKind::kWrong:
      return "wrong";
    case IdKind::kZeroFirstHalf:
      return "zero-first-half";
  }
  return "?";
}

// ---------------------------------------------------------------------------------------------
// Ballot texts

const std::vector<std::string> kCandidates = {"Alpha", "Beta", "Gamma"};
const std::vector<std::string> kMangled = {"Al.pha", "Be.ta", "Gam.ma"};  // the same key, not the name as written

struct Ballot {
  int number = 0, run = 0;
  int node = 0, point = 0;
  std::string key;  // the elector's key (see Person)
  Form form;
  std::string subjectText;
  bool electionSubject = true;
  IdKind idKind = IdKind::kNone;
  uint32_t randomFirst = 0, randomSecond = 0;  // for the wrong UserIDs
  std::vector<std::string> lines;
  // What the robot reads from the text.
  int16_t candidate = 0;  // 0 none, negative more than one choice
  int passwordState = 0;  // 0 after "!", 1 after the name without "!", 2 none found
  std::string password;
  bool checkQuery = false;
  std::string fileName;  // for a file not named by a plain number: processed after the numbered ones

  std::string recordedName() const { return form.email.empty() ? form.from : form.email; }
};

struct BodyKind {
  const char* name;
  int weight;
  void (*build)(int candidate, const std::string& password, Ballot& b);
};

const std::vector<BodyKind> kBodies = {
    {"vote", 40,
     [](int c, const std::string& pw, Ballot& b) {
       b.lines = {kCandidates[c - 1] + " !" + pw};
       b.candidate = int16_t(c), b.password = pw;
     }},
    {"quoted vote", 5,
     [](int c, const std::string& pw, Ballot& b) {
       b.lines = {"> " + kCandidates[c - 1] + " !" + pw};
       b.candidate = int16_t(c), b.password = pw;
     }},
    {"empty password", 8,
     [](int c, const std::string&, Ballot& b) {
       b.lines = {kCandidates[c - 1] + " !"};
       b.candidate = int16_t(c);
     }},
    {"password without !", 5,
     [](int c, const std::string& pw, Ballot& b) {
       b.lines = {kCandidates[c - 1] + " " + pw};
       b.candidate = int16_t(c), b.passwordState = 1, b.password = pw;
     }},
    {"no password", 4,
     [](int c, const std::string&, Ballot& b) {
       b.lines = {kMangled[c - 1]};
       b.candidate = int16_t(c), b.passwordState = 2;
     }},
    {"two choices", 5,
     [](int c, const std::string& pw, Ballot& b) {
       b.lines = {kCandidates[c - 1] + " !" + pw, kCandidates[c % 3]};
       b.candidate = int16_t(-c), b.password = pw;
     }},
    {"same choice twice", 2,
     [](int c, const std::string& pw, Ballot& b) {
       b.lines = {kCandidates[c - 1] + " !" + pw, kCandidates[c - 1]};
       b.candidate = int16_t(-c), b.password = pw;
     }},
    {"no candidate", 5, [](int, const std::string& pw, Ballot& b) { b.lines = {"Nobody !" + pw}; }},
    {"check query", 5,
     [](int, const std::string&, Ballot& b) {
       b.lines = {"%CHECK"};
       b.checkQuery = true;
     }},
};

const std::vector<std::string> kOddFileNames = {"0.msg", "70000.msg", "2x.msg", "abc.msg", "Ballot.msg"};

// ---------------------------------------------------------------------------------------------
// A stream

struct Stream {
  uint64_t seed = 0;
  Settings settings;
  int runs = 0;
  std::vector<Ballot> ballots;
};

Stream generateStream(uint64_t seed) {
  std::mt19937_64 rng(seed);
  auto below = [&rng](size_t n) { return size_t(rng() % n); };
  auto chance = [&below](int percent) { return int(below(100)) < percent; };
  auto weighted = [&below](const auto& table, auto weightOf) {
    int total = 0;
    for (const auto& row : table) total += weightOf(row);
    int draw = int(below(size_t(total)));
    for (size_t i = 0; i < table.size(); ++i) {
      draw -= weightOf(table[i]);
      if (draw < 0) return i;
    }
    return table.size() - 1;
  };

  Stream s;
  s.seed = seed;
  s.settings.checkUserId = chance(50);
  s.settings.oneVoteFromNode = chance(50);
  s.settings.badPasswordAccept = chance(50);
  s.settings.checkSubj = chance(50);
  s.settings.pointDirectAccept = chance(85);
  s.settings.maxRevotes = int(below(4));

  // A few electors, crowded on three nodes so that they meet.
  struct Elector {
    size_t person;
    int node, point, lastCandidate = 0;
    std::string password;
  };
  std::vector<Elector> electors;
  size_t wanted = 2 + below(6);
  for (size_t tries = 0; electors.size() < wanted && tries < 50; ++tries) {
    Elector el{weighted(people(), [](const Person& p) { return p.weight; }), 1 + int(below(3)),
               chance(60) ? 0 : 1 + int(below(2)), 0, "pw" + std::to_string(below(100))};
    bool known = false;
    for (const Elector& other : electors) {
      known = known || (other.person == el.person && other.node == el.node && other.point == el.point);
    }
    if (!known) electors.push_back(el);
  }

  s.runs = 1 + int(below(5));
  int number = 0;
  for (int run = 1; run <= s.runs; ++run) {
    size_t count = 1 + below(10);
    for (size_t k = 0; k < count; ++k) {
      Elector& el = electors[below(electors.size())];
      const Person& person = people()[el.person];
      Ballot b;
      b.number = ++number;
      b.run = run;
      b.node = el.node;
      b.point = el.point;
      b.key = person.key;
      b.form = chance(60) ? person.forms[0] : person.forms[below(person.forms.size())];
      const SubjectForm& subject = kSubjects[weighted(kSubjects, [](const SubjectForm& f) { return f.weight; })];
      b.subjectText = subject.text;
      b.electionSubject = subject.election;
      b.idKind = kIdKinds[weighted(kIdKinds, [](const auto& row) { return row.second; })].first;
      b.randomFirst = 0x80000000u | uint32_t(rng());  // the robot issues first halves below 0x80000000
      b.randomSecond = uint32_t(rng()) | 1u;
      int candidate = el.lastCandidate != 0 && chance(45) ? el.lastCandidate : 1 + int(below(3));
      el.lastCandidate = candidate;
      std::string password = chance(80)   ? el.password
                             : chance(50) ? "pw " + std::to_string(below(10))
                                          : "x" + std::to_string(below(1000));
      const BodyKind& body = kBodies[weighted(kBodies, [](const BodyKind& kind) { return kind.weight; })];
      body.build(candidate, password, b);
      if (k + 1 == count && chance(25)) b.fileName = kOddFileNames[below(kOddFileNames.size())];
      s.ballots.push_back(b);
    }
  }
  return s;
}

// ---------------------------------------------------------------------------------------------
// The counting rules

// A UserID as the model knows it: a fixed value (as written in a subject), or one the robot issued
// during a run, known by its issue number until its value is read back.
struct Id {
  int issued = -1;
  uint32_t first = 0, second = 0;
};

struct Record {
  int16_t candidate = 0, revotes = 0;  // candidate 0: a placeholder keeping a UserID; negative: cancelled
  Id id;
  int node = 0, point = 0;
  std::string key, name, password;
  int ballot = -1;       // the accepted ballot behind the vote
  bool removed = false;  // a placeholder that gave way to the vote
};

// What becomes of a judged ballot: its counter, the directory of its file, the reply's words.
struct Verdict {
  const char* code;
  const char* directory;
  const char* reply;
};
const Verdict kAccepted{"VALD", "valid", "Accepted: "};
const Verdict kRevoteAccepted{"VALD", "valid", "Revote accepted: "};
const Verdict kDuplicate{"DUPE", "dupe", "Refused: "};
const Verdict kOverRevoteLimit{"DUPE", "dupe", "Revote limit exceeded"};
const Verdict kAlreadyVoted{"CANC", "cancel", "Refused: "};
const Verdict kBadUserId{"BUID", "baduserid", "Refused: "};
const Verdict kManyChoices{"MANY", "badsyntax", "Refused: "};
const Verdict kNoCandidate{"UNKC", "badsyntax", "Refused: "};
const Verdict kBadPassword{"PASI", "badsyntax", "Refused: "};
const Verdict kEmptyPassword{"PASE", "badsyntax", "Refused: "};
const Verdict kBadSubject{"SUBI", "badsubj", "Refused: "};
const Verdict kNoSender{"OTHR", "invalid", "Refused: "};
const Verdict kDirectFromPoint{"PNTD", "badroute", "Refused: "};
const Verdict kCheckOk{"AUX_", "aux", "Check ok"};
const char* const kCancelNotice = "Your vote was cancelled";

struct Reply {
  std::string to, words;
  Id id;         // the UserID its subject carries (none when the first half is 0)
  bool checkId;  // notices to cancelled points carry the ballot's subject; not checked
  int ballot;
};

struct Model {
  Settings settings;
  std::vector<Record> votes;
  std::map<std::string, int> counters;
  std::map<int, std::string> directoryOf;  // ballot number -> where its file lies now
  std::vector<Reply> replies;              // every message written to the outbound directory, in order
  std::map<int, std::pair<uint32_t, uint32_t>> issuedValues;  // read back from the robot's files
  int issuedCount = 0;
};

bool knownId(const Model& m, const Id& id, uint32_t& first, uint32_t& second) {
  if (id.issued < 0) {
    first = id.first, second = id.second;
    return true;
  }
  auto it = m.issuedValues.find(id.issued);
  if (it == m.issuedValues.end()) return false;
  first = it->second.first, second = it->second.second;
  return true;
}

// A UserID that is written in a subject never equals one not yet read back: the test writes only
// values it read, or first halves the robot never issues.
bool sameId(const Model& m, const Id& a, const Id& b) {
  if (a.issued >= 0 && a.issued == b.issued) return true;
  uint32_t a1, a2, b1, b2;
  return knownId(m, a, a1, a2) && knownId(m, b, b1, b2) && a1 == b1 && a2 == b2;
}

bool emptyFirstHalf(const Id& id) { return id.issued < 0 && id.first == 0; }

// The sender's record: the first one of the same address and the same elector.
int senderRecord(const Model& m, const Ballot& b) {
  for (size_t i = 0; i < m.votes.size(); ++i) {
    const Record& r = m.votes[i];
    if (!r.removed && r.node == b.node && r.point == b.point && r.key == b.key) return int(i);
  }
  return -1;
}

void settle(Model& m, const Ballot& b, const Verdict& v, const Id& id, bool checkQuery) {
  ++m.counters[v.code];
  // A check query is filed as auxiliary, whatever its verdict.
  m.directoryOf[b.number] = checkQuery ? "aux" : v.directory;
  // An e-mail address too long for the To field is written in the text.
  std::string to = b.form.replyAddr.empty() ? b.form.from : b.form.replyAddr.size() > 36 ? "UUCP" : b.form.replyAddr;
  m.replies.push_back({to, v.reply, id, true, b.number});
}

// A cancelled vote: its ballot leaves the valid ones for the cancelled ones, and is counted there.
void cancelVote(Model& m, Record& r) {
  r.candidate = int16_t(-r.candidate);
  if (r.ballot >= 0 && m.directoryOf[r.ballot] == "valid") {
    m.directoryOf[r.ballot] = "cancel";
    ++m.counters["CANP"];
  }
}

// What the ballot does to the earlier votes of its node, in the order they were recorded: its
// sender's own vote is the same (a duplicate), is changed (a revote, within the limit), or was a
// placeholder that gives way; with OneVoteFromNode a node's ballot cancels its points' votes, a
// point's ballot is refused by any other vote of its node (another point's included), and a node's
// ballot by another elector's vote at the node itself.  Returns the refusal, or nullptr with the revote count of the
// new vote and the sender's placeholder, which gives way once the vote is recorded.
const Verdict* visitEarlierVotes(Model& m, const Ballot& b, int16_t& revotes, int& placeholder) {
  for (size_t i = 0; i < m.votes.size(); ++i) {
    Record& r = m.votes[i];
    if (r.removed || r.node != b.node) continue;
    if (r.point == b.point && r.key == b.key) {
      if (r.candidate < 0) continue;
      if (r.candidate == 0) {
        if (placeholder < 0) placeholder = int(i);
        continue;  // the node's points are still to be seen
      }
      if (r.candidate == b.candidate) return &kDuplicate;
      if (r.revotes >= m.settings.maxRevotes) return &kOverRevoteLimit;
      cancelVote(m, r);
      revotes = ++r.revotes;
      return nullptr;
    }
    if (!m.settings.oneVoteFromNode || r.candidate == 0) continue;
    if (b.point != 0 || r.point == 0) return &kAlreadyVoted;
    if (r.candidate < 0) continue;
    // The notice goes to the name the vote was recorded under; an e-mail address without its brackets.
    bool email = !r.name.empty() && r.name.front() == '<' && r.name.find('@') != std::string::npos;
    m.replies.push_back({email ? r.name.substr(1, r.name.size() - 2) : r.name, kCancelNotice, Id{}, false, b.number});
    cancelVote(m, r);
  }
  return nullptr;
}

// One ballot judged as the rules say, its traces left in the model.  `given` is the UserID of its
// subject.
void judge(Model& m, const Ballot& b, const Id& given) {
  const Settings& s = m.settings;
  Id id = given;  // the message's UserID; the reply tells it
  if (!b.electionSubject && s.checkSubj) return settle(m, b, kBadSubject, id, false);
  if (b.form.email.empty() && b.form.from.find_first_not_of(' ') == std::string::npos) {
    return settle(m, b, kNoSender, id, false);
  }
  // A first-time sender gets a UserID and a placeholder record, whatever later checks decide.
  int sender = -1;
  if (s.checkUserId) {
    sender = senderRecord(m, b);
    if (sender < 0) {
      id = Id{m.issuedCount++};
      Record placeholder;
      placeholder.id = id, placeholder.node = b.node, placeholder.point = b.point, placeholder.key = b.key;
      placeholder.name = b.recordedName(), placeholder.password = b.password;
      m.votes.push_back(placeholder);
      sender = int(m.votes.size() - 1);
    }
  }
  const bool query = b.checkQuery;
  if (b.point != 0 && !s.pointDirectAccept) return settle(m, b, kDirectFromPoint, id, query);
  if (s.checkUserId) {
    const Id recorded = m.votes[size_t(sender)].id;
    if (!emptyFirstHalf(id) && !sameId(m, id, recorded)) return settle(m, b, kBadUserId, id, query);
    if (emptyFirstHalf(id)) {
      id = recorded;
      if (!query) return settle(m, b, kBadUserId, id, query);
    }
  }
  if (sender >= 0 && m.votes[size_t(sender)].candidate < 0) return settle(m, b, kAlreadyVoted, id, query);
  if (query) return settle(m, b, kCheckOk, id, true);
  if (b.candidate < 0) return settle(m, b, kManyChoices, id, false);
  if (b.candidate == 0) return settle(m, b, kNoCandidate, id, false);

  std::string password = b.password;
  if (b.passwordState != 0) {
    if (!s.badPasswordAccept) return settle(m, b, kBadPassword, id, false);
    if (b.passwordState == 2) password = "<-Bad password syntax->";
  } else if (password.empty()) {
    if (!s.badPasswordAccept) return settle(m, b, kEmptyPassword, id, false);
    password = "<-Empty password->";
  }

  int16_t revotes = 0;
  int placeholder = -1;
  if (const Verdict* refusal = visitEarlierVotes(m, b, revotes, placeholder)) {
    return settle(m, b, *refusal, id, false);
  }
  if (placeholder >= 0) m.votes[size_t(placeholder)].removed = true;
  Record vote;
  vote.candidate = b.candidate, vote.revotes = revotes, vote.id = id, vote.node = b.node, vote.point = b.point;
  vote.key = b.key, vote.name = b.recordedName(), vote.password = password, vote.ballot = b.number;
  m.votes.push_back(vote);
  settle(m, b, revotes != 0 ? kRevoteAccepted : kAccepted, id, false);
}

// The UserID that the elector writes into the subject: the one the model has read back for the
// elector's record, when the ballot is meant to carry the right one.
Id subjectId(const Model& m, const Ballot& b) {
  uint32_t first = 0, second = 0;
  int sender = senderRecord(m, b);
  bool known = sender >= 0 && knownId(m, m.votes[size_t(sender)].id, first, second) && first != 0;
  switch (b.idKind) {
    case IdKind::kNone:
      return Id{};
    case IdKind::kRight:
    case IdKind::kRightInLowerCase:
    case IdKind::kRightAfterOneBlank:
      return known ? Id{-1, first, second} : Id{};
    case IdKind::kHalfRight:
      return known ? Id{-1, first, second ^ 1u} : Id{-1, b.randomFirst, b.randomSecond};
    case IdKind::kWrong:
      return Id{-1, b.randomFirst, b.randomSecond};
    case IdKind::kZeroFirstHalf:
      return Id{-1, 0, b.randomSecond};
  }
  return Id{};
}

// ---------------------------------------------------------------------------------------------
// Running a stream

std::string hexId(uint32_t first, uint32_t second) {
  char text[17];
  std::snprintf(text, sizeof text, "%.8X%.8X", first, second);
  return text;
}

std::string subjectFor(const Ballot& b, const Id& given) {
  if (given.first == 0 && given.second == 0) return b.subjectText;
  std::string id = hexId(given.first, given.second);
  if (b.idKind == IdKind::kRightInLowerCase) {
    for (char& c : id) c = char(std::tolower(static_cast<unsigned char>(c)));
  }
  return b.subjectText + (b.idKind == IdKind::kRightAfterOneBlank ? " [" : "  [") + id + "]";
}

testmsg::StoredMessage storedBallot(const Election& e, const Ballot& b, const Id& given) {
  testmsg::StoredMessage m = e.ballot(b.form.from, b.node, "", b.point);
  m.subject = subjectFor(b, given);
  char serial[9];
  std::snprintf(serial, sizeof serial, "%08x", unsigned(b.number));  // every ballot's bytes differ
  m.lines[1] =
      "\x01MSGID: 2:5020/" + std::to_string(b.node) + (b.point ? "." + std::to_string(b.point) : "") + " " + serial;
  if (!b.form.replyAddr.empty()) m.kludge("REPLYADDR " + b.form.replyAddr);
  for (const std::string& line : b.lines) m.line(line);
  return m;
}

std::string inQuotes(const std::string& s) { return "\"" + s + "\""; }

std::string describeBallot(const Ballot& b, const std::string& writtenSubject) {
  std::string d = "#" + std::to_string(b.number) + " run " + std::to_string(b.run) + " 2:5020/" +
                  std::to_string(b.node) + "." + std::to_string(b.point) + " From " + inQuotes(b.form.from);
  if (!b.form.replyAddr.empty()) d += " REPLYADDR " + inQuotes(b.form.replyAddr);
  std::string subject = writtenSubject.empty() ? b.subjectText : writtenSubject;
  d += " Subj " + inQuotes(subject) + " (UserID " + idKindName(b.idKind) +
       (b.idKind != IdKind::kNone && subject == b.subjectText ? ": none known yet)" : ")");
  for (const std::string& line : b.lines) d += " | " + inQuotes(line);
  if (!b.fileName.empty()) d += " file " + b.fileName;
  return d;
}

struct Totals {
  int streams = 0, runs = 0, ballots = 0;
  std::map<std::string, int> counters;
  std::set<std::string> settings;
};

// The mismatches of one run: "what: details", the part before ":" telling the kind.
using Problems = std::vector<std::string>;

std::string renderRecord(const Model& m, const Record& r) {
  uint32_t first, second;
  std::string id =
      knownId(m, r.id, first, second) ? hexId(first, second) : "<issued #" + std::to_string(r.id.issued) + ">";
  return std::to_string(r.candidate) + "\t" + std::to_string(r.revotes) + "\t" + id + "\t2:5020/" +
         std::to_string(r.node) + "." + std::to_string(r.point) + "\t" + r.name + "\t" + r.password;
}

void learnOrCompareId(Model& m, const Id& id, uint32_t first, uint32_t second, const std::string& where,
                      Problems& problems) {
  uint32_t f, s;
  if (knownId(m, id, f, s)) {
    if (f != first || s != second) {
      problems.push_back(where + ": UserID " + hexId(first, second) + ", expected " + hexId(f, s));
    }
    return;
  }
  if (first == 0) problems.push_back(where + ": an issued UserID " + hexId(first, second) + " has a first half of 0");
  m.issuedValues[id.issued] = {first, second};
}

void compareVoteBase(const std::string& text, Model& m, Problems& problems) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  std::vector<const Record*> expected;
  for (const Record& r : m.votes) {
    if (!r.removed) expected.push_back(&r);
  }
  auto both = [&]() {
    std::string s = "\n  expected:";
    for (const Record* r : expected) s += "\n    " + renderRecord(m, *r);
    s += "\n  found:";
    for (const std::string& line : lines) s += "\n    " + line;
    return s;
  };
  if (lines.size() != expected.size()) {
    problems.push_back("vote base: " + std::to_string(lines.size()) + " records, expected " +
                       std::to_string(expected.size()) + both());
    return;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (int f = 0; f < 5; ++f) {
      size_t tab = lines[i].find('\t', start);
      if (tab == std::string::npos) break;
      fields.push_back(lines[i].substr(start, tab - start));
      start = tab + 1;
    }
    fields.push_back(lines[i].substr(start));
    const Record& r = *expected[i];
    std::string where = "vote base: record " + std::to_string(i + 1);
    if (fields.size() != 6 || fields[2].size() != 16) {
      problems.push_back(where + ": unreadable line " + inQuotes(lines[i]));
      continue;
    }
    std::string wanted = renderRecord(m, r);
    bool same = fields[0] == std::to_string(r.candidate) && fields[1] == std::to_string(r.revotes) &&
                fields[3] == "2:5020/" + std::to_string(r.node) + "." + std::to_string(r.point) &&
                fields[4] == r.name && fields[5] == r.password;
    if (!same) {
      problems.push_back(where + ": " + inQuotes(lines[i]) + both());
      return;  // one picture of the whole base is enough
    }
    learnOrCompareId(m, r.id, uint32_t(std::stoul(fields[2].substr(0, 8), nullptr, 16)),
                     uint32_t(std::stoul(fields[2].substr(8), nullptr, 16)), where, problems);
  }
}

const std::string kVerdictCodes =
    "AUX_MANVVALDDATIDATSDATLSUBIPNTCADDIADDLADDEADDNNDLANDLPNDLHNDLDNAMNNAMPPNTDROUTMSGIREPLMANYUNKCPASIPASEDUPE"
    "CANCCANPOTHRMANIBUID";

void compareCounters(const std::string& text, const Model& m, Problems& problems) {
  std::map<std::string, int> found;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    size_t equals = line.find('=');
    if (line.size() > 5 && equals == 4) found[line.substr(0, 4)] = std::atoi(line.c_str() + 5);
    start = end + 1;
  }
  for (size_t i = 0; i < kVerdictCodes.size(); i += 4) {
    std::string code = kVerdictCodes.substr(i, 4);
    auto it = m.counters.find(code);
    int wanted = it == m.counters.end() ? 0 : it->second;
    if (found[code] != wanted) {
      problems.push_back("x.sta " + code + ": " + std::to_string(found[code]) + ", expected " + std::to_string(wanted));
    }
  }
}

const std::vector<std::string> kDirectories = {"in",        "valid",   "cancel",  "dupe", "baduserid",
                                               "badsyntax", "badsubj", "invalid", "aux",  "badroute"};

void compareDirectories(const Election& e, const Model& m, const std::map<std::string, int>& ballotOfBytes,
                        Problems& problems) {
  for (const std::string& directory : kDirectories) {
    std::multiset<int> wanted, found;
    for (const auto& [ballot, where] : m.directoryOf) {
      if (where == directory) wanted.insert(ballot);
    }
    if (e.dir.exists(directory)) {
      for (const std::string& name : e.dir.list(directory)) {
        auto it = ballotOfBytes.find(e.dir.read(directory + "/" + name));
        found.insert(it == ballotOfBytes.end() ? 0 : it->second);
      }
    }
    if (wanted != found) {
      auto list = [](const std::multiset<int>& ballots) {
        std::string s;
        for (int b : ballots) s += b == 0 ? " (not a ballot)" : " #" + std::to_string(b);
        return s.empty() ? std::string(" none") : s;
      };
      problems.push_back(directory + "/: holds" + list(found) + "; expected" + list(wanted));
    }
  }
}

// The outbound directory: one message for every judged ballot and every notice, in the order written.
void compareReplies(const Election& e, Model& m, Problems& problems) {
  std::vector<std::pair<int, std::string>> numbered;
  for (const std::string& name : e.dir.list("out")) numbered.push_back({std::atoi(name.c_str()), name});
  std::sort(numbered.begin(), numbered.end());
  if (numbered.size() != m.replies.size()) {
    std::string wanted;
    for (const Reply& r : m.replies) wanted += "\n    #" + std::to_string(r.ballot) + " " + r.words;
    problems.push_back("replies: " + std::to_string(numbered.size()) + " messages in out/, expected " +
                       std::to_string(m.replies.size()) + ":" + wanted);
    return;
  }
  for (size_t i = 0; i < numbered.size(); ++i) {
    const Reply& r = m.replies[i];
    std::string message = e.dir.read("out/" + numbered[i].second);
    std::string where = "replies: out/" + numbered[i].second + " (ballot #" + std::to_string(r.ballot) + ")";
    std::string text;  // the lines after the kludges
    for (size_t start = 190; start < message.size();) {
      size_t end = std::min(message.find('\r', start), message.size());
      if (message[start] != '\x01' && message[start] != '\0') {
        text += (text.empty() ? "" : " | ") + message.substr(start, end - start);
      }
      start = end + 1;
    }
    if (!contains(text, r.words)) {
      problems.push_back(where + ": expected " + inQuotes(r.words) + ", found " + inQuotes(text));
      continue;
    }
    std::string to = message.substr(36, 36);
    to = to.substr(0, to.find('\0'));
    if (to != r.to) problems.push_back(where + ": to " + inQuotes(to) + ", expected " + inQuotes(r.to));
    if (!r.checkId) continue;
    std::string subject = message.substr(72, 72);
    subject = subject.substr(0, subject.find('\0'));
    size_t open = subject.find('[');
    if (emptyFirstHalf(r.id)) {
      if (open != std::string::npos) problems.push_back(where + ": subject " + inQuotes(subject) + " carries a UserID");
      continue;
    }
    if (open == std::string::npos || subject.size() < open + 18 || subject[open + 17] != ']') {
      problems.push_back(where + ": subject " + inQuotes(subject) + " carries no UserID");
      continue;
    }
    learnOrCompareId(m, r.id, uint32_t(std::stoul(subject.substr(open + 1, 8), nullptr, 16)),
                     uint32_t(std::stoul(subject.substr(open + 9, 8), nullptr, 16)), where, problems);
  }
}

struct StreamResult {
  Problems problems;  // of the first run that had any
  int failedRun = 0;
  std::map<int, std::string> writtenSubjects;
};

StreamResult runStream(const Stream& stream, const std::vector<bool>& keep, Totals* totals) {
  StreamResult result;
  Election e;
  e.writeSetup(stream.settings.config());
  Model m;
  m.settings = stream.settings;
  std::map<std::string, int> ballotOfBytes;
  for (int run = 1; run <= stream.runs; ++run) {
    std::vector<std::pair<const Ballot*, Id>> written;
    int number = 0;
    for (const Ballot& b : stream.ballots) {
      if (b.run != run || !keep[size_t(b.number)]) continue;
      Id given = subjectId(m, b);
      std::string bytes = storedBallot(e, b, given).bytes();
      e.dir.write("in/" + (b.fileName.empty() ? std::to_string(++number) + ".msg" : b.fileName), bytes);
      ballotOfBytes[bytes] = b.number;
      result.writtenSubjects[b.number] = subjectFor(b, given);
      written.push_back({&b, given});
    }
    if (written.empty()) continue;
    e2e::RunResult r = e.scan();
    for (const auto& [b, given] : written) judge(m, *b, given);
    Problems& problems = result.problems;
    if (r.exitCode != 0) problems.push_back("exit code: " + std::to_string(r.exitCode) + "\n" + r.out);
    compareVoteBase(e.voteBase(), m, problems);
    compareCounters(e.dir.read("x.sta"), m, problems);
    compareDirectories(e, m, ballotOfBytes, problems);
    compareReplies(e, m, problems);
    if (totals) {
      ++totals->runs;
      totals->ballots += int(written.size());
    }
    if (!problems.empty()) {
      result.failedRun = run;
      break;
    }
  }
  if (totals) {
    ++totals->streams;
    totals->settings.insert(stream.settings.describe());
    for (const auto& [code, count] : m.counters) totals->counters[code] += count;
  }
  return result;
}

std::string kindOf(const Problems& problems) {
  if (problems.empty()) return "";
  return problems[0].substr(0, problems[0].find(':'));
}

// Drops ballots from a failing stream for as long as it fails in the same way.
std::vector<bool> shorten(const Stream& stream, std::vector<bool> keep, const std::string& kind) {
  int tries = 0;
  for (size_t chunk = stream.ballots.size() / 2; chunk >= 1 && tries < 120; chunk /= 2) {
    for (bool dropped = true; dropped && tries < 120;) {
      dropped = false;
      std::vector<int> kept;
      for (const Ballot& b : stream.ballots) {
        if (keep[size_t(b.number)]) kept.push_back(b.number);
      }
      for (size_t start = 0; start < kept.size() && tries < 120; start += chunk) {
        std::vector<bool> trial = keep;
        for (size_t i = start; i < start + chunk && i < kept.size(); ++i) trial[size_t(kept[i])] = false;
        ++tries;
        if (kindOf(runStream(stream, trial, nullptr).problems) == kind) {
          keep = trial;
          dropped = true;
          break;
        }
      }
    }
  }
  return keep;
}

uint64_t environmentNumber(const char* name, uint64_t fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::strtoull(value, nullptr, 10) : fallback;
}

std::string report(const Stream& stream, const std::vector<bool>& keep, const StreamResult& result) {
  std::string only, ballots;
  for (const Ballot& b : stream.ballots) {
    if (!keep[size_t(b.number)] || b.run > result.failedRun) continue;
    only += (only.empty() ? "" : ",") + std::to_string(b.number);
    auto subject = result.writtenSubjects.find(b.number);
    ballots += "\n  " + describeBallot(b, subject == result.writtenSubjects.end() ? "" : subject->second);
  }
  std::string text = "Scan and the model disagree after run " + std::to_string(result.failedRun) +
                     ".\nReplay: KORVA_MODEL_SEED=" + std::to_string(stream.seed) +
                     " KORVA_MODEL_STREAMS=1 KORVA_MODEL_ONLY=" + only + "\nSettings: " + stream.settings.describe() +
                     "\nBallots:" + ballots + "\nMismatches:";
  for (const std::string& p : result.problems) text += "\n  " + p;
  return text;
}

TEST(KorvaModel, RandomBallotStreamsAreCountedAsTheRulesSay) {
  const uint64_t firstSeed = environmentNumber("KORVA_MODEL_SEED", 1);
  const uint64_t streams = environmentNumber("KORVA_MODEL_STREAMS", 150);
  const unsigned jobs = unsigned(std::max<uint64_t>(1, environmentNumber("KORVA_MODEL_JOBS", 6)));
  const bool shrink = environmentNumber("KORVA_MODEL_SHRINK", 1) != 0;
  const char* only = std::getenv("KORVA_MODEL_ONLY");
  const auto started = std::chrono::steady_clock::now();

  auto kept = [only](const Stream& stream) {
    std::vector<bool> keep(stream.ballots.size() + 1, only == nullptr || *only == '\0');
    for (const char* p = only ? only : ""; *p;) {
      char* end = nullptr;
      size_t number = std::strtoul(p, &end, 10);
      if (number < keep.size()) keep[number] = true;
      p = *end ? end + 1 : end;
    }
    return keep;
  };

  // Streams are independent elections: several run at once, since a run mostly waits for its
  // files to reach the disk.
  std::vector<StreamResult> results(streams);
  std::vector<Totals> totalsOfJob(jobs);
  std::atomic<uint64_t> next{0};
  std::vector<std::thread> workers;
  for (unsigned job = 0; job < jobs; ++job) {
    workers.emplace_back([&, job]() {
      for (uint64_t i = next++; i < streams; i = next++) {
        Stream stream = generateStream(firstSeed + i);
        results[i] = runStream(stream, kept(stream), &totalsOfJob[job]);
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  Totals totals;
  for (const Totals& t : totalsOfJob) {
    totals.streams += t.streams, totals.runs += t.runs, totals.ballots += t.ballots;
    for (const auto& [code, count] : t.counters) totals.counters[code] += count;
    totals.settings.insert(t.settings.begin(), t.settings.end());
  }

  std::map<std::string, int> failuresByKind;
  for (uint64_t i = 0; i < streams; ++i) {
    if (results[i].problems.empty()) continue;
    std::string kind = kindOf(results[i].problems);
    // Each kind of mismatch is told in full, shortened, the first time; later ones only counted.
    if (failuresByKind[kind]++ > 0 || failuresByKind.size() > 4) continue;
    Stream stream = generateStream(firstSeed + i);
    std::vector<bool> keep = kept(stream);
    StreamResult result = results[i];
    if (shrink) {
      keep = shorten(stream, keep, kind);
      StreamResult shorter = runStream(stream, keep, nullptr);
      if (!shorter.problems.empty()) result = shorter;
    }
    ADD_FAILURE() << report(stream, keep, result);
  }
  for (const auto& [kind, count] : failuresByKind) {
    ADD_FAILURE() << count << " of " << streams << " streams fail first on \"" << kind << "\"";
  }

  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::string verdicts;
  for (const auto& [code, count] : totals.counters) verdicts += " " + code + "=" + std::to_string(count);
  std::printf(
      "Model streams from seed %llu: %d streams, %d Scan runs, %d ballots, %zu settings combinations, %.1f s\n"
      "Verdicts:%s\n",
      static_cast<unsigned long long>(firstSeed), totals.streams, totals.runs, totals.ballots, totals.settings.size(),
      seconds, verdicts.c_str());
}

}  // namespace
