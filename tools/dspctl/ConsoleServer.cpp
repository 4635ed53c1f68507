#include "ConsoleServer.h"

#include <ifaddrs.h>
#include <netdb.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

// The library's own warnings are not ours to fix.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <httplib.h>
#pragma GCC diagnostic pop

#include "CommandTable.h"
#include "ExitCode.h"
#include "JsonValue.h"
#include "MpBinFile.h"
#include "ReplyReader.h"
#include "ReportDecoder.h"
#include "StateCommands.h"
#include "StateFile.h"
#include "WebAssets.h"

namespace {

constexpr const char* kCookie = "dspctl_token";
constexpr const char* kJson = "application/json";

std::string hex(const unsigned char* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

bool unhex(const std::string& text, std::string* bytes) {
    if (text.size() % 2 != 0) return false;
    bytes->clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        char pair[3] = {text[i], text[i + 1], '\0'};
        char* end = nullptr;
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1]))) {
            return false;
        }
        bytes->push_back(static_cast<char>(std::strtoul(pair, &end, 16)));
    }
    return true;
}

// Equal texts in a time that does not depend on where they differ.
bool sameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

// A name as a browser gives a chosen file: no path, nothing unprintable.
bool isFileName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    for (const unsigned char c : name) {
        if (c < 0x20 || c == 0x7f || c == '/' || c == '\\') return false;
    }
    return true;
}

// `text` with every `from` made `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Adds "ADDRESS:PORT" (`suffix` ":PORT") for every address of this
// machine's interfaces of `family` (AF_UNSPEC: IPv4 and IPv6), as a browser
// writes it in Host. Returns false when the interfaces cannot be listed.
bool addMachineHosts(int family, const std::string& suffix, std::set<std::string>* hosts) {
    struct ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    for (const struct ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        const struct sockaddr* addr = it->ifa_addr;
        if (addr == nullptr || (addr->sa_family != AF_INET && addr->sa_family != AF_INET6) ||
            (family != AF_UNSPEC && addr->sa_family != family)) {
            continue;
        }
        const bool v6 = addr->sa_family == AF_INET6;
        char text[NI_MAXHOST];
        if (getnameinfo(addr, v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in), text, sizeof text,
                        nullptr, 0, NI_NUMERICHOST) != 0) {
            continue;
        }
        const std::string host(text, std::strcspn(text, "%"));  // a browser sends no zone
        hosts->insert(v6 ? "[" + host + "]" + suffix : host + suffix);
    }
    freeifaddrs(list);
    return true;
}

void sendJson(httplib::Response& res, int status, const JsonValue& body) {
    res.status = status;
    res.set_content(body.write() + "\n", kJson);
}

void sendError(httplib::Response& res, int status, const std::string& message) {
    JsonValue body = JsonValue::object();
    body.set("error", JsonValue::string(message));
    sendJson(res, status, body);
}

// Text written to a FILE* held in memory, for StateCommands' output.
class MemoryFile {
public:
    MemoryFile() : mFile(open_memstream(&mData, &mSize)) {}
    ~MemoryFile() {
        if (mFile != nullptr) std::fclose(mFile);
        std::free(mData);
    }
    FILE* get() const { return mFile; }
    std::string text() {
        if (mFile == nullptr || std::fflush(mFile) != 0) return "";
        return std::string(mData, mSize);
    }

private:
    char* mData = nullptr;
    size_t mSize = 0;
    FILE* mFile;
};

// A state file from a request body, on disk for StateCommands; removed after.
class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        const char* dir = std::getenv("TMPDIR");
        mPath =
            std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") + "/dspctl-console-XXXXXX";
        const int fd = mkstemp(&mPath[0]);
        if (fd < 0) {
            mPath.clear();
            return;
        }
        bool written = true;
        for (size_t done = 0; done < bytes.size() && written;) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            written = n > 0 || (n < 0 && errno == EINTR);
            if (n > 0) done += static_cast<size_t>(n);
        }
        if (::close(fd) != 0 || !written) {
            ::unlink(mPath.c_str());
            mPath.clear();
        }
    }
    ~TempFile() {
        if (!mPath.empty()) ::unlink(mPath.c_str());
    }
    const std::string& path() const { return mPath; }

private:
    std::string mPath;
};

}  // namespace

struct ConsoleServer::Impl {
    SerialPort& port;
    int timeoutMs;
    int quietMs;
    httplib::Server http;
    std::mutex portMutex;  // one exchange on the line at a time
    std::string token;
    std::string host;
    int boundPort = 0;
    std::set<std::string> hosts;  // the Host values taken, with the port

    Impl(SerialPort& p, int t, int q) : port(p), timeoutMs(t), quietMs(q) {}

    // Sends `line` and reads its reply; portMutex must be held. Returns 0 or
    // an exit status after a message in *problem.
    int exchange(const std::string& line, Reply* reply, std::string* problem) {
        ReplyReader reader(port.fd(), timeoutMs, quietMs);
        std::string stale;
        int error = reader.drain(&stale);
        if (error == 0) error = port.writeAll(line);
        if (error == 0) error = reader.read(reply);
        if (error != 0) {
            *problem = std::string("port error: ") + std::strerror(error);
            return kExitPortError;
        }
        if (reply->kind == Reply::kNone) {
            *problem = "no reply within the timeout";
            return kExitNoReply;
        }
        return kExitOk;
    }

    // One report read and decoded; null when the device gave none.
    JsonValue readPart(const std::string& name) {
        Reply reply;
        std::string problem;
        if (exchange("dsp " + name + "\n", &reply, &problem) != kExitOk ||
            (reply.kind != Reply::kReport && reply.kind != Reply::kTruncated)) {
            return JsonValue();
        }
        DecodedReport decoded =
            name == "sync" ? decodeSyncReport(reply.report) : decodeHfsyncReport(reply.report);
        if (decoded.status == DecodedReport::kMalformed) return JsonValue();
        return std::move(decoded.values);
    }

    bool hasToken(const httplib::Request& req) const {
        const std::string cookies = req.get_header_value("Cookie");
        const std::string prefix = std::string(kCookie) + "=";
        for (size_t start = 0; start < cookies.size();) {
            size_t end = cookies.find(';', start);
            if (end == std::string::npos) end = cookies.size();
            std::string pair = cookies.substr(start, end - start);
            pair.erase(0, pair.find_first_not_of(' '));
            if (pair.compare(0, prefix.size(), prefix) == 0 &&
                sameSecret(pair.substr(prefix.size()), token)) {
                return true;
            }
            start = end + 1;
        }
        return false;
    }

    // The checks every request passes before its handler; false: answered.
    bool admit(const httplib::Request& req, httplib::Response& res) {
        if (hosts.count(req.get_header_value("Host")) == 0) {
            sendError(res, 403, "Host is not this console's address");
            return false;
        }
        if (req.method == "GET" && req.path == "/" && req.has_param("token")) {
            return true;  // the handler checks the token itself
        }
        if (!hasToken(req)) {
            sendError(res, 403, "no valid access token: open the URL dspctl printed");
            return false;
        }
        if (req.method != "GET") {
            const std::string origin = req.get_header_value("Origin");
            if (origin.compare(0, 7, "http://") != 0 || hosts.count(origin.substr(7)) == 0) {
                sendError(res, 403, "Origin is not this console");
                return false;
            }
            const std::string type = req.get_header_value("Content-Type");
            if (type.compare(0, std::strlen(kJson), kJson) != 0) {
                sendError(res, 403, "a change needs a body of type application/json");
                return false;
            }
        }
        return true;
    }

    void page(const httplib::Request& req, httplib::Response& res) {
        if (req.has_param("token")) {
            if (!sameSecret(req.get_param_value("token"), token)) {
                sendError(res, 403, "wrong access token");
                return;
            }
            res.set_header("Set-Cookie", std::string(kCookie) + "=" + token +
                                             "; SameSite=Strict; HttpOnly; Path=/");
            res.set_redirect("/");
            return;
        }
        serveAsset("/index.html", res);
    }

    void serveAsset(const std::string& path, httplib::Response& res) {
        for (const WebAsset& asset : webAssets()) {
            if (path == std::string("/") + asset.name) {
                res.set_header("Cache-Control", "no-store");
                res.set_content(std::string(asset.data, asset.size), asset.type);
                return;
            }
        }
        sendError(res, 404, "no such page");
    }

    void state(httplib::Response& res) {
        JsonValue body = JsonValue::object();
        std::lock_guard<std::mutex> lock(portMutex);
        const auto start = std::chrono::steady_clock::now();
        JsonValue sync = readPart("sync");
        JsonValue hfsync = readPart("hfsync");
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        body.set("reachable", JsonValue::boolean(sync.type() != JsonValue::kNull ||
                                                 hfsync.type() != JsonValue::kNull));
        body.set("readMs", JsonValue::number(std::to_string(ms)));
        body.set("sync", std::move(sync));
        body.set("hfsync", std::move(hfsync));
        sendJson(res, 200, body);
    }

    // The body as a JSON object, or false after a 400.
    static bool parseBody(const httplib::Request& req, httplib::Response& res, JsonValue* body) {
        std::string problem;
        if (!JsonValue::parse(req.body, body, &problem) || body->type() != JsonValue::kObject) {
            sendError(res, 400, "the body is not a JSON object: " + problem);
            return false;
        }
        return true;
    }

    void command(const httplib::Request& req, httplib::Response& res) {
        JsonValue body;
        if (!parseBody(req, res, &body)) return;
        const JsonValue* list = body.find("words");
        std::vector<std::string> words;
        for (size_t i = 0; list != nullptr && i < list->size(); ++i) {
            if (list->at(i).type() != JsonValue::kString) break;
            words.push_back(list->at(i).text());
        }
        if (list == nullptr || list->type() != JsonValue::kArray || words.empty() ||
            words.size() != list->size()) {
            sendError(res, 400, "\"words\" must be an array of strings");
            return;
        }
        // The line joins the words with spaces: an empty word, or one with
        // a space in it, would make a line of other words than those checked.
        for (const std::string& word : words) {
            if (word.empty() || word.find_first_of(" \t\r\n") != std::string::npos) {
                sendError(res, 400, "a word is empty or holds a space; nothing sent");
                return;
            }
        }
        static const std::set<std::string> kOwn = {"help",  "sync",    "hfsync", "getmp",
                                                   "mpbin", "restore", "store",  "diff"};
        if (kOwn.count(words[0]) != 0) {
            sendError(res, 400, words[0] + " has a request of its own, not /api/command");
            return;
        }
        const CommandCheck check = checkCommand(words);
        if (check.verdict == CommandCheck::kRefused) {
            sendError(res, 400, check.message);
            return;
        }
        const std::string part = words[0] == "hfaec" ? "hfsync" : "sync";
        std::lock_guard<std::mutex> lock(portMutex);
        Reply reply;
        std::string problem;
        if (exchange(commandLine(words), &reply, &problem) != kExitOk) {
            sendError(res, 504, problem);
            return;
        }
        if (reply.kind != Reply::kOk && reply.kind != Reply::kFail) {
            sendError(res, 502,
                      std::string("the device answered with a ") + replyKindName(reply.kind));
            return;
        }
        const bool ok = reply.kind == Reply::kOk;
        JsonValue answer = JsonValue::object();
        answer.set("reply", JsonValue::string(ok ? "[ok]" : "[fail]"));
        answer.set("reason", JsonValue::string(ok ? "" : likelyFailReason(words)));
        answer.set("warning",
                   JsonValue::string(check.verdict == CommandCheck::kWarning ? check.message : ""));
        answer.set("part", JsonValue::string(part));
        answer.set("report", readPart(part));
        sendJson(res, 200, answer);
    }

    StateCommands stateCommands(FILE* out, FILE* err) {
        auto send = [this](const std::string& line, Reply* reply) {
            std::string problem;
            const int status = exchange(line, reply, &problem);
            return status == kExitOk ? -1 : status;
        };
        return StateCommands(send, port.path(), out, err);
    }

    void store(httplib::Response& res) {
        MemoryFile out;
        MemoryFile err;
        std::lock_guard<std::mutex> lock(portMutex);
        const int status = stateCommands(out.get(), err.get()).store("-");
        if (status != kExitOk) {
            sendError(res, 502, err.text());
            return;
        }
        res.set_header("Content-Disposition", "attachment; filename=\"dspctl-state.json\"");
        res.set_content(out.text(), kJson);
    }

    // diff or restore of the state file in the body against the device. The
    // messages name the file by the name the page gives (?name=), never by
    // the temporary file's path.
    void withFile(const httplib::Request& req, httplib::Response& res, bool restore) {
        const std::string name =
            req.has_param("name") ? req.get_param_value("name") : "the uploaded file";
        if (!isFileName(name)) {
            sendError(res, 400, "name must be a file's name, without a path");
            return;
        }
        TempFile file(req.body);
        if (file.path().empty()) {
            sendError(res, 500, std::string("cannot keep the file: ") + std::strerror(errno));
            return;
        }
        MemoryFile out;
        MemoryFile err;
        std::lock_guard<std::mutex> lock(portMutex);
        StateCommands commands = stateCommands(out.get(), err.get());
        const int status =
            restore ? commands.restore(file.path(), false) : commands.diff(file.path(), "", false);
        JsonValue answer = JsonValue::object();
        answer.set("status", JsonValue::number(std::to_string(status)));
        answer.set("output", JsonValue::string(replaced(out.text(), file.path(), name)));
        answer.set("messages", JsonValue::string(replaced(err.text(), file.path(), name)));
        if (!restore) {
            // What restore would refuse, so the page need not offer it.
            DeviceState state;
            std::string problem;
            const std::string range =
                loadStateFile(file.path(), &state, &problem) ? stateRangeProblem(state) : "";
            answer.set("refusal", JsonValue::string(range.empty() ? "" : name + ": " + range));
        }
        // A file refused before anything was sent is the request's fault.
        sendJson(res, status == kExitFileError || status == kExitUsage ? 400 : 200, answer);
    }

    void getMpBin(const httplib::Request& req, httplib::Response& res) {
        const std::string ext = req.get_param_value("ext");
        if (ext != "0" && ext != "1") {
            sendError(res, 400, "ext must be 0 (standard) or 1 (extended)");
            return;
        }
        std::lock_guard<std::mutex> lock(portMutex);
        Reply reply;
        std::string problem;
        if (exchange(ext == "1" ? "dsp getmp ext\n" : "dsp getmp\n", &reply, &problem) != kExitOk) {
            sendError(res, 504, problem);
            return;
        }
        if (reply.kind != Reply::kFrame) {
            sendError(res, 502, std::string("getmp answered with a ") + replyKindName(reply.kind));
            return;
        }
        res.set_header("Content-Disposition", ext == "1" ? "attachment; filename=\"MP-ext.bin\""
                                                         : "attachment; filename=\"MP.bin\"");
        res.set_content(reply.blob, "application/octet-stream");
    }

    void putMpBin(const httplib::Request& req, httplib::Response& res) {
        JsonValue body;
        if (!parseBody(req, res, &body)) return;
        const JsonValue* text = body.find("hex");
        std::string blob;
        if (text == nullptr || text->type() != JsonValue::kString || !unhex(text->text(), &blob)) {
            sendError(res, 400, "\"hex\" must be a string of hex digit pairs");
            return;
        }
        if (blob.size() != kMpBinStandardSize && blob.size() != kMpBinExtendedSize) {
            sendError(res, 400,
                      "an MP.bin blob is 296 or 2560 bytes, not " + std::to_string(blob.size()) +
                          "; nothing sent");
            return;
        }
        std::lock_guard<std::mutex> lock(portMutex);
        Reply reply;
        std::string problem;
        if (exchange(mpBinCommandLine(blob), &reply, &problem) != kExitOk) {
            sendError(res, 504, problem);
            return;
        }
        JsonValue answer = JsonValue::object();
        answer.set("reply",
                   JsonValue::string(reply.kind == Reply::kOk     ? "[ok]"
                                     : reply.kind == Reply::kFail ? "[fail]"
                                                                  : replyKindName(reply.kind)));
        sendJson(res, 200, answer);
    }

    // Threads: the server gives each connection a pool thread for as long
    // as it stays open, idle between keep-alive requests too, and a request
    // waiting for the port holds its thread. A browser keeps up to 6
    // connections to one host, shared by all its tabs. With the library's
    // default of 8 threads, two browsers (or scripts beside one) can hold
    // them all, and the page and its scripts then queue behind the port
    // (1.4 s in console_bench). 32 serve five browsers with every connection
    // held and leave some over; an idle thread costs no CPU.
    static constexpr size_t kThreads = 32;

    void setUp() {
        http.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
        // An idle connection gives its thread back after 2 s (until then the
        // library looks at it about 180 times a second); a page's burst of
        // requests (a change and its read-back, a refresh) comes well within
        // that, and a new connection here costs a fraction of a ms.
        http.set_keep_alive_timeout(2);
        // The library's default closes a connection after 5 requests; a
        // page's burst of changes then reconnects for nothing.
        http.set_keep_alive_max_count(100);
        // A reply goes out as headers, then body: without this, the body
        // waits for the peer's delayed acknowledgement of the headers.
        http.set_tcp_nodelay(true);
    }

    void routes() {
        setUp();
        http.set_payload_max_length(kMaxBodyBytes);
        http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            return admit(req, res) ? httplib::Server::HandlerResponse::Unhandled
                                   : httplib::Server::HandlerResponse::Handled;
        });
        http.Get("/",
                 [this](const httplib::Request& req, httplib::Response& res) { page(req, res); });
        http.Get(R"(/[a-z]+\.[a-z]+)", [this](const httplib::Request& req, httplib::Response& res) {
            serveAsset(req.path, res);
        });
        http.Get("/api/state",
                 [this](const httplib::Request&, httplib::Response& res) { state(res); });
        http.Post("/api/command", [this](const httplib::Request& req, httplib::Response& res) {
            command(req, res);
        });
        http.Get("/api/store",
                 [this](const httplib::Request&, httplib::Response& res) { store(res); });
        http.Post("/api/diff", [this](const httplib::Request& req, httplib::Response& res) {
            withFile(req, res, false);
        });
        http.Post("/api/restore", [this](const httplib::Request& req, httplib::Response& res) {
            withFile(req, res, true);
        });
        http.Get("/api/mpbin", [this](const httplib::Request& req, httplib::Response& res) {
            getMpBin(req, res);
        });
        http.Post("/api/mpbin", [this](const httplib::Request& req, httplib::Response& res) {
            putMpBin(req, res);
        });
    }
};

ConsoleServer::ConsoleServer(SerialPort& port, int timeoutMs, int quietMs)
    : mImpl(new Impl(port, timeoutMs, quietMs)) {
    mImpl->routes();
}

ConsoleServer::~ConsoleServer() = default;

bool ConsoleServer::parseListen(const std::string& text, std::string* host, int* port,
                                std::string* message) {
    const size_t colon = text.rfind(':');
    char* end = nullptr;
    const long value =
        colon == std::string::npos ? -1 : std::strtol(text.c_str() + colon + 1, &end, 10);
    if (colon == std::string::npos || colon == 0 || end == text.c_str() + colon + 1 ||
        *end != '\0' || value < 0 || value > 65535) {
        *message = "bad --listen \"" + text + "\": HOST:PORT, a port of 0 to 65535";
        return false;
    }
    *host = text.substr(0, colon);
    *port = static_cast<int>(value);
    return true;
}

bool ConsoleServer::bind(const std::string& host, int port, std::string* message) {
    unsigned char secret[16];
    ssize_t got = -1;
    do {
        got = getrandom(secret, sizeof secret, 0);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof secret)) {
        *message = std::string("cannot draw an access token: ") + std::strerror(errno);
        return false;
    }
    mImpl->token = hex(secret, sizeof secret);
    mImpl->boundPort = port == 0 ? mImpl->http.bind_to_any_port(host.c_str())
                                 : (mImpl->http.bind_to_port(host.c_str(), port) ? port : -1);
    if (mImpl->boundPort <= 0) {
        *message =
            "cannot listen on " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    // An IPv6 address in a URL and in Host is written in brackets.
    mImpl->host = host.find(':') == std::string::npos ? host : "[" + host + "]";
    const std::string suffix = ":" + std::to_string(mImpl->boundPort);
    mImpl->hosts = {mImpl->host + suffix, "localhost" + suffix, "127.0.0.1" + suffix};
    // On every address, the machine's own addresses are what a user types;
    // names stay refused, as a rebound name would pass for one.
    const bool any = host == "0.0.0.0" || host == "::";
    if (any && !addMachineHosts(host == "::" ? AF_UNSPEC : AF_INET, suffix, &mImpl->hosts)) {
        *message = std::string("cannot list this machine's addresses: ") + std::strerror(errno);
        return false;
    }
    return true;
}

std::string ConsoleServer::url() const {
    return "http://" + mImpl->host + ":" + std::to_string(mImpl->boundPort) +
           "/?token=" + mImpl->token;
}

bool ConsoleServer::serve() { return mImpl->http.listen_after_bind(); }

void ConsoleServer::stop() { mImpl->http.stop(); }
