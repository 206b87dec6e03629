// tessera-sim: simulated card readers for developing and testing applications without hardware.
// Starts the readers asked for, prints how to reach them and runs until SIGINT or SIGTERM (or
// "quit" on standard input). Commands on standard input change the readers at run time.
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "SerialSwipeReader.h"
#include "SwipeHidDevice.h"
#include "sim/Bench.h"
#include "sim/orb/OrbLinks.h"

namespace {

const char* kUsage =
    "usage: tessera-sim [options]\n"
    "  --usb N          message-schema readers on USB (default 1)\n"
    "  --pid HEX        product id of the USB readers: 2020, 2023 or 2024 (default: in turn)\n"
    "  --tcp N          message-schema readers on TCP, 127.0.0.1 (default 1)\n"
    "  --tcp-port PORT  port of the first TCP reader, the next ones follow (default: any free)\n"
    "  --serial N       message-schema readers on pseudo-terminals (default 1)\n"
    "  --socket PATH    socket of the simulated USB bus (default: a private temporary folder)\n"
    "  --step-ms MS     pause between the notifications of a transaction (default 200)\n"
    "  --swipe N        swipe readers on USB, product id 0019 (default 1)\n"
    "  --swipe-serial N swipe readers on pseudo-terminals, SLIP line format (default 0)\n"
    "  --help           this text\n"
    "Commands on standard input:\n"
    "  list                       what is running\n"
    "  unplug NAME | plug NAME    pull a USB reader off the bus / put it back (NAME as listed)\n"
    "  card insert|tap|swipe|none how the next transactions are presented (all readers)\n"
    "  outcome approved|declined  how the next transactions end (all readers)\n"
    "  notify NAME CORE CODE      send a notification (hex core identifier and code)\n"
    "  swipe NAME iso|mc|aamva|bad swipe a card through a swipe reader\n"
    "  quit                       stop (as SIGINT/SIGTERM)\n";

struct Reader {
    std::string name;
    std::string kind;
    sim::orb::OrbReader* reader;
    std::shared_ptr<sim::orb::HidOrbReader> usb;  // USB readers only
    std::string where;
};

// Swipe readers (a family of their own: no transactions of the message-schema kind).
struct SwipeEntry {
    std::string name;
    std::shared_ptr<sim::swipe::SwipeHidDevice> usb;
    std::shared_ptr<sim::swipe::SerialSwipeReader> serial;
};
std::vector<SwipeEntry> swipeReaders;

std::string standinFolder() {
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = 0;
        std::string dir(exe);
        dir = dir.substr(0, dir.rfind('/'));
        std::string candidate = dir + "/../sim/standin";
        if (::access((candidate + "/libhidapi-libusb.so.0").c_str(), R_OK) == 0) {
            char real[PATH_MAX];
            if (::realpath(candidate.c_str(), real)) return real;
        }
    }
#ifdef SIM_STANDIN_DIR
    return SIM_STANDIN_DIR;
#else
    return "";
#endif
}

bool number(const char* text, long min, long max, long& out, int base = 10) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, base);
    if (errno || !end || *end || end == text || v < min || v > max) return false;
    out = v;
    return true;
}

void list(const std::vector<Reader>& readers, const std::string& socket) {
    std::printf("export TESSERA_SIM_HID=%s\n", socket.c_str());
    std::string standin = standinFolder();
    if (!standin.empty())
        std::printf("export LD_LIBRARY_PATH=%s${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}\n",
                    standin.c_str());
    for (auto& r : readers) {
        std::string where = r.where;
        if (r.usb) where = (r.usb->attached() ? r.usb->path() : "(unplugged)") + r.where;
        std::printf("%-8s %-6s %s\n", r.name.c_str(), r.kind.c_str(), where.c_str());
    }
    for (auto& r : swipeReaders) {
        if (r.usb) {
            std::printf("%-8s %-6s %s vendor 2f1a product 0019 serial %s\n", r.name.c_str(),
                        "swipe", r.usb->attached() ? r.usb->path().c_str() : "(unplugged)",
                        r.usb->core().serial().c_str());
        } else {
            std::printf("%-8s %-6s %s\n", r.name.c_str(), "swipe",
                        r.serial->connectionString().c_str());
        }
    }
    std::fflush(stdout);
}

Reader* find(std::vector<Reader>& readers, const std::string& name) {
    for (auto& r : readers)
        if (r.name == name) return &r;
    return nullptr;
}

// Runs one command line; false for "quit".
bool command(const std::string& line, std::vector<Reader>& readers, sim::Bench& bench,
             const std::string& socket) {
    std::istringstream in(line);
    std::string verb, a, b, c;
    in >> verb >> a >> b >> c;
    if (verb.empty()) return true;
    if (verb == "quit" || verb == "exit") return false;
    if (verb == "list") {
        list(readers, socket);
    } else if (verb == "unplug" || verb == "plug") {
        Reader* r = find(readers, a);
        if (!r || !r->usb) {
            std::printf("error: no USB reader named '%s'\n", a.c_str());
        } else if (verb == "unplug") {
            r->usb->unplug();
            std::printf("unplugged %s\n", a.c_str());
        } else if (r->usb->attached()) {
            std::printf("error: %s is plugged in\n", a.c_str());
        } else {
            std::printf("plugged %s at %s\n", a.c_str(), bench.attachHid(r->usb).c_str());
        }
    } else if (verb == "swipe") {
        SwipeEntry* r = nullptr;
        for (auto& e : swipeReaders)
            if (e.name == a) r = &e;
        sim::swipe::SwipeCard card = b == "mc"      ? sim::swipe::isoMastercardCard()
                                     : b == "aamva" ? sim::swipe::aamvaLicenceCard()
                                     : b == "bad"   ? sim::swipe::badSwipeCard()
                                                    : sim::swipe::isoVisaCard();
        if (!r) {
            std::printf("error: no swipe reader named '%s'\n", a.c_str());
        } else {
            if (r->serial)
                r->serial->swipe(card);
            else
                r->usb->swipe(card);
            std::printf("swiped %s\n", a.c_str());
        }
    } else if (verb == "card") {
        sim::orb::Presentation p;
        if (a == "insert")
            p = sim::orb::Presentation::Insert;
        else if (a == "tap")
            p = sim::orb::Presentation::Tap;
        else if (a == "swipe")
            p = sim::orb::Presentation::Swipe;
        else if (a == "none")
            p = sim::orb::Presentation::None;
        else {
            std::printf("error: card insert|tap|swipe|none\n");
            std::fflush(stdout);
            return true;
        }
        for (auto& r : readers) r.reader->setPresentation(p);
        std::printf("card %s\n", a.c_str());
    } else if (verb == "outcome") {
        if (a != "approved" && a != "declined") {
            std::printf("error: outcome approved|declined\n");
        } else {
            for (auto& r : readers)
                r.reader->setOutcome(a == "approved" ? sim::orb::Outcome::Approved
                                                     : sim::orb::Outcome::Declined);
            std::printf("outcome %s\n", a.c_str());
        }
    } else if (verb == "notify") {
        Reader* r = find(readers, a);
        long core, code;
        if (!r || !number(b.c_str(), 0, 0xFFFF, core, 16) ||
            !number(c.c_str(), 0, 0xFFFFFFFFL, code, 16)) {
            std::printf("error: notify NAME CORE CODE (hex)\n");
        } else {
            r->reader->notify(static_cast<std::uint16_t>(core), static_cast<std::uint32_t>(code));
            std::printf("notified %s\n", a.c_str());
        }
    } else {
        std::printf("error: unknown command '%s'\n", verb.c_str());
    }
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    long usbCount = 1, tcpCount = 1, serialCount = 1, tcpPort = 0, stepMs = 200, pid = 0;
    long swipeCount = 1, swipeSerialCount = 0;
    std::string socket;
    for (int i = 1; i < argc; ++i) {
        std::string opt = argv[i];
        auto value = [&](long min, long max, long& out, int base = 10) {
            if (i + 1 >= argc || !number(argv[i + 1], min, max, out, base)) {
                std::fprintf(stderr, "tessera-sim: bad value for %s\n%s", opt.c_str(), kUsage);
                std::exit(2);
            }
            ++i;
        };
        if (opt == "--help" || opt == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (opt == "--usb") {
            value(0, 32, usbCount);
        } else if (opt == "--pid") {
            value(0, 0xFFFF, pid, 16);
            if (pid != 0x2020 && pid != 0x2023 && pid != 0x2024) {
                std::fprintf(stderr, "tessera-sim: --pid is 2020, 2023 or 2024\n");
                return 2;
            }
        } else if (opt == "--tcp") {
            value(0, 32, tcpCount);
        } else if (opt == "--tcp-port") {
            value(1, 65535 - 32, tcpPort);
        } else if (opt == "--serial") {
            value(0, 32, serialCount);
        } else if (opt == "--swipe") {
            value(0, 32, swipeCount);
        } else if (opt == "--swipe-serial") {
            value(0, 32, swipeSerialCount);
        } else if (opt == "--step-ms") {
            value(0, 60000, stepMs);
        } else if (opt == "--socket" && i + 1 < argc) {
            socket = argv[++i];
        } else {
            std::fprintf(stderr, "tessera-sim: unknown option %s\n%s", opt.c_str(), kUsage);
            return 2;
        }
    }

    // Signals are taken through a descriptor, so the main thread waits on one poll() for them
    // and for commands; every other thread inherits the blocked mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    int sigfd = ::signalfd(-1, &signals, SFD_CLOEXEC);
    if (sigfd < 0) {
        std::perror("tessera-sim: signalfd");
        return 1;
    }

    try {
        sim::Bench bench(socket);
        std::vector<Reader> readers;
        const std::uint16_t pids[] = {0x2020, 0x2023, 0x2024};
        for (long i = 0; i < usbCount; ++i) {
            std::uint16_t p = pid ? static_cast<std::uint16_t>(pid) : pids[i % 3];
            char serial[32];
            std::snprintf(serial, sizeof serial, "SIM%04X%06ld", p, i + 1);
            auto r = std::make_shared<sim::orb::HidOrbReader>(sim::orb::readerIdentity(p, serial));
            r->reader().setStepDelay(sim::Millis(stepMs));
            bench.attachHid(r);
            char desc[96];
            std::snprintf(desc, sizeof desc, " vendor 2f1a product %04x serial %s", p, serial);
            readers.push_back({"usb" + std::to_string(i), "usb", &r->reader(), r, desc});
        }
        for (long i = 0; i < tcpCount; ++i) {
            auto r = std::make_shared<sim::orb::TcpOrbReader>();
            r->reader().setStepDelay(sim::Millis(stepMs));
            auto& port = bench.serveTcp(r, static_cast<std::uint16_t>(tcpPort ? tcpPort + i : 0));
            readers.push_back(
                {"tcp" + std::to_string(i), "tcp", &r->reader(), nullptr, port.address()});
        }
        for (long i = 0; i < serialCount; ++i) {
            auto r = std::make_shared<sim::orb::SerialOrbReader>();
            r->reader().setStepDelay(sim::Millis(stepMs));
            auto& pty = bench.servePty(r);
            readers.push_back({"serial" + std::to_string(i), "serial", &r->reader(), nullptr,
                               "PORT=" + pty.slavePath() + ",BAUDRATE=115200"});
        }
        for (long i = 0; i < swipeCount; ++i) {
            char serial[32];
            std::snprintf(serial, sizeof serial, "SIMSW0019%07ld", i + 1);
            auto r = std::make_shared<sim::swipe::SwipeHidDevice>(0x0019, serial);
            bench.attachHid(r);
            swipeReaders.push_back({"swipe" + std::to_string(i), r, nullptr});
        }
        for (long i = 0; i < swipeSerialCount; ++i) {
            char serial[32];
            std::snprintf(serial, sizeof serial, "SIMSWS019%07ld", i + 1);
            swipeReaders.push_back(
                {"swserial" + std::to_string(i), nullptr,
                 std::make_shared<sim::swipe::SerialSwipeReader>(
                     sim::swipe::swipeModel(0x0019), serial, sim::swipe::LineFormat::Slip)});
        }
        const std::string socketPath = bench.hid().socketPath();
        list(readers, socketPath);
        std::printf("ready\n");
        std::fflush(stdout);

        std::string pending;
        bool stdinOpen = true;
        for (;;) {
            pollfd fds[2] = {{sigfd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
            int n = ::poll(fds, stdinOpen ? 2 : 1, -1);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            if (fds[0].revents & POLLIN) {
                signalfd_siginfo info;
                if (::read(sigfd, &info, sizeof info) == sizeof info && info.ssi_signo != SIGPIPE)
                    break;
            }
            if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
                char buf[512];
                ssize_t r = ::read(STDIN_FILENO, buf, sizeof buf);
                if (r <= 0) {
                    stdinOpen = false;  // no more commands; signals still stop the program
                    continue;
                }
                pending.append(buf, static_cast<std::size_t>(r));
                bool quit = false;
                for (std::size_t nl; !quit && (nl = pending.find('\n')) != std::string::npos;) {
                    std::string line = pending.substr(0, nl);
                    pending.erase(0, nl + 1);
                    quit = !command(line, readers, bench, socketPath);
                }
                if (quit) break;
            }
        }
        swipeReaders.clear();  // before the bench they are attached to
        std::printf("stopping\n");
        std::fflush(stdout);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessera-sim: %s\n", e.what());
        return 1;
    }
    ::close(sigfd);
    std::printf("stopped\n");
    return 0;
}
