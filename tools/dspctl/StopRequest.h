// SIGINT, SIGTERM and SIGHUP as a request to end the console: the handler
// only sets a flag, and since it is installed without SA_RESTART, a wait for
// input or for a reply returns with EINTR and the caller looks at the flag.
// Process-wide; install() once from the main thread.
#ifndef TOOLS_DSPCTL_STOP_REQUEST_H
#define TOOLS_DSPCTL_STOP_REQUEST_H

class StopRequest {
public:
    // Returns false when a handler could not be installed.
    static bool install();
    static bool requested();
};

#endif  // TOOLS_DSPCTL_STOP_REQUEST_H
