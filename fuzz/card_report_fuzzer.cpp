// Card-data reports of any length and content on every reader model: decoding never reads past
// the report, every text field of the card record stays terminated inside its array, the
// delimited card line and the raw-data texts can be built, and the reader gets exactly one
// card update (ready or error) per report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Kestrel.h"
#include "StrixRecords.h"

namespace {

class FuzzEngine : public Kestrel {
  public:
    void configure(const CRConfigTable& row) {
        configTable = row;
        rawData.m_dwDevicePID = row.dwPID;
    }
};

struct CountingDelegate : Cardova_Delegate {
    int cardUpdates = 0;
    void OnError(Cardova*, int, char*) override {}
    void OnDeviceChange(Cardova*, EDeviceStateValues) override {}
    void OnCardUpdate(Cardova*, ECardDataStateValues) override { ++cardUpdates; }
    void OnNotification(Cardova*, unsigned short, const unsigned char*, int) override {}
};

template <size_t N>
void requireTerminated(const char (&field)[N]) {
    if (strnlen(field, N) >= N) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const CRConfigTable& row = CR_CfgTable[data[0] % STRIX_MODEL_COUNT];
    std::vector<unsigned char> report(data + 1, data + size);
    report[0] = 1;  // card-data report

    CountingDelegate delegate;
    FuzzEngine engine;
    engine.configure(row);
    engine.setDelegate(&delegate);
    engine.onData(nullptr, report.data(), static_cast<int>(report.size()));
    if (delegate.cardUpdates != 1) std::abort();

    const VLMSRDATA m = engine.getCardData();
    requireTerminated(m.m_szCardData);
    requireTerminated(m.m_szCardDataMasked);
    requireTerminated(m.m_szTrack1Data);
    requireTerminated(m.m_szTrack2Data);
    requireTerminated(m.m_szTrack3Data);
    requireTerminated(m.m_szTrack1DataMasked);
    requireTerminated(m.m_szTrack2DataMasked);
    requireTerminated(m.m_szTrack3DataMasked);
    requireTerminated(m.m_szFluxmarkData);
    requireTerminated(m.m_szCardEncodeType);
    requireTerminated(m.m_szFluxmarkStatus);
    requireTerminated(m.m_szDUKPTSessionID);
    requireTerminated(m.m_szDeviceSerialNumber);
    requireTerminated(m.m_szDUKPTKSN);
    requireTerminated(m.m_szFirstName);
    requireTerminated(m.m_szLastName);
    requireTerminated(m.m_szPAN);
    requireTerminated(m.m_szMonth);
    requireTerminated(m.m_szYear);
    if (m.m_dwTrack1Length < 0 || m.m_dwTrack2Length < 0 || m.m_dwTrack3Length < 0) std::abort();
    if (m.m_dwFluxmarkLength < 0 || m.m_dwFluxmarkLength > 128) std::abort();

    const STRIXDATA s = engine.getStrixData();
    requireTerminated(s.m_szCardData);
    requireTerminated(s.m_szTk1Data);
    requireTerminated(s.m_szTk2Data);
    requireTerminated(s.m_szTk3Data);

    engine.GetCardDataStr("|");
    engine.getMsrRawData();
    engine.getRawData();
    engine.setDelegate(nullptr);
    return 0;
}
