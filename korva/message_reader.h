// FTN addresses in message texts and the reader of stored messages (*.MSG, FTS-0001 layout).
#ifndef KORVA_MESSAGE_READER_H_
#define KORVA_MESSAGE_READER_H_

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/election_formats.h"
#include "common/ftn_address.h"
#include "korva/message_format.h"

namespace korva {

// The message being judged; cleared before every read.
struct InboundMessage {
  FtnAddress orig, dest;
  FtnAddress replyToAddress;  // zone 0 when the message has no REPLYTO
  UserId userId;              // from the subject; the checks replace it with an issued or recorded one
  UserId givenUserId;         // as read from the subject
  std::string password;       // at most 79 characters
  std::string replyAddr;      // REPLYADDR value, at most 127 characters
  std::string replyToName;    // the word after the REPLYTO address, at most 35 characters
  std::string msgId;          // MSGID value, at most 79 characters
  int16_t candidate = 0;      // 0 none named; n > 0 the n-th candidate; < 0 more than one choice
  uint8_t header[msg_header::kSize] = {};
  std::time_t date = 0;       // the header date, read in the sender's zone when utcOffset is known
  uint16_t queryFlags = 0;    // kHelpQuery, kCheckQuery
  uint8_t passwordState = 0;  // kPasswordGiven, kPasswordFromName, kPasswordMissing
  bool msgIdMatches = false;  // the MSGID address is the same address as orig
  bool routeOk = false;       // the VIA hops agree with orig
  bool directDelivery = false;
  bool auxiliaryMessage = false;     // a "%PASSWORD: " line was read
  bool auxiliaryAuthorised = false;  // and its password was right: the candidate commands may follow

  // The header's texts, each cut at its zero byte and its field size.
  std::string fromName, toName, subject, dateText;
  FtnAddress msgIdAddress;
  std::optional<int> utcOffset;  // minutes east of UTC, from the first TZUTC kludge when well-formed
  std::string text;              // the message text, up to its end or its first zero byte
};

constexpr uint16_t kHelpQuery = 1, kCheckQuery = 2;
constexpr uint8_t kPasswordGiven = 0, kPasswordFromName = 1, kPasswordMissing = 2;

// The largest file the reader takes: the text buffer of 65533 bytes after the header.
constexpr size_t kMaxMessageFileSize = 65723;
constexpr size_t kMaxPasswordLength = 79, kMaxReplyAddrLength = 127, kMaxReplyToNameLength = 35;
constexpr size_t kMaxMsgIdLength = 79;

enum class ReadResult { kRead, kCannotOpen, kTooLarge, kHeaderIncomplete, kTextEmpty };

// Takes each text line of a message that is not a kludge, without its line end, in text order;
// what a line says it leaves in the message.
using BodyLineHandler = std::function<void(std::string_view line, InboundMessage& msg)>;

// What reading a ballot adds to looking a message up: the file's size and the sender's particulars
// logged, and the MSGID and the route judged (msgIdMatches, routeOk, directDelivery).
enum class SenderReview { kSkip, kLogAndJudge };

// Reads a stored message: the header, the addresses, the kludges and the UserID.  Only a given
// handler sees the text lines, so a look-up (no handler) cannot act on a ballot's commands.
ReadResult readStoredMessage(const std::string& path, InboundMessage& msg, const BodyLineHandler& onBodyLine = {},
                             SenderReview review = SenderReview::kSkip);

// The same over the bytes of a message file; any bytes are safe to pass.
ReadResult parseStoredMessage(std::string_view bytes, InboundMessage& msg, const BodyLineHandler& onBodyLine = {},
                              SenderReview review = SenderReview::kSkip);

// The first FTN address of a text ("zone:net/node[.point]" or "net/node[.point]"; a missing zone
// is the own address's zone), at the text's start or at the first or second character of a later
// blank-separated word.
bool parseAddressText(std::string_view text, FtnAddress& out);

// "DD Mon YY  HH:MM:SS" as local time.
std::time_t parseMessageDate(std::string_view text);

// "<word>" around the word that holds the text's first "@", or "" without one.
std::string extractEmail(std::string_view text);
// The e-mail address of the REPLYADDR kludge, else one in the From name.
std::string senderEmail(const InboundMessage& msg);
// The name the sender's vote records carry, and the key they are found by: the sender's e-mail
// address when it has one (an elector behind a gateway), else the From name.
std::string senderName(const InboundMessage& msg);

}  // namespace korva

#endif  // KORVA_MESSAGE_READER_H_
