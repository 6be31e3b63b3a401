#include "korva/filed_ballots.h"

#include <algorithm>

#include "common/platform.h"
#include "common/text.h"
#include "korva/message_effects.h"
#include "korva/settings.h"

namespace korva {

FiledBallots filedBallots;

namespace {

// A path of a file directly in MoveValid, as planMove and the listing both make it.
bool inMoveValid(const std::string& path) {
  const std::string& directory = settings.moveValid;
  return path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
         path.find('/', directory.size()) == std::string::npos;
}

// Reads every stored message of MoveValid once, in place of what was known of it.  A file leaving
// with the message in hand is passed over unread, as one that does not read is.
void readMoveValid() {
  filedBallots.paths.clear();
  filedBallots.listed = true;
  for (const std::string& name : platform::listFiles(settings.moveValid, "*.msg")) {
    std::string path = settings.moveValid + name;
    if (plannedToMove(path)) continue;
    InboundMessage filed;
    if (readStoredMessage(path, filed) != ReadResult::kRead) continue;
    filedBallots.paths[electorKey(filed)].push_back(path);
  }
}

// Whether the remembered file is still there and still the elector's.
bool stillFiled(const std::string& path, const std::string& key) {
  if (!platform::isRegularFile(path)) return false;
  InboundMessage filed;
  return readStoredMessage(path, filed) == ReadResult::kRead && electorKey(filed) == key;
}

// The first remembered path of the key that is still filed and not leaving; the ones found gone
// or changed are forgotten.
std::string firstStillFiled(const std::string& key) {
  auto found = filedBallots.paths.find(key);
  if (found == filedBallots.paths.end()) return {};
  std::vector<std::string>& paths = found->second;
  for (auto it = paths.begin(); it != paths.end();) {
    if (plannedToMove(*it)) {
      ++it;
    } else if (stillFiled(*it, key)) {
      return *it;
    } else {
      it = paths.erase(it);
    }
  }
  return {};
}

}  // namespace

std::string electorKey(const FtnAddress& address, const std::string& storedName) {
  // As unsigned 16-bit words, the way sameAddress compares them; a stored name holds no tab.
  return text::format("%u:%u/%u.%u\t", unsigned(uint16_t(address.zone)), unsigned(uint16_t(address.net)),
                      unsigned(uint16_t(address.node)), unsigned(uint16_t(address.point))) +
         storedName;
}

std::string electorKey(const InboundMessage& msg) { return electorKey(msg.orig, voteFieldText(senderName(msg))); }

void noteFiledBallot(const std::string& path, const std::string& key) {
  // Before the first need the directory is read whole, this file with it.
  if (filedBallots.listed && inMoveValid(path)) filedBallots.paths[key].push_back(path);
}

void forgetFiledBallot(const std::string& path, const std::string& key) {
  auto found = filedBallots.paths.find(key);
  if (found == filedBallots.paths.end()) return;
  std::vector<std::string>& paths = found->second;
  paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
}

std::string findFiledBallot(const VoteRecord& vote) {
  const std::string key = electorKey(vote.address, vote.name);
  if (filedBallots.listed) {
    std::string path = firstStillFiled(key);
    if (!path.empty()) return path;
  }
  readMoveValid();
  return firstStillFiled(key);
}

}  // namespace korva
