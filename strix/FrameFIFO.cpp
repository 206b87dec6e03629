#include "FrameFIFO.h"

FrameFIFO::FrameFIFO(std::string stop, std::string start)
    : frame_start(std::move(start)), frame_stop(std::move(stop)) {}

void FrameFIFO::add(const std::string& data) {
    fifo += data;
}

std::string FrameFIFO::getFrame() {
    std::string frame;
    return nextFrame(frame) ? frame : std::string();
}

bool FrameFIFO::nextFrame(std::string& frame) {
    size_t start = frame_start.empty() ? 0 : fifo.find(frame_start);
    if (start == std::string::npos) {
        // Bytes before a start marker are noise: keep only what could still begin one, so a
        // noisy line cannot grow the queue without end.
        if (fifo.size() >= frame_start.size()) fifo.erase(0, fifo.size() - frame_start.size() + 1);
        return false;
    }
    size_t body = start + frame_start.size();
    size_t stop = frame_stop.empty() ? std::string::npos : fifo.find(frame_stop, body);
    if (stop == std::string::npos) return false;
    frame = fifo.substr(body, stop - body);
    // Drop everything up to and including the stop marker's first byte; for SLIP that byte
    // is the end of this frame and the next frame brings its own start marker.
    fifo.erase(0, stop + 1);
    return true;
}
