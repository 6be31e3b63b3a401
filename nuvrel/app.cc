#include "nuvrel/app.h"

namespace nuvrel {

AppState app;
Settings settings;
Schedule schedule;
ElectionData election;
OutputState output;

}  // namespace nuvrel
