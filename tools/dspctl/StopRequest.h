// SIGINT, SIGTERM and SIGHUP for the console: the handler only sets a flag,
// and since it is installed without SA_RESTART, a wait for input or for a
// reply returns with EINTR and the caller looks at the flags.
//
// SIGTERM and SIGHUP always ask the console to end. SIGINT does too, except at
// a console on a terminal, where it only interrupts: the line being typed is
// cleared, a wait for a reply is abandoned, and the console goes on.
// Process-wide; install() from the main thread (again to change the mode).
#ifndef TOOLS_DSPCTL_STOP_REQUEST_H
#define TOOLS_DSPCTL_STOP_REQUEST_H

class StopRequest {
public:
    // Returns false when a handler could not be installed.
    static bool install(bool sigintInterrupts = false);
    static bool requested();
    // Whether a SIGINT came since the last call; clears it.
    static bool takeInterrupt();
};

#endif  // TOOLS_DSPCTL_STOP_REQUEST_H
