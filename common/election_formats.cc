#include "common/election_formats.h"

#include <cstdio>
#include <cstdlib>

#include "common/platform.h"
#include "common/text.h"

using election_format::kCandidateLineLength;
using election_format::kVerdictCodes;
using election_format::kVerdictCount;

std::string formatVoteLine(const VoteRecord& r) {
  return text::format("%hd\t%hd\t%.8X%.8X\t%hd:%hd/%hd.%hd\t%s\t%s\n", r.candidate, r.revotes, r.userId.first,
                      r.userId.second, r.address.zone, r.address.net, r.address.node, r.address.point, r.name.c_str(),
                      r.password.c_str());
}

VoteLineResult parseVoteLine(std::string_view line, VoteRecord& record) {
  std::string copy(line);  // sscanf needs the terminating zero
  short candidate = 0, revotes = 0, zone = 0, net = 0, node = 0, point = 0;
  unsigned first = 0, second = 0;
  int converted = std::sscanf(copy.c_str(), "%hd\t%hd\t%8X%8X\t%hd:%hd/%hd.%hd", &candidate, &revotes, &first, &second,
                              &zone, &net, &node, &point);
  if (converted <= 0) return VoteLineResult::kNoNumbers;
  if (converted < 8) return VoteLineResult::kFormatError;
  size_t tab = std::string_view::npos;
  size_t tabs[5];
  for (size_t& t : tabs) {
    tab = line.find('\t', tab + 1);
    if (tab == std::string_view::npos) return VoteLineResult::kFormatError;
    t = tab;
  }
  record = VoteRecord{};
  record.candidate = candidate;
  record.revotes = revotes;
  record.userId = {first, second};
  record.address = {zone, net, node, point};
  record.name.assign(line.substr(tabs[3] + 1, tabs[4] - tabs[3] - 1));
  record.password.assign(line.substr(tabs[4] + 1));
  return VoteLineResult::kRecord;
}

std::string voteFieldText(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    // A Ctrl-Z would end the file for every reader after it; a zero byte would end the field when
    // the record is written, and a name cut to nothing marks a deleted record.
    if (c == '\t' || c == '\r' || c == '\n' || c == '\x1A' || c == '\0') c = ' ';
  }
  return out;
}

CandidatesBaseLine readCandidatesBaseLine(std::FILE* f, std::string& line) {
  if (!platform::readTextLine(f, line, kCandidateLineLength + 1)) return CandidatesBaseLine::kEnd;
  if (line.back() == '\n' || line.size() < kCandidateLineLength) return CandidatesBaseLine::kLine;
  // A full line without its end is whole only when its end (or the file's end) comes next.
  std::string rest;
  if (!platform::readTextLine(f, rest, 2) || rest == "\n") return CandidatesBaseLine::kLine;
  while (rest.back() != '\n' && platform::readTextLine(f, rest, kCandidateLineLength + 1)) {
  }
  return CandidatesBaseLine::kTooLong;
}

CandidateLine parseCandidateLine(std::string_view line) {
  CandidateLine result;
  std::string_view s = text::skipBlanks(line);
  size_t brace = s.find('{');
  if (brace == std::string_view::npos) {
    if (!s.empty() && s.back() == '\n') s.remove_suffix(1);
    result.name.assign(s);
    return result;
  }
  if (brace + 2 < s.size() && s[brace + 2] == '}') {
    result.status = int16_t(std::atoi(std::string(s.substr(brace + 1, 1)).c_str()));
  }
  size_t end = brace;
  if (end > 0 && s[end - 1] == ' ') --end;
  result.name.assign(s.substr(0, end));
  return result;
}

std::string formatCandidateLine(const CandidateLine& candidate) {
  if (candidate.status == 0) return candidate.name + "\n";
  return text::format("%s {%hd}\n", candidate.name.c_str(), candidate.status);
}

std::string_view verdictCode(int index) {
  if (index < 1 || index > kVerdictCount) return {};
  return std::string_view(kVerdictCodes + size_t(index - 1) * 4, 4);
}

std::string formatStatisticFile(const VerdictCounters& counters, std::string_view version) {
  std::string out = text::format(";\n; Kelvanoth Statistic      ver. %.*s\n;\n", int(version.size()), version.data());
  for (int i = 1; i <= kVerdictCount; ++i) {
    out += text::format("%.4s=%u\n", verdictCode(i).data(), unsigned(counters.count[i]));
  }
  return out;
}

void applyStatisticLine(std::string_view line, VerdictCounters& counters) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos || line.size() < 4) return;
  for (int i = 1; i <= kVerdictCount; ++i) {
    if (line.substr(0, 4) != verdictCode(i)) continue;
    std::string value(line.substr(equals + 1));
    counters.count[i] = uint16_t(std::strtoul(value.c_str(), nullptr, 10));
    return;
  }
}
