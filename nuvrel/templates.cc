#include "nuvrel/templates.h"

#include <cstdio>

#include "common/log.h"
#include "common/platform.h"
#include "nuvrel/app.h"
#include "nuvrel/output.h"

namespace nuvrel {

void expandPostTemplate(const std::string& path) {
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) {
    logging::logPrint("\n! Template file \"%s\" open error. Process aborted.\n", path.c_str());
    finishRun(21);
  }
  logging::logPrint("\n> [%s] \"%s\" processed.", settings.subj.c_str(), path.c_str());
  std::fclose(f);
}

}  // namespace nuvrel
