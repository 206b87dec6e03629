#include "sim/orb/Wire.h"

namespace sim::orb {

Bytes berLength(std::size_t length) {
    if (length < 0x80) return {static_cast<std::uint8_t>(length)};
    Bytes digits;
    for (std::size_t v = length; v; v >>= 8) digits.insert(digits.begin(), v & 0xFF);
    digits.insert(digits.begin(), static_cast<std::uint8_t>(0x80 | digits.size()));
    return digits;
}

Bytes tlv(std::uint32_t tag, const Bytes& value) {
    Bytes out;
    bool started = false;
    for (int shift = 24; shift >= 0; shift -= 8) {
        std::uint8_t b = (tag >> shift) & 0xFF;
        if (b || started || shift == 0) {
            out.push_back(b);
            started = true;
        }
    }
    Bytes len = berLength(value.size());
    out.insert(out.end(), len.begin(), len.end());
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

std::vector<Element> parseElements(const Bytes& data, bool multiByteTags) {
    std::vector<Element> out;
    std::size_t i = 0;
    while (i < data.size()) {
        std::uint32_t tag = data[i++];
        if (tag == 0) break;
        if (multiByteTags && (tag & 0x1F) == 0x1F) {
            while (i < data.size()) {
                std::uint8_t b = data[i++];
                tag = tag << 8 | b;
                if (!(b & 0x80)) break;
            }
        }
        if (i >= data.size()) break;
        std::size_t length = data[i++];
        if (length & 0x80) {
            std::size_t count = length & 0x7F;
            if (count > 4 || count > data.size() - i) break;
            length = 0;
            for (std::size_t k = 0; k < count; ++k) length = length << 8 | data[i++];
        }
        if (length > data.size() - i) break;
        out.push_back({tag, Bytes(data.begin() + i, data.begin() + i + length)});
        i += length;
    }
    return out;
}

const Bytes* findElement(const std::vector<Element>& elements, std::uint32_t tag) {
    for (auto& e : elements)
        if (e.tag == tag) return &e.value;
    return nullptr;
}

int tagToParameter(std::uint8_t tag) {
    if (tag >= 0x80 && tag <= 0x9E) return tag - 0x80;
    if (tag >= 0xA0 && tag <= 0xBE) return tag - 0x81;
    return -1;
}

std::uint8_t parameterToTag(int parameter) {
    if (parameter >= 0 && parameter <= 30) return static_cast<std::uint8_t>(0x80 + parameter);
    if (parameter >= 31 && parameter <= 61) return static_cast<std::uint8_t>(0x81 + parameter);
    return 0;
}

Bytes Frame::encode() const {
    Bytes out{static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id & 0xFF)};
    for (auto& [n, value] : params) {
        std::uint8_t tag = parameterToTag(n);
        if (!tag) continue;
        Bytes e = tlv(tag, value);
        out.insert(out.end(), e.begin(), e.end());
    }
    return out;
}

std::optional<Frame> Frame::decode(const Bytes& data) {
    if (data.size() < 2) return std::nullopt;
    Frame f;
    f.id = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
    for (auto& e : parseElements(Bytes(data.begin() + 2, data.end()), false)) {
        int n = tagToParameter(static_cast<std::uint8_t>(e.tag));
        if (n > 0) f.params[n] = std::move(e.value);
    }
    return f;
}

const Bytes* Frame::param(int n) const {
    auto it = params.find(n);
    return it == params.end() ? nullptr : &it->second;
}

std::optional<Message> parseMessage(const Bytes& data) {
    auto outer = Frame::decode(data);
    if (!outer || (outer->id != 0xAA00 && outer->id != 0xAAFF)) return std::nullopt;
    const Bytes* header = outer->param(1);
    if (!header || header->size() < 4) return std::nullopt;
    Message m;
    std::uint8_t type = (*header)[0] & 0x7F;
    if (type < 1 || type > 4) return std::nullopt;
    m.kind = static_cast<Kind>(type);
    m.number = (*header)[1];
    m.id = static_cast<std::uint16_t>((*header)[2] << 8 | (*header)[3]);
    m.raw = data;
    m.inner.id = m.id;
    const Bytes* p4 = outer->param(4);
    if (m.kind == Kind::File) {
        if (header->size() != 8 || !p4 || p4->empty()) return std::nullopt;
        m.fileId = static_cast<std::uint32_t>((*header)[4]) << 24 | (*header)[5] << 16 |
                   (*header)[6] << 8 | (*header)[7];
        m.payload = *p4;
    } else if (p4 && !p4->empty()) {
        auto inner = Frame::decode(*p4);
        if (!inner) return std::nullopt;
        m.inner = std::move(*inner);
    } else if (m.kind == Kind::Command) {
        return std::nullopt;  // a command always carries its inner frame
    }
    m.outer = std::move(*outer);
    return m;
}

namespace {
Frame innerFrame(std::uint16_t id, const Params& params) {
    Frame f;
    f.id = id;
    for (auto& [tag, value] : params) {
        int n = tagToParameter(tag);
        if (n >= 0) f.params[n] = value;
    }
    return f;
}

Bytes header(Kind kind, std::uint8_t number, std::uint16_t id) {
    return {static_cast<std::uint8_t>(kind), number, static_cast<std::uint8_t>(id >> 8),
            static_cast<std::uint8_t>(id & 0xFF)};
}

Bytes minimalBytes(std::uint32_t v) {
    Bytes out;
    do {
        out.insert(out.begin(), v & 0xFF);
        v >>= 8;
    } while (v);
    return out;
}
}  // namespace

Bytes buildCommand(std::uint16_t id, std::uint8_t number, const Params& params) {
    Frame outer;
    outer.id = kFramework;
    outer.params[1] = header(Kind::Command, number, id);
    outer.params[4] = innerFrame(id, params).encode();
    return outer.encode();
}

Bytes buildResponse(std::uint16_t id, std::uint8_t number, std::uint32_t status,
                    const Params& params, bool containerStatus) {
    Frame outer;
    outer.id = kFramework;
    outer.params[1] = header(Kind::Response, number, id);
    if (containerStatus) {
        Bytes container = tlv(0x81, minimalBytes(status & 0xFFFFFF));
        Bytes op = tlv(0x82, minimalBytes(status >> 24));
        container.insert(container.end(), op.begin(), op.end());
        outer.params[33] = container;
    } else {
        outer.params[2] = {
            static_cast<std::uint8_t>(status >> 24), static_cast<std::uint8_t>(status >> 16),
            static_cast<std::uint8_t>(status >> 8), static_cast<std::uint8_t>(status)};
    }
    if (!params.empty()) outer.params[4] = innerFrame(id, params).encode();
    return outer.encode();
}

Bytes buildNotification(std::uint16_t coreId, std::uint8_t number, std::uint32_t code,
                        const Params& params, std::optional<std::uint8_t> priority,
                        const Bytes& additionalData) {
    Frame outer;
    outer.id = kFramework;
    outer.params[1] = header(Kind::Notification, number, coreId);
    Bytes codeBytes{static_cast<std::uint8_t>(code >> 24), static_cast<std::uint8_t>(code >> 16),
                    static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)};
    if (priority) {
        codeBytes.insert(codeBytes.begin(), *priority);
        outer.params[3] = codeBytes;
    } else {
        outer.params[2] = codeBytes;
        if (!additionalData.empty()) outer.params[3] = additionalData;
    }
    if (!params.empty()) outer.params[4] = innerFrame(coreId, params).encode();
    return outer.encode();
}

Bytes buildFile(std::uint16_t commandId, std::uint32_t fileId, const Bytes& contents,
                std::uint8_t number) {
    Frame outer;
    outer.id = kFramework;
    Bytes h = header(Kind::File, number, commandId);
    for (int shift = 24; shift >= 0; shift -= 8) h.push_back((fileId >> shift) & 0xFF);
    outer.params[1] = h;
    outer.params[4] = contents;
    return outer.encode();
}

}  // namespace sim::orb
