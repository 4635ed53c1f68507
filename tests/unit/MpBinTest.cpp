// "mpbin" and "getmp": the hex field rules, the count checks and the frame,
// through the "dsp" group on the simulated service.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "MpBinFrame.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A data word and the bytes it stands for; fields can be rewritten one by one.
struct Blob {
    std::vector<std::string> fields;
    Bytes bytes;

    // `count` two-digit fields of a pattern that differs from field to field.
    explicit Blob(int count) {
        for (int i = 0; i < count; ++i) {
            const uint8_t value = static_cast<uint8_t>(i * 37 + 11);
            char text[3];
            std::snprintf(text, sizeof text, "%02x", value);
            fields.push_back(text);
            bytes.push_back(value);
        }
    }
    Blob& set(size_t index, const std::string& text, uint8_t value) {
        fields[index] = text;
        bytes[index] = value;
        return *this;
    }
    std::string word() const {
        std::string text;
        for (size_t i = 0; i < fields.size(); ++i) {
            text += (i == 0 ? "" : ":") + fields[i];
        }
        return text;
    }
};

std::string mpbin(const std::string& size, const Blob& blob, const std::string& end = "\n") {
    return "mpbin " + size + " " + blob.word() + end;
}

struct SetCase {
    std::string text;  // after "dsp"
    Bytes sent;        // what setMpBin gets; empty: not called
    std::string error;
    std::string warning;
    const char* failing = nullptr;  // operation made to fail
};

void expectSetCase(DspHarness& dsp, const SetCase& c, size_t index) {
    SCOPED_TRACE("case " + std::to_string(index));
    dsp.service().setFailing("setMpBin", c.failing != nullptr);
    EXPECT_EQ(c.error.empty() ? kOkReply : kFailReply, dsp.run(c.text).bytes);
    const std::vector<audiosim::Call> calls = dsp.callRecords();
    ASSERT_EQ(c.sent.empty() ? 0u : 1u, calls.size());
    if (!c.sent.empty()) {
        EXPECT_EQ("setMpBin", calls[0].op);
        EXPECT_EQ(c.sent, calls[0].bytes);
        const int64_t extended = c.sent.size() == 2560 ? 1 : 0;
        EXPECT_EQ((std::vector<int64_t>{static_cast<int64_t>(c.sent.size()), extended}),
                  calls[0].ints);
    }
    EXPECT_EQ(c.error.empty(), !dsp.logged("ERR: "));
    EXPECT_TRUE(c.error.empty() || dsp.logged("ERR: " + c.error)) << c.error;
    EXPECT_EQ(c.warning.empty(), !dsp.logged("WRN: "));
    EXPECT_TRUE(c.warning.empty() || dsp.logged("WRN: " + c.warning)) << c.warning;
}

TEST(MpBinSetTest, FieldRulesCountChecksAndDispatch) {
    const Blob std296(296);
    // A leading ":" gives 00; an empty field repeats the one before ("01::02"),
    // and so does a trailing ":"; a short field leaves nothing of a longer
    // one before it ("12" then "3").
    Blob rules(296);
    const struct {
        size_t index;
        const char* text;
        uint8_t value;
    } fields[] = {{0, "", 0x00},    {1, "01", 0x01}, {2, "", 0x01},   {3, "02", 0x02},
                  {4, "A", 0x0A},   {5, "a", 0x0A},  {6, "0a", 0x0A}, {7, "0A", 0x0A},
                  {8, "G1", 0x00},  {9, "-1", 0xFF}, {10, "", 0xFF},  {11, "+f", 0x0F},
                  {12, "12", 0x12}, {13, "3", 0x03}, {14, "-", 0x00}, {15, "fF", 0xFF},
                  {294, "7", 0x07}, {295, "", 0x07}};
    for (const auto& f : fields) {
        rules.set(f.index, f.text, f.value);
    }
    Blob tail2560(2560);
    tail2560.set(2559, "fE", 0xFE);  // two digits right before the CR
    Blob wide(296);
    wide.set(5, "123", 0);
    Blob signedWide(296);
    signedWide.set(0, "-01", 0);

    const SetCase cases[] = {
        {mpbin("296", std296), std296.bytes, "", ""},
        {mpbin("296", rules), rules.bytes, "", ""},
        {mpbin("2560", tail2560, "\r"), tail2560.bytes, "", ""},  // the CR ends the line
        {mpbin("296", std296, " more words\n"), std296.bytes, "", ""},
        {mpbin("2560", std296), std296.bytes, "", "send len(2560) != data len(296)\n"},
        {mpbin("295", std296), {}, "offset error\n", ""},
        {mpbin("300", Blob(300)), {}, "error data len(300)\n", ""},
        {mpbin("300", Blob(299)), {}, "error data len(299)\n", "send len(300) != data len(299)\n"},
        {mpbin("296", wide), {}, "bad field(5)\n", ""},
        {mpbin("296", signedWide), {}, "bad field(0)\n", ""},
        {"mpbin 2 01:02:0003\n", {}, "bad field(2)\n", ""},  // width before count
        {"mpbin 0 00\n", {}, "bad data size\n", ""},
        {"mpbin 2561 00\n", {}, "bad data size\n", ""},
        {"mpbin x 00\n", {}, "bad data size\n", ""},
        {"mpbin\n", {}, "bad argc number\n", ""},
        {mpbin("296", std296), std296.bytes, "set MP.bin failed\n", "", "setMpBin"},
    };
    DspHarness dsp;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        expectSetCase(dsp, cases[i], i);
    }
}

TEST(MpBinGetTest, SendsTheChosenBlobAsAFrameBeforeOk) {
    const struct {
        const char* text;
        int64_t extended;
    } cases[] = {
        {"getmp\n", 0},         {"getmp ext\n", 1}, {"getmp extension\n", 1},
        {"getmp ext 1 2\n", 1}, {"getmp EXT\n", 0}, {"getmp ex\n", 0},
    };
    DspHarness dsp;
    audiosim::State state = dsp.service().state();
    state.mpBin = Blob(296).bytes;
    state.mpBinExt = Blob(2560).bytes;
    dsp.service().setState(state);
    std::string sent;
    dsp.group().setNotify(&appendTo, &sent);
    for (const auto& c : cases) {
        sent.clear();
        const DspHarness::Result r = dsp.run(c.text);
        EXPECT_EQ(kOkReply, r.bytes) << c.text;
        const Bytes& blob = c.extended == 1 ? state.mpBinExt : state.mpBin;
        EXPECT_EQ(std::string(c.extended == 1 ? "\0\0\x0A\0" : "\0\0\x01\x28", 4) +
                      std::string(blob.begin(), blob.end()),
                  sent)
            << c.text;
        const std::vector<audiosim::Call> calls = dsp.callRecords();
        ASSERT_EQ(1u, calls.size()) << c.text;
        EXPECT_EQ("getMpBin", calls[0].op);
        EXPECT_EQ((std::vector<int64_t>{296, c.extended}), calls[0].ints) << c.text;
    }
}

TEST(MpBinGetTest, FailureSendsNoFrame) {
    DspHarness dsp;
    // No sink: the frame has nowhere to go.
    DspHarness::Result r = dsp.run("getmp\n");
    EXPECT_EQ(kFailReply, r.bytes);
    EXPECT_TRUE(dsp.logged("ERR: no notify function\n"));

    std::string sent;
    dsp.group().setNotify(&appendTo, &sent);
    dsp.service().setFailing("getMpBin");
    r = dsp.run("getmp ext\n");
    EXPECT_EQ(kFailReply, r.bytes);
    EXPECT_TRUE(dsp.logged("ERR: get MP.bin failed\n"));
    EXPECT_EQ("", sent);
}

class MockToolSetting : public AudioToolSetting {
public:
    MOCK_METHOD(int, setMpBin, (const uint8_t*, uint32_t, int32_t), (override));
    MOCK_METHOD(int, getMpBin, (uint8_t*, int32_t*, int32_t), (override));
};

TEST(MpBinFrameTest, HeaderMatchesTheLengthAndOverlongLengthsAreRefused) {
    const struct {
        int32_t length;  // what the service reports
        int result;
        const char* header;
        const char* error;
    } cases[] = {
        {296, 300, "\x00\x00\x01\x28", nullptr},
        {2560, 2564, "\x00\x00\x0A\x00", nullptr},
        {0, 4, "\x00\x00\x00\x00", nullptr},
        {2561, -1, "\xEE\xEE\xEE\xEE", "ERR: bad MP.bin length(2561)\n"},
        {-1, -1, "\xEE\xEE\xEE\xEE", "ERR: bad MP.bin length(-1)\n"},
    };
    for (const auto& c : cases) {
        audiosim::LogCapture log;
        MockToolSetting tool;
        uint8_t frame[kMpBinFrameCapacity];
        std::memset(frame, 0xEE, sizeof frame);
        EXPECT_CALL(tool, getMpBin(frame + 4, testing::_, 1))
            .WillOnce([&](uint8_t*, int32_t* length, int32_t) {
                EXPECT_EQ(296, *length);
                *length = c.length;
                return 0;
            });
        EXPECT_EQ(c.result, readMpBinFrame(tool, 1, frame)) << c.length;
        EXPECT_EQ(std::string(c.header, 4), std::string(reinterpret_cast<char*>(frame), 4))
            << c.length;
        EXPECT_EQ(c.error != nullptr, log.contains("ERR: ")) << c.length;
        if (c.error != nullptr) {
            EXPECT_TRUE(log.contains(c.error)) << c.length;
        }
    }
}

}  // namespace
