#include "korva/ballot_lines.h"

#include "korva/message_reader.h"

namespace korva {

// No ballot line is understood yet: every line is passed over.
void handleBodyLine(std::string_view, InboundMessage&) {}

}  // namespace korva
