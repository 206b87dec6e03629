// The standalone simulator: starts from one command, lists what it offers, serves it and stops
// cleanly on a signal.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>

#include "SimTestSupport.h"
#include "sim/orb/Packets.h"
#include "sim/orb/Wire.h"

extern char** environ;

using namespace simtest;

namespace {

struct Running {
    pid_t pid = -1;
    int out = -1;  // its standard output
    int in = -1;   // its standard input
    std::string text;

    // Reads its output until a line equal to `line` (or the timeout / end of output).
    bool readUntil(const std::string& line, int timeoutMs = 5000) {
        auto deadline = sim::Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (text.find("\n" + line + "\n") == std::string::npos &&
               text.rfind(line + "\n", 0) != 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - sim::Clock::now());
            if (left.count() <= 0) return false;
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            char buf[1024];
            ssize_t n = ::read(out, buf, sizeof buf);
            if (n <= 0) return false;
            text.append(buf, static_cast<std::size_t>(n));
        }
        return true;
    }
    int wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

Running start(std::vector<std::string> args) {
    int outPipe[2], inPipe[2];
    EXPECT_EQ(::pipe(outPipe), 0);
    EXPECT_EQ(::pipe(inPipe), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, inPipe[1]);
    std::vector<char*> argv{const_cast<char*>(TESSERA_SIM_PATH)};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Running r;
    EXPECT_EQ(posix_spawn(&r.pid, TESSERA_SIM_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(inPipe[0]);
    r.out = outPipe[0];
    r.in = inPipe[1];
    return r;
}

// "name kind where..." lines of the listing, by name; and the exported variables.
std::map<std::string, std::string> listing(const std::string& text, std::string& socket) {
    std::map<std::string, std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("export TESSERA_SIM_HID=", 0) == 0) socket = line.substr(23);
        std::istringstream words(line);
        std::string name, kind, where;
        words >> name >> kind >> where;
        if (kind == "usb" || kind == "tcp" || kind == "serial") out[name] = where;
    }
    return out;
}

}  // namespace

TEST(Standalone, ListsItsReadersServesThemAndStopsOnSignal) {
    Running sim = start({"--usb", "2", "--pid", "2024", "--tcp", "1", "--serial", "1"});
    ASSERT_TRUE(sim.readUntil("ready")) << sim.text;
    std::string socket;
    auto readers = listing(sim.text, socket);
    ASSERT_EQ(readers.size(), 4u) << sim.text;
    ASSERT_FALSE(socket.empty());
    EXPECT_NE(sim.text.find("export LD_LIBRARY_PATH="), std::string::npos);

    // USB: both readers on the simulated bus, and they answer.
    ::setenv("TESSERA_SIM_HID", socket.c_str(), 1);
    hid_device_info* list = hid_enumerate(0x2F1A, 0x2024);
    int count = 0;
    for (auto* d = list; d; d = d->next) ++count;
    EXPECT_EQ(count, 2);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(std::string(list->path), readers["usb0"]);
    hid_device* dev = hid_open_path(list->path);
    hid_free_enumeration(list);
    ASSERT_NE(dev, nullptr);
    unsigned char report[65] = {0};
    sim::Bytes packet = sim::orb::cutIntoPackets(sim::orb::buildCommand(0x1F01, 7, {}))[0];
    std::copy(packet.begin(), packet.end(), report + 1);
    ASSERT_EQ(hid_write(dev, report, sizeof report), 65);
    unsigned char in[64];
    ASSERT_EQ(hid_read_timeout(dev, in, sizeof in, 2000), 64);
    sim::orb::PacketAssembler assembler;
    auto response = assembler.feed(sim::Bytes(in, in + 64));
    ASSERT_TRUE(response);
    auto m = sim::orb::parseMessage(*response);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->kind, sim::orb::Kind::Response);
    EXPECT_EQ(m->number, 7);

    // A command on standard input unplugs a reader.
    ASSERT_EQ(::write(sim.in, "unplug usb0\n", 12), 12);
    ASSERT_TRUE(sim.readUntil("unplugged usb0"));
    EXPECT_EQ(hid_read_timeout(dev, in, sizeof in, 2000), -1);
    hid_close(dev);

    // TCP and the terminal are there.
    const std::string& address = readers["tcp0"];
    ASSERT_EQ(address.rfind("tcp://127.0.0.1:", 0), 0u);
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(std::stoi(address.substr(16))));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::close(fd);
    const std::string& serial = readers["serial0"];
    ASSERT_EQ(serial.rfind("PORT=/dev/pts/", 0), 0u) << serial;
    std::string port = serial.substr(5, serial.find(',') - 5);
    int tty = ::open(port.c_str(), O_RDWR | O_NOCTTY);
    EXPECT_GE(tty, 0);
    ::close(tty);

    // SIGTERM stops it cleanly: exit code 0, the bus socket removed.
    ASSERT_EQ(::kill(sim.pid, SIGTERM), 0);
    EXPECT_TRUE(sim.readUntil("stopped"));
    EXPECT_EQ(sim.wait(), 0);
    struct stat st;
    EXPECT_NE(::stat(socket.c_str(), &st), 0);
    EXPECT_EQ(hid_enumerate(0, 0), nullptr);
    ::close(sim.out);
    ::close(sim.in);
}

TEST(Standalone, RejectsBadOptionsAndStopsOnSigint) {
    struct Case {
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {{"--usb", "many"}, 2}, {{"--pid", "1234"}, 2}, {{"--frobnicate"}, 2}, {{"--help"}, 0}};
    for (auto& c : cases) {
        Running r = start(c.args);
        EXPECT_EQ(r.wait(), c.code) << c.args[0];
        ::close(r.out);
        ::close(r.in);
    }
    Running r = start({"--usb", "0", "--tcp", "0", "--serial", "0"});
    ASSERT_TRUE(r.readUntil("ready"));
    ASSERT_EQ(::kill(r.pid, SIGINT), 0);
    EXPECT_EQ(r.wait(), 0);
    ::close(r.out);
    ::close(r.in);
}
