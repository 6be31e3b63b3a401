// A stored message as a stranger may send it: header, kludges, VIA lines and ballot lines,
// including the officers' auxiliary commands.
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "korva/ballot_lines.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/settings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korva;
  settings = Settings{};
  settings.ownAddress = FtnAddress{2, 5020, 1, 0};
  settings.auxiliaryPassword = (size > 0 && data[0] & 1) ? "SECRET" : "";
  settings.nodeFromPointAccept = size > 0 && (data[0] & 2);
  election = ElectionState{};
  addCandidate("Ivan Petrov", 0);
  addCandidate("Anna Sidorova", 0);
  addCandidate("Withdrawn Person", 1);
  fuzz::Run run;
  try {
    InboundMessage msg;
    parseStoredMessage(std::string_view(reinterpret_cast<const char*>(data), size), msg, handleBodyLine,
                       SenderReview::kLogAndJudge);
  } catch (const fuzz::ProgramEnded&) {
  }
  return 0;
}
