#include "nuvrel/output.h"

#include "common/log.h"

namespace nuvrel {

void finishRun(int code) { logging::appExit(code); }

}  // namespace nuvrel
