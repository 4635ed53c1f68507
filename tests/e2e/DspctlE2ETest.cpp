// dspctl as a script runs it: the real dspd on a pseudo-terminal, joined to
// the port dspctl opens by a relay (a null-modem cable), every outcome told
// by dspctl's exit status and output. "dspctl sim" starts its own server.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"
#include "PtyCable.h"
#include "PtyServer.h"
#include "ReplyReader.h"
#include "SerialPort.h"
#include "ToolProcess.h"

extern char** environ;

namespace {

using namespace std::string_literals;

// The real server and the cable to the port dspctl opens.
class Bench {
public:
    explicit Bench(const PtyServer::Options& options = PtyServer::Options())
        : server(options), cable(server.masterFd()) {}

    bool ok() const { return server.ok() && cable.ok(); }

    // dspctl on the cable's port with a reply timeout of `timeout` seconds.
    ToolResult dspctl(const std::vector<std::string>& words, const std::string& timeout = "5",
                      const std::string& input = std::string()) {
        std::vector<std::string> args = {"-d", cable.peerPath(), "-t", timeout};
        args.insert(args.end(), words.begin(), words.end());
        return runTool(DSPCTL_BINARY, args, input);
    }

    PtyServer server;
    PtyCable cable;
};

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/dspctl-e2e-XXXXXX";
        if (mkdtemp(name) != nullptr) path = name;
    }
    ~TempDir() {
        if (!path.empty()) {
            EXPECT_EQ(0, system(("rm -rf '" + path + "'").c_str()));
        }
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string randomBlob(size_t size, unsigned seed) {
    std::string blob;
    for (size_t i = 0; i < size; ++i) blob += static_cast<char>(rand_r(&seed) & 0xFF);
    return blob;
}

std::string context(const ToolResult& r) { return "out:\n" + r.out + "\nerr:\n" + r.err; }

TEST(DspctlE2ETest, ExitStatusTellsEachOutcome) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    TempDir dir;
    const struct {
        std::vector<std::string> words;
        std::string timeout;
        int status;
        std::string out;  // expected standard output, or a part of it when `part`
        bool part;
        std::string err;  // a part of standard error
    } cases[] = {
        {{"status"}, "5", 0, "[ok]\n", false, ""},
        {{"dsp", "vol", "40"}, "5", 0, "[ok]\n", false, ""},
        {{"vol"}, "5", 1, "[fail]\n", false, ""},
        {{"cvol", "6", "1"}, "5", 1, "[fail]\n", false, ""},
        {{"foo"}, "0.3", 2, "", false, "no reply within 0.3 s"},
        {{"dsp"}, "5", 64, "", false, "no command given"},
        {{"sync", "--table"}, "5", 64, "", false, "takes --json or --raw"},
        {{"getmp", "-o"}, "5", 64, "", false, "getmp takes"},
        {{"mpbin", dir.file("missing.bin")}, "5", 6, "", false, "nothing sent"},
        {{"getmp"},
         "5",
         0,
         "frame: 296 bytes\n00000000  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  "
         "|................|\n",
         true,
         ""},
        {{"getmp", "ext"}, "5", 0, "frame: 2560 bytes\n", true, ""},
    };
    for (const auto& c : cases) {
        const ToolResult r = bench.dspctl(c.words, c.timeout);
        EXPECT_EQ(c.status, r.status) << c.words.front() << "\n" << context(r);
        if (c.part) {
            EXPECT_EQ(0u, r.out.find(c.out)) << context(r);
        } else {
            EXPECT_EQ(c.out, r.out) << c.words.front();
        }
        EXPECT_NE(std::string::npos, r.err.find(c.err)) << context(r);
    }
    // The frame's dump ends with the last of its 296 bytes, then the reply.
    const ToolResult frame = bench.dspctl({"getmp"});
    EXPECT_NE(std::string::npos, frame.out.find("\n00000120  00 00 00 00 00 00 00 00" +
                                                std::string(27, ' ') + "|........|\n[ok]\n"))
        << frame.out;
    EXPECT_EQ(0, bench.server.stop(SIGTERM));
}

TEST(DspctlE2ETest, PortErrors) {
    const ToolResult missing = runTool(DSPCTL_BINARY, {"-d", "/nonexistent/tty", "status"});
    EXPECT_EQ(5, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("cannot open /nonexistent/tty")) << missing.err;

    const ToolResult notTty = runTool(DSPCTL_BINARY, {"-d", "/dev/null", "status"});
    EXPECT_EQ(5, notTty.status);
    EXPECT_NE(std::string::npos, notTty.err.find("not a serial port")) << notTty.err;

    const ToolResult usage = runTool(DSPCTL_BINARY, {"-b", "1234", "status"});
    EXPECT_EQ(64, usage.status);
}

TEST(DspctlE2ETest, OnlyOneProgramHoldsThePort) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    {
        SerialPort holder;
        std::string message;
        ASSERT_EQ(0, holder.open(bench.cable.peerPath(), 115200, &message)) << message;
        const ToolResult busy = bench.dspctl({"status"});
        EXPECT_EQ(5, busy.status);
        EXPECT_NE(std::string::npos, busy.err.find("in use by another dspctl")) << busy.err;
    }
    const ToolResult released = bench.dspctl({"status"});
    EXPECT_EQ(0, released.status) << context(released);
}

TEST(DspctlE2ETest, SyncAsJsonForValuesSetByCommands) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    for (const char* line : {"vol 40", "spk 2", "cvol 2 7", "delay 1 -1.25", "eq gain 3 -3.5 2",
                             "eq cf 7 70000 2", "ftr 4 1 2 3 4 -1 6", "loud 1 2 3",
                             "bteq gain 1 -0.5 3", "bq gain 19 -3.5 5", "bq phase 19 -9 5"}) {
        std::istringstream words(line);
        std::vector<std::string> list;
        for (std::string w; words >> w;) list.push_back(w);
        const ToolResult r = bench.dspctl(list);
        ASSERT_EQ(0, r.status) << line << "\n" << context(r);
    }
    const ToolResult r = bench.dspctl({"sync", "--json"});
    ASSERT_EQ(0, r.status) << context(r);
    EXPECT_EQ("", r.err);
    const std::string zeros4 = "0.000000, 0.000000, 0.000000, 0.000000";
    for (
        const std::string& part : {
            "{\n  \"report\": \"sync\",\n  \"complete\": true,\n  \"tag\": \"A0101\",\n"s,
            "\"vol\": {\n    \"layout\": 2,\n    \"master\": 40,\n    \"gain\": [0, 0, 7, 0, 0, 0]\n  }"s,
            "\"delay\": [0.000000, -1.250000, 0.000000, 0.000000, 0.000000, 0.000000]"s,
            // Channel 2's equalizer: cf of band 7 keeps its low 16 bits.
            "\"cf\": [63, 125, 250, 500, 1000, 2000, 4000, 4464],\n      \"q\": [1, 1, 1, 1, 1, "
            "1, 1, 1],\n      \"gain\": [0.000000, 0.000000, 0.000000, -3.500000, " +
                zeros4 + "]"s,
            "{\"value1\": 1, \"value2\": 2, \"value3\": 3, \"value4\": 4, \"value5\": -1, "
            "\"value6\": 6}"s,
            "\"loud\": {\"value1\": 1, \"value2\": 2, \"value3\": 3}"s,
            "{\n      \"cf\": [100, 10000],\n      \"gain\": [0.000000, -0.500000]\n    }"s,
            // The last band of the last channel closes the document.
            "{\"type\": 0, \"cf\": 1000, \"gain\": -3.500000, \"q\": 0.707000, \"method\": 0, "
            "\"slope\": 0, \"phase\": -9}\n    ]\n  ]\n}\n"s,
        }) {
        EXPECT_NE(std::string::npos, r.out.find(part)) << part << "\n" << r.out.substr(0, 2000);
    }

    const ToolResult table = bench.dspctl({"sync"});
    ASSERT_EQ(0, table.status) << context(table);
    EXPECT_EQ(0u, table.out.find("sync report A0101 (complete)\nlayout  2 (2.0)\nmaster  40\n"))
        << table.out.substr(0, 500);
    EXPECT_EQ(0, bench.server.stop(SIGTERM));
}

TEST(DspctlE2ETest, HfsyncAsJsonForValuesSetByCommands) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    std::string batch;
    for (const char* line :
         {"hfaec adc MicOpGain 0 12", "hfaec adc MicOpGain 1 12", "hfaec adc MicPgaGain 0 6.5",
          "hfaec adc MicPgaGain 1 -1", "hfaec seq en 1", "hfaec seq gain 0 -3.5",
          "hfaec seq q 0 0.707", "hfaec req cf 3 1200", "hfaec aec pfGainLimitIdx 2",
          "hfaec nr nrAttenIdx 3", "hfaec nlp pfWeightIdx 1", "hfaec nlp cnExecIdx 4",
          "hfaec uplink gain -1.5"}) {
        batch += std::string(line) + "\n";
    }
    // The values go in as a batch from standard input.
    const ToolResult set = bench.dspctl({}, "5", batch);
    ASSERT_EQ(0, set.status) << context(set);
    EXPECT_EQ(13u, static_cast<size_t>(std::count(set.out.begin(), set.out.end(), '['))) << set.out;

    const ToolResult r = bench.dspctl({"hfsync", "--json"});
    ASSERT_EQ(0, r.status) << context(r);
    const std::string ones = "1.000000, 1.000000, 1.000000, 1.000000, 1.000000, 1.000000";
    const std::string zeros = "0.000000, 0.000000, 0.000000, 0.000000, 0.000000, 0.000000";
    EXPECT_EQ(
        "{\n"
        "  \"report\": \"hfsync\",\n"
        "  \"complete\": true,\n"
        "  \"tag\": \"A0101\",\n"
        "  \"opgain\": [12.000000, 12.000000],\n"
        "  \"pgagain\": [6.500000, -1.000000],\n"
        "  \"seq\": {\n"
        "    \"en\": 1,\n"
        "    \"cf\": [100, 250, 500, 1000, 2000, 4000, 8000, 16000],\n"
        "    \"gain\": [-3.500000, 0.000000, " +
            zeros +
            "],\n"
            "    \"q\": [0.707000, 1.000000, " +
            ones +
            "]\n"
            "  },\n"
            "  \"req\": {\n"
            "    \"en\": 0,\n"
            "    \"cf\": [100, 250, 500, 1200, 2000, 4000, 8000, 16000],\n"
            "    \"gain\": [0.000000, 0.000000, " +
            zeros +
            "],\n"
            "    \"q\": [1.000000, 1.000000, " +
            ones +
            "]\n"
            "  },\n"
            "  \"duplex\": 2,\n"
            "  \"nr\": 3,\n"
            "  \"nlp\": {\"pfWeightIdx\": 1, \"cnEstiIdx\": 0, \"cnExecIdx\": 4},\n"
            "  \"uplink\": -1.500000\n"
            "}\n",
        r.out);
    EXPECT_EQ(0, bench.server.stop(SIGTERM));
}

TEST(DspctlE2ETest, ACutReportIsShownAsPartialAndFails) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    // Wide values in three channels' biquad banks push the report past the
    // server's reply capacity.
    for (const char* channel : {"0", "1", "2"}) {
        std::vector<std::string> words = {"bq", "channel", channel};
        for (int band = 0; band < 20; ++band) {
            for (const char* value : {"-2147483648", "65535", "-1e30", "-1e30", "-2147483648",
                                      "-2147483648", "-2147483648"}) {
                words.push_back(value);
            }
        }
        const ToolResult r = bench.dspctl(words);
        ASSERT_EQ(0, r.status) << context(r);
    }
    const ToolResult json = bench.dspctl({"sync", "--json"});
    EXPECT_EQ(3, json.status) << context(json);
    EXPECT_NE(std::string::npos, json.out.find("\"complete\": false,")) << json.out.substr(0, 300);
    EXPECT_NE(std::string::npos, json.err.find("truncated after 8190 bytes")) << json.err;
    // What came before the cut is there: the loudness precedes the biquads.
    EXPECT_NE(std::string::npos, json.out.find("\"loud\": {\"value1\": 0, \"value2\": 0, "
                                               "\"value3\": 0}"));
    EXPECT_NE(std::string::npos, json.out.find("{\"type\": -2147483648, \"cf\": 65535, \"gain\": "
                                               "-1000000015047466219876688855040.000000"));

    const ToolResult table = bench.dspctl({"sync"});
    EXPECT_EQ(3, table.status);
    EXPECT_EQ(0u, table.out.find("sync report A0101 (TRUNCATED")) << table.out.substr(0, 300);

    // The line as it came, cut the same way.
    const ToolResult raw = bench.dspctl({"dsp", "sync", "--raw"});
    EXPECT_EQ(3, raw.status) << context(raw);
    EXPECT_EQ(8191u, raw.out.size());
    EXPECT_EQ(0, bench.server.stop(SIGTERM));
}

TEST(DspctlE2ETest, MpBinFilesGoThroughTheDeviceUnchanged) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    TempDir dir;
    const struct {
        size_t size;
        std::vector<std::string> getmp;
    } cases[] = {{296, {"getmp"}}, {2560, {"getmp", "--ext"}}, {296, {"getmp", "std"}}};
    unsigned seed = 7;
    for (const auto& c : cases) {
        const std::string in = dir.file("in.bin");
        const std::string out = dir.file("out.bin");
        const std::string blob = randomBlob(c.size, ++seed);
        writeFile(in, blob);
        const ToolResult put = bench.dspctl({"mpbin", in});
        ASSERT_EQ(0, put.status) << context(put);
        EXPECT_EQ("[ok]\n", put.out);
        std::vector<std::string> words = c.getmp;
        words.insert(words.end(), {"-o", out});
        const ToolResult get = bench.dspctl(words);
        ASSERT_EQ(0, get.status) << context(get);
        EXPECT_EQ(std::to_string(c.size) + " bytes written to " + out + "\n[ok]\n", get.out);
        EXPECT_EQ(blob, readFile(out)) << c.size;
    }
    // The standard blob stays what was sent last, beside the extended one.
    const ToolResult standard = bench.dspctl({"getmp", "-o", dir.file("again.bin")});
    ASSERT_EQ(0, standard.status);
    EXPECT_EQ(296u, readFile(dir.file("again.bin")).size());
    EXPECT_EQ(readFile(dir.file("in.bin")), readFile(dir.file("again.bin")));
    EXPECT_EQ(0, bench.server.stop(SIGTERM));
}

TEST(DspctlE2ETest, AWrongSizeFileIsRefusedBeforeAnythingIsSent) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    TempDir dir;
    for (size_t size : {0u, 295u, 297u, 2561u}) {
        const std::string path = dir.file("blob.bin");
        writeFile(path, randomBlob(size, 3));
        const ToolResult r = bench.dspctl({"mpbin", path});
        EXPECT_EQ(6, r.status) << size;
        EXPECT_EQ("", r.out);
        EXPECT_NE(std::string::npos, r.err.find("an MP.bin is 296 (standard) or 2560 (extended)"))
            << r.err;
        EXPECT_NE(std::string::npos, r.err.find("nothing sent")) << r.err;
    }
    // The server has dispatched nothing of it: the next line is the first.
    ASSERT_EQ(0, bench.dspctl({"status"}).status);
    ASSERT_TRUE(bench.server.waitOut("dsp status"));
    EXPECT_EQ(0u, bench.server.out().find("dsp status\n")) << bench.server.out();
    EXPECT_EQ(std::string::npos, bench.server.out().find("mpbin"));
    EXPECT_EQ(0, bench.server.stop(SIGTERM));
}

// A peer of our own making on a bare pseudo-terminal: reads one command line
// and answers it with fixed bytes, to show replies no dspd sends.
class FakePeer {
public:
    explicit FakePeer(std::string answer) : mAnswer(std::move(answer)) {
        mThread = std::thread([this] { serve(); });
    }
    ~FakePeer() { mThread.join(); }
    const std::string& path() const { return mPty.path(); }
    std::string line() const { return mLine; }  // after the tool has ended

private:
    void serve() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        char buffer[8192];
        while (mLine.find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            struct pollfd pfd = {mPty.master(), POLLIN, 0};
            if (poll(&pfd, 1, 100) == 1) {
                const ssize_t n = read(mPty.master(), buffer, sizeof buffer);
                if (n > 0) mLine.append(buffer, static_cast<size_t>(n));
            }
        }
        if (write(mPty.master(), mAnswer.data(), mAnswer.size()) !=
            static_cast<ssize_t>(mAnswer.size())) {
            ADD_FAILURE() << "answer not written";
        }
    }

    PseudoTerminal mPty;
    std::string mAnswer;
    std::string mLine;
    std::thread mThread;
};

TEST(DspctlE2ETest, AFrameWhoseHeaderLiesIsMalformedAndNotWritten) {
    TempDir dir;
    const struct {
        const char* name;
        std::string answer;
    } cases[] = {
        {"short", "\0\0\x01\x28"s + std::string(200, 'x')},
        {"long", "\0\0\x01\x28"s + std::string(300, 'x') + "[ok]\0"s},
        {"beyond any blob", "\0\0\x0B\0"s + std::string(2816, 'x') + "[ok]\0"s},
    };
    for (const auto& c : cases) {
        FakePeer peer(c.answer);
        const std::string out = dir.file("out.bin");
        const ToolResult r = runTool(DSPCTL_BINARY, {"-d", peer.path(), "getmp", "-o", out});
        EXPECT_EQ(4, r.status) << c.name << "\n" << context(r);
        EXPECT_NE(std::string::npos, r.err.find("malformed reply: frame")) << r.err;
        EXPECT_NE(0, access(out.c_str(), F_OK)) << c.name;
    }
}

TEST(DspctlE2ETest, BatchFileRunsEveryLineAndReportsTheFirstFailure) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    TempDir dir;
    writeFile(dir.file("batch.txt"), "# set up\nvol 40\n\n  vol  \ndsp status\nfoo\ncvol 1 5\n");
    // The timeout covers every line of the batch, and "foo" waits it out.
    const ToolResult r = bench.dspctl({"-f", dir.file("batch.txt")}, "1");
    EXPECT_EQ(1, r.status) << context(r);
    EXPECT_EQ(
        "dsp> vol 40\n[ok]\ndsp>   vol  \n[fail]\ndsp> dsp status\n[ok]\ndsp> foo\n"
        "dsp> cvol 1 5\n[ok]\n",
        r.out);
    EXPECT_NE(std::string::npos, r.err.find("no reply within 1 s")) << r.err;
    EXPECT_EQ(0, bench.server.stop(SIGTERM));
}

TEST(DspctlE2ETest, SimRunsTheServerForTheConsoleAndStopsIt) {
    TempDir dir;
    const std::string log = dir.file("server.log");
    // No --dspd: the dspd of this build is found beside dspctl.
    const ToolResult r = runTool(DSPCTL_BINARY, {"sim", "--log", log, "-t", "5"},
                                 "dsp status\nvol 40\nhfsync --json\nquit\nvol 50\n");
    EXPECT_EQ(0, r.status) << context(r);
    EXPECT_EQ(0u, r.out.find("dsp> dsp status\n[ok]\ndsp> vol 40\n[ok]\ndsp> hfsync --json\n{\n"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\"uplink\": 0.000000\n}\ndsp> quit\n")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("vol 50"));
    EXPECT_NE(std::string::npos, r.err.find("server log in " + log)) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("dspctl: server stopped\n")) << r.err;
    const std::string logged = readFile(log);
    EXPECT_NE(std::string::npos, logged.find("INF: port ready")) << logged;
    EXPECT_NE(std::string::npos, logged.find("dsp vol 40\n")) << logged;
    EXPECT_EQ(std::string::npos, logged.find("vol 50")) << logged;
}

TEST(DspctlE2ETest, SimPassesInjectedFaultsThrough) {
    TempDir dir;
    const ToolResult r =
        runTool(DSPCTL_BINARY, {"sim", "--dspd", DSPD_BINARY, "--log", dir.file("log")},
                "vol 40\nstatus\n", {{"DSPD_SIM_FAIL", "setMasterVolume"}});
    EXPECT_EQ(1, r.status) << context(r);
    EXPECT_EQ("dsp> vol 40\n[fail]\ndsp> status\n[ok]\n", r.out);
    EXPECT_NE(std::string::npos, readFile(dir.file("log")).find("ERR: setMasterVolume failed"));
}

TEST(DspctlE2ETest, SimWithoutAServerSaysSo) {
    TempDir dir;
    const ToolResult r = runTool(DSPCTL_BINARY, {"sim", "--dspd", dir.file("no-dspd")}, "status\n");
    EXPECT_EQ(5, r.status);
    EXPECT_NE(std::string::npos, r.err.find("cannot start " + dir.file("no-dspd"))) << r.err;
}

// A server that ends before its port is ready, without a word in its log.
TEST(DspctlE2ETest, SimWithAServerThatEndsSilentlySaysSo) {
    const ToolResult r = runTool(DSPCTL_BINARY, {"sim", "--dspd", "/bin/true"}, "status\n");
    EXPECT_EQ(5, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("status 0")) << r.err;
}

// dspd-sim announces the peer port only when the server can take a line:
// a peer that writes the moment it is told loses nothing.
TEST(DspdSimTest, OffersThePeerPortOnlyOnceTheServerIsReady) {
    int out[2];
    ASSERT_EQ(0, pipe2(out, O_CLOEXEC));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char program[] = DSPD_SIM_BINARY;
    char* argv[] = {program, nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    ASSERT_EQ(0, rc);

    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        struct pollfd pfd = {out[0], POLLIN, 0};
        char buffer[256];
        if (poll(&pfd, 1, 100) == 1) {
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<size_t>(n));
        }
    }
    const std::string mark = "peer port ";
    const size_t at = text.find(mark);
    ASSERT_NE(std::string::npos, at) << text;
    const std::string path = text.substr(at + mark.size(), text.find('\n') - at - mark.size());

    {
        SerialPort port;
        std::string message;
        ASSERT_EQ(0, port.open(path, 115200, &message)) << message;
        ASSERT_EQ(0, port.writeAll("dsp status\n"));
        Reply reply;
        ASSERT_EQ(0, ReplyReader(port.fd(), 5000, 200).read(&reply));
        EXPECT_EQ(Reply::kOk, reply.kind) << reply.raw;
    }

    ASSERT_EQ(0, kill(pid, SIGTERM));
    int status = -1;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    close(out[0]);
}

}  // namespace
