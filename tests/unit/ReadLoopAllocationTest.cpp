// The worker's read loop allocates nothing per line: the framing, the logs,
// the echo, routing and the reply of commands that need no buffer of their
// own. Runs the real worker, callback and "dsp" group on a pseudo-terminal
// and counts the heap allocations of the worker thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "AudioCommand.h"
#include "Command.h"
#include "DspHarness.h"
#include "PseudoTerminal.h"
#include "SimService.h"
#include "UartWorker.h"
#include "UartWorkerCallBackImpl.h"

namespace {

// Ends every case; its dispatch samples the worker thread's count.
const char kMark[] = "dsp status \n";

// The server's callback, sampling the allocation count of the thread that
// runs it (the worker) whenever the mark line comes through.
class SamplingCallback : public UartWorkerCallBack {
public:
    static constexpr int kMaxMarks = 64;

    explicit SamplingCallback(Command* root) : mInner(root) {}

    int onCommand(char* line, int len, char* out, int outlen) override {
        const int n = mMarks.load(std::memory_order_relaxed);
        if (len == static_cast<int>(sizeof kMark - 1) && std::memcmp(line, kMark, len) == 0 &&
            n < kMaxMarks) {
            mCounts[n] = threadAllocations();
            mMarks.store(n + 1, std::memory_order_release);
        }
        return mInner.onCommand(line, len, out, outlen);
    }
    // Called once the port is open and flushed: from then on nothing sent is lost.
    int setNotify(NotifyFunc fn, void* ctx) override {
        const int result = mInner.setNotify(fn, ctx);
        mReady.set_value();
        return result;
    }
    bool waitReady() {
        return mReady.get_future().wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    }

    // Allocation count of the worker at each mark so far.
    std::vector<unsigned long> counts() const {
        const int n = mMarks.load(std::memory_order_acquire);
        return std::vector<unsigned long>(mCounts, mCounts + n);
    }

private:
    UartWorkerCallBackImpl mInner;
    std::promise<void> mReady;
    std::atomic<int> mMarks{0};
    unsigned long mCounts[kMaxMarks] = {};
};

bool sendAll(int fd, const std::string& bytes) {
    return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

struct LineCase {
    const char* name;
    std::vector<std::string> parts;  // written one after the other
    std::string reply;               // what the port answers before the mark's "[ok]"
};

TEST(ReadLoopAllocationTest, LinesCostNoHeapAllocationOnTheWorkerThread) {
    const std::string overLong = std::string(UartWorker::kBufferSize + 100, 'a') + "\n";
    const std::vector<LineCase> cases = {
        {"status", {"dsp status\n"}, kOkReply},
        {"setting", {"dsp vol 40\n"}, kOkReply},
        {"CR LF", {"dsp vol 41\r\n"}, kOkReply},
        {"read and write back", {"dsp cvol 2 120\n"}, kOkReply},
        {"line in two reads", {"dsp st", "atus\n"}, kOkReply},
        {"refused", {"dsp vol\n"}, kFailReply},
        {"unknown item", {"dsp foo 1\n"}, ""},
        {"empty lines", {"\n\r\n"}, ""},
        {"over-long line", {overLong}, ""},
    };

    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    ScopedEnv prefix("DSPD_SERIAL_PREFIX", pty.directory().c_str());
    audiosim::Service::instance().reset();  // recording off, as in a server
    Command root;
    root.add(new AudioCommand());
    SamplingCallback callback(&root);
    std::atomic<bool> stopFlag{false};

    std::vector<std::string> replies;
    bool ready = false;
    {
        // The echo and the log lines cost their writes but stay out of the
        // test's output.
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        UartWorker* worker = new UartWorker(&callback, pty.number(), 115200, 8, 1, 'n', &stopFlag);
        ready = callback.waitReady();
        // Twice through the table: the first pass meets whatever a first use
        // sets up; the second must allocate nothing.
        for (int pass = 0; ready && pass < 2; ++pass) {
            for (const LineCase& c : cases) {
                for (const std::string& part : c.parts) {
                    sendAll(pty.master(), part);
                }
                sendAll(pty.master(), kMark);
                replies.push_back(readFor(pty.master(), c.reply.size() + kOkReply.size()));
            }
        }
        stopFlag = true;
        sendAll(pty.master(), "\n");  // wakes the read at once
        delete worker;
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
    }
    ASSERT_TRUE(ready);

    const std::vector<unsigned long> counts = callback.counts();
    ASSERT_EQ(2 * cases.size(), counts.size());
    ASSERT_EQ(2 * cases.size(), replies.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const size_t measured = cases.size() + i;
        EXPECT_EQ(cases[i].reply + kOkReply, replies[measured]);
        // From the mark before this case to the mark after it.
        EXPECT_EQ(0u, counts[measured] - counts[measured - 1]);
    }
}

}  // namespace
