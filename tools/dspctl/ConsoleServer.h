// The web console: an HTTP server (cpp-httplib) on a local address that
// serves one page, built into the binary, and a JSON API over the device's
// serial line (docs/console.md).
//
// No other web page and no other user may drive the device: every request
// needs the Host of the listening address (or localhost/127.0.0.1, or on
// 0.0.0.0 or :: an address of this machine) with its port; /api and the
// page need the access token, taken once from "/?token=T" into a
// SameSite=Strict, HttpOnly cookie; a state-changing request is a POST of
// application/json (or a state file) with an Origin of a permitted host;
// bodies are size-limited before they are read; every command passes
// checkCommand() before it is sent. No CORS headers.
//
// Requests run on the server's threads; their exchanges with the port go one
// at a time under one mutex, so a request while the port is busy waits.
#ifndef TOOLS_DSPCTL_CONSOLE_SERVER_H
#define TOOLS_DSPCTL_CONSOLE_SERVER_H

#include <memory>
#include <string>

#include "SerialPort.h"

class ConsoleServer {
public:
    // The largest request body taken: a state file with both blobs fits.
    static constexpr size_t kMaxBodyBytes = 256 * 1024;

    ConsoleServer(SerialPort& port, int timeoutMs, int quietMs);
    ~ConsoleServer();
    ConsoleServer(const ConsoleServer&) = delete;
    ConsoleServer& operator=(const ConsoleServer&) = delete;

    // Parses "HOST:PORT" (port 0: any free one). Returns false with a
    // message for people.
    static bool parseListen(const std::string& text, std::string* host, int* port,
                            std::string* message);

    // Binds `host`:`port` and draws the token. Returns false with a message.
    bool bind(const std::string& host, int port, std::string* message);
    // The URL to open, token included; valid after bind().
    std::string url() const;
    // Serves until stop() (from another thread). Returns false when the
    // server failed.
    bool serve();
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

#endif  // TOOLS_DSPCTL_CONSOLE_SERVER_H
