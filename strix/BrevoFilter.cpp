#include "BrevoFilter.h"

int BrevoFilter::FilterOutput(std::string HexMessage, std::string& channelName, int& channelId,
                              std::string& channelHexData) {
    channelName = "COMMAND";
    channelId = 5;
    std::string raw = hexToRaw(HexMessage) + "\r";
    channelHexData = rawToHex(raw);
    return static_cast<int>(raw.size());
}

bool BrevoFilter::nextLine(std::string& line) {
    // The length a line should have by its header: response 0x04, status, L, then L bytes
    // (L 0 on an extended chunk is 256); notification 0x02, 2-byte length, offset, ID, total,
    // then the data. When the byte after that length is the line end, that is the line;
    // otherwise (garbage, an unknown kind) the line ends at the first 0x0D.
    size_t expected = 0;
    if (queue.size() >= 3 && queue[0] == 0x04) {
        size_t l = static_cast<unsigned char>(queue[2]);
        if (l == 0 && static_cast<unsigned char>(queue[1]) == 0x0A) l = 256;
        expected = 3 + l;
    } else if (queue.size() >= 3 && queue[0] == 0x02) {
        expected =
            9 + (static_cast<unsigned char>(queue[1]) << 8 | static_cast<unsigned char>(queue[2]));
    }
    if (expected > 0) {
        if (queue.size() <= expected) return false;  // wait for the whole line
        if (queue[expected] == '\r') {
            line = queue.substr(0, expected);
            queue.erase(0, expected + 1);
            return true;
        }
    }
    size_t cr = queue.find('\r');
    if (cr == std::string::npos) {
        // No line is longer than the largest notification chunk and its end: anything longer
        // without a line end is noise, dropped so that the queue cannot grow without end.
        if (queue.size() > 9 + 0xFFFF + 1) queue.clear();
        return false;
    }
    line = queue.substr(0, cr);
    queue.erase(0, cr + 1);
    return true;
}

int BrevoFilter::FilterInput(std::string HexMessage, std::string& channelName, int& channelId,
                             std::string& channelHexData) {
    queue += hexToRaw(HexMessage);
    std::string line;
    if (!nextLine(line)) return -1;
    if (line.size() < 2) return 0;
    std::string payload = line.substr(1);
    switch (static_cast<unsigned char>(line[0])) {
        case 0x02:
            // The notification chunk without the line's kind byte: the connection puts the
            // notification report ID in front of it.
            channelName = "NOTIFICATION";
            channelId = NOTIFICATION;
            break;
        case 0x04:
            channelName = "RESPONSE";
            channelId = RESPONSE;
            break;
        default:
            return 0;
    }
    channelHexData = rawToHex(payload);
    return static_cast<int>(payload.size());
}
