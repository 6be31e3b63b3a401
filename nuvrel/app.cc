#include "nuvrel/app.h"

namespace nuvrel {

AppState app;
Settings settings;
Schedule schedule;
ElectionData election;

}  // namespace nuvrel
