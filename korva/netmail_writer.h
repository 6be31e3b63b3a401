// The one way the vote manager sends a message: a new stored message in NetmailOut, its body
// expanded from a template, with an optional copy into CopyNetmailOut.
#ifndef KORVA_NETMAIL_WRITER_H_
#define KORVA_NETMAIL_WRITER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/ftn_address.h"

namespace korva {

constexpr const char* kRobotName = "Korvamgr";
constexpr uint16_t kOutgoingAttribute = 0x0181;  // Private, KillSent, Local
// Header texts are zero-terminated within their fields.
constexpr size_t kMaxToNameLength = 35, kMaxSubjectLength = 71;

// One message to send, its body expanded from a template.  The fields after the subject may be
// left out: then it is no reply, has no first line and no copy.
struct Netmail {
  std::string templatePath;
  FtnAddress destination;
  std::string toName, subject;
  // A reply identifier (even an empty one) marks a reply: it gets the REPLY kludge when not empty
  // and the HeaderTpl body first.
  std::optional<std::string> replyId = std::nullopt;
  std::string firstLine = {};  // when not empty, stands ahead of the templates
  bool copy = false;           // a copy into CopyNetmailOut as well, when that is set
};

// Writes the message; nothing without a template or without NetmailOut.  Ends the run when the
// message cannot be created (14) or a template fails (21, 22); the message begun is then removed,
// so that no message without its end is ever sent.
void writeNetmail(const Netmail& netmail);

// The audit copy of the message just processed, to the robot's own address (AuditTpl, when set).
void writeAuditMessage();

// The subject as the header's field holds it: at most 71 characters.  A longer one that ends in a
// UserID in brackets loses characters before it, so the UserID still comes back with the answer.
std::string fitSubject(std::string_view subject);

}  // namespace korva

#endif  // KORVA_NETMAIL_WRITER_H_
