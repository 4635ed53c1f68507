// Exit statuses of dspctl, one per outcome a script may want to tell apart.
// They are part of the tool's interface: docs/dspctl.md and `dspctl --help` list them.
#ifndef TOOLS_DSPCTL_EXIT_CODE_H
#define TOOLS_DSPCTL_EXIT_CODE_H

enum ExitCode : int {
    kExitOk = 0,         // "[ok]", a complete report, or a checked frame and "[ok]"
    kExitFail = 1,       // "[fail]"
    kExitNoReply = 2,    // nothing came within the timeout (unknown items get no reply)
    kExitTruncated = 3,  // a report without its end mark: what came is shown, marked partial
    kExitMalformed = 4,  // a frame whose length header does not match, or bytes that are no reply
    kExitPortError = 5,  // the port cannot be opened, set up or used; the simulated device fails
    // An MP.bin file that cannot be read or is not 296 or 2560 bytes, a state
    // file that cannot be read or is refused, or a file that cannot be written.
    kExitFileError = 6,
    kExitUsage = 64,  // wrong words or options
};

#endif  // TOOLS_DSPCTL_EXIT_CODE_H
