// Reading the lines of a ballot: the chosen candidate, the password, the queries and the
// officers' auxiliary commands.
#ifndef KORVA_BALLOT_LINES_H_
#define KORVA_BALLOT_LINES_H_

#include <string_view>

namespace korva {

struct InboundMessage;

// Called by the message reader with every text line that is not a kludge.
void handleBodyLine(std::string_view line, InboundMessage& msg);

}  // namespace korva

#endif  // KORVA_BALLOT_LINES_H_
