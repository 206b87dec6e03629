#include "SwipeReaderCore.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace sim::swipe {

namespace {

void appendTlv(Bytes& out, std::initializer_list<uint8_t> tag, const Bytes& value) {
    out.insert(out.end(), tag.begin(), tag.end());
    if (value.size() >= 128) out.push_back(0x81);
    out.push_back(static_cast<uint8_t>(value.size()));
    out.insert(out.end(), value.begin(), value.end());
}

Bytes ascii(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes slice(const Bytes& b, size_t from, size_t n) {
    if (from >= b.size()) return {};
    return Bytes(b.begin() + from, b.begin() + std::min(b.size(), from + n));
}

bool contains(const Bytes& hay, const Bytes& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

}  // namespace

SwipeReaderCore::SwipeReaderCore(const SwipeModel& model, std::string serial)
    : model_(model), serial_(std::move(serial)) {
    properties_[0x00] = ascii("21042840A01 V1.05");
    properties_[0x03] = ascii(serial_);
    properties_[0x05] = ascii("123");
    properties_[0x36] = Bytes{static_cast<uint8_t>(model_.encrypting && model_.routed ? 1 : 0)};
    if (!model_.battery) battery_ = -1;
    thread_ = std::thread(&SwipeReaderCore::worker, this);
}

SwipeReaderCore::~SwipeReaderCore() {
    {
        std::lock_guard<std::mutex> g(qMutex_);
        stop_ = true;
    }
    qCv_.notify_all();
    thread_.join();
}

void SwipeReaderCore::setListener(Listener listener) {
    std::lock_guard<std::mutex> g(mutex_);
    listener_ = std::move(listener);
}

void SwipeReaderCore::setBusyPolls(int polls) {
    std::lock_guard<std::mutex> g(mutex_);
    busyPolls_ = std::max(0, polls);
}
void SwipeReaderCore::setNotificationChunkSize(size_t bytes) {
    std::lock_guard<std::mutex> g(mutex_);
    notifChunk_ = std::clamp<size_t>(bytes, 1, 256);
}
void SwipeReaderCore::setResponseChunkSize(size_t bytes) {
    std::lock_guard<std::mutex> g(mutex_);
    respChunk_ = std::clamp<size_t>(bytes, 1, 250);
}
void SwipeReaderCore::setTransactionPaceMs(int ms) {
    std::lock_guard<std::mutex> g(mutex_);
    paceMs_ = std::max(0, ms);
}
void SwipeReaderCore::setBattery(int level) {
    std::lock_guard<std::mutex> g(mutex_);
    battery_ = level;
}

std::vector<CommandRecord> SwipeReaderCore::commands() const {
    std::lock_guard<std::mutex> g(mutex_);
    return log_;
}
void SwipeReaderCore::clearCommands() {
    std::lock_guard<std::mutex> g(mutex_);
    log_.clear();
}

void SwipeReaderCore::onFeatureReport(const uint8_t* report, size_t length) {
    std::lock_guard<std::mutex> g(mutex_);
    if (longExpected_ > 0) {
        // Continuation of a plain command: the whole report is data, report-ID byte included.
        size_t need = longExpected_ + 2 - longCommand_.size();
        longCommand_.insert(longCommand_.end(), report, report + std::min(need, length));
        if (longCommand_.size() == longExpected_ + 2) {
            Bytes data(longCommand_.begin() + 2, longCommand_.end());
            uint8_t code = longCommand_[0];
            longExpected_ = 0;
            longCommand_.clear();
            receiving_ = false;
            execute(code, data);
        }
        return;
    }
    if (length < 2) {
        setPlain(kStatusBadParameter);
        return;
    }
    parseCommand(report + 1, length - 1, true);
}

void SwipeReaderCore::onSerialCommand(const uint8_t* bytes, size_t length) {
    std::lock_guard<std::mutex> g(mutex_);
    if (length < 1) {
        setPlain(kStatusBadParameter);
        return;
    }
    parseCommand(bytes, length, false);
}

void SwipeReaderCore::parseCommand(const uint8_t* p, size_t n, bool hid) {
    while (n > 0) {
        uint8_t code = p[0];
        size_t len = n > 1 ? p[1] : 0;
        size_t avail = n > 2 ? n - 2 : 0;
        if (code == 0x49) {
            extendedChunk(Bytes(p + 2, p + 2 + std::min(len, avail)));
            size_t used = 2 + std::min(len, avail);
            p += used;
            n -= used;
            // Further chunks of the same command follow with their report ID (serial lines
            // carry a long extended command as one frame).
            if (n > 1 && p[0] == 0x01 && p[1] == 0x49) {
                ++p;
                --n;
                continue;
            }
            return;
        }
        if (avail < len && hid) {
            longCommand_.assign(p, p + n);
            longExpected_ = len;
            receiving_ = true;
            return;
        }
        execute(code, Bytes(p + 2, p + 2 + std::min(len, avail)));
        return;
    }
}

void SwipeReaderCore::setPlain(uint8_t status, const Bytes& data) {
    chunks_.clear();
    busyLeft_ = 0;
    receiving_ = false;
    plain_.assign({status, static_cast<uint8_t>(std::min<size_t>(data.size(), 58))});
    plain_.insert(plain_.end(), data.begin(), data.begin() + std::min<size_t>(data.size(), 58));
}

void SwipeReaderCore::setExtended(uint16_t result, const Bytes& data) {
    chunks_.clear();
    size_t off = 0;
    do {
        size_t n = std::min(respChunk_, data.size() - off);
        Bytes c{kStatusExtendedChunk,
                static_cast<uint8_t>((6 + n) & 0xFF),  // 256 is written as 0
                static_cast<uint8_t>(off >> 8),
                static_cast<uint8_t>(off),
                static_cast<uint8_t>(result >> 8),
                static_cast<uint8_t>(result),
                static_cast<uint8_t>(data.size() >> 8),
                static_cast<uint8_t>(data.size())};
        c.insert(c.end(), data.begin() + off, data.begin() + off + n);
        chunks_.push_back(std::move(c));
        off += n;
    } while (off < data.size());
    chunkIndex_ = 0;
    busyLeft_ = busyPolls_;
    lastWasBusy_ = false;
    receiving_ = false;
}

Bytes SwipeReaderCore::answer() {
    std::lock_guard<std::mutex> g(mutex_);
    if (receiving_) return Bytes{kStatusOk, 0};
    if (busyLeft_ > 0) {
        --busyLeft_;
        lastWasBusy_ = true;
        return Bytes{kStatusBusy, 0};
    }
    if (!chunks_.empty()) {
        lastWasBusy_ = false;
        return chunks_[chunkIndex_];
    }
    return plain_;
}

void SwipeReaderCore::extendedChunk(const Bytes& c) {
    if (c.size() < 6) {
        extPending_ = false;
        setPlain(kStatusBadParameter);
        return;
    }
    uint16_t off = static_cast<uint16_t>(c[0] << 8 | c[1]);
    uint16_t code = static_cast<uint16_t>(c[2] << 8 | c[3]);
    uint16_t total = static_cast<uint16_t>(c[4] << 8 | c[5]);
    if (off == 0) {
        extData_.clear();
        extCode_ = code;
        extTotal_ = total;
    } else if (!extPending_ || code != extCode_ || total != extTotal_ || off != extData_.size()) {
        extPending_ = false;
        setPlain(kStatusBadParameter);
        return;
    }
    extData_.insert(extData_.end(), c.begin() + 6, c.end());
    if (extData_.size() >= extTotal_) {
        extPending_ = false;
        extData_.resize(extTotal_);
        runExtended(extCode_, extData_);
    } else {
        extPending_ = true;
        receiving_ = true;
    }
}

void SwipeReaderCore::execute(uint8_t code, const Bytes& data) {
    log_.push_back(CommandRecord{code, data, false, 0});
    switch (code) {
        case 0x00:  // get property
            if (data.empty()) return setPlain(kStatusBadParameter);
            if (properties_.count(data[0])) return setPlain(kStatusOk, properties_[data[0]]);
            return setPlain(kStatusFailed);
        case 0x01:  // set property
            if (data.empty()) return setPlain(kStatusBadParameter);
            properties_[data[0]] = Bytes(data.begin() + 1, data.end());
            return setPlain(kStatusOk);
        case 0x02:  // reset
            inTransaction_ = false;
            return setPlain(kStatusOk);
        case 0x15:  // magnetic-stripe encryption level
            return setPlain(kStatusOk, Bytes{static_cast<uint8_t>(model_.encrypting ? 3 : 0)});
        case 0x45:  // battery level
            if (battery_ < 0) return setPlain(kStatusFailed);
            return setPlain(kStatusOk, Bytes{static_cast<uint8_t>(battery_)});
        case 0x46:  // wireless-link requests
            if (data == Bytes{0x01, 0x00, 0x00, 0x05}) {
                if (battery_ < 0) return setPlain(kStatusFailed);
                return setPlain(kStatusOk, Bytes{0x01, 0x01, 0x00, static_cast<uint8_t>(battery_)});
            }
            return setPlain(kStatusOk);
        case 0x48:  // start-up handshake
            return setPlain(kStatusOk);
        case 0x4A:  // next part of an extended answer
            if (chunks_.empty()) return setPlain(kStatusFailed);
            if (lastWasBusy_) {
                lastWasBusy_ = false;
            } else if (chunkIndex_ + 1 < chunks_.size()) {
                ++chunkIndex_;
            }
            return;
        case 0x4D:  // LED
            if (data.size() != 2 || data[0] != 0x01) return setPlain(kStatusBadParameter);
            properties_[0x4D] = Bytes{data[1]};
            return setPlain(kStatusOk);
        default:
            return setPlain(kStatusFailed);
    }
}

void SwipeReaderCore::runExtended(uint16_t code, const Bytes& data) {
    log_.push_back(CommandRecord{0x49, data, true, code});
    if (!model_.emv) return setExtended(0x0002, {});
    switch (code) {
        case 0x0300:  // start transaction
            if (data.size() != 19) return setExtended(0x0001, {});
            if (inTransaction_) return setExtended(0x0003, {});
            inTransaction_ = true;
            txRecord_ = data;
            transactionScript(data);
            return setExtended(0x0000, {});
        case 0x0302:  // user selection result
            return setExtended(inTransaction_ ? 0x0000 : 0x0003, {});
        case 0x0303: {  // acquirer response
            if (!inTransaction_) return setExtended(0x0003, {});
            bool approved = contains(data, Bytes{0x8A, 0x02, '0', '0'});
            Bytes result;
            appendTlv(result, {0xDF, 0xDF, 0x1A}, Bytes{static_cast<uint8_t>(approved ? 0 : 1)});
            appendTlv(result, {0x9F, 0x02}, slice(txRecord_, 3, 6));
            appendTlv(result, {0x8A}, approved ? ascii("00") : ascii("05"));
            appendTlv(result, {0x9F, 0x27}, Bytes{static_cast<uint8_t>(approved ? 0x40 : 0x00)});
            inTransaction_ = false;
            schedule(paceMs_, [this, result] { sendNotification(0x0304, result); });
            return setExtended(0x0000, {});
        }
        case 0x0304:  // cancel
            if (inTransaction_) {
                inTransaction_ = false;
                Bytes result;
                appendTlv(result, {0xDF, 0xDF, 0x1A}, Bytes{0x02});
                schedule(paceMs_, [this, result] { sendNotification(0x0304, result); });
            }
            return setExtended(0x0000, {});
        case 0x0305:
        case 0x0307:
        case 0x0309:
        case 0x030C:
        case 0x030E:
            properties_[static_cast<uint8_t>(0x80 | (code & 0x0F))] = data;
            return setExtended(0x0000, {});
        case 0x0306:
        case 0x0308: {
            Bytes cfg;
            appendTlv(cfg, {0x9F, 0x1A}, Bytes{0x08, 0x40});
            appendTlv(cfg, {0x9F, 0x35}, Bytes{0x22});
            appendTlv(cfg, {0x9F, 0x33}, Bytes{0xE0, 0xF8, 0xC8});
            appendTlv(cfg, {0x9F, 0x40}, Bytes{0x60, 0x00, 0xF0, 0xA0, 0x01});
            appendTlv(cfg, {0x9F, 0x1E}, ascii(serial_.substr(0, 8)));
            return setExtended(0x0000, cfg);
        }
        case 0x030A: {  // a CA public key: long enough to need several chunks
            Bytes key;
            appendTlv(key, {0x9F, 0x06}, Bytes{0xA0, 0x00, 0x00, 0x00, 0x03});
            appendTlv(key, {0x9F, 0x22}, Bytes{0x92});
            Bytes modulus(176);
            for (size_t i = 0; i < modulus.size(); ++i)
                modulus[i] = static_cast<uint8_t>(i * 7 + 3);
            appendTlv(key, {0xDF, 0x02}, modulus);
            appendTlv(key, {0xDF, 0x04}, Bytes{0x03});
            return setExtended(0x0000, key);
        }
        case 0x030B:
            return setExtended(
                0x0000, ascii("EMV L2 contact kernel 4.3i build 0117; checksum 9A41C6D2E07F1B35; "
                              "configuration 0x22 terminal type 22"));
        case 0x030D: {
            std::time_t t = std::time(nullptr);
            std::tm tm{};
            gmtime_r(&t, &tm);
            return setExtended(
                0x0000, Bytes{static_cast<uint8_t>(tm.tm_mon + 1), static_cast<uint8_t>(tm.tm_mday),
                              static_cast<uint8_t>(tm.tm_hour), static_cast<uint8_t>(tm.tm_min),
                              static_cast<uint8_t>(tm.tm_sec), static_cast<uint8_t>(tm.tm_wday),
                              static_cast<uint8_t>(tm.tm_year + 1900 - 2008)});
        }
        default:
            return setExtended(0x0002, {});
    }
}

void SwipeReaderCore::transactionScript(const Bytes& record) {
    int t = 0;
    auto at = [&](Bytes d, uint16_t id) {
        t += paceMs_;
        schedule(t, [this, id, d] { sendNotification(id, d); });
    };
    at(Bytes{0x01, record[0], 0x00, 0x05}, 0x0300);  // waiting for a card
    at(ascii("INSERT, SWIPE OR TAP CARD"), 0x0301);
    at(Bytes{0x02, record[0], 0x00, 0x30}, 0x0300);  // card read, processing
    Bytes arqc;
    appendTlv(arqc, {0x9F, 0x02}, slice(record, 3, 6));
    appendTlv(arqc, {0x9F, 0x03}, slice(record, 10, 6));
    appendTlv(arqc, {0x5F, 0x2A}, slice(record, 16, 2));
    appendTlv(arqc, {0x9C}, slice(record, 9, 1));
    appendTlv(arqc, {0x9F, 0x26}, Bytes{0x3C, 0x8E, 0x51, 0x07, 0xA9, 0x12, 0x6D, 0xF0});
    appendTlv(arqc, {0x9F, 0x27}, Bytes{0x80});
    appendTlv(arqc, {0x9F, 0x10}, Bytes{0x06, 0x01, 0x0A, 0x03, 0xA0, 0x00, 0x00});
    appendTlv(arqc, {0x9F, 0x36}, Bytes{0x00, 0x2B});
    appendTlv(arqc, {0x95}, Bytes{0x00, 0x00, 0x00, 0x80, 0x00});
    appendTlv(arqc, {0x9F, 0x37}, Bytes{0x5E, 0x11, 0x9A, 0x04});
    appendTlv(arqc, {0x5A}, ascii("4111********1111"));
    appendTlv(arqc, {0xDF, 0xDF, 0x25}, ascii(serial_));
    at(arqc, 0x0303);
}

void SwipeReaderCore::swipe(const SwipeCard& card) {
    Bytes report;
    Listener l;
    {
        std::lock_guard<std::mutex> g(mutex_);
        ++swipeCounter_;
        SecureFields s;
        s.serial = serial_;
        s.ksn = {0xFF, 0xFF, 0x98, 0x76, 0x54, 0x32, 0x10, 0xE0, 0x00, 0x00};
        s.ksn[7] = static_cast<uint8_t>(0xE0 | ((swipeCounter_ >> 16) & 0x1F));
        s.ksn[8] = static_cast<uint8_t>(swipeCounter_ >> 8);
        s.ksn[9] = static_cast<uint8_t>(swipeCounter_);
        for (int i = 0; i < 8; ++i) s.sessionId[i] = static_cast<uint8_t>(swipeCounter_ * 31 + i);
        s.fluxmarkStatus = {0x10, 0x00, 0x25, 0x00};
        for (int i = 0; i < 54; ++i)
            s.fluxmark.push_back(static_cast<uint8_t>(swipeCounter_ + i * 13));
        s.encryptionStatus = 0x0101;
        s.battery = battery_;
        report = buildCardReport(card, model_, s, model_.routed ? 0x01 : 0x00);
        l = listener_;
    }
    if (l.cardReport) l.cardReport(report);
}

void SwipeReaderCore::notify(uint16_t id, const Bytes& data) {
    sendNotification(id, data);
}

void SwipeReaderCore::sendNotification(uint16_t id, const Bytes& data) {
    Listener l;
    size_t chunk;
    {
        std::lock_guard<std::mutex> g(mutex_);
        l = listener_;
        chunk = notifChunk_;
    }
    if (!l.notificationChunk) return;
    size_t off = 0;
    do {
        size_t n = std::min(chunk, data.size() - off);
        l.notificationChunk(id, static_cast<uint16_t>(off), static_cast<uint16_t>(data.size()),
                            slice(data, off, n));
        off += n;
    } while (off < data.size());
}

void SwipeReaderCore::schedule(int delayMs, std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> g(qMutex_);
        queue_.emplace(std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs),
                       std::move(fn));
    }
    qCv_.notify_all();
}

void SwipeReaderCore::drain() {
    std::unique_lock<std::mutex> g(qMutex_);
    qCv_.wait(g, [this] { return stop_ || (queue_.empty() && !running_); });
}

void SwipeReaderCore::worker() {
    std::unique_lock<std::mutex> g(qMutex_);
    while (!stop_) {
        if (queue_.empty()) {
            qCv_.wait(g);
            continue;
        }
        auto due = queue_.begin()->first;
        if (std::chrono::steady_clock::now() < due) {
            qCv_.wait_until(g, due);
            continue;
        }
        auto fn = std::move(queue_.begin()->second);
        queue_.erase(queue_.begin());
        running_ = true;
        g.unlock();
        fn();
        g.lock();
        running_ = false;
        qCv_.notify_all();
    }
}

}  // namespace sim::swipe
