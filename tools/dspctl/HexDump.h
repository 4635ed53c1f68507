// Bytes as people read them: 16 per line, offset, hex and printable text.
// Pure; safe from any thread.
#ifndef TOOLS_DSPCTL_HEX_DUMP_H
#define TOOLS_DSPCTL_HEX_DUMP_H

#include <string>

// "00000000  00 00 01 28 ...  |...(|\n" per 16 bytes; "" for no bytes.
std::string hexDump(const std::string& bytes);

#endif  // TOOLS_DSPCTL_HEX_DUMP_H
