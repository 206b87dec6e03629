#pragma once
// The behaviour of a simulated message-schema reader, independent of its link: it takes whole
// messages from the host, answers commands with responses, plays the notifications of a card
// transaction and sends whatever a test scripts. The link classes (OrbLinks.h) put it on USB,
// TCP or a serial line.
//
// Built-in commands:
//   1001 start transaction   P81 time-out, P82 reader/mode/options (or A3 81/82/83 reader bytes),
//                            P86 EMV data (9F02 amount, 9F03 cash back, 9C type).
//                            Answer 00000000, then the flow below; 80000003 while one runs.
//   1004 with P84            authorisation (the host's answer to the ARQC): 00000000, then the
//                            end of the EMV flow. Without parameters: cancel (as 1008).
//   1008 cancel transaction  00000000; a running transaction ends with 0105/07030500.
//   1010 P81 = 01/02/03      card data / ARQC / batch data of the last card (80000002 before a
//                            card was read).
//   anything else            80000001 (unknown command), unless a handler is installed.
// EMV flow (source s = 10 contact, 20 contactless): 0101/s0010200 card inserted (20010400 card
// detected), 0101/s0080201 ARQC ready, 0101/s0080202 authorisation request (P84 = ARQC data);
// after the authorisation: 0101/s0080301 batch ready, 0101/s0080302 transaction result (P84 =
// batch data), 0105/s0020200 approved (s0020300 declined), 0105/s0040000 completed.
// Swipe flow: 0101/08010100 card swiped, 0105/08040000 completed.
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/Types.h"
#include "sim/orb/Wire.h"

namespace sim::orb {

namespace status {
constexpr std::uint32_t kOk = 0x00000000;
constexpr std::uint32_t kUnknownCommand = 0x80000001;
constexpr std::uint32_t kNoData = 0x80000002;
constexpr std::uint32_t kBusy = 0x80000003;
}  // namespace status

namespace core {
constexpr std::uint16_t kTransaction = 0x0101;
constexpr std::uint16_t kTransactionStatus = 0x0105;
}  // namespace core

// The answer to one command.
struct Reply {
    std::uint32_t status = status::kOk;   // operation status << 24 | command status
    Params params;                        // inner parameters of the response
    std::optional<bool> containerStatus;  // default: the reader's setting
    Millis delay{0};                      // a late answer
};

struct Card {
    // Masked track texts as the reader reports them; an empty track is reported as absent.
    std::string track1 = "%B4111********1111^CARDHOLDER/TEST^2612*************?";
    std::string track2 = ";4111********1111=2612*************?";
    std::string track3;
    Bytes cryptogram{0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x70, 0x81};
};

enum class Presentation { Auto, Swipe, Insert, Tap, None };
enum class Outcome { Approved, Declined };

class OrbReader {
  public:
    using Emit = std::function<void(Bytes message, Millis delay)>;
    using CommandHandler = std::function<std::optional<Reply>(const Message& command)>;
    struct Step {
        Millis delay;  // after the previous step
        Bytes message;
    };

    OrbReader() = default;
    OrbReader(const OrbReader&) = delete;
    OrbReader& operator=(const OrbReader&) = delete;

    // Set once by the link before the reader is used.
    void setEmitter(Emit emit);
    // The link hands over each whole message from the host (bench thread).
    void receive(const Bytes& message);

    // Configuration (any thread).
    void onCommand(std::uint16_t id, CommandHandler handler);  // nullopt from it: no answer
    void setContainerStatus(bool container);
    void setNotificationPriority(std::optional<std::uint8_t> priority);
    void setStepDelay(Millis step);  // pause between the notifications of a flow
    void setCard(Card card);
    void setPresentation(Presentation p);
    void setOutcome(Outcome o);

    // Sending (any thread). Delays count from now; messages keep their order.
    void notify(std::uint16_t coreId, std::uint32_t code, Params params = {},
                Millis delay = Millis(0));
    void sendFile(std::uint16_t commandId, std::uint32_t fileId, Bytes contents,
                  Millis delay = Millis(0));
    void sendRaw(Bytes message, Millis delay = Millis(0));
    void play(const std::vector<Step>& script);

    // Observation (any thread).
    std::vector<Message> received() const;  // every message from the host, in order
    bool waitForCommand(std::uint16_t id, std::size_t count, Millis timeout) const;
    bool transactionRunning() const;

    // The data records the reader reports (also useful to tests as expected values).
    static Params cardDataParams(const Card& card, std::uint8_t source);
    static Bytes arqcData(const Card& card, std::uint64_t amount, std::uint64_t cashBack,
                          std::uint8_t type);
    static Bytes batchData(const Card& card, std::uint64_t amount, Outcome outcome);

  private:
    Reply answer(const Message& command, std::vector<Step>& after);  // built-ins, under lock_
    void startTransaction(const Message& command, std::vector<Step>& after);
    void finishEmv(std::vector<Step>& after);
    Bytes notification(std::uint16_t coreId, std::uint32_t code, const Params& params);
    void emit(Bytes message, Millis delay);

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    Emit emit_;
    std::map<std::uint16_t, CommandHandler> handlers_;
    std::vector<Message> received_;
    bool container_ = false;
    std::optional<std::uint8_t> priority_;
    Millis step_{20};
    Card card_;
    Presentation presentation_ = Presentation::Auto;
    Outcome outcome_ = Outcome::Approved;
    std::uint8_t notificationNumber_ = 0;

    enum class State { Idle, WaitingForCard, AwaitingAuthorization };
    State state_ = State::Idle;
    std::uint8_t source_ = 0;  // 08 swipe, 10 contact, 20 contactless; 0 before a card
    std::uint64_t amount_ = 0;
    std::uint64_t cashBack_ = 0;
    std::uint8_t type_ = 0;
};

}  // namespace sim::orb
