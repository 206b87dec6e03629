#include "LegacySavant.h"

#include <algorithm>

int LegacySavant::FilterOutput(std::string HexMessage, std::string& channelName, int& channelId,
                               std::string& channelHexData) {
    channelName = "COMMAND";
    channelId = COMMAND;
    channelHexData = rawToHex(HexMessage + "\r");
    return static_cast<int>(HexMessage.size() + 1);
}

int LegacySavant::FilterInput(std::string HexMessage, std::string& channelName, int& channelId,
                              std::string& channelHexData) {
    fifo.add(hexToRaw(HexMessage));
    std::string line;
    if (!fifo.nextFrame(line)) return -1;
    // A line feed after the previous line's CR belongs to no line.
    while (!line.empty() && line.front() == '\n') line.erase(0, 1);
    // A line made only of upper-case hex digits ("[0-9A-F]*") is a response.
    bool hexLine = std::all_of(line.begin(), line.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    });
    if (hexLine) {
        // A response is whole bytes of hex; a line cut inside a byte delivers nothing.
        if (line.size() % 2 != 0) return 0;
        channelName = "RESPONSE";
        channelId = RESPONSE;
        channelHexData = line;
        return static_cast<int>(line.size() / 2);
    }
    channelName = "CARD_DATA";
    channelId = MSR_CARD_DATA;
    channelHexData = rawToHex(line);
    return static_cast<int>(line.size());
}
