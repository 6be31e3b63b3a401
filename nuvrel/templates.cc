#include "nuvrel/templates.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "common/election_formats.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/report_rows.h"
#include "common/template_scan.h"
#include "common/text.h"
#include "nuvrel/app.h"
#include "nuvrel/exit_codes.h"
#include "nuvrel/output.h"
#include "nuvrel/readers.h"

namespace nuvrel {

namespace {

using logging::logPrint;

using template_scan::LineResult;
using template_scan::macroCode;
using template_scan::MacroExpansion;

constexpr const char* kNotAvailable = "<Results not available>";

MacroExpansion dropped() {
  MacroExpansion e;
  e.dropLine = true;
  return e;
}

struct Number {
  unsigned value;
  bool plain;  // percentages and the listed addresses: no count width
};

unsigned counter(const char* code) {
  for (int i = 1; i <= election_format::kVerdictCount; ++i) {
    if (verdictCode(i) == code) return election.counters.count[i];
  }
  return 0;
}

// Halves round up, as lround does for the quotients of two 32-bit counts.
unsigned percentage(unsigned value, unsigned base) {
  return base == 0 ? 0 : unsigned(std::lround(value * 100.0 / base));
}

unsigned sum(std::initializer_list<const char*> codes) {
  unsigned total = 0;
  for (const char* code : codes) total += counter(code);
  return total;
}

std::optional<Number> numberMacro(uint32_t code) {
  if (code == macroCode("LALL")) {
    loadListedAddresses();
    return Number{election.listedAddresses, true};
  }
  if (code == macroCode("TALL")) {
    loadPosterStatistic();
    loadListedAddresses();
    return Number{percentage(election.ballotTotal, election.listedAddresses), true};
  }
  for (int i = 1; i <= election_format::kVerdictCount; ++i) {
    if (code != macroCode(verdictCode(i))) continue;
    loadPosterStatistic();
    return Number{election.counters.count[i], false};
  }
  struct Sum {
    const char* macro;
    std::initializer_list<const char*> codes;
  };
  static const Sum kSums[] = {
      {"VALT", {"VALD", "MANV"}},         {"ADDA", {"ADDL", "ADDE", "ADDN"}},
      {"NAMI", {"NAMN", "NAMP"}},         {"CANL", {"CANC", "CANP"}},
      {"NDLB", {"NDLP", "NDLH", "NDLD"}}, {"NDLS", {"NDLA", "NAMN", "NDLP", "NDLH", "NDLD"}},
  };
  for (const Sum& s : kSums) {
    if (code != macroCode(s.macro)) continue;
    loadPosterStatistic();
    return Number{sum(s.codes), false};
  }
  if (code == macroCode("INVD")) {
    loadPosterStatistic();
    return Number{election.refusedSum, false};
  }
  if (code == macroCode("ALLB")) {
    loadPosterStatistic();
    return Number{election.ballotTotal, false};
  }
  if (code == macroCode("VALE")) {
    loadPosterStatistic();
    return Number{percentage(counter("VALD"), election.ballotTotal), true};
  }
  if (code == macroCode("INVE")) {
    loadPosterStatistic();
    return Number{percentage(election.refusedSum, election.ballotTotal), true};
  }
  return std::nullopt;
}

MacroExpansion numberExpansion(const Number& n, bool dollar, TemplatePass& pass) {
  pass.lineSum += n.value;
  MacroExpansion e;
  if (!dollar) {
    e.text = n.plain ? text::format("%u", n.value) : formatCount(n.value);
    return e;
  }
  if (n.value == 0) return dropped();
  e.replaced = template_scan::kMacroLength + 1;
  return e;
}

// "%2d.%2.2d.%4.4d" of a stage's first or last day.
std::string stageDate(std::time_t t) {
  std::tm day = platform::localTime(t);
  return text::format("%2d.%2.2d.%4.4d", day.tm_mday, day.tm_mon + 1, day.tm_year + 1900);
}

void writeLine(const std::string& line) { writeOutputLine(line); }

MacroExpansion candidatesByStatus(std::string_view heading, int status, bool headingOnly) {
  int number = 0;
  for (const CandidateLine& candidate : election.candidates) {
    if (candidate.status != status) continue;
    if (number == 0) writeLine(std::string(heading) + "\n");
    if (headingOnly) break;
    writeLine(text::format("%3d. %s\n", ++number, candidate.name.c_str()));
  }
  return dropped();
}

MacroExpansion candidateList(int status) {
  int number = 0;
  for (const CandidateLine& candidate : election.candidates) {
    if (candidate.status == status) writeLine(text::format("%3d. %s\n", ++number, candidate.name.c_str()));
  }
  return dropped();
}

MacroExpansion ballotForm() {
  for (const CandidateLine& candidate : election.candidates) {
    if (candidate.status != 0) continue;
    writeLine(candidate.name.substr(0, candidate.name.find(',')) + " !<password>\n");
  }
  return dropped();
}

MacroExpansion notAvailable() {
  MacroExpansion e;
  e.text = kNotAvailable;
  return e;
}

const std::string& candidateName(size_t index) { return election.candidates[index].name; }

MacroExpansion resultsTable(const SortKeys& keys) {
  loadPosterVotes();
  if (election.votes.empty()) return notAvailable();
  size_t longest = tallyPosterVotes(keys);
  for (int index : election.electable) {
    writeLine(report_rows::resultRow(candidateName(size_t(index)), longest, election.totals[size_t(index)],
                                     election.countedVotes) +
              "\n");
  }
  writeLine(report_rows::totalRow(longest, election.countedVotes) + "\n");
  return dropped();
}

MacroExpansion quorumList(const SortKeys& keys) {
  loadPosterVotes();
  if (election.votes.empty()) return notAvailable();
  orderVoteRecords(keys);
  for (const VoteRecord& vote : election.votes) {
    // " %-18s %s\n", put together without a format pass per record
    std::string row = " " + formatAddress(vote.address);
    if (row.size() < 19) row.resize(19, ' ');
    row += ' ';
    row += vote.name;
    row += '\n';
    writeLine(row);
  }
  return dropped();
}

MacroExpansion passwordsList(SortKeys keys) {
  loadPosterVotes();
  if (election.votes.empty()) return notAvailable();
  size_t longest = tallyPosterVotes(keys);
  keys.byPassword = true;
  orderVoteRecords(keys);
  for (int index : election.electable) {
    writeLine("\n" +
              report_rows::passwordsHeading(candidateName(size_t(index)), longest, election.totals[size_t(index)],
                                            election.votes.size()) +
              "\n");
    for (const VoteRecord& vote : election.votes) {
      if (vote.candidate == index + 1) writeLine(vote.password + "\n");
    }
  }
  return dropped();
}

struct ListMacro {
  const char* code;
  int kind;  // 0 results, 1 quorum, 2 passwords
  SortKeys keys;
};
const ListMacro kListMacros[] = {
    {"RESU", 0, {}},
    {"RESA", 0, {}},
    {"RESN", 0, {.byName = true}},
    {"RESR", 0, {.byVotes = true}},
    {"RESV", 0, {.byVotes = true}},
    {"QUOR", 1, {}},
    {"QUOA", 1, {.byAddress = true}},
    {"QUON", 1, {.byName = true}},
    {"PASS", 2, {}},
    {"PASA", 2, {}},
    {"PASN", 2, {.byName = true}},
    {"PASV", 2, {.byVotes = true}},
};

bool sameFirstThree(uint32_t code, const char* three) { return (code & 0xFFFFFFu) == macroCode(three); }

// The macro whose percent sign stands at `at`; nullopt for an unknown code.
std::optional<MacroExpansion> knownMacro(uint32_t code, std::string_view line, size_t at, TemplatePass& pass) {
  constexpr size_t kMacroLength = template_scan::kMacroLength;
  const bool dollar = at + kMacroLength < line.size() && line[at + kMacroLength] == '$';
  if (std::optional<Number> n = numberMacro(code)) return numberExpansion(*n, dollar, pass);
  if (code == macroCode("BRK$")) return pass.lineSum == 0 ? dropped() : MacroExpansion{};
  MacroExpansion e;
  if (code == macroCode("AREA")) {
    e.text = settings.area;
    return e;
  }
  const char fourth = line[at + 4];
  if (sameFirstThree(code, "BDS") || sameFirstThree(code, "EDS")) {
    if (fourth < '0' || fourth > '9') return e;
    int stage = fourth - '0';
    e.text = stageDate(sameFirstThree(code, "BDS") ? schedule.stageBegin[stage] : schedule.stageEnd[stage]);
    return e;
  }
  if (code == macroCode("CAND")) return candidateList(pass.listStatus);
  if (code == macroCode("CANF")) return ballotForm();
  if (sameFirstThree(code, "CAS")) {
    pass.listStatus = (uint8_t(fourth) & 0x5F) - 0x10;
    return candidatesByStatus(line.substr(0, at), pass.listStatus, dollar);
  }
  for (const ListMacro& m : kListMacros) {
    if (code != macroCode(m.code)) continue;
    if (m.kind == 0) return resultsTable(m.keys);
    if (m.kind == 1) return quorumList(m.keys);
    return passwordsList(m.keys);
  }
  return std::nullopt;
}

void logUnknownMacro(uint32_t code, int lineNumber) {
  char masked[5] = {};
  for (int i = 0; i < 4; ++i) masked[i] = char(code >> (8 * i) & 0xFF);
  logPrint("\n! Unknown macro %lX (%4.4s) in line %d", static_cast<unsigned long>(code), masked, lineNumber);
}

}  // namespace

void expandPostLine(std::string& line, TemplatePass& pass) {
  auto expand = [&pass](uint32_t code, const std::string& current, size_t at) {
    if (std::optional<MacroExpansion> e = knownMacro(code, current, at, pass)) return *e;
    logUnknownMacro(code, pass.lineNumber);
    MacroExpansion keep;  // only the percent sign is passed over: the code's text stays in the line
    keep.text = "%";
    keep.replaced = 1;
    return keep;
  };
  if (template_scan::expandMacros(line, expand) == LineResult::kOverflow) {
    logPrint("\n! Header bufer overflow (header: \"%s\"). Process aborted.\n", pass.path.c_str());
    logging::appExit(kExitTemplateOverflow);
  }
}

void expandPostTemplate(const std::string& path) {
  output.partCounter = 0;
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) {
    logPrint("\n! Template file \"%s\" open error. Process aborted.\n", path.c_str());
    logging::appExit(kExitTemplateMissing);
  }
  logPrint("\n> [%s] \"%s\" processed.", settings.subj.c_str(), path.c_str());
  TemplatePass pass;
  pass.path = path;
  std::string line;
  while (platform::readTextLine(f, line, template_scan::kTemplateLineCapacity)) {
    ++pass.lineNumber;
    pass.lineSum = 0;
    text::fixCyrillicEn(line);
    if (settings.useMacro) expandPostLine(line, pass);
    if (!line.empty()) writeOutputLine(line);
  }
  std::fclose(f);
  finishPost(false);
}

}  // namespace nuvrel
