// The web console (ConsoleServer, in this process) on the real dspd on a
// pseudo-terminal (dspctl's own simulated device) holding the realistic
// state (RealisticState.h), driven over HTTP from this process:
//
// - a full refresh (GET /api/state) beside the same "dsp sync" and
//   "dsp hfsync" exchanged on the line directly, their bytes and wire time at
//   115200 baud (10 bits a byte); the ratio is the console's own overhead
//   (refresh minus direct exchange) added to the wire time, over the wire
//   time, since a pty has no baud rate;
// - a change through POST /api/command for three forms: the lines dspd's log
//   shows it received (commands and reads of a part), the bytes of the same
//   command and read sent directly, and the time beside them;
// - the page (GET /) and its script on fresh connections, idle and while
//   many connections keep the port busy with refreshes and restores; every
//   refresh under load must be answered.
//
// In-process rather than `dspctl serve` as a process: the line is the pty's
// master end, which only this process holds, so the direct exchanges go on
// the same line between requests.
//
//     console_bench [--rounds N]
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <httplib.h>
#pragma GCC diagnostic pop

#include "ConsoleServer.h"
#include "RealisticState.h"
#include "ReplyReader.h"
#include "SerialPort.h"
#include "SimDevice.h"
#include "StoredState.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kGoal = 1.05;  // refresh over the wire time of its reads
constexpr int kLoaders = 12;    // two browsers' 6 connections each

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double wireMs(size_t bytes) { return static_cast<double>(bytes) * 10 / 115200 * 1000; }

class ConsoleRig {
public:
    ConsoleRig() : mServer(mPort, 2000, 500) {
        char dir[] = "/tmp/console-bench-XXXXXX";
        mDir = mkdtemp(dir) != nullptr ? dir : "";
        SimDevice::Options options;
        options.server = DSPD_BINARY;
        options.logPath = mDir + "/dspd.log";
        std::string message;
        mOk = !mDir.empty() && mDevice.start(options, &message);
        mPort.attach(mDevice.masterFd());
        mOk = mOk && mServer.bind("127.0.0.1", 0, &message);
        if (!mOk) {
            std::fprintf(stderr, "console_bench: %s\n", message.c_str());
            return;
        }
        const std::string url = mServer.url();
        mToken = url.substr(url.find("token=") + 6);
        mHttpPort = std::stoi(url.substr(url.rfind(':') + 1));
        mThread = std::thread([this] { mServer.serve(); });
    }
    ~ConsoleRig() {
        if (mThread.joinable()) {
            mServer.stop();
            mThread.join();
        }
        mDevice.stop();
        if (!mDir.empty() && std::system(("rm -rf '" + mDir + "'").c_str()) != 0) {
            std::fprintf(stderr, "console_bench: %s left behind\n", mDir.c_str());
        }
    }

    bool ok() const { return mOk; }

    // A client with the token; keep-alive as a browser's, or a fresh
    // connection for every request.
    std::unique_ptr<httplib::Client> client(bool keepAlive) const {
        std::unique_ptr<httplib::Client> c(new httplib::Client("127.0.0.1", mHttpPort));
        c->set_default_headers({{"Cookie", "dspctl_token=" + mToken},
                                {"Origin", "http://127.0.0.1:" + std::to_string(mHttpPort)}});
        c->set_keep_alive(keepAlive);
        c->set_tcp_nodelay(true);  // as browsers do: a POST goes out as headers, then body
        c->set_read_timeout(120);
        return c;
    }

    // Sends `line` on the line itself and reads its reply; the bytes both
    // ways, or 0 when no reply came. Only while no request runs.
    size_t direct(const std::string& line) {
        Reply reply;
        ReplyReader reader(mPort.fd(), 2000, 500);
        if (mPort.writeAll(line) != 0 || reader.read(&reply) != 0 || reply.kind == Reply::kNone) {
            return 0;
        }
        return line.size() + reply.raw.size();
    }

    // The lines dspd logged as received, from the `from`th on.
    std::vector<std::string> received(size_t from) const {
        static const std::string kMark = "threadLoop 290] INF: ";
        std::ifstream log(mDevice.logPath());
        std::vector<std::string> lines;
        for (std::string text; std::getline(log, text);) {
            const size_t at = text.find(kMark);
            if (at != std::string::npos) lines.push_back(text.substr(at + kMark.size()));
        }
        lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(from, lines.size())));
        return lines;
    }

private:
    std::string mDir;
    SimDevice mDevice;
    SerialPort mPort;
    ConsoleServer mServer;
    std::thread mThread;
    std::string mToken;
    int mHttpPort = 0;
    bool mOk = false;
};

bool restore(httplib::Client& client, const std::string& file) {
    const auto res = client.Post("/api/restore", file, "application/json");
    return res && res->status == 200 && res->body.find("\"status\": 0") != std::string::npos;
}

bool refresh(httplib::Client& client) {
    const auto res = client.Get("/api/state");
    return res && res->status == 200 && res->body.find("\"reachable\": true") != std::string::npos;
}

bool fullRefresh(ConsoleRig& rig, int rounds) {
    auto client = rig.client(true);
    std::vector<double> took;
    std::vector<double> direct;
    size_t bytes = 0;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        if (!refresh(*client)) return false;
        took.push_back(msSince(start));
        start = Clock::now();
        bytes = rig.direct("dsp sync\n") + rig.direct("dsp hfsync\n");
        direct.push_back(msSince(start));
    }
    const double wire = wireMs(bytes);
    const double ratio = (wire + median(took) - median(direct)) / wire;
    std::printf("%-30s %9.2f %11.2f %9zu %10.1f %7.4f  %s\n", "full refresh (/api/state)",
                median(took), median(direct), bytes, wire, ratio,
                ratio <= kGoal ? "met" : "MISSED");
    return true;
}

// One form of change: `words(i)` is the i-th round's command, `part` the
// report read back.
struct Change {
    const char* name;
    std::function<std::vector<std::string>(int)> words;
    const char* part;
};

bool change(ConsoleRig& rig, const Change& form, int rounds) {
    auto client = rig.client(true);
    std::vector<double> took;
    std::vector<double> direct;
    size_t commands = 0;
    size_t reads = 0;
    size_t bytes = 0;
    for (int i = 0; i < rounds; ++i) {
        std::string body = "{\"words\": [";
        std::string line = "dsp";
        for (const std::string& word : form.words(i)) {
            body += (line == "dsp" ? "\"" : ", \"") + word + "\"";
            line += " " + word;
        }
        body += "]}";
        const size_t logged = rig.received(0).size();
        auto start = Clock::now();
        const auto res = client->Post("/api/command", body, "application/json");
        took.push_back(msSince(start));
        if (!res || res->status != 200 || res->body.find("[ok]") == std::string::npos) {
            std::fprintf(stderr, "console_bench: %s: %s\n", line.c_str(),
                         res ? res->body.c_str() : "no answer");
            return false;
        }
        for (const std::string& got : rig.received(logged)) {
            const bool read = got == std::string("dsp ") + form.part;
            reads += read ? 1 : 0;
            commands += read ? 0 : 1;
        }
        start = Clock::now();
        bytes += rig.direct(line + "\n") + rig.direct(std::string("dsp ") + form.part + "\n");
        direct.push_back(msSince(start));
    }
    const double wire = wireMs(bytes / rounds);
    const double ratio = (wire + median(took) - median(direct)) / wire;
    std::printf("%-30s %9.2f %11.2f %9zu %10.1f %7.4f  %.2f commands, %.2f reads of %s\n",
                form.name, median(took), median(direct), bytes / rounds, wire, ratio,
                static_cast<double>(commands) / rounds, static_cast<double>(reads) / rounds,
                form.part);
    return true;
}

// Medians and the largest of GET / and GET /console.js, each on a fresh
// connection as a browser's new one would be. False when one went unanswered.
bool probePage(ConsoleRig& rig, const char* phase, int rounds) {
    std::vector<double> page;
    std::vector<double> script;
    bool answered = true;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        auto res = rig.client(false)->Get("/");
        page.push_back(msSince(start));
        answered = answered && res && res->status == 200;
        start = Clock::now();
        res = rig.client(false)->Get("/console.js");
        script.push_back(msSince(start));
        answered = answered && res && res->status == 200;
    }
    std::printf("%-30s %9.2f %9.2f %9.2f %9.2f  %s\n", phase, median(page),
                *std::max_element(page.begin(), page.end()), median(script),
                *std::max_element(script.begin(), script.end()),
                answered ? "all answered" : "NOT ANSWERED");
    return answered;
}

// The page while kLoaders connections refresh in a loop and one more
// restores the realistic state and the defaults by turns.
bool pageUnderLoad(ConsoleRig& rig, const std::string& tuned, const std::string& defaults,
                   int rounds) {
    std::atomic<bool> stop(false);
    std::atomic<int> refreshes(0);
    std::atomic<int> failed(0);
    std::atomic<int> restores(0);
    std::vector<std::thread> loaders;
    for (int i = 0; i < kLoaders; ++i) {
        loaders.emplace_back([&] {
            auto client = rig.client(true);
            while (!stop) (refresh(*client) ? refreshes : failed)++;
        });
    }
    loaders.emplace_back([&] {
        auto client = rig.client(true);
        for (int i = 0; !stop; ++i)
            (restore(*client, i % 2 ? defaults : tuned) ? restores : failed)++;
    });
    // Probing starts once refreshes keep coming: the port is busy.
    while (refreshes < kLoaders && failed == 0) std::this_thread::yield();
    const int before = refreshes;
    const bool answered = probePage(rig, "busy port (12 refreshing)", rounds);
    const int during = refreshes - before;
    stop = true;
    for (std::thread& loader : loaders) loader.join();
    std::printf("under load: %d refreshes (%d while probing), %d restores, %d failed\n",
                refreshes.load(), during, restores.load(), failed.load());
    return answered && failed == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 51;
    if (argc == 3 && std::string(argv[1]) == "--rounds") {
        rounds = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: console_bench [--rounds N]\n");
        return 2;
    }
    ConsoleRig rig;
    const std::string tuned = storedStateText(realisticState());
    const std::string defaults = storedStateText(audiosim::State::defaults());
    if (!rig.ok() || rounds < 1 || !restore(*rig.client(true), tuned)) {
        std::fprintf(stderr, "console_bench: no console on a simulated device\n");
        return 1;
    }
    std::printf("%-30s %9s %11s %9s %10s %7s  goal <= %.2f\n", "request (median)", "took (ms)",
                "direct (ms)", "bytes", "wire (ms)", "ratio", kGoal);
    bool ok = fullRefresh(rig, rounds);
    const Change forms[] = {
        {"cvol 2 V",
         [](int i) {
             return std::vector<std::string>{"cvol", "2", std::to_string(100 + i % 50)};
         },
         "sync"},
        {"eq gain 3 V 1",
         [](int i) {
             return std::vector<std::string>{"eq", "gain", "3", std::to_string(i % 10 - 5), "1"};
         },
         "sync"},
        {"hfaec seq gain 2 V",
         [](int i) {
             return std::vector<std::string>{"hfaec", "seq", "gain", "2",
                                             std::to_string(i % 10 - 5)};
         },
         "hfsync"},
    };
    for (const Change& form : forms) ok = ok && change(rig, form, rounds);
    std::printf("\n%-30s %9s %9s %9s %9s\n", "page on a fresh connection", "/ (ms)", "max",
                "js (ms)", "max");
    ok = probePage(rig, "idle port", rounds) && ok;
    ok = ok && pageUnderLoad(rig, tuned, defaults, rounds);
    return ok ? 0 : 1;
}
