// dspctl as a script runs it: the real dspd on a pseudo-terminal, joined to
// the port dspctl opens by a relay, and one table of command lines with the
// exit status and output each gives. "dspctl sim" starts its own server.
#include <fnmatch.h>
#include <glob.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "DspHarness.h"
#include "PseudoTerminal.h"
#include "PtyServer.h"
#include "ReplyReader.h"
#include "SerialPort.h"

namespace {

using namespace std::string_literals;

std::string readFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Writes `bytes`, made up to `size` with bytes different for each `seed`.
void writeFile(const std::string& path, size_t size, unsigned seed, std::string bytes = "") {
    for (size_t i = bytes.size(); i < size; ++i) bytes += static_cast<char>(i * 37 + seed * 11);
    std::ofstream(path, std::ios::binary) << bytes;
}

// Whether `text` is `pattern`, in which "*" stands for any text.
bool matches(const std::string& text, const std::string& pattern) {
    std::string escaped;
    for (char c : pattern) escaped += (std::strchr("?[\\", c) != nullptr ? "\\"s : ""s) + c;
    return fnmatch(escaped.c_str(), text.c_str(), 0) == 0;
}

struct Row {
    int status;
    std::string words;  // after "-d PORT -t 5", split at spaces; "@" starts a path in the dir
    std::string out;    // all of standard output, "*" standing for any text
    std::string err;    // all of standard error, likewise
    std::string input = "";
    std::string answer = "";  // given by the test on the port instead of dspd's
};

struct Bench {
    PtyServer server;
    PseudoTerminal port;  // dspctl opens its slave
    std::string dir;

    Bench() {
        char name[] = "/tmp/dspctl-test-XXXXXX";
        if (mkdtemp(name) != nullptr) dir = name;
    }
    ~Bench() { EXPECT_EQ(0, system(("rm -rf '" + dir + "'").c_str())); }

    // Runs dspctl to its end through the shell (and the emulator of a cross
    // build); no word holds a quote.
    void expect(const Row& row) {
        std::string command = "exec";
        for (const std::string& word : PtyServer::launcher()) command += " '" + word + "'";
        std::istringstream split(DSPCTL_BINARY " -d " + port.path() + " -t 5 " + row.words);
        for (std::string w; std::getline(split, w, ' ');) {
            if (!w.empty()) command += " '" + (w[0] == '@' ? dir + "/" + &w[1] : w) + "'";
        }
        writeFile(dir + "/in", 0, 0, row.input);
        FILE* tool = popen((command + " <" + dir + "/in 2>" + dir + "/err").c_str(), "re");
        ASSERT_NE(nullptr, tool);
        std::string out;
        char buffer[4096];
        // A null-modem cable between the port and the server's terminal until
        // dspctl's output ends; with an answer of the row's own, the test
        // gives it once the command line has come.
        for (bool ended = false; !ended;) {
            struct pollfd fds[3] = {{server.masterFd(), POLLIN, 0},
                                    {port.master(), POLLIN, 0},
                                    {fileno(tool), POLLIN, 0}};
            ASSERT_LT(0, poll(fds, 3, 20000)) << row.words;
            for (int i = 0; i < 3; ++i) {
                const ssize_t got =
                    fds[i].revents != 0 ? read(fds[i].fd, buffer, sizeof buffer) : -1;
                const bool answer = i == 1 && !row.answer.empty();
                if (i == 2) {
                    out.append(buffer, static_cast<size_t>(std::max<ssize_t>(got, 0)));
                    ended = got == 0;
                } else if (got > 0 && (!answer || std::memchr(buffer, '\n', got) != nullptr)) {
                    const std::string bytes = answer ? row.answer : std::string(buffer, got);
                    const int to = answer ? port.master() : fds[1 - i].fd;
                    EXPECT_EQ(static_cast<ssize_t>(bytes.size()),
                              write(to, bytes.data(), bytes.size()));
                }
            }
        }
        const int status = pclose(tool);
        const std::string err = readFile(dir + "/err");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.status &&
                    matches(out, row.out) && matches(err, row.err))
            << row.words.substr(0, 60) << "\nstatus " << WEXITSTATUS(status) << ", out:\n"
            << out << "\nerr:\n"
            << err;
    }
};

TEST(DspctlE2ETest, CommandLinesAndWhatTheyGive) {
    Bench b;
    ASSERT_TRUE(b.server.ok() && b.port.ok()) << b.server.err();
    const std::string& dir = b.dir;
    // The first line shows where the printable range ends; the last is short.
    writeFile(dir + "/dump.bin", 296, 0, "\x1f ~\x7f"s + std::string(284, '\0') + "lastline");
    writeFile(dir + "/ext.bin", 2560, 7);
    for (size_t size : {297, 2561}) writeFile(dir + "/" + std::to_string(size), size, 1);
    writeFile(
        dir + "/batch", 0, 0,
        "# set up\nvol 40\n\n  vol  \nfoo\ncvol 1 5\ncvol 2 7\nspk 2\ndelay 1 -1.25\n"
        "ftr 4 0 0 0 0 5 0\nbq phase 19 -9 5\nhfaec nlp cnExecIdx 4\nhfaec uplink gain -1.5\n");
    writeFile(dir + "/fake", 0, 0, "#!/bin/sh\nprintf '1\\n2\\n3\\n4\\n5\\n6\\n'\nexit 3\n");
    ASSERT_EQ(0, system(("chmod +x " + dir + "/fake && mkdir -p " + dir + "/blocked/in").c_str()));
    std::string wide;
    for (int band = 0; band < 20; ++band) wide += " -2147483648 65535 -1e30 -1e30 -1 -1 -1";
    const Row rows[] = {
        // Refused before the port is opened.
        {64, "dsp", "", "dspctl: no command given\n"},
        {64, "-b 1234 status", "", "dspctl: unsupported speed \"1234\": one of 110,*"},
        {64, "-t 0 status", "", "dspctl: bad timeout \"0\": seconds, more than 0, at most 3600\n*"},
        {64, "-t 3600.001 status", "", "dspctl: bad timeout*"},
        {64, "-t", "", "dspctl: option -t needs a value\n(dspctl --help lists the forms)\n"},
        {64, "--bogus", "", "dspctl: unknown option --bogus\n*"},
        {64, "-f b.txt status", "", "dspctl: give either command words or -f FILE, not both\n*"},
        {64, "sim status", "", "dspctl: sim takes no command words*"},
        // Options after the first word belong to the command.
        {64, "sync -t 9", "", "dspctl: sync takes --json or --raw, not \"-t\"\n"},
        {64, "getmp -o", "", "dspctl: getmp takes [--ext] [-o FILE], not \"-o\"\n"},
        {64, "getmp --ext std", "", "*not \"std\"\n"},
        {64, "getmp std --ext", "", "*not \"--ext\"\n"},
        {64, "vol 4\n0", "", "dspctl: a word holds a line break*"},
        {64, "vol " + std::string(8183, '1'), "",
         "*line of 8192 bytes; the server takes at most 8191\n"},
        {0, "--help", "usage: dspctl *\n  64  usage error\n", ""},
        {6, "mpbin @297", "",
         "*297 holds 297 bytes; an MP.bin is 296 (standard) or 2560*; nothing sent\n"},
        {6, "mpbin @2561", "", "*2561 holds more than 2560 bytes*"},
        {6, "mpbin @none", "",
         "dspctl: cannot read " + dir + "/none: No such file or directory; nothing sent\n"},
        {6, "-f @none", "", "dspctl: cannot read " + dir + "/none: *"},
        // What the server answers.
        {0, "vol " + std::string(8182, '1'), "[ok]\n", ""},
        {1, "-t 3600 vol", "[fail]\n", ""},
        {2, "-b 300 -t 0.25 foo", "",
         "dspctl: no reply within 0.25 s (an unknown item gets none)\n"},
        {0, "mpbin @dump.bin", "[ok]\n", ""},
        {0, "mpbin @ext.bin", "[ok]\n", ""},
        {0, "getmp std",
         "frame: 296 bytes\n00000000  1f 20 7e 7f 00 00 00 00  00 *|. ~.......*\n"
         "00000120  6c 61 73 74 6c 69 6e 65                           |lastline|\n[ok]\n",
         ""},
        {0, "getmp -o @std.out", "296 bytes written to " + dir + "/std.out\n[ok]\n", ""},
        {0, "getmp --ext -o @ext.out", "2560 bytes written to " + dir + "/ext.out\n[ok]\n", ""},
        // A directory in the way: the blob is written beside it, the rename fails.
        {6, "getmp -o @blocked", "", "dspctl: cannot write " + dir + "/blocked: *"},
        // A batch runs every line and exits with the first status that was not 0.
        {1, "-t 1 -f @batch",
         "dsp> vol 40\n[ok]\ndsp>   vol  \n[fail]\ndsp> foo\ndsp> cvol 1 5\n[ok]\n*",
         "dspctl: no reply within 1 s (an unknown item gets none)\n"},
        {0, "sync --json",
         "{\n  \"report\": \"sync\",\n  \"complete\": true,\n*\"master\": 40,\n    \"gain\": "
         "[0, 5, 7, 0, 0, 0]\n  },\n*\"phase\": -9}\n    ]\n  ]\n}\n",
         ""},
        // Each value in its channel's column, whether of a list (gain), a
        // record (ftr) or a list of records (bq).
        {0, "sync",
         "sync report A0101 (complete)\nlayout  2 (2.0)\n*\n"
         "gain                  0          5         7         0         0         0\n"
         "*0.000000\nftr value1 *\n"
         "ftr value5            0          0         0         0         5         0\n*\n"
         "bq[19] phase          0          0         0         0         0        -9\n",
         ""},
        {0, "hfsync", "hfsync report A0101 (complete)\n*cnExecIdx 4\nuplink  -1.500000\n", ""},
        // Wide values in three channels' biquad banks push the report past
        // the server's reply capacity.
        {0, "", "*[ok]\n", "",
         "bq channel 0" + wide + "\nbq channel 1" + wide + "\nbq channel 2" + wide},
        // The cut came in channel 4's second band: a "-" for each
        // value not received.
        {3, "sync",
         "sync report A0101 (TRUNCATED: *\nbq[1] gain *0.000000  0.000000         -\nbq[1] q *0."
         "707000         -         -\n*\nbq[19] phase *0         -         -\n",
         "dspctl: sync report truncated after 8190 bytes: no end mark [ok]; *\n"},
        {3, "dsp sync --raw", "dsp sync:*:-1:-1:-1:*",
         "dspctl: report truncated after 8190 bytes: no end mark [ok]\n"},
        {5, "sim --dspd @no-dspd", "", "dspctl: cannot start " + dir + "/no-dspd: *"},
        {5, "sim --log @fake.log --dspd @fake", "",
         "dspctl: *(status 3) before its port was ready; its last words, from " + dir +
             "/fake.log:\n2\n3\n4\n5\n6\n\n"},
        // Ends before its port is ready, without a word in its log.
        {5, "sim --dspd /bin/true", "",
         "dspctl: /bin/true ended (status 0) before its port was ready; it logged nothing\n"},
        // Answers no dspd gives. The header claims 296 bytes and 300 follow:
        // nothing is written.
        {4, "getmp -o @lie.out", "",
         "dspctl: malformed reply: frame header claims 296 bytes, but more bytes follow*", "",
         "\0\0\x01\x28"s + std::string(300, 'x') + "[ok]\0"s},
        {4, "getmp", "", "dspctl: getmp answered [ok] without a frame\n", "", "[ok]\0"s},
        {4, "sync", "", "dspctl: sync answered with a ok instead of a report\n", "", "[ok]\0"s},
        {1, "hfsync --json", "", "dspctl: hfsync: [fail]\n", "", "[fail]\0"s},
        {4, "sync", "", "dspctl: malformed sync report: *", "", "dsp sync:A0101:vol:x:[ok]"},
        {4, "status", "",
         "*reply \"[o\" ended without its NUL; 2 bytes received:\n00000000  5b 6f *", "", "[o"},
    };
    for (const Row& row : rows) b.expect(row);
    // The blobs came back whole.
    EXPECT_EQ(readFile(dir + "/dump.bin"), readFile(dir + "/std.out"));
    EXPECT_EQ(readFile(dir + "/ext.bin"), readFile(dir + "/ext.out"));
    // Nothing is left beside the directory in the way, nor of the frame that lied.
    glob_t left;
    EXPECT_EQ(GLOB_NOMATCH,
              glob((dir + "/{blocked.*,lie.out}").c_str(), GLOB_BRACE, nullptr, &left));
    globfree(&left);
    // Only one program holds the port.
    SerialPort holder;
    std::string message;
    ASSERT_EQ(0, holder.open(b.port.path(), 115200, &message)) << message;
    b.expect({5, "status", "", "dspctl: port " + b.port.path() + " is in use by another dspctl\n"});
}

// Also shows that DSPD_SIM_FAIL reaches the server, and that "quit" ends it.
TEST(DspctlE2ETest, SimRunsTheServerForTheConsoleAndStopsIt) {
    Bench b;
    ScopedEnv fail("DSPD_SIM_FAIL", "setMasterVolume");
    // No --dspd: the dspd of this build is found beside dspctl.
    b.expect({1, "sim --log @log",
              "dsp> dsp status\n[ok]\ndsp> vol 40\n[fail]\ndsp> hfsync --json\n{\n*\"uplink\": "
              "0.000000\n}\ndsp> quit\n",
              "dspctl: simulated device on /dev/*; server log in " + b.dir +
                  "/log\ndspctl: server stopped\n",
              "dsp status\nvol 40\nhfsync --json\nquit\nvol 50\n"});
    const std::string log = readFile(b.dir + "/log");
    EXPECT_TRUE(matches(log, "*ERR: setMasterVolume failed*") && !matches(log, "*vol 50*")) << log;
}

// dspd-sim announces the peer port only when the server can take a line:
// a peer that writes the moment it is told loses nothing.
TEST(DspdSimTest, OffersThePeerPortOnlyOnceTheServerIsReady) {
    // The shell tells its process id, which dspd-sim then takes over.
    FILE* sim = popen("echo $$; exec '" DSPD_SIM_BINARY "' 2>/dev/null", "re");
    ASSERT_NE(nullptr, sim);
    int pid = 0;
    char path[256] = "";
    SerialPort port;
    std::string message = "no peer port offered";
    Reply reply;
    if (fscanf(sim, "%d dspd-sim: simulated device ready; peer port %255s", &pid, path) == 2 &&
        port.open(path, 115200, &message) == 0 && port.writeAll("dsp status\n") == 0) {
        EXPECT_EQ(0, ReplyReader(port.fd(), 5000, 200).read(&reply));
    }
    if (pid > 0) kill(pid, SIGTERM);
    // Read to the end: what it says while stopping must not meet a closed pipe.
    while (fgetc(sim) != EOF) {
    }
    EXPECT_EQ(0, pclose(sim)) << "dspd-sim did not exit with 0";
    EXPECT_EQ(Reply::kOk, reply.kind) << message << reply.raw;
}

}  // namespace
