#pragma once
#include <string>

// A byte queue that hands out frames found between a start and a stop marker. The bytes are
// kept as they arrived (binary in a std::string). An empty start marker means a frame starts at
// the front of the queue.
class FrameFIFO {
  public:
    FrameFIFO(std::string stop, std::string start);

    void add(const std::string& data);
    // The next complete frame without its markers, or "" when none is complete (the bytes stay
    // queued). An empty frame also gives "": use nextFrame to tell the two apart.
    std::string getFrame();
    // True and the frame (possibly empty) in `frame` when one was complete.
    bool nextFrame(std::string& frame);
    size_t size() const { return fifo.size(); }
    void clear() { fifo.clear(); }

  private:
    std::string fifo;
    std::string frame_start;
    std::string frame_stop;
};
