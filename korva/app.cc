#include "korva/app.h"

#include "korva/message_reader.h"

namespace korva {

AppState app;
InboundMessage inboundMessage;

}  // namespace korva
