// The vote manager's template files: the bodies of every message it sends, with the macros that
// quote the message in hand, the candidates, the lists and the log.
#ifndef KORVA_TEMPLATES_H_
#define KORVA_TEMPLATES_H_

#include <string>

namespace korva {

enum TemplateResult { kTemplateExpanded = 0, kTemplateCannotOpen = 1, kTemplateOverflow = 2 };

// Expands the template file into `out`, lines ended by CR.  The macros read inboundMessage, the
// candidates list, the settings, the index's list names and the log.  A failure is logged here; the
// caller ends the run.
TemplateResult expandTemplate(const std::string& path, std::string& out);

}  // namespace korva

#endif  // KORVA_TEMPLATES_H_
