// dspctl's command line and its MP.bin files.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "MpBinFile.h"
#include "MpBinText.h"
#include "Options.h"

namespace {

struct ParseResult {
    bool ok;
    Options options;
    std::string message;
};

ParseResult parse(std::vector<std::string> args) {
    args.insert(args.begin(), "dspctl");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    ParseResult result;
    result.ok =
        parseOptions(static_cast<int>(args.size()), argv.data(), &result.options, &result.message);
    return result;
}

TEST(DspctlOptionsTest, FormsAndTheirSettings) {
    const struct {
        std::vector<std::string> args;
        Options::Mode mode;
        std::string device;
        int baud;
        int timeoutMs;
        std::vector<std::string> words;
    } cases[] = {
        {{}, Options::kConsole, "/dev/ttyUSB0", 115200, 2000, {}},
        {{"status"}, Options::kCommand, "/dev/ttyUSB0", 115200, 2000, {"status"}},
        {{"-d", "/dev/ttyS3", "-b", "9600", "-t", "0.25", "vol", "40"},
         Options::kCommand,
         "/dev/ttyS3",
         9600,
         250,
         {"vol", "40"}},
        // Options after the first word belong to the command.
        {{"getmp", "--ext", "-o", "x.bin"},
         Options::kCommand,
         "/dev/ttyUSB0",
         115200,
         2000,
         {"getmp", "--ext", "-o", "x.bin"}},
        {{"sync", "-t", "9"}, Options::kCommand, "/dev/ttyUSB0", 115200, 2000, {"sync", "-t", "9"}},
        {{"-f", "-"}, Options::kConsole, "/dev/ttyUSB0", 115200, 2000, {}},
        {{"sim", "-t", "3", "--dspd", "/x/dspd", "--log", "l.txt"},
         Options::kSim,
         "/dev/ttyUSB0",
         115200,
         3000,
         {}},
        {{"--help"}, Options::kHelp, "/dev/ttyUSB0", 115200, 2000, {}},
    };
    for (const auto& c : cases) {
        const ParseResult r = parse(c.args);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(c.mode, r.options.mode);
        EXPECT_EQ(c.device, r.options.device);
        EXPECT_EQ(c.baud, r.options.baud);
        EXPECT_EQ(c.timeoutMs, r.options.timeoutMs);
        EXPECT_EQ(c.words, r.options.words);
    }
    const ParseResult sim = parse({"sim", "--dspd", "/x/dspd", "--log", "l.txt", "-f", "b.txt"});
    EXPECT_EQ("/x/dspd", sim.options.server);
    EXPECT_EQ("l.txt", sim.options.logPath);
    EXPECT_EQ("b.txt", sim.options.batchFile);
}

TEST(DspctlOptionsTest, RefusesWhatItCannotCarryOut) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"-b", "12345", "status"}, "unsupported speed"},
        {{"-b", "115200x", "status"}, "unsupported speed"},
        {{"-t", "0", "status"}, "bad timeout"},
        {{"-t", "-1", "status"}, "bad timeout"},
        {{"-t", "nan", "status"}, "bad timeout"},
        {{"-t", "3601", "status"}, "bad timeout"},
        {{"-d"}, "needs a value"},
        {{"--bogus"}, "unknown option"},
        {{"-f", "b.txt", "status"}, "not both"},
        {{"sim", "status"}, "no command words"},
        {{"sim", "-d", "/dev/ttyS1"}, "unknown option"},
        {{"--dspd", "x"}, "unknown option"},
    };
    for (const auto& c : cases) {
        const ParseResult r = parse(c.args);
        EXPECT_FALSE(r.ok) << c.args.front();
        EXPECT_NE(std::string::npos, r.message.find(c.message)) << r.message;
    }
}

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/dspctl-test-XXXXXX";
        if (mkdtemp(name) != nullptr) path = name;
    }
    ~TempDir() {
        if (!path.empty()) {
            const std::string command = "rm -rf '" + path + "'";
            EXPECT_EQ(0, system(command.c_str()));
        }
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        DIR* d = opendir(path.c_str());
        if (d == nullptr) return names;
        while (const dirent* entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string path;
};

std::string pattern(size_t n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes += static_cast<char>((i * 37 + 11) & 0xFF);
    return bytes;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(DspctlMpBinFileTest, OnlyTheTwoBlobSizesAreRead) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    for (size_t size : {0u, 1u, 295u, 296u, 297u, 2559u, 2560u, 2561u, 9000u}) {
        const std::string path = dir.file("blob" + std::to_string(size));
        writeFile(path, pattern(size));
        std::string blob = "left over";
        std::string message;
        const int error = readMpBinFile(path, &blob, &message);
        if (size == 296 || size == 2560) {
            EXPECT_EQ(0, error) << size << ": " << message;
            EXPECT_EQ(pattern(size), blob);
        } else {
            EXPECT_EQ(EINVAL, error) << size;
            EXPECT_EQ("", blob) << size;
            EXPECT_NE(std::string::npos, message.find("296 (standard) or 2560 (extended)"))
                << message;
        }
    }
    std::string blob;
    std::string message;
    EXPECT_EQ(ENOENT, readMpBinFile(dir.file("missing"), &blob, &message));
    EXPECT_NE(std::string::npos, message.find("missing")) << message;
}

TEST(DspctlMpBinFileTest, TheCommandLineParsesBackToTheSameBytes) {
    for (size_t size : {296u, 2560u}) {
        const std::string blob = pattern(size);
        const std::string line = mpBinCommandLine(blob);
        const std::string head = "dsp mpbin " + std::to_string(size) + " ";
        ASSERT_EQ(head, line.substr(0, head.size()));
        ASSERT_EQ('\n', line.back());
        // 2560 fields of two digits and 2559 colons: the longest line there is.
        EXPECT_EQ(head.size() + size * 3 - 1 + 1, line.size());
        const std::string data = line.substr(head.size(), line.size() - head.size() - 1);
        std::vector<uint8_t> parsed(size);
        const MpBinTextResult result =
            parseMpBinText(data.data(), data.size(), parsed.data(), static_cast<int>(size));
        ASSERT_EQ(MpBinTextResult::kOk, result.status);
        ASSERT_EQ(static_cast<int>(size), result.fields);
        EXPECT_EQ(blob, std::string(parsed.begin(), parsed.end()));
    }
    EXPECT_EQ(7695u, mpBinCommandLine(pattern(2560)).size());
}

TEST(DspctlMpBinFileTest, AFailedWriteLeavesNoFileBehind) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    std::string message;
    const std::string path = dir.file("out.bin");
    ASSERT_EQ(0, writeMpBinFile(path, pattern(296), &message)) << message;
    std::string back;
    ASSERT_EQ(0, readMpBinFile(path, &back, &message)) << message;
    EXPECT_EQ(pattern(296), back);

    EXPECT_NE(0, writeMpBinFile(dir.file("no/such/dir/out.bin"), pattern(296), &message));
    EXPECT_NE(std::string::npos, message.find("no/such/dir")) << message;
    // A directory in the way: the blob is written beside it, and the rename fails.
    const std::string blocked = dir.file("blocked");
    ASSERT_EQ(0, mkdir(blocked.c_str(), 0755));
    ASSERT_EQ(0, mkdir((blocked + "/inside").c_str(), 0755));
    EXPECT_NE(0, writeMpBinFile(blocked, pattern(296), &message));
    EXPECT_EQ((std::vector<std::string>{"blocked", "out.bin"}), dir.entries());
}

}  // namespace
