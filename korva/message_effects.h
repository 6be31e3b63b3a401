// The effects of the message in hand, made exactly once whatever stops the run.
//
// While a message is judged, nothing it causes reaches the disk: its moves, the messages it sends
// and the new contents of the election files are planned, and what is logged about it is held
// back.  Then the effects are made in one step.  First every new file is written under a
// temporary name and forced to disk, and a record naming all of them (the journal, beside the
// vote base) is put in place; then the election files are replaced, the files moved and the
// messages given their numbers, each logged once it is done; then the record goes.  A run that
// stops before the record is in place changed nothing: the message is judged again.  A run that
// stops after it leaves the record, and the next run finishes what it names instead of judging
// the message again.
#ifndef KORVA_MESSAGE_EFFECTS_H_
#define KORVA_MESSAGE_EFFECTS_H_

#include <string>
#include <string_view>

namespace korva {

// Starts a message: its log entries are held and its effects planned until commitMessage.
void beginMessage();

// True between beginMessage and commitMessage.
bool planningMessage();

// Plans the move of a file into the directory under a number kept for it; logs ">> Moved to" once
// it is done.  The target path, or "" (logged) when the directory has no number left.
std::string planMove(const std::string& path, const std::string& directory);

// True when the file is already planned to leave its directory with the message in hand.
bool plannedToMove(const std::string& path);

// Plans a new stored message in the directory; `sentLine` (a whole log entry, or "") is logged once
// it has its number.  A copy logs "< Save copy to" with its path instead and is given up quietly,
// as copies always were, when it cannot be written.
void planMessage(std::string bytes, const std::string& directory, std::string sentLine, bool copy);

// Makes every planned effect and the changed election files last, in the order they were planned,
// and logs what was held.  Ends the run with the matching message and code when one cannot be made
// (13 election files, 14 a message, 16 a move); a record already in place is finished by the next run.
void commitMessage();

// Writes one stored message at once, outside a message in hand (an announcement): under a temporary
// name, forced to disk, then given the next free number.  `path` is the message's, or on failure
// the name that could not be created.
bool writeMessageNow(const std::string& bytes, const std::string& directory, std::string& path);

// Finishes the effects a stopped run left recorded in the journal, then removes what dead runs left
// as temporaries.  Called under the election's lock before the election files are read; true when it
// replaced election files.
bool finishInterruptedRun();

}  // namespace korva

#endif  // KORVA_MESSAGE_EFFECTS_H_
