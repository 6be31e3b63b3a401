// The poster's templates: a template file expanded into the current output.
#ifndef NUVREL_TEMPLATES_H_
#define NUVREL_TEMPLATES_H_

#include <string>

namespace nuvrel {

// Expands the whole template into the output; a template that cannot be opened ends the run.
void expandPostTemplate(const std::string& path);

}  // namespace nuvrel

#endif  // NUVREL_TEMPLATES_H_
