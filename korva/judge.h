// Judging one inbound message: what it is, the election's checks in their fixed order, and its
// one outcome (left in place, or counted, moved and answered).
#ifndef KORVA_JUDGE_H_
#define KORVA_JUDGE_H_

#include <string>

namespace korva {

// Judges the file of that name in the directory being scanned (app.scannedDirectory).
void judgeBallot(const std::string& fileName);

// The subject's comparison key: from its first non-blank, and after a "Re" prefix only the text
// after its last ":", reduced to a name key.
std::string subjectKey(const std::string& subject);

}  // namespace korva

#endif  // KORVA_JUDGE_H_
