#include "LegacySavant.h"

#include <regex>

int LegacySavant::FilterOutput(std::string HexMessage, std::string& channelName, int& channelId,
                               std::string& channelHexData) {
    channelName = "COMMAND";
    channelId = COMMAND;
    channelHexData = rawToHex(HexMessage + "\r");
    return static_cast<int>(HexMessage.size() + 1);
}

int LegacySavant::FilterInput(std::string HexMessage, std::string& channelName, int& channelId,
                              std::string& channelHexData) {
    static const std::regex hexLine("[0-9A-F]*", std::regex::ECMAScript);
    fifo.add(hexToRaw(HexMessage));
    std::string line;
    if (!fifo.nextFrame(line)) return -1;
    // A line feed after the previous line's CR belongs to no line.
    while (!line.empty() && line.front() == '\n') line.erase(0, 1);
    if (std::regex_match(line, hexLine)) {
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
