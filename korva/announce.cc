#include "korva/announce.h"

#include <optional>
#include <string>

#include "common/log.h"
#include "common/text.h"
#include "korva/app.h"
#include "korva/exit_codes.h"
#include "korva/message_reader.h"
#include "korva/netmail_writer.h"
#include "korva/nodelist_index.h"
#include "korva/settings.h"

namespace korva {

namespace {

using index_format::Record;
using logging::appExit;
using logging::logPrint;

constexpr size_t kMaxElectorName = 64, kMaxElectorEmail = 128;

// The nodelist checks of the configuration that keep a node from being announced; true when the
// elector is skipped (and logged).
bool excludedByNodelist(const Record& r, NodeStatus status, bool listedCheck) {
  const char* reason = nullptr;
  if (listedCheck && settings.checkListedNode && status == NodeStatus::kNotListed) {
    reason = "node not found in nodelist";
  } else if (settings.checkPvtNode && status == NodeStatus::kPvt) {
    reason = "PVT node";
  } else if (settings.checkHoldNode && status == NodeStatus::kHold) {
    reason = "HOLD node";
  } else if (settings.checkDownNode && status == NodeStatus::kDown) {
    reason = "DOWN node";
  }
  if (reason == nullptr) return false;
  logPrint("\n! %d:%d/%d.%d not announced: %s.", r.zone, r.net, r.node, r.point, reason);
  return true;
}

// The name and e-mail address of a valid-list line: "address [<e-mail>] [name]".  The line's
// first character is left as it is, as the address search of the index did.
void readElector(const std::string& line, uint32_t offset, std::string& name, std::string& email) {
  name.clear();
  email.clear();
  std::string entry = validListEntry(line);
  std::string_view s = text::skipBlanks(entry);
  size_t blank = s.find(' ');
  if (blank == std::string_view::npos) return;
  std::string_view rest = text::skipBlanks(s.substr(blank));
  if (!rest.empty() && rest[0] == '<') {
    size_t close = rest.find('>');
    if (close == std::string_view::npos) {
      logPrint("\n! Invalid e-mail in ValidAddressList (offset=%lXh):", static_cast<unsigned long>(offset));
      logPrint("\n! \"%s\"", std::string(rest).c_str());
      appExit(kExitBadListRecord);
    }
    email = std::string(rest.substr(1, close - 1)).substr(0, kMaxElectorEmail);
    rest = text::skipBlanks(rest.substr(close + 1));
  }
  name = std::string(rest).substr(0, kMaxElectorName);
}

int announceValidList() {
  int announced = 0;
  const std::vector<Record>& records = indexState.records;
  for (size_t i = 0; i < records.size() && records[i].kind == index_format::kValidEntry; ++i) {
    const Record& r = records[i];
    std::string line = readIndexedLine(indexState.validList, r.offset, "ValidAddressList");
    std::string name, email;
    readElector(line, r.offset, name, email);
    NodelistEntry node = findNodelistEntry({r.zone, r.net, r.node, r.point});
    if (excludedByNodelist(r, node.status, true)) continue;
    if (name.empty()) name = node.sysopName.empty() ? "Sysop" : node.sysopName;
    inboundMessage.toName = name.substr(0, 36);
    std::string toName = name, firstLine;
    if (!email.empty()) {
      toName = settings.forceToUucp || email.size() > kMaxToNameLength ? "UUCP" : email;
      firstLine = text::format("To: %s <%s>\r", name.c_str(), email.c_str());  // the writer adds one more CR
    }
    writeNetmail({.templatePath = settings.announceTpl,
                  .destination = {r.zone, r.net, r.node, r.point},
                  .toName = toName,
                  .subject = settings.voteId,
                  .firstLine = firstLine,
                  .copy = true});
    ++announced;
  }
  return announced;
}

int announceNodelist() {
  int announced = 0;
  const std::vector<Record>& records = indexState.records;
  size_t first = (indexState.header.firstNodelistRecord - index_format::kHeaderSize) / index_format::kRecordSize;
  for (size_t i = first; i < records.size() && records[i].kind < index_format::kValidEntry; ++i) {
    const Record& r = records[i];
    std::string line = readIndexedLine(indexState.nodelist, r.offset, "Nodelist");
    std::string name;
    if (!sysopName(line, name)) {
      logPrint("\n! Invalid nodelist record (offset=%lXh).", static_cast<unsigned long>(r.offset));
      appExit(kExitBadListRecord);
    }
    if (excludedByNodelist(r, nodeStatus(r.kind), false)) continue;
    name = name.substr(0, kMaxElectorName);
    inboundMessage.toName = name.substr(0, 36);
    writeNetmail({.templatePath = settings.announceTpl,
                  .destination = {r.zone, r.net, r.node, r.point},
                  .toName = name,
                  .subject = settings.voteId,
                  .copy = true});
    ++announced;
  }
  return announced;
}

}  // namespace

void announceElectors() {
  if (!indexState.open) {
    logPrint("\n! Announce failed. Unknown announce list.");
    return;
  }
  logPrint("\n  -- Announce mode.");
  if (settings.announceTpl.empty()) {
    logPrint("\n! Announce failed. Announce template not defined in config file.");
    return;
  }
  int announced = 0;
  if (settings.checkValidAddress && !settings.validAddressList.empty()) {
    announced = announceValidList();
  } else if (settings.nodelist.empty()) {
    logPrint("\n! Announce failed. Unknown announce list.");
    return;
  } else {
    announced = announceNodelist();
  }
  logPrint("\n* Announced %d sysops.", announced);
}

}  // namespace korva
