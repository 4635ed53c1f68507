// The worker's read loop allocates nothing per line: the framing, the logs,
// the echo, routing, the simulated service's operations (succeeding, or
// failing by injection) and the reply of commands that need no buffer of
// their own. Runs the real worker, callback and "dsp" group on a
// pseudo-terminal and counts the heap allocations of the worker thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <string_view>
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

// The server's callback, noting the allocation count of the thread that runs
// it (the worker) whenever the mark line comes through. The counts are read
// once the worker has ended.
class SamplingCallback : public UartWorkerCallBack {
public:
    explicit SamplingCallback(Command* root) : mInner(root) { counts.reserve(64); }

    int onCommand(char* line, int len, char* out, int outlen) override {
        // Within the capacity reserved, push_back allocates nothing.
        if (std::string_view(line, len) == kMark && counts.size() < counts.capacity()) {
            counts.push_back(threadAllocations());
        }
        return mInner.onCommand(line, len, out, outlen);
    }
    // Called once the port is open and flushed: from then on nothing sent is lost.
    int setNotify(NotifyFunc fn, void* ctx) override {
        const int result = mInner.setNotify(fn, ctx);
        ready.set_value();
        return result;
    }

    std::promise<void> ready;
    std::vector<unsigned long> counts;

private:
    UartWorkerCallBackImpl mInner;
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
        {"CR LF", {"dsp vol 41\r\n"}, kOkReply},
        {"read and write back", {"dsp cvol 2 120\n"}, kOkReply},
        {"line in two reads", {"dsp st", "atus\n"}, kOkReply},
        {"refused", {"dsp vol\n"}, kFailReply},
        {"unknown item", {"dsp foo 1\n"}, ""},
        {"empty lines", {"\n\r\n"}, ""},
        {"over-long line", {overLong}, ""},
        {"eq", {"dsp eq gain 3 -6.5 1\n"}, kOkReply},
        {"delay", {"dsp delay 5 1.5\n"}, kOkReply},
        {"hf eq", {"dsp hfaec seq gain 2 1.25\n"}, kOkReply},
        {"nlp", {"dsp hfaec nlp cnEstiIdx 8\n"}, kOkReply},
        {"adc", {"dsp hfaec adc MicOpGain 0 12\n"}, kOkReply},
        {"failing", {"dsp sig 1\n"}, kFailReply},
    };

    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    ScopedEnv prefix("DSPD_SERIAL_PREFIX", pty.directory().c_str());
    audiosim::Service::instance().reset();  // recording off, as in a server
    // Set up before the worker starts, since setting up a failure allocates.
    ASSERT_TRUE(audiosim::Service::instance().setFailing("setMainAudioSpeakerTestPattern"));
    Command root;
    root.add(new AudioCommand());
    SamplingCallback callback(&root);
    std::atomic<bool> stopFlag{false};

    // The echo and the log lines cost their writes but stay out of the test's
    // output.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    UartWorker* worker = new UartWorker(&callback, pty.number(), 115200, 8, 1, 'n', &stopFlag);
    const bool ready =
        callback.ready.get_future().wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    // Twice through the table: the first pass meets whatever a first use sets
    // up; the second must allocate nothing.
    for (int pass = 0; ready && pass < 2; ++pass) {
        for (const LineCase& c : cases) {
            for (const std::string& part : c.parts) sendAll(pty.master(), part);
            sendAll(pty.master(), kMark);
            const std::string reply = readFor(pty.master(), c.reply.size() + kOkReply.size());
            EXPECT_EQ(c.reply + kOkReply, reply) << c.name;
        }
    }
    stopFlag = true;
    sendAll(pty.master(), "\n");  // wakes the read at once
    delete worker;
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ready);

    const std::vector<unsigned long>& counts = callback.counts;
    ASSERT_EQ(2 * cases.size(), counts.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        // From the mark before this case to the mark after it, second pass.
        const size_t measured = cases.size() + i;
        EXPECT_EQ(0u, counts[measured] - counts[measured - 1]) << cases[i].name;
    }
}

}  // namespace
