// The accepted ballots filed in MoveValid, by elector, so that a revote finds the earlier ballot
// without reading every stored one again.
#ifndef KORVA_FILED_BALLOTS_H_
#define KORVA_FILED_BALLOTS_H_

#include <string>
#include <unordered_map>
#include <vector>

#include "common/election_formats.h"
#include "korva/message_reader.h"

namespace korva {

// What this run knows of MoveValid: read once at the first need, then kept current by the run's own
// filings into it and moves out of it.  Others may change the directory meanwhile, so every path is
// checked again before it is used.
struct FiledBallots {
  bool listed = false;
  // By elector key: the paths in listing order, then in the order the run filed them.
  std::unordered_map<std::string, std::vector<std::string>> paths;
};
extern FiledBallots filedBallots;

// An elector's key: the address and the name as a vote record stores it.
std::string electorKey(const FtnAddress& address, const std::string& storedName);

// The key of a stored message's sender: its address and senderName as addVote stores it (the
// e-mail address for an elector behind a gateway).
std::string electorKey(const InboundMessage& msg);

// Remembers a file planned into MoveValid under the key; any other path is passed over.
void noteFiledBallot(const std::string& path, const std::string& key);

// Forgets a file planned to leave MoveValid.
void forgetFiledBallot(const std::string& path, const std::string& key);

// The path of the first ballot in MoveValid from the record's elector that is still a regular file
// that reads, is from that address and name, and is not leaving with the message in hand; "" when
// there is none.  Without a remembered one the whole directory is read again, so that a ballot put
// there by others is found too.
std::string findFiledBallot(const VoteRecord& vote);

}  // namespace korva

#endif  // KORVA_FILED_BALLOTS_H_
