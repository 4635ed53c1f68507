// dspctl as a script runs it: the real dspd on a simulated device, its port
// offered by dspd-sim, and one table of command lines with the exit status and
// output each gives. Answers no dspd gives come from the test on a terminal of
// its own; "dspctl sim" starts its own server.
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "DspHarness.h"
#include "PseudoTerminal.h"
#include "PtyServer.h"
#include "SerialPort.h"

namespace {

using namespace std::string_literals;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Writes `bytes`, made up to `size` with bytes of many values.
void writeFile(const std::string& path, std::string bytes, size_t size = 0) {
    for (size_t i = bytes.size(); i < size; ++i) bytes += static_cast<char>(i * 37 + 11);
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
    std::string words;        // after "-d PORT -t 5", as the shell reads them
    std::string err;          // all of standard error, "*" standing for any text
    std::string out = "";     // all of standard output, likewise
    std::string answer = "";  // given by the test on the port instead of dspd's
    std::string input = "";
};

// dspd on a simulated device, its port offered by dspd-sim, and a terminal on
// which the test gives answers of its own.
struct Bench {
    // The shell tells its process id, which dspd-sim then takes over.
    FILE* sim = popen("echo $$; exec '" DSPD_SIM_BINARY "' 2>/dev/null", "re");
    int pid = 0;
    char peer[256] = "";
    PseudoTerminal port;  // dspctl opens its slave
    char name[24] = "/tmp/dspctl-test-XXXXXX";
    const std::string dir = mkdtemp(name) != nullptr ? name : "";
    // Last: the test goes on the moment the port is offered.
    const bool ok =
        sim != nullptr &&
        fscanf(sim, "%d dspd-sim: simulated device ready; peer port %255s", &pid, peer) == 2;

    ~Bench() {
        if (pid > 0) kill(pid, SIGTERM);
        // Read to the end: what it says while stopping must not meet a closed pipe.
        while (sim != nullptr && fgetc(sim) != EOF) {
        }
        EXPECT_EQ(0, sim != nullptr ? pclose(sim) : -1) << "dspd-sim did not exit with 0";
        EXPECT_EQ(0, system(("rm -rf '" + dir + "'").c_str()));
    }

    // Runs dspctl to its end in the dir, through the shell (and the emulator
    // of a cross build).
    void expect(const Row& row) {
        std::string command = "cd " + dir + " && exec";
        for (const std::string& word : PtyServer::launcher()) command += " '" + word + "'";
        const bool sim = row.words.rfind("sim", 0) == 0;  // a device of its own
        command += " " DSPCTL_BINARY +
                   (sim ? "" : " -d "s + (row.answer.empty() ? peer : port.path())) + " -t 5 " +
                   row.words;
        writeFile(dir + "/in", row.input);
        FILE* tool = popen((command + " <in 2>err").c_str(), "re");
        ASSERT_NE(nullptr, tool);
        std::string out;
        char buffer[4096];
        // Until dspctl's output ends; the row's own answer is given once the
        // command line has come.
        for (bool ended = false; !ended;) {
            struct pollfd fds[2] = {{port.master(), POLLIN, 0}, {fileno(tool), POLLIN, 0}};
            ASSERT_LT(0, poll(fds, 2, 20000)) << row.words;
            const bool asked = fds[0].revents != 0;
            const ssize_t got = read(asked ? port.master() : fileno(tool), buffer, sizeof buffer);
            if (!asked) {
                out.append(buffer, static_cast<size_t>(std::max<ssize_t>(got, 0)));
                ended = got <= 0;
            } else if (got > 0 && std::memchr(buffer, '\n', got) != nullptr) {
                EXPECT_EQ(static_cast<ssize_t>(row.answer.size()),
                          write(port.master(), row.answer.data(), row.answer.size()));
            }
        }
        const int status = pclose(tool);
        const std::string err = readFile(dir + "/err");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.status &&
                    matches(out, row.out) && matches(err, row.err))
            << row.words.substr(0, 60) << "\nstatus " << WEXITSTATUS(status) << "\n"
            << out << err;
    }
};

TEST(DspctlE2ETest, CommandLinesAndWhatTheyGive) {
    Bench b;
    ASSERT_TRUE(b.ok && b.port.ok()) << "no peer port offered";
    const std::string& dir = b.dir;
    // dspd-sim offers the port only once the server takes lines: a peer that
    // writes the moment it is told loses nothing. And while one program
    // holds the port, no other can use it.
    SerialPort holder;
    std::string message;
    ASSERT_EQ(0, holder.open(b.peer, 115200, &message)) << message;
    ASSERT_EQ(0, holder.writeAll("dsp status\n"));
    EXPECT_EQ(kOkReply, readFor(holder.fd(), kOkReply.size()));
    b.expect({5, "status",
              "dspctl: port "s + b.peer + " is in use: another program holds its flock() lock\n"});
    holder.close();
    // The first line shows where the printable range ends; the last is short.
    writeFile(dir + "/dump.bin", "\x1f ~\x7f"s + std::string(284, '\0') + "lastline");
    for (size_t size : {297, 2560, 2561}) writeFile(dir + "/" + std::to_string(size), "", size);
    writeFile(
        dir + "/batch",
        "# set up\nvol 40\n\n  dsp vol  \ndsp foo\ncvol 1 5\ncvol 2 7\nspk 2\ndelay 1 -1.25\n"
        "ftr 4 0 0 0 0 5 0\nbq phase 19 -9 5\nhfaec nlp cnExecIdx 4\nhfaec uplink gain -1.5\n");
    writeFile(dir + "/fake", "#!/bin/sh\nprintf '1\\n2\\n3\\n4\\n5\\n6\\n'\nexit 3\n");
    ASSERT_EQ(0, system(("chmod +x " + dir + "/fake && mkdir -p " + dir + "/blocked/in").c_str()));
    std::string wide;
    // -0x1p100 is a float as typed: no warning of single precision.
    for (int band = 0; band < 20; ++band) wide += " -2147483648 65535 -0x1p100 -0x1p100 -1 -1 -1";
    const Row rows[] = {
        // Refused before the port is opened.
        {64, "dsp", "dspctl: no command given\n"},
        {64, "-b 1234 status", "dspctl: unsupported speed \"1234\": one of 110,*"},
        {64, "-t 0.0004 status", "dspctl: bad timeout \"0.0004\": seconds, at least 0.001,*"},
        {64, "sim -d x", "dspctl: sim starts a simulated device of its own: -d/--device does not*"},
        {64, "getmp -o", "dspctl: -o needs FILE: getmp [--ext|ext] [-o FILE]; nothing sent\n"},
        {0, "--version", "", "dspctl *.*\n"},
        {64, "-f b.txt status", "dspctl: give either command words or -f FILE, not both\n*"},
        {64, "sim status", "dspctl: sim takes no command words*"},
        // Options after the first word belong to the command.
        {64, "sync -t 9", "dspctl: sync takes [--json|--raw], not \"-t\"; nothing sent\n"},
        {64, "getmp --ext std", "dspctl: getmp takes [--ext|ext] [-o FILE], not \"std\"*"},
        {64, "getmp std --ext", "*: \"std\" and --ext exclude each other; nothing sent\n"},
        {64, "vol '4\n0'", "dspctl: line refused: it holds the control byte 0x0a; nothing sent\n"},
        {64, "vol " + std::string(8183, '1'), "*8192 bytes; the server takes at most 8191\n"},
        {6, "mpbin 297", "*297 holds 297 bytes; an MP.bin is 296 * or 2560 *; nothing sent\n"},
        {6, "mpbin 2561", "*2561 holds more than 2560 bytes*"},
        {6, "-d /none -f none", "dspctl: cannot read none: No such file or directory\n"},
        // Checked against the command table: refused at once, nothing sent
        // (the answer would make it 0), or sent with a warning.
        {64, "foo 1", "dspctl: no item \"foo\" (help lists them; *); nothing sent\n", "",
         "[ok]\0"s},
        {64, "cvol 1", "dspctl: cvol takes 2 words after the item, not 1: cvol CHANNEL GAIN; *", "",
         "[ok]\0"s},
        {64, "'eq gain 7' 1 6", "dspctl: channel 6 is out of range 0 to 5; nothing sent\n", "",
         "[ok]\0"s},
        {64, "help foo", "dspctl: no item \"foo\" (help lists them); nothing sent\n"},
        {0, "help", "",
         "Commands, one per line:\n  status *\n  cvol CHANNEL GAIN *\n"
         "  bq channel CHANNEL 20x(TYPE CF GAIN Q METHOD SLOPE PHASE)\n*\n  help [ITEM] *"},
        {0, "help eq", "",
         "eq gain|cf|q BAND VALUE CHANNEL\n*\n    BAND: 0 to 7; the device fails*"},
        {0, "cvol 3 300", "dspctl: warning: gain 300 is outside 0 to 255: the device stores 44\n",
         "[ok]\n"},
        // The dsp prefix sends the line unchecked; after its [fail], the check it hit.
        {1, "dsp cvol 6 1", "dspctl: [fail]: likely channel 6 is out of range 0 to 5\n",
         "[fail]\n"},
        {0, "dsp sync", "", "dsp sync:A0101:vol:0:30:*:[ok]\n"},
        // What the server answers.
        {0, "vol " + std::string(8182, '1'),
         "dspctl: warning: volume 11* is outside 0 to 255: the device sets 0\n", "[ok]\n"},
        {1, "-t 3600 dsp vol",
         "dspctl: [fail]: likely vol takes 1 word after the item, not 0: vol VOLUME\n", "[fail]\n"},
        {2, "-b 300 -t 0.25 dsp foo",
         "dspctl: no reply within 0.25 s (an unknown item gets none)\n"},
        {0, "mpbin dump.bin", "", "[ok]\n"},
        {0, "mpbin 2560", "", "[ok]\n"},
        {0, "getmp std", "",
         "frame: 296 bytes\n00000000  1f 20 7e 7f 00 00 00 00  00 *|. ~.......*\n"
         "00000120  6c 61 73 74 6c 69 6e 65                           |lastline|\n[ok]\n"},
        {0, "getmp --ext -o ext.out", "", "2560 bytes written to ext.out\n[ok]\n"},
        // A directory in the way: the blob is written beside it, the rename fails.
        {6, "getmp -o blocked", "dspctl: cannot write blocked: *"},
        // A batch runs every line and exits with the first status that was not 0.
        {1, "-t1 -f batch",
         "dspctl: [fail]: likely vol takes 1 word*\ndspctl: no reply within 1 s*",
         "[ok]\n[fail]\n[ok]\n*"},
        {5, "--device=/none -- vol 40", "dspctl: cannot open /none: *"},
        {64, "--strict vol 300", "*the device sets 0; refused (--strict), nothing sent\n"},
        {2, "--raw-line -t 0.2 foo", "dspctl: no reply within 0.2 s*"},
        {0, "sync --json", "",
         "{\n  \"report\": \"sync\",\n  \"complete\": true,\n*\"phase\": -9\n*"},
        // Each value in its channel's column (the 44 the warning above foretold),
        // whether of a list (gain), a record (ftr) or a list of records (bq).
        {0, "sync", "",
         "*\ngain                  0          5         7        44         0         0\n*"
         "0.000000\nftr value1 *\n"
         "ftr value5            0          0         0         0         5         0\n*\n"
         "bq[19] phase          0          0         0         0         0        -9\n"},
        {0, "hfsync", "", "hfsync report A0101 (complete)\n*cnExecIdx 4\nuplink  -1.500000\n"},
        // Wide values in three channels' biquad banks push the report past
        // the server's reply capacity.
        {0, "", "", "*[ok]\n", "",
         "bq channel 0" + wide + "\nbq channel 1" + wide + "\nbq channel 2" + wide},
        // The cut came in channel 4's second band: a "-" for each
        // value not received.
        {3, "sync", "dspctl: sync report truncated after 8190 bytes: no end mark [ok]; *\n",
         "sync report A0101 (TRUNCATED: *\nbq[1] gain *0.000000  0.000000         -\nbq[1] q *0."
         "707000         -         -\n*\nbq[19] phase *0         -         -\n"},
        {3, "dsp sync --raw", "dspctl: report truncated after 8190 bytes: no end mark [ok]\n",
         "dsp sync:*:-1:-1:-1:*"},
        {5, "sim --dspd no-dspd", "dspctl: cannot start no-dspd: *"},
        {5, "sim --server-log fake.log --dspd ./fake",
         "dspctl: *(status 3) before*; its last words, from fake.log:\n2\n3\n4\n5\n6\n\n"},
        // Ends before its port is ready, without a word in its log.
        {5, "sim --dspd /bin/true", "*/bin/true ended (status 0) before*; it logged nothing\n"},
        // Answers no dspd gives. The header claims 296 bytes and 300 follow:
        // nothing is written.
        {4, "getmp -o lie.out", "dspctl: malformed reply: frame header claims 296 bytes, but more*",
         "", "\0\0\x01\x28"s + std::string(300, 'x') + "[ok]\0"s},
        {4, "getmp", "dspctl: getmp answered [ok] without a frame\n", "", "[ok]\0"s},
        {4, "sync", "dspctl: sync answered with a ok instead of a report\n", "", "[ok]\0"s},
        {1, "hfsync --json", "dspctl: hfsync: [fail]\ndspctl: [fail]: the line passes*", "",
         "[fail]\0"s},
        {4, "sync", "dspctl: malformed sync report: *", "", "dsp sync:A0101:vol:x:[ok]"},
    };
    ScopedEnv tmp("TMPDIR", dir.c_str());  // where sim makes its server's log
    for (const Row& row : rows) b.expect(row);
    EXPECT_EQ(readFile(dir + "/2560"), readFile(dir + "/ext.out")) << "the blob came back whole";
    // Nothing is left beside the directory in the way, of the frame that lied,
    // nor of a simulated device that did not start.
    EXPECT_EQ(
        0,
        system(
            ("cd " + dir + " && ! ls | grep -E '^(blocked[.]|lie[.]out$|dspctl-sim-)'").c_str()));
    // The console on a server of its own, found beside dspctl; DSPD_SIM_FAIL
    // reaches that server (not the one started before), and "quit" ends it.
    ScopedEnv fail("DSPD_SIM_FAIL", "setMasterVolume");
    b.expect(
        {1, "sim --server-log log",
         "dspctl: simulated device on /dev/*; server log in log\ndspctl: [fail]: the line passes "
         "every check dspctl knows of; the device's log tells why it failed\n"
         "dspctl: server stopped\n",
         "[ok]\n[fail]\n{\n*\n}\n", "", "dsp status\nvol 40\nhfsync --json\nquit\nvol 50\n"});
    const std::string log = readFile(dir + "/log");
    EXPECT_TRUE(matches(log, "*ERR: setMasterVolume failed*") && !matches(log, "*vol 50*")) << log;
}

// A state stored, changed, refused in bad files with nothing sent, restored
// in the fewest commands and stored again the same; a restore stopped by a
// failing operation says what was done and what is left.
TEST(DspctlE2ETest, StateFilesStoreRestoreDiff) {
    Bench b;
    ASSERT_TRUE(b.ok) << "no peer port offered";
    const std::string& dir = b.dir;
    std::string bands;
    for (int band = 0; band < 20; ++band) bands += " 1 2000 -1.5 2 1 6 90";
    writeFile(dir + "/m.bin", "", 296);
    writeFile(dir + "/changes",
              "spk 1\nvol 40\ncvol 2 7\neq gain 3 -6.5 2\nftr 4 0 0 0 0 5 0\nloud 1 2 3\n"
              "bq gain 4 -3 1\nbq channel 3" +
                  bands + "\nhfaec seq gain 2 -1.25\nmpbin m.bin\n");
    const Row before[] = {
        {0, "store a.json", "", "1121 settings and both MP.bin blobs stored in a.json\n"},
        {0, "-f changes", "", "*"},
        {0, "store c.json", "", "*"},
        {1, "diff a.json c.json", "",
         "vol layout: 0 -> 1\nvol master: 30 -> 40\nvol ch2 gain: 0 -> 7\neq ch2 band3 gain: "
         "0.000000 -> -6.500000\n"
         "ftr ch4 value5: 0 -> 5\nloud value1: 0 -> 1\n*bq ch1 band4 gain: 0.000000 -> -3.000000\n"
         "bq ch3 band0 type: 0 -> 1\n*bq ch3 band19 phase: 0 -> 90\nseq band2 gain: 0.000000 -> "
         "-1.250000\nmpbin standard: * of 296 bytes differ, the first at byte 0\n"},
        {0, "restore a.json --dry-run", "dspctl: 10 commands would be sent; none was\n",
         "spk 0\nvol 30\ncvol 2 0\neq gain 3 0.000000 2\nftr 4 0 0 0 0 0 0\nloud 0 0 0\nbq gain 4 "
         "0.000000 "
         "1\nbq channel 3 0 1000 0.000000 0.707000 0 0 0 *\nhfaec seq gain 2 0.000000\nmpbin 296 "
         "00:00:*\n"}};
    for (const Row& row : before) b.expect(row);
    // Files refused whole: each also differs from the device, which the
    // restore after them shows unchanged.
    const std::string a = readFile(dir + "/a.json");
    const struct {
        const char* name;
        std::string from;  // replaced in the stored file; "" for the whole
        std::string to;
        std::string err;
    } bad[] = {
        {"notjson", "", "[ok]", "notjson is no state file: not JSON (at byte 1: *)"},
        {"noformat", "", "{}", "noformat: no dspctl state file: it has no \"format\" field"},
        {"format2", "\"format\": 1", "\"format\": 2",
         "format2: state file of format 2; this dspctl reads format 1"},
        {"volume", "\"master\": 30", "\"master\": 300",
         "volume: vol master: volume 300 is outside 0 to 255*"},
        {"layout", "\"layout\": 0", "\"layout\": 7", "layout: vol layout: *7*"},
        {"text", "\"master\": 30", "\"master\": \"30\"",
         "text: vol master: \"30\" is no whole number"},
        {"missing", "\"uplink\"", "\"uplinc\"", "missing: missing field hfsync.uplink"},
        {"extra", "\"nr\": 0", "\"nr\": 0, \"foo\": 1", "extra: unknown field hfsync.foo"},
        {"blob", "\"standard\": \"00", "\"standard\": \"0",
         "blob: mpbin standard: not 296 bytes as hex digits"},
    };
    const auto edited = [&a](const std::string& from, const std::string& to) {
        const size_t at = a.find(from);
        return from.empty() ? to : a.substr(0, at) + to + a.substr(at + from.size());
    };
    for (const auto& f : bad) {
        writeFile(dir + "/" + f.name, edited(f.from, f.to));
        b.expect({6, std::string("restore ") + f.name, "dspctl: " + f.err + "; nothing sent\n"});
    }
    // A real written by hand is the value the device prints back.
    writeFile(dir + "/hand", edited("\"q\": 0.707000", "\"q\": 7.07e-1"));
    const Row after[] = {
        {0, "restore a.json", "",
         "[ok] spk 0\n[ok] vol 30\n[ok] cvol 2 0\n*[ok] bq channel 3 (all 20 bands)\n[ok] hfaec "
         "seq gain 2 "
         "0.000000\n[ok] mpbin 296 (standard MP.bin)\n10 commands sent; the device's state is "
         "that of a.json\n"},
        {0, "diff a.json", "", ""},
        {0, "diff hand", "", ""},
        {0, "store b.json", "", "*"},
        {0, "diff a.json b.json --json", "", "{\n  \"equal\": true,*"},
        {1, "diff c.json --json", "",
         "*\"setting\": \"vol master\",\n      \"a\": 40,\n      \"b\": 30\n*"},
        {6, "diff c.json none",
         "dspctl: cannot read none: No such file or directory; nothing sent\n"},
        {64, "restore a.json --force", "dspctl: *\"--force\"*\n"},
    };
    for (const Row& row : after) b.expect(row);
    // Only the time of reading may differ.
    const auto timeless = [](std::string text) {
        const size_t at = text.find("\n  \"read\"");
        return text.erase(at, text.find('\n', at + 1) - at);
    };
    EXPECT_EQ(timeless(a), timeless(readFile(dir + "/b.json")));
    ScopedEnv fail("DSPD_SIM_FAIL", "setLoudness");
    b.expect(
        {1, "sim",
         "dspctl: simulated device *\ndspctl: restore stopped at \"loud 1 2 3\": the 5 commands "
         "before it were carried out; it and the 4 after it are left undone\ndspctl: server "
         "stopped\n",
         "[ok] spk 1\n[ok] vol 40\n[ok] cvol 2 7\n[ok] eq gain 3 -6.500000 "
         "2\n[ok] ftr "
         "4 0 0 0 0 5 0\n[fail] loud 1 2 3\n[not sent] bq gain 4 -3.000000 1\n[not sent] bq "
         "channel 3 (all 20 bands)\n[not sent] hfaec seq gain 2 -1.250000\n[not sent] mpbin "
         "296 (standard MP.bin)\n",
         "", "restore c.json\n"});
}

}  // namespace
