// Cuts a stream of bytes into command lines ended by LF or CR.
//
// Lines are assembled in a caller-owned, zero-filled buffer. A complete line
// is handed on with its terminator and a NUL after it, so it may hold at most
// capacity - 1 bytes. A line that would outgrow the buffer is dropped whole:
// its bytes are discarded up to the next line end and the overflow handler is
// called once. A line that is nothing but a terminator (the LF of a CR LF
// pair, say) is not handed on. Nothing is ever written past the buffer.
//
// Not thread-safe; one reader feeds it.
#ifndef UART_LINE_ASSEMBLER_H
#define UART_LINE_ASSEMBLER_H

#include <cstring>

class LineAssembler {
public:
    // `buffer` holds `capacity` bytes (at least 2), zero-filled; not owned.
    LineAssembler(char* buffer, int capacity) : mBuffer(buffer), mCapacity(capacity) {}

    // Takes `n` bytes in order. Calls onLine(char* line, int len) for each
    // complete line (the buffer is zeroed again and may be reused as soon as
    // onLine returns) and onOverflow() once for each dropped line.
    template <typename OnLine, typename OnOverflow>
    void feed(const char* data, int n, OnLine&& onLine, OnOverflow&& onOverflow) {
        for (int i = 0; i < n; ++i) {
            const char c = data[i];
            const bool end = c == '\n' || c == '\r';
            if (mDropping) {
                mDropping = !end;
                continue;
            }
            if (!end) {
                // Keep room for a terminator and the NUL after it.
                if (mLength >= mCapacity - 2) {
                    clear();
                    mDropping = true;
                    onOverflow();
                    continue;
                }
                mBuffer[mLength++] = c;
                continue;
            }
            mBuffer[mLength++] = c;
            if (mLength > 1) {
                onLine(mBuffer, mLength);
            }
            clear();
        }
    }

    // Bytes of the line assembled so far.
    int length() const { return mLength; }
    // True while the rest of an over-long line is being discarded.
    bool dropping() const { return mDropping; }

private:
    void clear() {
        std::memset(mBuffer, 0, static_cast<size_t>(mLength));
        mLength = 0;
    }

    char* mBuffer;
    int mCapacity;
    int mLength = 0;
    bool mDropping = false;
};

#endif  // UART_LINE_ASSEMBLER_H
