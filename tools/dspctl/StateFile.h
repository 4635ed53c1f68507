// A device's whole state as dspctl stores it: one JSON document (schema in
// docs/dspctl.md) with the decoded "sync" and "hfsync" reports and both
// MP.bin blobs, and the same state as a flat list of named settings, each with
// the command that sets it, for restore and diff.
//
// Values keep the report's own text; a real given otherwise in a file ("1.5")
// is taken as the device would print it back ("1.500000"), so a hand-edited
// file compares equal to the device it was restored onto.
// Pure functions but for loadStateFile's read; safe from any thread.
#ifndef TOOLS_DSPCTL_STATE_FILE_H
#define TOOLS_DSPCTL_STATE_FILE_H

#include <string>
#include <vector>

#include "JsonValue.h"

// The version this dspctl writes and reads; a file of any other is refused.
constexpr int kStateFormat = 1;

struct StateSetting {
    std::string name;  // "eq ch2 band3 gain"
    std::string text;  // "-6.500000"; "inf" and the like for reals printed so
    bool real = false;
    // The command words that set this value alone (without "dsp"); empty
    // where the item takes only all its values at once (ftr, loud).
    std::vector<std::string> words;
    // The head of the line that sets this value with its neighbours ("ftr 0",
    // "bq channel 0"): the values of every setting sharing this head follow
    // it in order. Empty where there is none.
    std::vector<std::string> group;
};

struct DeviceState {
    std::vector<StateSetting> settings;  // always the same names, in report order
    std::string blobs[2];                // MP.bin: standard (296 bytes), extended (2560)
};

// The MP.bin blobs' names in files, messages and diffs.
extern const char* const kBlobNames[2];

// The document for `store`: `sync` and `hfsync` are the decoders' complete
// documents; `port` and `when` (ISO 8601, UTC) say where and when they came.
JsonValue stateDocument(const JsonValue& sync, const JsonValue& hfsync,
                        const std::string (&blobs)[2], const std::string& port,
                        const std::string& when);

// Reads the settings out of a state document. Returns true, or false with
// the field at fault named in *problem (a missing or extra field, a value of
// the wrong type, a blob of the wrong size, another format version).
bool readState(const JsonValue& document, DeviceState* state, std::string* problem);

// Reads and parses the state file at `path` ("-" standard input). Returns
// true, or false with *problem saying why the file is no state file.
bool loadStateFile(const std::string& path, DeviceState* state, std::string* problem);

// The first value the server would not store as given: "" when every
// value's command passes checkCommand() as kAccepted, else the setting's
// name and the check's message.
std::string stateRangeProblem(const DeviceState& state);

#endif  // TOOLS_DSPCTL_STATE_FILE_H
