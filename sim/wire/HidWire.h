#pragma once
// The conversation between the hidapi stand-in (client) and the bench's HID server over a
// Unix-domain SOCK_SEQPACKET socket, so every packet keeps its boundaries.
//
// Control connection: the client sends Enumerate and gets one DeviceList back; or it sends Open
// with a path and gets Opened (token + device record) or Failed (reason text). A connection that
// opened a device then carries the requests of that handle (Write, SetFeature, GetFeature,
// GetInput), each answered by one Result (int32 result, then data for the get requests).
// A second connection sends Input with the token and from then on receives one packet per input
// report. The server closes both connections when the device is unplugged.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace sim::wire {

using Bytes = std::vector<std::uint8_t>;

enum Op : std::uint8_t {
    Enumerate = 0x01,   // -
    Open = 0x02,        // path
    Input = 0x03,       // token (8 bytes)
    Write = 0x10,       // report (report number first)
    SetFeature = 0x11,  // report (report id first)
    GetFeature = 0x12,  // report id, max length (u32)
    GetInput = 0x13,    // report id, max length (u32)
    DeviceList = 0x81,  // count (u16), records
    Opened = 0x82,      // token (8 bytes), record
    Failed = 0x83,      // reason
    Result = 0x90,      // int32 result, data
};

struct DeviceRecord {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t releaseNumber = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::int32_t interfaceNumber = 0;
    std::string serialNumber;  // UTF-8
    std::string manufacturer;  // UTF-8
    std::string product;       // UTF-8
};

class Writer {
  public:
    explicit Writer(std::uint8_t op) { out_.push_back(op); }
    Writer& u8(std::uint8_t v) {
        out_.push_back(v);
        return *this;
    }
    Writer& u16(std::uint16_t v) { return u8(v >> 8).u8(v & 0xFF); }
    Writer& u32(std::uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
    Writer& u64(std::uint64_t v) { return u32(v >> 32).u32(v & 0xFFFFFFFFu); }
    Writer& str(const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        out_.insert(out_.end(), s.begin(), s.end());
        return *this;
    }
    Writer& raw(const std::uint8_t* p, std::size_t n) {
        out_.insert(out_.end(), p, p + n);
        return *this;
    }
    Writer& record(const DeviceRecord& r) {
        str(r.path).u16(r.vendorId).u16(r.productId).u16(r.releaseNumber).u16(r.usagePage);
        u16(r.usage).u32(static_cast<std::uint32_t>(r.interfaceNumber));
        return str(r.serialNumber).str(r.manufacturer).str(r.product);
    }
    const Bytes& bytes() const { return out_; }

  private:
    Bytes out_;
};

// Reads fields in order; any read past the end sets ok() to false and yields zeros.
class Reader {
  public:
    Reader(const std::uint8_t* p, std::size_t n) : p_(p), n_(n) {}
    bool ok() const { return ok_; }
    std::size_t remaining() const { return n_ - pos_; }
    const std::uint8_t* rest() const { return p_ + pos_; }
    std::uint8_t u8() { return take(1) ? p_[pos_ - 1] : 0; }
    std::uint16_t u16() {
        std::uint16_t hi = u8();
        return static_cast<std::uint16_t>(hi << 8 | u8());
    }
    std::uint32_t u32() {
        std::uint32_t hi = u16();
        return hi << 16 | u16();
    }
    std::uint64_t u64() {
        std::uint64_t hi = u32();
        return hi << 32 | u32();
    }
    std::string str() {
        std::uint32_t n = u32();
        if (!take(n)) return {};
        return std::string(reinterpret_cast<const char*>(p_ + pos_ - n), n);
    }
    DeviceRecord record() {
        DeviceRecord r;
        r.path = str();
        r.vendorId = u16();
        r.productId = u16();
        r.releaseNumber = u16();
        r.usagePage = u16();
        r.usage = u16();
        r.interfaceNumber = static_cast<std::int32_t>(u32());
        r.serialNumber = str();
        r.manufacturer = str();
        r.product = str();
        return r;
    }

  private:
    bool take(std::size_t n) {
        if (!ok_ || n > n_ - pos_) {
            ok_ = false;
            return false;
        }
        pos_ += n;
        return true;
    }
    const std::uint8_t* p_;
    std::size_t n_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// Largest packet either side sends or accepts (a device list of many devices fits easily).
constexpr std::size_t kMaxPacket = 65536;
// Environment variable naming the server's socket.
constexpr const char* kSocketVariable = "TESSERA_SIM_HID";

}  // namespace sim::wire
