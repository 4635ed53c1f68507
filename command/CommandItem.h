// A named command that can run: a leaf of the command tree.
#ifndef COMMAND_COMMAND_ITEM_H
#define COMMAND_COMMAND_ITEM_H

// Reply sink: sends `len` bytes of `data` to the peer through `ctx`. Commands
// use it for data they send besides their reply; it reaches the peer first.
typedef void (*NotifyFunc)(void* ctx, unsigned char* data, unsigned int len);

class CommandItem {
public:
    virtual ~CommandItem() {}

    // The command's keyword; lives as long as the object. Compared whole and
    // case-sensitively when a line is routed.
    virtual const char* name() const = 0;

    // Runs the command on its argument text: `len` bytes at `text`, followed
    // by a NUL in the caller's buffer. The text is writable (leaves split it
    // in place). `out` is the caller's reply buffer of `outlen` bytes.
    // Returns how many bytes of `out` to send back; 0 or less sends nothing.
    virtual int exec(char* text, int len, char* out, int outlen) = 0;

    // Receives the reply sink and the context to pass back to it. Returns 0.
    virtual int setNotify(NotifyFunc fn, void* ctx) = 0;
};

#endif  // COMMAND_COMMAND_ITEM_H
