// Bytes per second of the swipe-reader decoding paths, each beside a memcpy of the same bytes in
// the same run (counter x_memcpy = decode time / memcpy time): a card-data HID report through the
// engine, and the track-text parser (MsrDataParser) on financial and driver's-licence cards.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchUtil.h"
#include "Kestrel.h"
#include "MsrDataParser.h"
#include "StrixRecords.h"
#include "SwipeCard.h"
#include "SwipeHidDevice.h"

using benchutil::measureAgainstMemcpy;

namespace {

class Engine : public Kestrel {
  public:
    explicit Engine(long pid) {
        for (const CRConfigTable& row : CR_CfgTable)
            if (row.dwPID == pid) configTable = row;
    }
};

void BM_SwipeCardReport(benchmark::State& state) {
    const long pid = state.range(0);
    Engine engine(pid);
    const auto& model = sim::swipe::swipeModel(static_cast<uint16_t>(pid));
    sim::swipe::SecureFields secure;
    secure.fluxmark.assign(100, 0x5A);
    secure.battery = 80;
    std::vector<unsigned char> r =
        sim::swipe::buildCardReport(sim::swipe::isoVisaCard(), model, secure, 1);
    measureAgainstMemcpy(state, r.size(),
                         [&] { engine.onData(nullptr, r.data(), static_cast<int>(r.size())); });
}
BENCHMARK(BM_SwipeCardReport)->Arg(0x0001)->Arg(0x0019);

void BM_MsrDataParser(benchmark::State& state) {
    const bool licence = state.range(0) == 1;
    const int type = licence ? 1 : 0;  // the format asked for
    const sim::swipe::SwipeCard card =
        licence ? sim::swipe::aamvaLicenceCard() : sim::swipe::isoVisaCard();
    const size_t bytes = card.track1.size() + card.track2.size() + card.track3.size();
    measureAgainstMemcpy(state, bytes, [&] {
        MsrDataParser parser(card.track1.c_str(), card.track2.c_str(), card.track3.c_str(), type);
        benchmark::DoNotOptimize(parser.GetFormat());
    });
    MsrDataParser check(card.track1.c_str(), card.track2.c_str(), card.track3.c_str(), type);
    if (check.GetFormat() != (licence ? "AAMVA" : "ISO"))
        state.SkipWithError("card not recognised");
    state.SetLabel(licence ? "driver's licence" : "financial card");
}
BENCHMARK(BM_MsrDataParser)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
