#include "nuvrel/app.h"

namespace nuvrel {

AppState app;

}  // namespace nuvrel
