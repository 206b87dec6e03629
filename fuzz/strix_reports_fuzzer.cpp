// The swipe-reader engine on arbitrary reader input: card-data reports for a clear and an
// encrypting model, notification chunks, response buffers, command texts and track texts.
// Nothing is read or written past a buffer, every text of the card records stays terminated,
// and a completed notification never exceeds its announced length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Kestrel.h"
#include "MsrDataParser.h"
#include "StrixRecords.h"

namespace {

class Engine : public Kestrel {
  public:
    explicit Engine(long pid) {
        for (const CRConfigTable& row : CR_CfgTable)
            if (row.dwPID == pid) configTable = row;
    }
};

struct Checker : Cardova_Delegate {
    void OnError(Cardova*, int, char*) override {}
    void OnDeviceChange(Cardova*, EDeviceStateValues) override {}
    void OnCardUpdate(Cardova*, ECardDataStateValues) override {}
    void OnNotification(Cardova*, unsigned short, const unsigned char* data, int len) override {
        if (len < 0 || len > 0xFFFF || (len > 0 && data == nullptr)) std::abort();
        volatile unsigned char sink = 0;
        for (int i = 0; i < len; ++i) sink = sink ^ data[i];  // the whole buffer is readable
    }
};

template <size_t N>
void terminated(const char (&field)[N]) {
    if (strnlen(field, N) >= N) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t mode = data[0] % 5;
    std::vector<unsigned char> input(data + 1, data + size);
    Checker checker;
    switch (mode) {
        case 0:
        case 1: {  // one card report, clear or encrypting model
            Engine engine(mode == 0 ? 0x0001 : 0x0019);
            engine.setDelegate(&checker);
            input[0] = 1;
            engine.onData(nullptr, input.data(), static_cast<int>(input.size()));
            VLMSRDATA m = engine.getCardData();
            terminated(m.m_szCardData);
            terminated(m.m_szCardDataMasked);
            terminated(m.m_szTrack1Data);
            terminated(m.m_szFluxmarkData);
            terminated(m.m_szPAN);
            terminated(m.m_szFirstName);
            terminated(m.m_szLastName);
            if (m.m_dwFluxmarkLength > 128) std::abort();
            engine.GetCardDataStr("|");
            break;
        }
        case 2: {  // notification chunks: 2-byte length prefix per chunk
            Engine engine(0x0019);
            engine.setDelegate(&checker);
            size_t pos = 0;
            while (pos + 2 <= input.size()) {
                size_t n = (input[pos] << 8 | input[pos + 1]) % 400;
                pos += 2;
                n = std::min(n, input.size() - pos);
                std::vector<unsigned char> chunk(input.begin() + pos, input.begin() + pos + n);
                pos += n;
                if (!chunk.empty()) chunk[0] = 2;
                engine.onData(nullptr, chunk.data(), static_cast<int>(chunk.size()));
            }
            break;
        }
        case 3: {  // a response buffer and a result text of the capacity the first byte says
            Engine engine(0x0019);
            std::vector<char> out(input[0] * 4 + 1, 'x');
            int outLen = static_cast<int>(out.size());
            int rc = engine.MakeHexStringFromResponse(
                input.data() + 1, static_cast<int>(input.size() - 1), out.data(), &outLen);
            if (rc == 0 && (outLen < 0 || static_cast<size_t>(outLen) >= out.size() ||
                            strnlen(out.data(), out.size()) != static_cast<size_t>(outLen)))
                std::abort();
            break;
        }
        default: {  // command text composition and track-text parsing
            Engine engine(0x0019);
            std::vector<unsigned char> buffer(static_cast<size_t>(input[0]) * 64);
            int length = static_cast<int>(buffer.size());
            if (engine.composeExtendedCommand(input.data() + 1, static_cast<int>(input.size() - 1),
                                              buffer.data(), &length) &&
                static_cast<size_t>(length) > buffer.size())
                std::abort();
            std::string text(input.begin(), input.end());
            std::string tracks[3];
            size_t k = 0;
            for (char c : text) {
                if (c == '\n' && k < 2)
                    ++k;
                else if (c != '\0')
                    tracks[k] += c;
            }
            MsrDataParser parser(tracks[0].c_str(), tracks[1].c_str(), tracks[2].c_str(), -1);
            parser.GetAttribute("AccountNumber");
            break;
        }
    }
    return 0;
}
