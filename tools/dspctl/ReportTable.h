// The decoded reports as tables for people: one column per channel (or per
// microphone channel, or per hands-free equalizer), one row per value.
// Values that a cut report did not carry print as "-", and the first line
// says whether the report was complete.
// Pure functions.
#ifndef TOOLS_DSPCTL_REPORT_TABLE_H
#define TOOLS_DSPCTL_REPORT_TABLE_H

#include <string>

#include "ReportDecoder.h"

std::string syncTable(const DecodedReport& report);
std::string hfsyncTable(const DecodedReport& report);

#endif  // TOOLS_DSPCTL_REPORT_TABLE_H
