#include "ConnectionStateBuilder.h"

#include "NamedValues.h"

namespace TESSERA {

const std::string ConnectionStateBuilder::TESSERACS_DISCONNECTED = "disconnected";
const std::string ConnectionStateBuilder::TESSERACS_CONNECTING = "connecting";
const std::string ConnectionStateBuilder::TESSERACS_ERROR = "error";
const std::string ConnectionStateBuilder::TESSERACS_CONNECTED = "connected";
const std::string ConnectionStateBuilder::TESSERACS_DISCONNECTING = "disconnecting";

namespace {
using B = ConnectionStateBuilder;
const NamedValue<ConnectionState> kStates[] = {
    {CONNECTION_STATE_Disconnected, &B::TESSERACS_DISCONNECTED},
    {CONNECTION_STATE_Connecting, &B::TESSERACS_CONNECTING},
    {CONNECTION_STATE_Error, &B::TESSERACS_ERROR},
    {CONNECTION_STATE_Connected, &B::TESSERACS_CONNECTED},
    {CONNECTION_STATE_Disconnecting, &B::TESSERACS_DISCONNECTING},
};
}  // namespace

ConnectionState ConnectionStateBuilder::GetValue(std::string data) {
    return valueOf(kStates, data, CONNECTION_STATE_Unknown);
}

std::string ConnectionStateBuilder::GetString(ConnectionState value) {
    return stringOf(kStates, value);
}

}  // namespace TESSERA
