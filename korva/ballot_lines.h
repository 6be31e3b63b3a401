// Reading the lines of a ballot: the chosen candidate, the password, the queries and the
// officers' auxiliary commands.
#ifndef KORVA_BALLOT_LINES_H_
#define KORVA_BALLOT_LINES_H_

#include <string_view>

namespace korva {

struct InboundMessage;

// The ballot run's body-line handler for the message reader: every text line that is not a kludge
// (without its line end).  What the line says is left in the message: queryFlags, candidate,
// password, passwordState and the auxiliary flags.  "%ADD: " and "%CHANGE: " act on the candidates
// list at once, which is why only the ballot run hands its lines here.
void handleBodyLine(std::string_view line, InboundMessage& msg);

// Which candidates a line may name: the electable ones (status 0), as the ballot run reads; or
// every one, for a ballot judged before its candidate was withdrawn.
enum class Electable { kStatusZero, kAnyStatus };

// The same reading of a line by the same rules, for a ballot already judged: nothing is acted on
// and nothing logged.  An auxiliary message's commands are passed over, but its password line
// still ends the ballot lines, as it does in the ballot run.
void readBodyLine(std::string_view line, InboundMessage& msg, Electable electable);

}  // namespace korva

#endif  // KORVA_BALLOT_LINES_H_
