// Helpers for table-driven tests of the DSP items: the path a command line
// takes (reply, service calls, the one ERR line) and the little-endian bytes
// a record is expected to carry.
#ifndef TESTS_SUPPORT_ITEM_TABLES_H
#define TESTS_SUPPORT_ITEM_TABLES_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "DspHarness.h"

// Expected record bytes, written field by field at explicit offsets.
class Bytes {
public:
    Bytes& u8(uint32_t v) { return put(v, 1); }
    Bytes& u16(uint32_t v) { return put(v, 2); }
    Bytes& u32(uint32_t v) { return put(v, 4); }
    Bytes& f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return put(bits, 4);
    }
    Bytes& zeros(size_t n) {
        mData.insert(mData.end(), n, 0);
        return *this;
    }
    const std::vector<uint8_t>& data() const { return mData; }

private:
    Bytes& put(uint32_t v, int size) {
        for (int i = 0; i < size; ++i) {
            mData.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
        return *this;
    }
    std::vector<uint8_t> mData;
};

template <typename T>
std::vector<uint8_t> bytesOf(const T& record) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&record);
    return std::vector<uint8_t>(p, p + sizeof record);
}

// A command that succeeds and the one call it makes to `op`: a record
// (`bytes`) or arguments by value (`ints`, `reals`).
struct CallCase {
    std::string text;  // after "dsp"
    std::vector<uint8_t> bytes = {};
    std::vector<int64_t> ints = {};
    std::vector<double> reals = {};
};

inline void expectCalls(DspHarness& dsp, const char* op, const std::vector<CallCase>& cases) {
    for (const CallCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(kOkReply, dsp.run(c.text).bytes);
        const std::vector<audiosim::Call> calls = dsp.callRecords();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(op, calls[0].op);
        EXPECT_EQ(c.bytes, calls[0].bytes);
        EXPECT_EQ(c.ints, calls[0].ints);
        EXPECT_EQ(c.reals, calls[0].reals);
        EXPECT_FALSE(dsp.logged("ERR"));
    }
}

// One command line and the path it must take.
struct PathCase {
    std::string text;                // after "dsp"
    const char* failing;             // operation made to fail, or nullptr
    std::vector<std::string> calls;  // service operations made, in order
    const char* error;               // the one ERR message; nullptr: "[ok]"
};

// Runs `c` and checks the reply, the calls and that exactly one ERR line,
// from the item, carries the expected message (none on success).
inline void expectPath(DspHarness& dsp, const PathCase& c) {
    SCOPED_TRACE(c.text);
    if (c.failing != nullptr) {
        ASSERT_TRUE(dsp.service().setFailing(c.failing));
    }
    const DspHarness::Result r = dsp.run(c.text);
    if (c.failing != nullptr) {
        dsp.service().setFailing(c.failing, false);
    }
    EXPECT_EQ(c.error != nullptr ? kFailReply : kOkReply, r.bytes);
    EXPECT_EQ(c.calls, dsp.calls());
    std::vector<std::string> errors;
    for (const std::string& line : dsp.log()) {
        if (line.find("ERR: ") != std::string::npos) {
            errors.push_back(line);
        }
    }
    if (c.error == nullptr) {
        EXPECT_TRUE(errors.empty()) << errors.front();
        return;
    }
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(0u, errors[0].find("<3>[ AudioCommand exec_i ")) << errors[0];
    const std::string tail = std::string("] ERR: ") + c.error;
    EXPECT_EQ(errors[0].size() - tail.size(), errors[0].rfind(tail)) << errors[0];
}

inline void expectPaths(DspHarness& dsp, const std::vector<PathCase>& cases) {
    for (const PathCase& c : cases) {
        expectPath(dsp, c);
    }
}

#endif  // TESTS_SUPPORT_ITEM_TABLES_H
