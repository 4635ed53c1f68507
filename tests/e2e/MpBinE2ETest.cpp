// MP.bin written as text and read back as frames on the real dspd, byte for
// byte as a peer sees them.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <string>

#include "DspHarness.h"
#include "PtyServer.h"

namespace {

std::string blobOf(size_t size, unsigned seed) {
    std::string blob;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        blob += static_cast<char>(seed >> 16);
    }
    return blob;
}

// The blob as one data word of two-digit fields in the given case.
std::string textOf(const std::string& blob, const char* format) {
    std::string text;
    for (size_t i = 0; i < blob.size(); ++i) {
        char field[4];
        std::snprintf(field, sizeof field, format, static_cast<unsigned char>(blob[i]));
        text += (i == 0 ? "" : ":") + std::string(field);
    }
    return text;
}

TEST(MpBinE2ETest, BlobsWrittenAsTextComeBackAsFramesBeforeOk) {
    const struct {
        size_t size;
        const char* format;
        const char* getLine;
        std::string header;
    } cases[] = {
        {296, "%02x", "dsp getmp\n", std::string("\x00\x00\x01\x28", 4)},
        {2560, "%02X", "dsp getmp ext\n", std::string("\x00\x00\x0A\x00", 4)},
    };
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    for (const auto& c : cases) {
        const std::string blob = blobOf(c.size, static_cast<unsigned>(c.size));
        const std::string line =
            "dsp mpbin " + std::to_string(c.size) + " " + textOf(blob, c.format) + "\n";
        ASSERT_LE(line.size(), 8191u);  // one line of the worker's buffer
        EXPECT_EQ(kOkReply, server.request(line, 5)) << c.size;
        EXPECT_EQ(c.header + blob + kOkReply, server.request(c.getLine, c.size + 4 + 5)) << c.size;
        EXPECT_EQ("", server.readQuiet(200)) << c.size;
    }
    EXPECT_EQ(0, server.stop(SIGTERM));
}

TEST(MpBinE2ETest, FailedReadSendsFailAlone) {
    PtyServer::Options options;
    options.env["DSPD_SIM_FAIL"] = "getMpBin";
    PtyServer server(options);
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_EQ(kFailReply, server.request("dsp getmp\n", 7));
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_TRUE(server.waitErr("ERR: get MP.bin failed\n"));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

}  // namespace
