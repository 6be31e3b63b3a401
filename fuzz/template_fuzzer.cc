// Template files edited by hand: the vote manager's reply templates over a message in hand, and
// the poster's templates over a small election.  The first byte chooses.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/nodelist_index.h"
#include "korva/settings.h"
#include "korva/templates.h"
#include "nuvrel/app.h"
#include "nuvrel/output.h"
#include "nuvrel/templates.h"

namespace {

void expandReplyTemplate() {
  using namespace korva;
  settings = Settings{};
  settings.ownAddress = FtnAddress{2, 5020, 1, 0};
  settings.periodStart = 1100000000;
  settings.periodEnd = 1101000000;
  settings.origin = "Election robot";
  election = ElectionState{};
  addCandidate("Ivan Petrov", 0);
  addCandidate("Anna Sidorova", 0);
  addCandidate("Withdrawn Person", 1);
  indexState.nodelistFileName = "NODELIST.123";
  indexState.nodelistFirstLine = ";A Nodelist for Friday";
  const std::string message =
      std::string(190, '\0') + "\1MSGID: 2:5020/2 12345678\r\1REPLYADDR: a@b.c\rIvan Petrov\r!secret\r";
  inboundMessage = InboundMessage{};
  parseStoredMessage(message, inboundMessage);
  inboundMessage.fromName = "Elector Name";
  inboundMessage.subject = "Vote";
  inboundMessage.userId = UserId{0x12345678, 0x9ABCDEF0};
  std::string out;
  expandTemplate("reply.tpl", out);
}

void expandPosterTemplate() {
  using namespace nuvrel;
  app = AppState{};
  app.textMode = true;
  app.headerFlag = true;
  app.currentSection = "OUT";
  settings = Settings{};
  settings.subj = "Results";
  settings.area = "ELECTION";
  settings.origin = "Election robot";
  schedule = Schedule{};
  schedule.beginDate = 1100000000;
  for (int i = 0; i < kStageCount; ++i) {
    schedule.stageDays[i] = uint16_t(i + 1);
    schedule.stageBegin[i] = schedule.beginDate + i * 864000;
    schedule.stageEnd[i] = schedule.stageBegin[i] + 863999;
  }
  schedule.currentStage = 3;
  election = ElectionData{};
  election.candidates = {{"Ivan Petrov", 0}, {"Anna Sidorova", 0}, {"Withdrawn Person", 1}, {"Other", 2}};
  VoteRecord vote;
  vote.address = FtnAddress{2, 5020, 2, 0};
  vote.name = "Elector One";
  vote.password = "secret";
  vote.candidate = 1;
  election.votes.push_back(vote);
  vote.address.point = 3;
  vote.name = "Elector Two";
  vote.password = "<-Empty password->";
  vote.candidate = 2;
  election.votes.push_back(vote);
  vote.candidate = -1;
  election.votes.push_back(vote);
  for (int i = 1; i <= election_format::kVerdictCount; ++i) election.counters.count[i] = uint16_t(i * 3);
  election.votesLoaded = election.statisticLoaded = election.listedAddressesLoaded = true;
  election.refusedSum = 400;
  election.ballotTotal = 420;
  election.countWidth = 3;
  election.listedAddresses = 17;
  expandPostTemplate("post.tpl");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  bool poster = data[0] & 1;
  fuzz::writeFile(poster ? "post.tpl" : "reply.tpl", bytes);
  {
    fuzz::Run run;
    try {
      poster ? expandPosterTemplate() : expandReplyTemplate();
    } catch (const fuzz::ProgramEnded&) {
    }
  }
  nuvrel::output = nuvrel::OutputState{};  // a text ended inside its template is dropped with it
  fuzz::clearWorkDirectory({});
  return 0;
}
