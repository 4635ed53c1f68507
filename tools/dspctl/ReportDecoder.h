// Decodes the two report lines, "dsp sync:..." and "dsp hfsync:...", into a
// JSON document with the reports' own field names (schema in
// docs/dspctl.md). Numbers keep the text the server printed: whole numbers
// as printed with %d, floats with their six decimals; a float printed as
// inf or nan (never a JSON number) becomes the string "inf", "-inf", "nan"
// or "-nan".
//
// A line that lacks its end mark ":[ok]" was cut by the server's reply
// capacity: it is decoded up to its last complete field (the field after the
// last ":" may itself be cut, so it is dropped), and the result is kPartial.
// In a partial document every array and record holds only the values that
// were received; parts not reached are absent.
// Pure functions: no I/O, no state.
#ifndef TOOLS_DSPCTL_REPORT_DECODER_H
#define TOOLS_DSPCTL_REPORT_DECODER_H

#include <string>

#include "JsonValue.h"

struct DecodedReport {
    enum Status {
        kComplete,   // every field and the end mark
        kPartial,    // a cut line: `values` holds the fields before the cut
        kMalformed,  // not a report of the expected shape: see `problem`
    };
    Status status = kMalformed;
    // Always an object beginning with "report" ("sync"/"hfsync") and
    // "complete" (true only for kComplete); for kMalformed it holds what was
    // decoded before the fault.
    JsonValue values;
    std::string problem;
};

DecodedReport decodeSyncReport(const std::string& line);
DecodedReport decodeHfsyncReport(const std::string& line);

#endif  // TOOLS_DSPCTL_REPORT_DECODER_H
