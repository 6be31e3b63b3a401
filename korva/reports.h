// The reports on standard output: general results, the password list and the quorum list.
#ifndef KORVA_REPORTS_H_
#define KORVA_REPORTS_H_

#include <string>

#include "common/election_formats.h"

namespace korva {

struct ReportOptions {
  bool sortOnAddresses = false, sortOnNames = false, sortOnVotes = false;
  bool validListMode = false;  // "Result -list": only votes of listed electors
};

// The two heading lines; nothing when the vote table is empty.
void printReportHeader(const std::string& title);

void reportResults(const ReportOptions& options);
void reportPasswords(const ReportOptions& options);
void reportQuorum(const ReportOptions& options);

// The order of vote records in the quorum list (and, with byPassword, the password list):
// negative, zero or positive as a comes before, with or after b.
int compareVotes(const VoteRecord& a, const VoteRecord& b, const ReportOptions& options, bool byPassword);

}  // namespace korva

#endif  // KORVA_REPORTS_H_
