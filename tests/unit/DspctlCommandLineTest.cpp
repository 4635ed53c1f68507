// dspctl's command line and its MP.bin files.
#include <glob.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "MpBinFile.h"
#include "Options.h"
#include "ToolProcess.h"

namespace {

bool parse(std::vector<std::string> args, Options* options, std::string* message) {
    args.insert(args.begin(), "dspctl");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    return parseOptions(static_cast<int>(args.size()), argv.data(), options, message);
}

TEST(DspctlOptionsTest, FormsAndRefusals) {
    const struct {
        std::vector<std::string> args;
        Options::Mode mode;
        int baud;
        int timeoutMs;
        std::vector<std::string> words;
    } forms[] = {
        {{"-b", "9600", "-t", "0.25", "vol", "40"}, Options::kCommand, 9600, 250, {"vol", "40"}},
        // Options after the first word belong to the command.
        {{"sync", "-t", "9"}, Options::kCommand, 115200, 2000, {"sync", "-t", "9"}},
    };
    for (const auto& c : forms) {
        Options options;
        std::string message;
        ASSERT_TRUE(parse(c.args, &options, &message)) << message;
        EXPECT_EQ(c.mode, options.mode) << message;
        EXPECT_EQ(c.baud, options.baud);
        EXPECT_EQ(c.timeoutMs, options.timeoutMs);
        EXPECT_EQ(c.words, options.words);
    }
    const struct {
        std::vector<std::string> args;
        const char* message;
    } refusals[] = {
        {{"-b", "12345", "status"}, "unsupported speed"},
        {{"-t", "0", "status"}, "bad timeout"},
        {{"--bogus"}, "unknown option"},
        {{"-f", "b.txt", "status"}, "not both"},
        {{"sim", "status"}, "no command words"},
    };
    for (const auto& c : refusals) {
        Options options;
        std::string message;
        EXPECT_FALSE(parse(c.args, &options, &message)) << c.message;
        EXPECT_NE(std::string::npos, message.find(c.message)) << message;
    }
}

TEST(DspctlMpBinFileTest, OnlyTheTwoBlobSizesAreRead) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    for (size_t size : {0u, 295u, 296u, 297u, 2559u, 2560u, 2561u}) {
        const std::string path = dir.file("blob" + std::to_string(size));
        writeFile(path, blobOf(size));
        std::string blob = "left over";
        std::string message;
        const int error = readMpBinFile(path, &blob, &message);
        if (size == 296 || size == 2560) {
            EXPECT_EQ(0, error) << size << ": " << message;
            EXPECT_EQ(blobOf(size), blob);
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

TEST(DspctlMpBinFileTest, AFailedWriteLeavesNoFileBehind) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    std::string message;
    // A directory in the way: the blob is written beside it, and the rename fails.
    const std::string blocked = dir.file("blocked");
    ASSERT_EQ(0, mkdir(blocked.c_str(), 0755));
    ASSERT_EQ(0, mkdir((blocked + "/inside").c_str(), 0755));
    EXPECT_NE(0, writeMpBinFile(blocked, blobOf(296), &message));
    EXPECT_NE(std::string::npos, message.find(blocked)) << message;
    glob_t left;
    EXPECT_EQ(GLOB_NOMATCH, glob((blocked + ".*").c_str(), 0, nullptr, &left));
    globfree(&left);
}

}  // namespace
