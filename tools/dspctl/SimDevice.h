// A simulated device: dspd, built with the stand-in audio service, running on
// a pseudo-terminal whose master end is the peer's end of the line.
//
// start() opens the pseudo-terminal (the slave end raw at 115200 and held
// open, so the master never sees a hang-up), starts dspd with
// DSPD_SERIAL_PREFIX set to the terminal's directory and the terminal's number
// as its port, its standard output and error going to a log file, and waits
// for its "port ready" log line: bytes sent before it would be flushed. The
// rest of the environment passes through, DSPD_SIM_FAIL included. The server
// runs in a process group of its own, so a Ctrl-C at the console reaches only
// dspctl, which then stops the server.
// Not thread-safe.
#ifndef TOOLS_DSPCTL_SIM_DEVICE_H
#define TOOLS_DSPCTL_SIM_DEVICE_H

#include <sys/types.h>

#include <string>

class SimDevice {
public:
    struct Options {
        std::string server;   // dspd to run; empty: findServer()
        std::string logPath;  // empty: a new file dspctl-sim-XXXXXX.log in $TMPDIR or /tmp
        int readyTimeoutMs = 10000;
        int stopTimeoutMs = 10000;  // after SIGTERM, before SIGKILL
    };

    SimDevice() = default;
    // Stops a server still running (as stop()) and closes the terminal.
    ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // Returns true when the server is ready; otherwise false with a message
    // for people in *message, and nothing left running or open (the log file
    // stays, for what the server said, unless it is an empty temporary one).
    bool start(const Options& options, std::string* message);

    // The peer's end of the line; valid between start() and the destructor.
    int masterFd() const { return mMaster; }
    const std::string& portPath() const { return mSlavePath; }
    const std::string& logPath() const { return mLogPath; }
    const std::string& serverPath() const { return mServer; }

    // Sends SIGTERM and waits for the exit (SIGKILL after stopTimeoutMs).
    // Returns the exit status, 128 + the signal for a killed server, or -1
    // when no server runs or waiting failed.
    int stop();

    // The dspd beside this program (in the build tree: ../../app/dspd), else
    // "dspd" to be looked up on PATH.
    static std::string findServer();

private:
    bool openTerminal(std::string* message);
    bool openLog(const std::string& path, std::string* message);
    bool spawn(std::string* message);
    bool waitReady(int timeoutMs, std::string* message);
    void closeAll();

    int mMaster = -1;
    int mSlave = -1;
    int mLog = -1;
    std::string mSlavePath;
    std::string mLogPath;
    std::string mServer;
    pid_t mPid = -1;
    int mStopTimeoutMs = 10000;
};

#endif  // TOOLS_DSPCTL_SIM_DEVICE_H
