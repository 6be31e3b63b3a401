// The poster's templates: a template file expanded into the current output, with the figures of
// the vote manager's files, the stage dates and the lists of candidates, votes and passwords.
#ifndef NUVREL_TEMPLATES_H_
#define NUVREL_TEMPLATES_H_

#include <string>

namespace nuvrel {

// Expands the whole template into the output; a template that cannot be opened, or a line that
// would grow past the line buffer, ends the run.
void expandPostTemplate(const std::string& path);

// One template being expanded.
struct TemplatePass {
  std::string path;
  int lineNumber = 0;
  unsigned lineSum = 0;  // of the numbers the line's number macros produced so far
  int listStatus = 0;    // the status CAND lists; set by CAS, the electable candidates until then
};

// Expands the macros of one template line in place.  Lines of list macros go straight to the
// output; the line comes back empty when it is dropped.
void expandPostLine(std::string& line, TemplatePass& pass);

}  // namespace nuvrel

#endif  // NUVREL_TEMPLATES_H_
