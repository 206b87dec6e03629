#pragma once
#include <string>

#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// Connection-state strings carried by EVENT_TYPE_ConnectionState events.
class SDK_EXPORT ConnectionStateBuilder {
  public:
    static const std::string TESSERACS_DISCONNECTED;   // "disconnected"
    static const std::string TESSERACS_CONNECTING;     // "connecting"
    static const std::string TESSERACS_ERROR;          // "error"
    static const std::string TESSERACS_CONNECTED;      // "connected"
    static const std::string TESSERACS_DISCONNECTING;  // "disconnecting"

    // The state whose string equals data exactly; CONNECTION_STATE_Unknown otherwise.
    static ConnectionState GetValue(std::string data);
    // The string of a known state; "" for CONNECTION_STATE_Unknown and anything else.
    static std::string GetString(ConnectionState value);
};

}  // namespace TESSERA
