// The Announce command: one message from AnnounceTpl to every elector of the valid addresses list,
// or to every node of the nodelist.
#ifndef KORVA_ANNOUNCE_H_
#define KORVA_ANNOUNCE_H_

namespace korva {

// Needs the index open (openIndex); logs and skips the electors the nodelist checks exclude.
void announceElectors();

}  // namespace korva

#endif  // KORVA_ANNOUNCE_H_
