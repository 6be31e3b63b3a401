// Reading the vote manager's configuration file into the settings.
#ifndef KORVA_CONFIG_H_
#define KORVA_CONFIG_H_

#include <string>

namespace korva {

// Reads the file at `path` into `settings` (and the candidates base into the candidates list).
// Returns only when the configuration is complete and valid; otherwise ends the program.
void readVoteManagerConfig(const std::string& path);

}  // namespace korva

#endif  // KORVA_CONFIG_H_
