#include "sim/orb/OrbReader.h"

namespace sim::orb {

namespace {

Bytes bcd(std::uint64_t value, std::size_t bytes) {
    Bytes out(bytes, 0);
    for (std::size_t i = bytes; i-- > 0;) {
        std::uint8_t lo = value % 10;
        value /= 10;
        std::uint8_t hi = value % 10;
        value /= 10;
        out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return out;
}

std::uint64_t fromBcd(const Bytes& b) {
    std::uint64_t v = 0;
    for (std::uint8_t x : b) v = v * 100 + ((x >> 4) % 10) * 10 + (x & 0x0F) % 10;
    return v;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A two-byte length, then the record.
Bytes withLength(const Bytes& record) {
    Bytes out{static_cast<std::uint8_t>(record.size() >> 8),
              static_cast<std::uint8_t>(record.size() & 0xFF)};
    out.insert(out.end(), record.begin(), record.end());
    return out;
}

Bytes textBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

}  // namespace

void OrbReader::setEmitter(Emit emit) {
    std::lock_guard<std::mutex> g(lock_);
    emit_ = std::move(emit);
}

void OrbReader::emit(Bytes message, Millis delay) {
    Emit e;
    {
        std::lock_guard<std::mutex> g(lock_);
        e = emit_;
    }
    if (e) e(std::move(message), delay);
}

void OrbReader::onCommand(std::uint16_t id, CommandHandler handler) {
    std::lock_guard<std::mutex> g(lock_);
    if (handler)
        handlers_[id] = std::move(handler);
    else
        handlers_.erase(id);
}

void OrbReader::setContainerStatus(bool container) {
    std::lock_guard<std::mutex> g(lock_);
    container_ = container;
}

void OrbReader::setNotificationPriority(std::optional<std::uint8_t> priority) {
    std::lock_guard<std::mutex> g(lock_);
    priority_ = priority;
}

void OrbReader::setStepDelay(Millis step) {
    std::lock_guard<std::mutex> g(lock_);
    step_ = step;
}

void OrbReader::setCard(Card card) {
    std::lock_guard<std::mutex> g(lock_);
    card_ = std::move(card);
}

void OrbReader::setPresentation(Presentation p) {
    std::lock_guard<std::mutex> g(lock_);
    presentation_ = p;
}

void OrbReader::setOutcome(Outcome o) {
    std::lock_guard<std::mutex> g(lock_);
    outcome_ = o;
}

Bytes OrbReader::notification(std::uint16_t coreId, std::uint32_t code, const Params& params) {
    return buildNotification(coreId, notificationNumber_++, code, params, priority_);
}

void OrbReader::notify(std::uint16_t coreId, std::uint32_t code, Params params, Millis delay) {
    Bytes m;
    {
        std::lock_guard<std::mutex> g(lock_);
        m = notification(coreId, code, params);
    }
    emit(std::move(m), delay);
}

void OrbReader::sendFile(std::uint16_t commandId, std::uint32_t fileId, Bytes contents,
                         Millis delay) {
    emit(buildFile(commandId, fileId, contents), delay);
}

void OrbReader::sendRaw(Bytes message, Millis delay) {
    emit(std::move(message), delay);
}

void OrbReader::play(const std::vector<Step>& script) {
    Millis at{0};
    for (auto& s : script) {
        at += s.delay;
        emit(s.message, at);
    }
}

std::vector<Message> OrbReader::received() const {
    std::lock_guard<std::mutex> g(lock_);
    return received_;
}

bool OrbReader::waitForCommand(std::uint16_t id, std::size_t count, Millis timeout) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, timeout, [&] {
        std::size_t n = 0;
        for (auto& m : received_) n += m.kind == Kind::Command && m.id == id;
        return n >= count;
    });
}

bool OrbReader::transactionRunning() const {
    std::lock_guard<std::mutex> g(lock_);
    return state_ != State::Idle;
}

void OrbReader::receive(const Bytes& bytes) {
    auto m = parseMessage(bytes);
    if (!m) return;  // not a message of this schema: a real reader ignores it too
    CommandHandler handler;
    {
        std::lock_guard<std::mutex> g(lock_);
        received_.push_back(*m);
        auto it = handlers_.find(m->id);
        if (m->kind == Kind::Command && it != handlers_.end()) handler = it->second;
    }
    changed_.notify_all();
    if (m->kind != Kind::Command) return;

    std::optional<Reply> reply;
    std::vector<Step> after;
    bool container;
    if (handler) {
        reply = handler(*m);  // outside the lock: a handler may call back into the reader
        std::lock_guard<std::mutex> g(lock_);
        container = container_;
    } else {
        std::lock_guard<std::mutex> g(lock_);
        reply = answer(*m, after);
        container = container_;
    }
    if (!reply) return;
    emit(buildResponse(m->id, m->number, reply->status, reply->params,
                       reply->containerStatus.value_or(container)),
         reply->delay);
    Millis at = reply->delay;
    for (auto& s : after) {
        at += s.delay;
        emit(std::move(s.message), at);
    }
}

Reply OrbReader::answer(const Message& command, std::vector<Step>& after) {
    Reply r;
    switch (command.id) {
        case 0x1001:
            if (state_ != State::Idle)
                r.status = status::kBusy;
            else
                startTransaction(command, after);
            return r;
        case 0x1004:
            if (command.inner.byTag(0x84)) {
                if (state_ != State::AwaitingAuthorization)
                    r.status = status::kNoData;
                else
                    finishEmv(after);
                return r;
            }
            [[fallthrough]];  // without parameters: cancel
        case 0x1008:
            if (state_ != State::Idle) {
                state_ = State::Idle;
                after.push_back(
                    {Millis(0), notification(core::kTransactionStatus, 0x07030500, {})});
            }
            return r;
        case 0x1010: {
            const Bytes* what = command.inner.byTag(0x81);
            if (!what || what->size() != 1 || source_ == 0 || (*what)[0] < 1 || (*what)[0] > 3) {
                r.status = status::kNoData;
                return r;
            }
            switch ((*what)[0]) {
                case 1:
                    r.params = cardDataParams(card_, source_);
                    break;
                case 2:
                    r.params[0x84] = arqcData(card_, amount_, cashBack_, type_);
                    break;
                default:
                    r.params[0x84] = batchData(card_, amount_, outcome_);
                    break;
            }
            return r;
        }
        default:
            r.status = status::kUnknownCommand;
            return r;
    }
}

void OrbReader::startTransaction(const Message& command, std::vector<Step>& after) {
    bool swipe = true, contact = true, contactless = true;
    if (const Bytes* p82 = command.inner.byTag(0x82); p82 && p82->size() >= 3) {
        std::uint8_t reader = (*p82)[0];
        bool emv = (*p82)[1] != 0;  // mode 0: magnetic stripe only
        swipe = reader & 0x01;
        contact = emv && (reader & 0x02);
        contactless = emv && (reader & 0x04);
    } else if (const Bytes* a3 = command.inner.byTag(0xA3)) {
        auto readers = parseElements(*a3, false);
        auto on = [&](std::uint32_t tag) {
            const Bytes* v = findElement(readers, tag);
            return v && !v->empty() && (*v)[0] != 0;
        };
        swipe = on(0x81);
        contact = on(0x82);
        contactless = on(0x83);
    }
    amount_ = cashBack_ = 0;
    type_ = 0;
    if (const Bytes* p86 = command.inner.byTag(0x86)) {
        auto emv = parseElements(*p86, true);
        if (const Bytes* v = findElement(emv, 0x9F02)) amount_ = fromBcd(*v);
        if (const Bytes* v = findElement(emv, 0x9F03)) cashBack_ = fromBcd(*v);
        if (const Bytes* v = findElement(emv, 0x9C); v && !v->empty()) type_ = (*v)[0];
    }

    Presentation p = presentation_;
    if (p == Presentation::Auto)
        p = contact       ? Presentation::Insert
            : contactless ? Presentation::Tap
            : swipe       ? Presentation::Swipe
                          : Presentation::None;
    if ((p == Presentation::Insert && !contact) || (p == Presentation::Tap && !contactless) ||
        (p == Presentation::Swipe && !swipe))
        p = Presentation::None;

    switch (p) {
        case Presentation::Swipe:
            source_ = 0x08;
            state_ = State::Idle;
            after.push_back({step_, notification(core::kTransaction, 0x08010100, {})});
            after.push_back({step_, notification(core::kTransactionStatus, 0x08040000, {})});
            return;
        case Presentation::Insert:
        case Presentation::Tap: {
            source_ = p == Presentation::Insert ? 0x10 : 0x20;
            std::uint32_t s = static_cast<std::uint32_t>(source_) << 24;
            state_ = State::AwaitingAuthorization;
            after.push_back(
                {step_, notification(core::kTransaction,
                                     p == Presentation::Insert ? 0x10010200 : 0x20010400, {})});
            after.push_back({step_, notification(core::kTransaction, s | 0x080201, {})});
            after.push_back(
                {step_, notification(core::kTransaction, s | 0x080202,
                                     {{0x84, arqcData(card_, amount_, cashBack_, type_)}})});
            return;
        }
        default:
            state_ = State::WaitingForCard;  // nobody presents a card: waits for a cancel
            return;
    }
}

void OrbReader::finishEmv(std::vector<Step>& after) {
    std::uint32_t s = static_cast<std::uint32_t>(source_) << 24;
    state_ = State::Idle;
    after.push_back({step_, notification(core::kTransaction, s | 0x080301, {})});
    after.push_back({step_, notification(core::kTransaction, s | 0x080302,
                                         {{0x84, batchData(card_, amount_, outcome_)}})});
    after.push_back(
        {step_, notification(core::kTransactionStatus,
                             s | (outcome_ == Outcome::Approved ? 0x020200 : 0x020300), {})});
    after.push_back({step_, notification(core::kTransactionStatus, s | 0x040000, {})});
}

Params OrbReader::cardDataParams(const Card& card, std::uint8_t source) {
    Bytes tracks;
    const std::string* texts[] = {&card.track1, &card.track2, &card.track3};
    for (std::uint8_t t = 1; t <= 3; ++t) {
        const std::string& text = *texts[t - 1];
        Bytes descriptor{t, static_cast<std::uint8_t>(text.empty() ? 0x01 : 0x00), 0x00,
                         static_cast<std::uint8_t>(text.size() > 0xFF ? 0xFF : text.size())};
        Bytes entry = tlv(0xA0, concat({tlv(0x81, descriptor), tlv(0x84, textBytes(text))}));
        tracks.insert(tracks.end(), entry.begin(), entry.end());
    }
    Params p;
    p[0x81] = {0x00, source, 0x01};
    p[0xA4] = tlv(0xA4, tracks);
    return p;
}

Bytes OrbReader::arqcData(const Card& card, std::uint64_t amount, std::uint64_t cashBack,
                          std::uint8_t type) {
    Bytes record = concat({tlv(0x9F02, bcd(amount, 6)), tlv(0x9F03, bcd(cashBack, 6)),
                           tlv(0x9C, {type}), tlv(0x5F2A, {0x08, 0x40}), tlv(0x9F1A, {0x08, 0x40}),
                           tlv(0x84, {0xA0, 0, 0, 0, 0x03, 0x10, 0x10}), tlv(0x82, {0x19, 0x80}),
                           tlv(0x95, {0, 0, 0, 0, 0}), tlv(0x9F36, {0x00, 0x01}),
                           tlv(0x9F37, {0x12, 0x34, 0x56, 0x78}), tlv(0x9F26, card.cryptogram),
                           tlv(0x9F27, {0x80})});
    return withLength(tlv(0x70, record));
}

Bytes OrbReader::batchData(const Card& card, std::uint64_t amount, Outcome outcome) {
    bool ok = outcome == Outcome::Approved;
    Bytes record =
        concat({tlv(0x9F02, bcd(amount, 6)), tlv(0x5F2A, {0x08, 0x40}),
                tlv(0x8A, ok ? Bytes{'0', '0'} : Bytes{'0', '5'}), tlv(0x9F26, card.cryptogram),
                tlv(0x9F27, {Bytes::value_type(ok ? 0x40 : 0x00)})});
    return withLength(tlv(0x70, record));
}

}  // namespace sim::orb
