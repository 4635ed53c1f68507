// dspctl as a script runs it: the real dspd on a pseudo-terminal, joined to
// the port dspctl opens by a relay, and one table of command lines with the
// exit status and output each gives. "dspctl sim" starts its own server.
#include <glob.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"
#include "PtyServer.h"
#include "ReplyReader.h"
#include "SerialPort.h"

namespace {

using namespace std::string_literals;

struct TempDir {
    TempDir() {
        char name[] = "/tmp/dspctl-test-XXXXXX";
        if (mkdtemp(name) != nullptr) path = name;
    }
    ~TempDir() { EXPECT_EQ(0, system(("rm -rf '" + path + "'").c_str())); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

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

struct Outcome {
    int status = -1;  // 128 + signal when killed by one; -1 when not started
    std::string out, err;
};

// dspctl run to its end by the shell, through the emulator of a cross build,
// with `input` as its standard input and `env` ("NAME=value ") added to ours.
Outcome dspctl(const TempDir& dir, std::vector<std::string> args, const std::string& input = "",
               const std::string& env = "") {
    writeFile(dir / "in", 0, 0, input);
    args.insert(args.begin(), DSPCTL_BINARY);
    const std::vector<std::string> launcher = PtyServer::launcher();
    args.insert(args.begin(), launcher.begin(), launcher.end());
    std::string command = env + "exec ";
    for (std::string& word : args) {
        for (size_t at = 0; (at = word.find('\'', at)) != std::string::npos; at += 4) {
            word.replace(at, 1, "'\\''");
        }
        command += "'" + word + "' ";
    }
    Outcome run;
    FILE* pipe = popen((command + "<" + dir / "in" + " 2>" + dir / "err").c_str(), "re");
    if (pipe == nullptr) return run;
    for (int c; (c = fgetc(pipe)) != EOF;) run.out += static_cast<char>(c);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.err = readFile(dir / "err");
    return run;
}

// A null-modem cable: a second terminal, whose slave dspctl opens, relayed
// both ways to the server's master end.
struct Cable {
    explicit Cable(int serverMaster) : server(serverMaster) {}
    ~Cable() {
        stop = true;
        relay.join();
    }
    int server;
    PseudoTerminal peer;
    std::atomic<bool> stop{false};
    std::thread relay{[this] {
        char buffer[4096];
        while (!stop) {
            // The timeout only bounds how late the stop is seen.
            struct pollfd fds[2] = {{server, POLLIN, 0}, {peer.master(), POLLIN, 0}};
            if (poll(fds, 2, 50) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                const ssize_t got = fds[i].revents & POLLIN ? read(fds[i].fd, buffer, 4096) : 0;
                const int to = i == 0 ? peer.master() : server;
                for (ssize_t done = 0, n = 0; done < got && (n >= 0 || errno == EINTR);) {
                    n = write(to, buffer + done, static_cast<size_t>(got - done));
                    done += n > 0 ? n : 0;
                }
            }
        }
    }};
};

struct Row {
    int status;
    std::string words;  // after "-d PORT -t 5", split at spaces; "@" starts a path in the dir
    std::string out;    // all of standard output; after a leading "...": a part of it
    std::string err;    // a part of standard error; "": none
    std::string input = "";
    std::string answer = "";  // given by a peer of the test's own making instead of dspd
};

struct Bench {
    PtyServer server;
    Cable cable{server.masterFd()};
    PseudoTerminal peer;
    TempDir dir;

    void expect(const Row& row) {
        std::vector<std::string> words = {"-d", (row.answer.empty() ? cable.peer : peer).path(),
                                          "-t", "5"};
        std::istringstream split(row.words);
        for (std::string word; std::getline(split, word, ' ');) {
            if (!word.empty()) words.push_back(word[0] == '@' ? dir / &word[1] : word);
        }
        auto tool = std::async(std::launch::async, [&] { return dspctl(dir, words, row.input); });
        // The peer answers once the whole command line has come.
        std::string line;
        for (char buffer[256]; !row.answer.empty() && line.find('\n') == std::string::npos;) {
            struct pollfd pfd = {peer.master(), POLLIN, 0};
            ASSERT_EQ(1, poll(&pfd, 1, 10000)) << row.words;
            const ssize_t got = read(peer.master(), buffer, sizeof buffer);
            line.append(buffer, static_cast<size_t>(std::max<ssize_t>(got, 0)));
        }
        ASSERT_EQ(static_cast<ssize_t>(row.answer.size()),
                  write(peer.master(), row.answer.data(), row.answer.size()));
        const Outcome r = tool.get();
        const std::string what = row.words.substr(0, 60);
        EXPECT_EQ(row.status, r.status) << what << "\nout:\n" << r.out << "\nerr:\n" << r.err;
        if (row.out.compare(0, 3, "...") == 0) {
            EXPECT_NE(std::string::npos, r.out.find(row.out.substr(3))) << what << "\n" << r.out;
        } else {
            EXPECT_EQ(row.out, r.out) << what;
        }
        EXPECT_TRUE(row.err.empty() ? r.err.empty() : r.err.find(row.err) != std::string::npos)
            << what << "\n"
            << r.err;
    }
};

TEST(DspctlE2ETest, CommandLinesAndWhatTheyGive) {
    Bench b;
    ASSERT_TRUE(b.server.ok() && b.cable.peer.ok() && b.peer.ok()) << b.server.err();
    const TempDir& dir = b.dir;
    // The first line shows where the printable range ends; the last is short.
    writeFile(dir / "dump.bin", 296, 0, "\x1f ~\x7f"s + std::string(284, '\0') + "lastline");
    writeFile(dir / "ext.bin", 2560, 7);
    for (size_t size : {297, 2561}) writeFile(dir / std::to_string(size), size, 1);
    writeFile(dir / "batch", 0, 0, "# set up\nvol 40\n\n  vol  \nfoo\ncvol 1 5\n");
    writeFile(dir / "fake", 0, 0, "#!/bin/sh\nprintf '1\\n2\\n3\\n4\\n5\\n6\\n'\nexit 3\n");
    ASSERT_EQ(0, chmod((dir / "fake").c_str(), 0755));
    ASSERT_EQ(0, mkdir((dir / "blocked").c_str(), 0755));
    ASSERT_EQ(0, mkdir((dir / "blocked/inside").c_str(), 0755));
    std::string wide;
    for (int band = 0; band < 20; ++band) wide += " -2147483648 65535 -1e30 -1e30 -1 -1 -1";
    const Row rows[] = {
        // Refused before the port is opened.
        {64, "dsp", "", "dspctl: no command given\n"},
        {64, "-b 1234 status", "", "unsupported speed \"1234\": one of 110,"},
        {64, "-t 0 status", "", "bad timeout \"0\": seconds, more than 0, at most 3600"},
        {64, "-t 3600.001 status", "", "bad timeout"},
        {64, "-t", "", "option -t needs a value\n(dspctl --help lists the forms)\n"},
        {64, "--bogus", "", "unknown option --bogus"},
        {64, "-f b.txt status", "", "give either command words or -f FILE, not both"},
        {64, "sim status", "", "sim takes no command words"},
        // Options after the first word belong to the command.
        {64, "sync -t 9", "", "sync takes --json or --raw, not \"-t\""},
        {64, "getmp -o", "", "getmp takes [--ext] [-o FILE], not \"-o\""},
        {64, "getmp --ext std", "", "getmp takes [--ext] [-o FILE], not \"std\""},
        {64, "getmp std --ext", "", "getmp takes [--ext] [-o FILE], not \"--ext\""},
        {64, "vol 4\n0", "", "a word holds a line break"},
        {64, "vol " + std::string(8183, '1'), "",
         "line of 8192 bytes; the server takes at most 8191"},
        {0, "--help", "...\n  64  usage error\n", ""},
        {6, "mpbin @297", "",
         "297 holds 297 bytes; an MP.bin is 296 (standard) or 2560 (extended)"},
        {6, "mpbin @2561", "", "2561 holds more than 2560 bytes"},
        {6, "mpbin @none", "", "dspctl: cannot read " + dir / "none: No such file or directory;"},
        {6, "-f @none", "", "dspctl: cannot read " + dir / "none"},
        // What the server answers.
        {0, "vol " + std::string(8182, '1'), "[ok]\n", ""},
        {0, "dsp vol 40", "[ok]\n", ""},
        {1, "-t 3600 vol", "[fail]\n", ""},
        {2, "-b 300 -t 0.25 foo", "",
         "dspctl: no reply within 0.25 s (an unknown item gets none)\n"},
        {0, "mpbin @dump.bin", "[ok]\n", ""},
        {0, "mpbin @ext.bin", "[ok]\n", ""},
        {0, "getmp", "...frame: 296 bytes\n00000000  1f 20 7e 7f 00 00 00 00  00 00 00 00 00 00",
         ""},
        {0, "getmp", "...00 00 00 00 00 00  |. ~.............|\n00000010  00 00 00 00 00", ""},
        {0, "getmp std",
         "...\n00000120  6c 61 73 74 6c 69 6e 65                           |lastline|\n[ok]\n", ""},
        {0, "getmp -o @std.out", "296 bytes written to " + dir / "std.out\n[ok]\n", ""},
        {0, "getmp --ext -o @ext.out", "2560 bytes written to " + dir / "ext.out\n[ok]\n", ""},
        // A directory in the way: the blob is written beside it, the rename fails.
        {6, "getmp -o @blocked", "", "dspctl: cannot write " + dir / "blocked: "},
        // A batch runs every line and exits with the first status that was not 0.
        {1, "-t 1 -f @batch",
         "dsp> vol 40\n[ok]\ndsp>   vol  \n[fail]\ndsp> foo\ndsp> cvol 1 5\n[ok]\n",
         "no reply within 1 s"},
        {0, "", "...dsp> hfaec uplink gain -1.5\n[ok]\n", "",
         "vol 40\nspk 2\ncvol 2 7\ndelay 1 -1.25\neq gain 3 -3.5 2\neq cf 7 70000 2\n"
         "bq gain 19 -3.5 5\nbq phase 19 -9 5\nhfaec adc MicOpGain 1 12\nhfaec adc MicPgaGain 0 "
         "6.5\nhfaec seq en 1\nhfaec seq q 0 0.707\nhfaec req cf 3 1200\nhfaec aec "
         "pfGainLimitIdx 2\nhfaec nlp cnExecIdx 4\nhfaec uplink gain -1.5\n"},
        {0, "sync --json",
         "...{\n  \"report\": \"sync\",\n  \"complete\": true,\n  \"tag\": \"A0101\",\n  \"vol\": "
         "{\n    \"layout\": 2,\n    \"master\": 40,\n    \"gain\": [0, 5, 7, 0, 0, 0]\n  },\n  "
         "\"delay\": [0.000000, -1.250000, 0.000000,",
         ""},
        // The last band of the last channel closes the document.
        {0, "sync --json",
         "...{\"type\": 0, \"cf\": 1000, \"gain\": -3.500000, \"q\": 0.707000, \"method\": 0, "
         "\"slope\": 0, \"phase\": -9}\n    ]\n  ]\n}\n",
         ""},
        {0, "sync", "...sync report A0101 (complete)\nlayout  2 (2.0)\n", ""},
        {0, "sync", "...0.000000\nftr value1 ", ""},  // two bass and treble bands
        {0, "hfsync --json",
         "...{\n  \"report\": \"hfsync\",\n  \"complete\": true,\n  \"tag\": \"A0101\",\n  "
         "\"opgain\": [0.000000, 12.000000],\n  \"pgagain\": [6.500000, 0.000000],\n  \"seq\": {\n "
         "   \"en\": 1,\n    \"cf\": [100, 250,",
         ""},
        {0, "hfsync --json",
         "...  },\n  \"duplex\": 2,\n  \"nr\": 0,\n  \"nlp\": {\"pfWeightIdx\": 0, \"cnEstiIdx\": "
         "0, "
         "\"cnExecIdx\": 4},\n  \"uplink\": -1.500000\n}\n",
         ""},
        {0, "hfsync", "...nlp     pfWeightIdx 0  cnEstiIdx 0  cnExecIdx 4\nuplink  -1.500000\n",
         ""},
        // Wide values in three channels' biquad banks push the report past
        // the server's reply capacity.
        {0, "", "...", "",
         "bq channel 0" + wide + "\nbq channel 1" + wide + "\nbq channel 2" + wide},
        {3, "sync --json", "...\n  \"complete\": false,\n",
         "dspctl: sync report truncated after 8190 bytes: no end mark [ok]; only the values"},
        {3, "dsp sync --raw",
         "...:-1:-1:-1:", "dspctl: report truncated after 8190 bytes: no end mark [ok]\n"},
        {5, "sim --dspd @no-dspd", "", "cannot start " + dir / "no-dspd", "status\n"},
        {5, "sim --log @fake.log --dspd @fake", "",
         dir / "fake ended (status 3) before its port was ready; its last words, from " +
             dir / "fake.log:\n2\n3\n4\n5\n6\n",
         "status\n"},
        // Ends before its port is ready, without a word in its log.
        {5, "sim --dspd /bin/true", "",
         "/bin/true ended (status 0) before its port was ready; it logged nothing", "status\n"},
        // Answers no dspd gives. The header claims 296 bytes and 300 follow:
        // nothing is written.
        {4, "getmp -o @lie.out", "",
         "malformed reply: frame header claims 296 bytes, but more bytes follow", "",
         "\0\0\x01\x28"s + std::string(300, 'x') + "[ok]\0"s},
        {4, "getmp", "", "getmp answered [ok] without a frame", "", "[ok]\0"s},
        {4, "sync", "", "sync answered with a ok instead of a report", "", "[ok]\0"s},
        {1, "hfsync --json", "", "dspctl: hfsync: [fail]\n", "", "[fail]\0"s},
        {4, "sync", "", "malformed sync report: ", "", "dsp sync:A0101:vol:x:[ok]"},
        {4, "status", "", "reply \"[o\" ended without its NUL; 2 bytes received:\n00000000  5b 6f",
         "", "[o"},
    };
    for (const Row& row : rows) b.expect(row);
    // The wrong-sized blobs never reached the server; the good ones came back whole.
    for (const char* size : {"297", "2561"}) {
        EXPECT_EQ(std::string::npos, b.server.out().find("mpbin "s + size)) << b.server.out();
    }
    EXPECT_EQ(readFile(dir / "dump.bin"), readFile(dir / "std.out"));
    EXPECT_EQ(readFile(dir / "ext.bin"), readFile(dir / "ext.out"));
    glob_t left;
    EXPECT_EQ(GLOB_NOMATCH, glob((dir / "blocked.*").c_str(), 0, nullptr, &left));
    globfree(&left);
    EXPECT_NE(0, access((dir / "lie.out").c_str(), F_OK));
    // Only one program holds the port.
    SerialPort holder;
    std::string message;
    ASSERT_EQ(0, holder.open(b.cable.peer.path(), 115200, &message)) << message;
    b.expect({5, "status", "", "port " + b.cable.peer.path() + " is in use by another dspctl"});
}

// Also shows that DSPD_SIM_FAIL reaches the server, and that "quit" ends it.
TEST(DspctlE2ETest, SimRunsTheServerForTheConsoleAndStopsIt) {
    TempDir dir;
    const std::string log = dir / "server.log";
    // No --dspd: the dspd of this build is found beside dspctl.
    const Outcome r = dspctl(dir, {"sim", "--log", log, "-t", "5"},
                             "dsp status\nvol 40\nhfsync --json\nquit\nvol 50\n",
                             "DSPD_SIM_FAIL=setMasterVolume ");
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_EQ(0u, r.out.find("dsp> dsp status\n[ok]\ndsp> vol 40\n[fail]\ndsp> hfsync --json\n{\n"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\"uplink\": 0.000000\n}\ndsp> quit\n")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("vol 50"));
    EXPECT_EQ(0u, r.err.find("dspctl: simulated device on /dev/")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("; server log in " + log + "\n")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("dspctl: server stopped\n")) << r.err;
    const std::string logged = readFile(log);
    EXPECT_NE(std::string::npos, logged.find("ERR: setMasterVolume failed")) << logged;
    EXPECT_EQ(std::string::npos, logged.find("vol 50")) << logged;
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
            // Read to the end: what it says while stopping must not meet a closed pipe.
            while (out != nullptr && fgetc(out) != EOF) {
            }
            if (out != nullptr) {
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
