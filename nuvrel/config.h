// The posting pass: one reading of the configuration file from top to bottom.  Settings take
// effect in file order, and every File line is a posting request decided and carried out at once
// with the settings in force at that line.
#ifndef NUVREL_CONFIG_H_
#define NUVREL_CONFIG_H_

#include <ctime>
#include <string>

#include "common/config_values.h"

namespace nuvrel {

// The poster's header of a bad value: through the log, and only when a line was read (a bad span of
// test dates on the command line names no line).
void writeConfigErrorHeader(const config::ConfigSource& source, const std::string& message);

// Runs one pass for the posting day (0: no day, only the settings are read).
void runPostingPass(std::time_t postingDay);

}  // namespace nuvrel

#endif  // NUVREL_CONFIG_H_
