// What the server tells, and learns from, a service manager that started it
// (a systemd unit of Type=notify with its output sent to the journal).
#ifndef APP_SERVICE_MANAGER_H
#define APP_SERVICE_MANAGER_H

class ServiceManager {
public:
    // Sends "READY=1" to the socket named by NOTIFY_SOCKET (a path, or an
    // abstract name written with a leading '@'). Returns 1 when sent, 0 when
    // the variable is unset or empty (no manager waits for it), and a negative
    // errno value when the address is unusable or the send fails. Opens and
    // closes its own socket; safe to call from any thread.
    static int notifyReady();

    // True when descriptor `fd` is the journal stream named by JOURNAL_STREAM
    // ("<device>:<inode>" in decimal), so a "<N>" at the start of each line
    // written to it is taken as the line's priority. False when the variable
    // is unset or malformed, or names another file.
    static bool isJournal(int fd);
};

#endif  // APP_SERVICE_MANAGER_H
