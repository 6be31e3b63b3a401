// The vote base proven against the ballots that cast it: every counted or cancelled vote must be
// backed by its ballot filed by Scan, and every ballot filed as accepted must back a vote, so that
// a vote line added, changed or deleted by hand is seen.
#ifndef KORVA_VERIFY_H_
#define KORVA_VERIFY_H_

namespace korva {

struct VerifyCounts {
  unsigned votes = 0;    // counted and cancelled votes compared
  unsigned ballots = 0;  // filed ballots read
  unsigned discrepancies = 0;
};

// Reads every ballot of MoveValid and MoveCancel once, by the rules Scan read it by but acting on
// nothing, and matches them with the vote table as loaded.  Each discrepancy is logged as a "?"
// entry (shown in quiet mode too), the counts as the closing "=" entry.  Changes nothing.
VerifyCounts verifyElection();

}  // namespace korva

#endif  // KORVA_VERIFY_H_
