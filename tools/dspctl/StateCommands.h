// dspctl's state commands over one exchange with the server:
//
//   store FILE|-             reads sync, hfsync and both MP.bin blobs into a
//                            state file (StateFile.h), or to standard output
//   restore FILE [--dry-run] brings the device to the file's state with the
//                            commands for the values that differ, then reads
//                            it back and compares
//   diff A [B] [--json]      two state files, or A against the device
//
// A file is checked whole (shape, format version, every value's range)
// before anything is sent. Results go to `out`, messages beginning with
// "dspctl: " to `err`; every method returns an exit status (ExitCode.h).
// Not thread-safe.
#ifndef TOOLS_DSPCTL_STATE_COMMANDS_H
#define TOOLS_DSPCTL_STATE_COMMANDS_H

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Reply.h"
#include "StateFile.h"

class StateCommands {
public:
    // Sends one line and reads its reply: -1 with the reply in *reply, or an
    // exit status after its own message when the port failed.
    using Exchange = std::function<int(const std::string& line, Reply* reply)>;

    StateCommands(Exchange exchange, std::string port, FILE* out, FILE* err);

    // `item` is "store", "restore" or "diff"; `args` the words after it.
    int run(const std::string& item, const std::vector<std::string>& args);

    int store(const std::string& path);
    int restore(const std::string& path, bool dryRun);
    int diff(const std::string& a, const std::string& b, bool json);

    // The commands (words, without "dsp") that take a device at `from` to
    // `to`: per value, except that ftr and loud take all their values in one
    // line, and a biquad bank that differs in many fields takes the one
    // whole-channel line when that is fewer bytes. A blob goes whole.
    static std::vector<std::vector<std::string>> plan(const DeviceState& from,
                                                      const DeviceState& to);

private:
    // Reads the device's state; returns kExitOk or a status after a message.
    int readDevice(DeviceState* state, JsonValue* document);
    int readReply(const std::string& line, Reply::Kind want, Reply* reply);
    int load(const std::string& path, DeviceState* state);
    int usage(const std::string& message);

    Exchange mExchange;
    std::string mPort;
    FILE* mOut;
    FILE* mErr;
};

#endif  // TOOLS_DSPCTL_STATE_COMMANDS_H
