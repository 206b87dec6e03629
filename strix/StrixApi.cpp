#include "StrixApi.h"

#include <algorithm>
#include <cstring>

namespace strixapi {

Transaction runTransaction(Cardova* engine, const std::string& command, int responseCapacity,
                           int textCapacity) {
    Transaction t;
    try {
        std::vector<unsigned char> cmd(command.begin(), command.end());
        t.result = engine->sendCommand(cmd.data(), static_cast<int>(cmd.size()));
        if (t.result != 0) return t;
        t.result = engine->waitForCommand();
        if (t.result != 0) return t;
        t.raw.assign(static_cast<size_t>(responseCapacity), 0);
        int len = responseCapacity;
        t.result = engine->getResponse(t.raw.data(), &len);
        if (t.result != 0) {
            t.raw.clear();
            return t;
        }
        t.raw.resize(static_cast<size_t>(std::clamp(len, 0, responseCapacity)));
        std::vector<char> text(static_cast<size_t>(textCapacity) + 1, '\0');
        int outLen = textCapacity;
        t.result = engine->MakeHexStringFromResponse(t.raw.data(), static_cast<int>(t.raw.size()),
                                                     text.data(), &outLen);
        if (t.result == 13 || t.result == 17 || t.result == 255) return t;
        t.hex.assign(text.data(), static_cast<size_t>(std::clamp(outLen, 0, textCapacity)));
        t.hex.resize(std::strlen(t.hex.c_str()));
    } catch (...) {
        t.result = 255;
        t.hex.clear();
    }
    return t;
}

const char* STATIC_STRING(const std::string& s) {
    static TextPool& pool = *new TextPool();
    return pool.store(s);
}

SingleDevice& single() {
    // Never destroyed: detached callback and command threads may still use it at exit.
    static SingleDevice& s = *new SingleDevice();
    return s;
}

LocalDelegate& localDelegate() {
    static LocalDelegate& d = *new LocalDelegate();
    return d;
}

bool readyCardRecord(VLMSRDATA& out) {
    SingleDevice& s = single();
    std::shared_lock<std::shared_mutex> g(s.lock);
    if (s.engine == nullptr || localDelegate().cardDataState.load() != STRIX_DATA_READY) {
        return false;
    }
    out = s.engine->getCardData();
    return true;
}

CRConfigTable openedConfig() {
    SingleDevice& s = single();
    std::shared_lock<std::shared_mutex> g(s.lock);
    CRConfigTable c;
    std::memset(&c, 0, sizeof c);
    if (s.engine != nullptr) c = s.engine->getConfigTable();
    return c;
}

}  // namespace strixapi
