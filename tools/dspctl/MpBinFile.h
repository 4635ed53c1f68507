// MP.bin as a file on the PC and as the hexadecimal text of "dsp mpbin".
// No state; safe from any thread (two writers of one path race as any two
// programs would).
#ifndef TOOLS_DSPCTL_MP_BIN_FILE_H
#define TOOLS_DSPCTL_MP_BIN_FILE_H

#include <string>

constexpr size_t kMpBinStandardSize = 296;
constexpr size_t kMpBinExtendedSize = 2560;

// Reads the whole file at `path` into *blob. Returns 0, or an errno value
// (EINVAL for a file that is not exactly 296 or 2560 bytes) with a message
// for people in *message. The descriptor is closed on every path.
int readMpBinFile(const std::string& path, std::string* blob, std::string* message);

// Writes `blob` to `path`, replacing it: the bytes go to a temporary file
// beside it that is renamed over `path` only when every byte is on disk, so a
// failed write never leaves a half-written blob under the name. Returns 0 or
// an errno value with a message in *message.
int writeMpBinFile(const std::string& path, const std::string& blob, std::string* message);

// The same for any bytes (a state file): `path` is replaced only by the whole.
int replaceFile(const std::string& path, const std::string& bytes, std::string* message);

// The command line that writes `blob`: "dsp mpbin <size> XX:XX:...\n", each
// byte as two upper-case hex digits.
std::string mpBinCommandLine(const std::string& blob);

#endif  // TOOLS_DSPCTL_MP_BIN_FILE_H
