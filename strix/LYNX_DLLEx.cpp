// C API of the swipe-reader library: the handle-based functions (names ending in Ex).
//
// Each open handle has an entry that owns its engine and delegate. Every call looks the handle
// up and holds the entry's `use` lock shared while it works; CloseDeviceEx takes it exclusively,
// so the engine is deleted only when no call is inside it, and a handle that is no longer open
// is answered like handle 0.
#include <cstring>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <system_error>
#include <thread>

#include "ErrorCodes.h"
#include "LocalDelegateEx.h"
#include "SdkExport.h"
#include "StrixApi.h"
#include "stdafx.h"
#include "strix.h"

using namespace strixapi;

namespace {

struct HandleEntry {
    std::string name;
    Cardova* engine = nullptr;
    LocalDelegateEx* delegate = nullptr;
    std::shared_mutex use;
    std::atomic<bool> closing{false};
};

std::mutex& mapLock() {
    static std::mutex& m = *new std::mutex();
    return m;
}
// Readers opened through OpenDeviceEx, by handle; names are unique among them.
std::map<unsigned long, std::shared_ptr<HandleEntry>>& g_openedDeviceMap() {
    static auto& m = *new std::map<unsigned long, std::shared_ptr<HandleEntry>>();
    return m;
}

std::shared_ptr<HandleEntry> find(unsigned long handle) {
    if (handle == 0) return nullptr;
    std::lock_guard<std::mutex> g(mapLock());
    auto it = g_openedDeviceMap().find(handle);
    return it != g_openedDeviceMap().end() ? it->second : nullptr;
}

// Runs f(entry) with the entry's engine usable; `otherwise` for unknown or closing handles.
template <class F, class R>
R withHandle(unsigned long handle, R otherwise, F f) {
    std::shared_ptr<HandleEntry> e = find(handle);
    if (!e) return otherwise;
    std::shared_lock<std::shared_mutex> g(e->use);
    if (e->closing.load() || e->engine == nullptr) return otherwise;
    try {
        return f(*e);
    } catch (...) {
        return otherwise;
    }
}

}  // namespace

extern "C" {

SDK_EXPORT unsigned long OpenDeviceEx(const char* lpDeviceName) {
    try {
        std::vector<ListedDevice> devices = refreshDeviceList();
        std::string name = lpDeviceName != nullptr ? lpDeviceName : "";
        CRConfigTable* row = nullptr;
        if (!name.empty()) {
            for (const auto& d : devices) {
                if (d.name == name) row = d.row;
            }
        } else {
            if (devices.empty()) return 0;
            name = devices.front().name;
            row = devices.front().row;
        }
        auto entry = std::make_shared<HandleEntry>();
        entry->name = name;
        {
            // The name is reserved while the reader opens, so a racing open of the same name
            // fails instead of opening it twice.
            std::lock_guard<std::mutex> g(mapLock());
            for (const auto& kv : g_openedDeviceMap()) {
                if (kv.second->name == name) return 0;
            }
            g_openedDeviceMap()[reinterpret_cast<unsigned long>(entry.get())] = entry;
        }
        auto unreserve = [&] {
            std::lock_guard<std::mutex> g(mapLock());
            g_openedDeviceMap().erase(reinterpret_cast<unsigned long>(entry.get()));
        };
        Cardova* engine = nullptr;
        try {
            engine = Cardova::open(name.c_str(), row);
        } catch (...) {
            engine = nullptr;
        }
        if (engine == nullptr) {
            unreserve();
            return 0;
        }
        const unsigned long handle = reinterpret_cast<unsigned long>(engine);
        engine->clear();
        auto* delegate = new LocalDelegateEx(handle);
        {
            std::unique_lock<std::shared_mutex> use(entry->use);
            entry->engine = engine;
            entry->delegate = delegate;
        }
        {
            std::lock_guard<std::mutex> g(mapLock());
            g_openedDeviceMap().erase(reinterpret_cast<unsigned long>(entry.get()));
            g_openedDeviceMap()[handle] = entry;
        }
        engine->setDelegate(delegate);
        return handle;
    } catch (...) {
        return 0;
    }
}

SDK_EXPORT void CloseDeviceEx(unsigned long Handle) {
    std::shared_ptr<HandleEntry> e;
    {
        std::lock_guard<std::mutex> g(mapLock());
        auto it = g_openedDeviceMap().find(Handle);
        if (Handle == 0 || it == g_openedDeviceMap().end()) return;
        e = it->second;
        g_openedDeviceMap().erase(it);
    }
    e->closing.store(true);
    Cardova* engine;
    LocalDelegateEx* delegate;
    {
        // Waits for the calls running on this handle (commands included).
        std::unique_lock<std::shared_mutex> use(e->use);
        engine = e->engine;
        delegate = e->delegate;
        e->engine = nullptr;
        e->delegate = nullptr;
    }
    if (engine != nullptr) {
        engine->setDelegate(nullptr);  // closing makes no callback
        delete engine;                 // stops the reading thread
    }
    if (delegate != nullptr) {
        delegate->stop();  // no callback of this handle runs after this point
        delete delegate;
    }
}

SDK_EXPORT int IsDeviceConnectedEx(unsigned long Handle) {
    return withHandle(Handle, 0, [](HandleEntry& e) { return e.engine->isConnected() ? 1 : 0; });
}

SDK_EXPORT int GetProductIDEx(unsigned long Handle) {
    return withHandle(Handle, 0, [](HandleEntry& e) {
        return static_cast<int>(e.engine->getConfigTable().dwPID);
    });
}

SDK_EXPORT const char* SendCommandEx(unsigned long Handle, const char* lpCmd) {
    std::string text = withHandle(Handle, std::string(), [lpCmd](HandleEntry& e) {
        Cardova* engine = e.engine;
        int expected = 0;
        if (!engine->flag.compare_exchange_strong(expected, 1)) {
            // Another command of this handle runs: this one is refused, not interleaved.
            engine->setResultCode(ERROR_BUSY_IN_PRIOR_COMMAND);
            return std::string();
        }
        Transaction t;
        try {
            std::lock_guard<std::mutex> serial(engine->lock);
            t = runTransaction(engine, lpCmd != nullptr ? lpCmd : "");
        } catch (...) {
            t.result = ERROR_UNKNOWN;
        }
        engine->flag.store(0);
        if (t.result != 0) engine->setResultCode(t.result);
        return t.result == 0 ? t.hex : std::string();
    });
    return STATIC_STRING(text);
}

SDK_EXPORT const char* SendCommandWithLengthEx(unsigned long Handle, const char* lpCmd) {
    std::string cmd = lpCmd != nullptr ? lpCmd : "";
    if (cmd.size() <= 4) return STATIC_STRING("");
    int n = 0;
    for (int i = 2; i < 4; ++i) {
        char c = cmd[static_cast<size_t>(i)];
        if (!std::isxdigit(static_cast<unsigned char>(c))) return STATIC_STRING("");
        n = n * 16 +
            (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    if (cmd.size() - 4 < static_cast<size_t>(2 * n)) return STATIC_STRING("");
    return SendCommandEx(Handle,
                         (cmd.substr(0, 2) + cmd.substr(4, static_cast<size_t>(2 * n))).c_str());
}

SDK_EXPORT long SendDataEx(unsigned long Handle, const char* lpHexCommandString) {
    std::shared_ptr<HandleEntry> e = find(Handle);
    if (!e) return 0;
    std::string text = lpHexCommandString != nullptr ? lpHexCommandString : "";
    try {
        std::thread([e, text] {
            std::shared_lock<std::shared_mutex> use(e->use);
            if (e->closing.load() || e->engine == nullptr) return;
            std::string cmd = text.size() % 2 != 0 ? "0" + text : text;
            if (cmd.size() < 4) return;
            cmd = cmd.substr(0, 2) + cmd.substr(4);
            Transaction t;
            {
                std::lock_guard<std::mutex> serial(e->engine->lock);
                if (e->closing.load()) return;
                t = runTransaction(e->engine, cmd);
            }
            if (t.result != 0 || t.raw.size() < 3) return;
            size_t n = std::min<size_t>(t.raw[2], t.raw.size() - 3);
            std::string answer = LOWER(B2H(t.raw.data() + 1, static_cast<int>(n + 2)));
            if (!answer.empty()) e->delegate->OnDeviceResponse(e->engine, answer.c_str());
        }).detach();
    } catch (const std::system_error&) {
        return ERROR_UNKNOWN;
    }
    return 0;
}

SDK_EXPORT int GetResultCodeEx(unsigned long Handle) {
    return withHandle(Handle, 0, [](HandleEntry& e) { return e.engine->getResultCode(); });
}

SDK_EXPORT long GetCardDataStructureEx(unsigned long Handle, VLMSRDATA* msr) {
    if (msr == nullptr) return ERROR_INVALID_PARAMETERS;
    return withHandle(Handle, static_cast<long>(ERROR_INVALID_PARAMETERS), [msr](HandleEntry& e) {
        VLMSRDATA record = e.engine->getCardData();
        std::memcpy(msr, &record, sizeof record);
        return 0L;
    });
}

SDK_EXPORT const char* GetCardDataEx(unsigned long Handle) {
    const char* text = withHandle(Handle, static_cast<const char*>(nullptr), [](HandleEntry& e) {
        return e.delegate->StaticString(e.engine->GetCardDataStr("|"));
    });
    return text != nullptr ? text : STATIC_STRING("");
}

SDK_EXPORT void ClearCardDataEx(unsigned long Handle) {
    withHandle(Handle, 0, [](HandleEntry& e) {
        e.delegate->OnCardUpdate(e.engine, STRIX_DATA_NOTREADY);
        return 0;
    });
}

SDK_EXPORT const char* GetRawData(unsigned long Handle) {
    if (Handle != 0) {
        const char* text = withHandle(
            Handle, static_cast<const char*>(nullptr),
            [](HandleEntry& e) { return e.delegate->StaticString(e.engine->getRawData()); });
        return text != nullptr ? text : STATIC_STRING("");
    }
    SingleDevice& s = single();
    std::shared_lock<std::shared_mutex> g(s.lock);
    return STATIC_STRING(s.engine != nullptr ? s.engine->getMsrRawData() : std::string());
}

SDK_EXPORT void OnDataReceivedEx(unsigned long Handle, CallBackOnCardDataReceivedEx callback,
                                 void* Obj) {
    withHandle(Handle, 0, [&](HandleEntry& e) {
        e.delegate->setCardDataReceived(callback, Obj);
        return 0;
    });
}
SDK_EXPORT void OnDeviceConnectionStateChangedEx(unsigned long Handle,
                                                 CallBackDeviceStateChangedEx callback, void* Obj) {
    withHandle(Handle, 0, [&](HandleEntry& e) {
        e.delegate->setConnectionChanged(callback, Obj);
        return 0;
    });
}
SDK_EXPORT void OnNotificationDataEx(unsigned long Handle, CallBackOnNotificationEx callback,
                                     void* Obj) {
    withHandle(Handle, 0, [&](HandleEntry& e) {
        e.delegate->setNotification(callback, Obj);
        return 0;
    });
}
SDK_EXPORT void OnDeviceResponseEx(unsigned long Handle, CallBackOnDeviceResponseEx callback,
                                   void* Obj) {
    withHandle(Handle, 0, [&](HandleEntry& e) {
        e.delegate->setDeviceResponse(callback, Obj);
        return 0;
    });
}
SDK_EXPORT void OnErrorEx(unsigned long Handle, CallBackOnDeviceResponseEx OnErrorProc, void* Obj) {
    withHandle(Handle, 0, [&](HandleEntry& e) {
        e.delegate->setError(OnErrorProc, Obj);
        return 0;
    });
}

}  // extern "C"
