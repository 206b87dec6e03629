// Bytes per second of the message-schema codecs, each beside a memcpy of the same bytes in the
// same run (counter x_memcpy = codec time / memcpy time): TLV reading (nested and flat), message
// frames and message kinds (parse and serialise), 64-byte report cutting and reassembly, and
// SLIP framing in both directions.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "AsterAPIFrameWork.h"
#include "AsterCommand.h"
#include "AsterNotification.h"
#include "AsterResponse.h"
#include "BenchUtil.h"
#include "SerialCommunicationPackage.h"
#include "TLV.h"
#include "VelnorUSBHIDPackage.h"
#include "sim/orb/Packets.h"
#include "sim/orb/Wire.h"

using benchutil::measureAgainstMemcpy;
using sim::Bytes;

namespace {

// A card-record-like TLV tree of about `size` bytes: a constructed template holding records of
// constructed elements with a few primitive values each.
Bytes nestedTlv(size_t size) {
    Bytes records;
    unsigned n = 0;
    while (records.size() + 40 < size) {
        Bytes record = sim::orb::tlv(0x5A, Bytes(8, static_cast<unsigned char>(n)));
        Bytes date = sim::orb::tlv(0x5F24, Bytes{0x27, 0x12, 0x31});
        Bytes amount = sim::orb::tlv(0x9F02, Bytes(6, 0x01));
        record.insert(record.end(), date.begin(), date.end());
        record.insert(record.end(), amount.begin(), amount.end());
        Bytes wrapped = sim::orb::tlv(0xA1, record);
        records.insert(records.end(), wrapped.begin(), wrapped.end());
        ++n;
    }
    return sim::orb::tlv(0xE1, records);
}

// A flat run of primitive elements of about `size` bytes.
Bytes flatTlv(size_t size) {
    Bytes out;
    unsigned n = 0;
    while (out.size() + 24 < size) {
        Bytes e = sim::orb::tlv(n % 2 ? 0x9F02 : 0x57, Bytes(16, static_cast<unsigned char>(n)));
        out.insert(out.end(), e.begin(), e.end());
        ++n;
    }
    return out;
}

sim::orb::Params params(size_t size) {
    sim::orb::Params p;
    size_t each = std::max<size_t>(1, size / 4);
    for (std::uint8_t tag = 0x81; tag <= 0x84; ++tag) p[tag] = Bytes(each, tag);
    return p;
}

void BM_Memcpy(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> src(n, 0x5A), dst(n);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_Memcpy)->Arg(256)->Arg(4096)->Arg(65536);

void BM_TlvNestedRead(benchmark::State& state) {
    Bytes data = nestedTlv(static_cast<size_t>(state.range(0)));
    measureAgainstMemcpy(state, data.size(), [&] {
        benchmark::DoNotOptimize(TLV::parseTLVData(data.data(), static_cast<int>(data.size())));
    });
}
BENCHMARK(BM_TlvNestedRead)->Arg(256)->Arg(4096);

void BM_TlvFlatRead(benchmark::State& state) {
    Bytes data = flatTlv(static_cast<size_t>(state.range(0)));
    measureAgainstMemcpy(state, data.size(), [&] {
        benchmark::DoNotOptimize(TLV::parseTLVDataFlat(data.data(), static_cast<int>(data.size())));
    });
}
BENCHMARK(BM_TlvFlatRead)->Arg(256)->Arg(4096);

void BM_FrameParse(benchmark::State& state) {
    Bytes data = sim::orb::buildResponse(0x1010, 7, 0, params(static_cast<size_t>(state.range(0))));
    measureAgainstMemcpy(state, data.size(),
                         [&] { benchmark::DoNotOptimize(AsterAPIFrameWork::Parse(data)); });
}
BENCHMARK(BM_FrameParse)->Arg(256)->Arg(4096)->Arg(65536);

void BM_FrameSerialise(benchmark::State& state) {
    Bytes data = sim::orb::buildResponse(0x1010, 7, 0, params(static_cast<size_t>(state.range(0))));
    AsterAPIFrameWork frame = AsterAPIFrameWork::Parse(data);
    measureAgainstMemcpy(state, data.size(), [&] { benchmark::DoNotOptimize(frame.ToBytes()); });
}
BENCHMARK(BM_FrameSerialise)->Arg(256)->Arg(4096)->Arg(65536);

void BM_ResponseParse(benchmark::State& state) {
    Bytes data = sim::orb::buildResponse(0x1010, 7, 0, params(static_cast<size_t>(state.range(0))));
    measureAgainstMemcpy(state, data.size(),
                         [&] { benchmark::DoNotOptimize(AsterResponse::Parse(data)); });
}
BENCHMARK(BM_ResponseParse)->Arg(256)->Arg(4096);

void BM_NotificationParse(benchmark::State& state) {
    Bytes data = sim::orb::buildNotification(0x1001, 3, 0x01020304,
                                             params(static_cast<size_t>(state.range(0))));
    measureAgainstMemcpy(state, data.size(),
                         [&] { benchmark::DoNotOptimize(AsterNotification::Parse(data)); });
}
BENCHMARK(BM_NotificationParse)->Arg(256)->Arg(4096);

void BM_CommandSerialise(benchmark::State& state) {
    AsterCommand command(0x1001);
    command.SetCommandParameter(
        0x81, std::vector<unsigned char>(static_cast<size_t>(state.range(0)), 0x11));
    const size_t bytes = command.ToBytes().size();
    measureAgainstMemcpy(state, bytes, [&] { benchmark::DoNotOptimize(command.ToBytes()); });
}
BENCHMARK(BM_CommandSerialise)->Arg(256)->Arg(4096);

void BM_ReportCut(benchmark::State& state) {
    std::vector<unsigned char> message(static_cast<size_t>(state.range(0)), 0x42);
    VelnorUSBHIDPackage package(0, 64);
    size_t sent = 0;
    auto sink = [&](unsigned char*, unsigned int n) { sent += n; };
    measureAgainstMemcpy(state, message.size(),
                         [&] { package.SendPayload(message, sink, nullptr); });
    benchmark::DoNotOptimize(sent);
}
BENCHMARK(BM_ReportCut)->Arg(256)->Arg(4096)->Arg(65536);

void BM_ReportReassemble(benchmark::State& state) {
    Bytes message(static_cast<size_t>(state.range(0)), 0x42);
    std::vector<Bytes> packets;
    // As the USB reading thread hands them on: one placeholder byte, then the 64-byte report.
    for (Bytes& p : sim::orb::cutIntoPackets(message)) {
        Bytes report{0x00};
        Bytes packet = sim::orb::padded(p);
        report.insert(report.end(), packet.begin(), packet.end());
        packets.push_back(report);
    }
    VelnorUSBHIDPackage package(0, 64);
    size_t got = 0;
    package.onPayloadReceived = [&](std::vector<unsigned char> m) { got += m.size(); };
    measureAgainstMemcpy(state, message.size(), [&] {
        for (const Bytes& p : packets) package.ParseReport(p);
    });
    if (got != message.size() * state.iterations())
        state.SkipWithError("reassembled bytes do not add up");
}
BENCHMARK(BM_ReportReassemble)->Arg(256)->Arg(4096)->Arg(65536)->Arg(1 << 20);

void BM_SlipEncode(benchmark::State& state) {
    // Every byte value, so that the escapes occur as often as in random data.
    std::vector<unsigned char> message(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<unsigned char>(i);
    SerialCommunicationPackage package(1 << 20);
    size_t sent = 0;
    auto sink = [&](unsigned char*, unsigned int n) { sent += n; };
    measureAgainstMemcpy(state, message.size(),
                         [&] { package.SendPayload(message, sink, nullptr); });
    benchmark::DoNotOptimize(sent);
}
BENCHMARK(BM_SlipEncode)->Arg(256)->Arg(4096)->Arg(65536);

void BM_SlipDecode(benchmark::State& state) {
    Bytes message(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<unsigned char>(i);
    Bytes frame = sim::orb::slipFrame(0x02, message);
    SerialCommunicationPackage package(1 << 20);
    size_t got = 0;
    package.onPayloadReceived = [&](std::vector<unsigned char> m) { got += m.size(); };
    measureAgainstMemcpy(state, message.size(), [&] { package.ParseReport(frame); });
    if (got != message.size() * state.iterations())
        state.SkipWithError("decoded bytes do not add up");
}
BENCHMARK(BM_SlipDecode)->Arg(256)->Arg(4096)->Arg(65536);

}  // namespace

BENCHMARK_MAIN();
