#include "HexDump.h"

#include <cstdio>

std::string hexDump(const std::string& bytes) {
    std::string out;
    for (size_t line = 0; line < bytes.size(); line += 16) {
        char text[24];
        std::snprintf(text, sizeof text, "%08zx ", line);
        out += text;
        std::string printable;
        for (size_t i = line; i < line + 16; ++i) {
            if (i == line + 8) {
                out += ' ';
            }
            if (i < bytes.size()) {
                const unsigned char byte = static_cast<unsigned char>(bytes[i]);
                std::snprintf(text, sizeof text, " %02x", byte);
                out += text;
                printable += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
            } else {
                out += "   ";
            }
        }
        out += "  |" + printable + "|\n";
    }
    return out;
}
