// Loading of the device libraries at start-up and the loader underneath. The libraries are
// opened by relative path during static initialisation, so each case starts a small probe
// program (linked like libtessera) in a prepared directory and reads what it found.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "SdkAccess.h"

using namespace TESSERA;
namespace fs = std::filesystem;

namespace {

// Runs the probe in dir and returns its report.
std::string probeIn(const fs::path& dir) {
    const std::string command = "cd '" + dir.string() + "' && '" SDK_LOAD_PROBE "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "popen failed";
    std::string output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    const int status = pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "probe failed: " + output;
    const auto start = output.find("loaded:");
    if (start == std::string::npos) return "no report: " + output;
    return output.substr(start, output.find('\n', start) - start);
}

class ScratchDir {
  public:
    ScratchDir() {
        char pattern[] = "/tmp/tessera_load_XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    void link(const char* name) {
        fs::create_symlink(fs::path(SDK_LIBRARY_DIR) / name, path_ / name);
    }

  private:
    fs::path path_;
};

}  // namespace

TEST(DeviceLibraries, LoadedFromTheWorkingDirectoryOnly) {
    const struct {
        const char* name;
        bool strix;
        bool orbdev;
        const char* expected;
    } cases[] = {
        {"neither", false, false, "loaded: strix=0 orbdev=0"},
        {"swipe only", true, false, "loaded: strix=1 orbdev=0"},
        {"message-schema only", false, true, "loaded: strix=0 orbdev=1"},
        {"both", true, true, "loaded: strix=1 orbdev=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        if (c.strix) dir.link("libstrix.so");
        if (c.orbdev) dir.link("liborbdev.so");
        EXPECT_EQ(probeIn(dir.path()), c.expected);
    }
}

TEST(DeviceLibraries, AFileThatIsNoLibraryLeavesTheFamilyEmpty) {
    ScratchDir dir;
    std::ofstream(dir.path() / "libstrix.so") << "not a shared object";
    dir.link("liborbdev.so");
    EXPECT_EQ(probeIn(dir.path()), "loaded: strix=0 orbdev=1");
}

TEST(SdkAccess, LooksUpExportsOfALoadedLibraryOnly) {
    SdkAccess unloaded;
    EXPECT_FALSE(unloaded.IsInitialized());
    EXPECT_EQ(unloaded.GetFunction("strlen"), nullptr);

    SdkAccess missing;
    EXPECT_FALSE(missing.Initialize("./no_such_library.so"));
    EXPECT_FALSE(missing.IsInitialized());
    EXPECT_EQ(missing.GetFunction("strlen"), nullptr);

    SdkAccess libc;
    ASSERT_TRUE(libc.Initialize("libc.so.6"));
    EXPECT_TRUE(libc.IsInitialized());
    using Strlen = size_t (*)(const char*);
    auto strlenFn = reinterpret_cast<Strlen>(libc.GetFunction("strlen"));
    ASSERT_NE(strlenFn, nullptr);
    EXPECT_EQ(strlenFn("four"), 4u);
    EXPECT_EQ(libc.GetFunction(""), nullptr);
    EXPECT_EQ(libc.GetFunction("no_such_function_anywhere"), nullptr);
}
