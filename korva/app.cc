#include "korva/app.h"

namespace korva {

AppState app;

}  // namespace korva
