// dspctl as a script runs it: the real dspd on a pseudo-terminal, joined to
// the port dspctl opens by a null-modem cable, each family of outcome told
// once by exit status and output. "dspctl sim" starts its own server.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <future>
#include <string>
#include <vector>

#include "PseudoTerminal.h"
#include "PtyServer.h"
#include "ReplyReader.h"
#include "SerialPort.h"
#include "ToolProcess.h"

namespace {

using namespace std::string_literals;

// The real server and the cable to the port dspctl opens.
struct Bench {
    bool ok() const { return server.ok() && cable.ok(); }

    // dspctl on the cable's port; a "-t" among the options overrides the timeout.
    ToolResult dspctl(std::vector<std::string> words, const std::string& input = "") {
        words.insert(words.begin(), {"-d", cable.peerPath(), "-t", "5"});
        return runTool(DSPCTL_BINARY, words, input);
    }

    PtyServer server;
    PtyCable cable{server.masterFd()};
    TempDir dir;
};

std::string context(const ToolResult& r) { return "out:\n" + r.out + "\nerr:\n" + r.err; }

TEST(DspctlE2ETest, ExitStatusTellsEachOutcome) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    writeFile(bench.dir.file("wrong.bin"), blobOf(297));
    const struct {
        std::vector<std::string> words;
        int status;
        std::string out;
        std::string err;  // a part of standard error
    } cases[] = {
        {{"mpbin", bench.dir.file("wrong.bin")}, 6, "", "2560 (extended) bytes; nothing sent"},
        {{"dsp", "vol", "40"}, 0, "[ok]\n", ""},
        {{"vol"}, 1, "[fail]\n", ""},
        {{"-t", "0.3", "foo"}, 2, "", "no reply within 0.3 s"},
        {{"dsp"}, 64, "", "no command given"},
        {{"-b", "1234", "status"}, 64, "", "unsupported speed"},
    };
    for (const auto& c : cases) {
        const ToolResult r = bench.dspctl(c.words);
        EXPECT_EQ(c.status, r.status) << c.words.back() << "\n" << context(r);
        EXPECT_EQ(c.out, r.out) << c.words.back();
        EXPECT_NE(std::string::npos, r.err.find(c.err)) << context(r);
    }
    // The wrong-sized blob never reached the server: its first line is the next one.
    ASSERT_TRUE(bench.server.waitOut("dsp vol 40"));
    EXPECT_EQ(0u, bench.server.out().find("dsp vol 40\n")) << bench.server.out();

    // A frame is shown as a dump that ends with its last byte, then the reply.
    const ToolResult dump = bench.dspctl({"getmp"});
    EXPECT_EQ(0, dump.status) << context(dump);
    const std::string zeros8 = "00 00 00 00 00 00 00 00";
    EXPECT_EQ(0u, dump.out.find("frame: 296 bytes\n00000000  " + zeros8 + "  " + zeros8 +
                                "  |................|\n"))
        << dump.out;
    EXPECT_NE(std::string::npos,
              dump.out.find("\n00000120  " + zeros8 + std::string(27, ' ') + "|........|\n[ok]\n"))
        << dump.out;

    // A batch runs every line and exits with the first status that was not 0.
    writeFile(bench.dir.file("batch.txt"), "# set up\nvol 40\n\n  vol  \nfoo\ncvol 1 5\n");
    const ToolResult batch = bench.dspctl({"-t", "1", "-f", bench.dir.file("batch.txt")});
    EXPECT_EQ(1, batch.status) << context(batch);
    EXPECT_EQ("dsp> vol 40\n[ok]\ndsp>   vol  \n[fail]\ndsp> foo\ndsp> cvol 1 5\n[ok]\n",
              batch.out);
    EXPECT_NE(std::string::npos, batch.err.find("no reply within 1 s")) << batch.err;
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

TEST(DspctlE2ETest, ReportsAsJsonForValuesSetByCommands) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    // The values go in as a batch from standard input.
    const ToolResult set = bench.dspctl(
        {},
        "vol 40\nspk 2\ncvol 2 7\ndelay 1 -1.25\neq gain 3 -3.5 2\neq cf 7 70000 2\n"
        "ftr 4 1 2 3 4 -1 6\nloud 1 2 3\nbteq gain 1 -0.5 3\nbq gain 19 -3.5 5\nbq phase 19 -9 5\n"
        "hfaec adc MicOpGain 0 12\nhfaec adc MicOpGain 1 12\nhfaec adc MicPgaGain 0 6.5\n"
        "hfaec adc MicPgaGain 1 -1\nhfaec seq en 1\nhfaec seq gain 0 -3.5\nhfaec seq q 0 0.707\n"
        "hfaec req cf 3 1200\nhfaec aec pfGainLimitIdx 2\nhfaec nr nrAttenIdx 3\n"
        "hfaec nlp pfWeightIdx 1\nhfaec nlp cnExecIdx 4\nhfaec uplink gain -1.5\n");
    ASSERT_EQ(0, set.status) << context(set);

    const ToolResult sync = bench.dspctl({"sync", "--json"});
    ASSERT_EQ(0, sync.status) << context(sync);
    EXPECT_EQ("", sync.err);
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
        EXPECT_NE(std::string::npos, sync.out.find(part)) << part << "\n"
                                                          << sync.out.substr(0, 2000);
    }

    const ToolResult hfsync = bench.dspctl({"hfsync", "--json"});
    ASSERT_EQ(0, hfsync.status) << context(hfsync);
    EXPECT_EQ(R"({
  "report": "hfsync",
  "complete": true,
  "tag": "A0101",
  "opgain": [12.000000, 12.000000],
  "pgagain": [6.500000, -1.000000],
  "seq": {
    "en": 1,
    "cf": [100, 250, 500, 1000, 2000, 4000, 8000, 16000],
    "gain": [-3.500000, 0.000000, 0.000000, 0.000000, 0.000000, 0.000000, 0.000000, 0.000000],
    "q": [0.707000, 1.000000, 1.000000, 1.000000, 1.000000, 1.000000, 1.000000, 1.000000]
  },
  "req": {
    "en": 0,
    "cf": [100, 250, 500, 1200, 2000, 4000, 8000, 16000],
    "gain": [0.000000, 0.000000, 0.000000, 0.000000, 0.000000, 0.000000, 0.000000, 0.000000],
    "q": [1.000000, 1.000000, 1.000000, 1.000000, 1.000000, 1.000000, 1.000000, 1.000000]
  },
  "duplex": 2,
  "nr": 3,
  "nlp": {"pfWeightIdx": 1, "cnEstiIdx": 0, "cnExecIdx": 4},
  "uplink": -1.500000
}
)",
              hfsync.out);
}

TEST(DspctlE2ETest, ACutReportIsShownAsPartialAndFails) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    // Wide values in three channels' biquad banks push the report past the
    // server's reply capacity.
    std::string bands;
    for (int band = 0; band < 20; ++band) {
        bands += " -2147483648 65535 -1e30 -1e30 -2147483648 -2147483648 -2147483648";
    }
    const ToolResult set = bench.dspctl(
        {}, "bq channel 0" + bands + "\nbq channel 1" + bands + "\nbq channel 2" + bands + "\n");
    ASSERT_EQ(0, set.status) << context(set);

    const ToolResult json = bench.dspctl({"sync", "--json"});
    EXPECT_EQ(3, json.status) << context(json);
    EXPECT_NE(std::string::npos, json.out.find("\"complete\": false,")) << json.out.substr(0, 300);
    EXPECT_NE(std::string::npos, json.err.find("truncated after 8190 bytes")) << json.err;
    // What came before the cut is there: the loudness precedes the biquads.
    EXPECT_NE(std::string::npos,
              json.out.find("\"loud\": {\"value1\": 0, \"value2\": 0, \"value3\": 0}"));
    // The line as it came, cut the same way.
    const ToolResult raw = bench.dspctl({"dsp", "sync", "--raw"});
    EXPECT_EQ(3, raw.status) << context(raw);
    EXPECT_EQ(8191u, raw.out.size());
}

TEST(DspctlE2ETest, MpBinFilesGoThroughTheDeviceUnchanged) {
    Bench bench;
    ASSERT_TRUE(bench.ok()) << bench.server.err();
    const std::string in = bench.dir.file("in.bin");
    const std::string out = bench.dir.file("out.bin");
    for (size_t size : {296u, 2560u}) {
        writeFile(in, blobOf(size, static_cast<unsigned>(size)));
        const ToolResult put = bench.dspctl({"mpbin", in});
        ASSERT_EQ(0, put.status) << context(put);
        EXPECT_EQ("[ok]\n", put.out);
        const ToolResult get = bench.dspctl({"getmp", size == 296 ? "std" : "--ext", "-o", out});
        ASSERT_EQ(0, get.status) << context(get);
        EXPECT_EQ(std::to_string(size) + " bytes written to " + out + "\n[ok]\n", get.out);
        EXPECT_EQ(readFile(in), readFile(out)) << size;
    }
}

// A peer of the test's own making answers getmp with a frame whose header
// claims 296 bytes and 300 follow: no dspd sends that.
TEST(DspctlE2ETest, AFrameWhoseHeaderLiesIsMalformedAndNotWritten) {
    PseudoTerminal peer;
    TempDir dir;
    ASSERT_TRUE(peer.ok());
    const std::string out = dir.file("out.bin");
    auto tool = std::async(std::launch::async, [&] {
        return runTool(DSPCTL_BINARY, {"-d", peer.path(), "getmp", "-o", out});
    });
    // The command line has begun to come: dspctl has dropped stale bytes and
    // waits for its reply.
    struct pollfd pfd = {peer.master(), POLLIN, 0};
    ASSERT_EQ(1, poll(&pfd, 1, 10000));
    const std::string answer = "\0\0\x01\x28"s + std::string(300, 'x') + "[ok]\0"s;
    ASSERT_EQ(static_cast<ssize_t>(answer.size()),
              write(peer.master(), answer.data(), answer.size()));
    const ToolResult r = tool.get();
    EXPECT_EQ(4, r.status) << context(r);
    EXPECT_NE(std::string::npos, r.err.find("malformed reply: frame")) << r.err;
    EXPECT_NE(0, access(out.c_str(), F_OK));
}

// Also shows that DSPD_SIM_FAIL reaches the server, and that "quit" ends it.
TEST(DspctlE2ETest, SimRunsTheServerForTheConsoleAndStopsIt) {
    TempDir dir;
    const std::string log = dir.file("server.log");
    // No --dspd: the dspd of this build is found beside dspctl.
    const ToolResult r = runTool(DSPCTL_BINARY, {"sim", "--log", log, "-t", "5"},
                                 "dsp status\nvol 40\nhfsync --json\nquit\nvol 50\n",
                                 {{"DSPD_SIM_FAIL", "setMasterVolume"}});
    EXPECT_EQ(1, r.status) << context(r);
    EXPECT_EQ(0u, r.out.find("dsp> dsp status\n[ok]\ndsp> vol 40\n[fail]\ndsp> hfsync --json\n{\n"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\"uplink\": 0.000000\n}\ndsp> quit\n")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("vol 50"));
    EXPECT_NE(std::string::npos, r.err.find("server log in " + log)) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("dspctl: server stopped\n")) << r.err;
    const std::string logged = readFile(log);
    EXPECT_NE(std::string::npos, logged.find("ERR: setMasterVolume failed")) << logged;
    EXPECT_EQ(std::string::npos, logged.find("vol 50")) << logged;
}

TEST(DspctlE2ETest, SimSaysWhenItsServerCannotRun) {
    TempDir dir;
    const struct {
        std::string server;
        std::string err;
    } cases[] = {
        {dir.file("no-dspd"), "cannot start " + dir.file("no-dspd")},
        // Ends before its port is ready, without a word in its log.
        {"/bin/true", "status 0"},
    };
    for (const auto& c : cases) {
        const ToolResult r = runTool(DSPCTL_BINARY, {"sim", "--dspd", c.server}, "status\n");
        EXPECT_EQ(5, r.status) << context(r);
        EXPECT_NE(std::string::npos, r.err.find(c.err)) << r.err;
    }
}

// dspd-sim announces the peer port only when the server can take a line:
// a peer that writes the moment it is told loses nothing.
TEST(DspdSimTest, OffersThePeerPortOnlyOnceTheServerIsReady) {
    // The shell tells its process id, which dspd-sim then takes over.
    struct Sim {
        FILE* out = popen("echo $$; exec '" DSPD_SIM_BINARY "' 2>/dev/null", "re");
        int pid = 0;
        ~Sim() {
            if (pid > 0) kill(pid, SIGTERM);
            if (out != nullptr) {
                // Read to the end: what it says while stopping must not meet a closed pipe.
                while (fgetc(out) != EOF) {
                }
                EXPECT_EQ(0, pclose(out)) << "dspd-sim did not exit with 0";
            }
        }
    } sim;
    ASSERT_NE(nullptr, sim.out);
    ASSERT_EQ(1, fscanf(sim.out, "%d", &sim.pid));
    char path[256] = "";
    ASSERT_EQ(1, fscanf(sim.out, " dspd-sim: simulated device ready; peer port %255s", path));
    SerialPort port;
    std::string message;
    ASSERT_EQ(0, port.open(path, 115200, &message)) << message;
    ASSERT_EQ(0, port.writeAll("dsp status\n"));
    Reply reply;
    ASSERT_EQ(0, ReplyReader(port.fd(), 5000, 200).read(&reply));
    EXPECT_EQ(Reply::kOk, reply.kind) << reply.raw;
}

}  // namespace
