#include "StoredState.h"

#include "DspHarness.h"
#include "ReplyParser.h"
#include "ReportDecoder.h"
#include "StateCommands.h"

std::string storedStateText(const audiosim::State& state) {
    DspHarness dsp;
    dsp.service().setState(state);
    const auto report = [&dsp](const char* line) {
        ReplyParser parser;
        const std::string bytes = dsp.run(line).bytes;
        parser.feed(bytes.data(), bytes.size());
        return parser.finish().report;
    };
    // The frames of getmp go to the port, not the reply: the blobs come as set.
    const std::string blobs[2] = {std::string(state.mpBin.begin(), state.mpBin.end()),
                                  std::string(state.mpBinExt.begin(), state.mpBinExt.end())};
    return stateDocument(decodeSyncReport(report("sync\n")).values,
                         decodeHfsyncReport(report("hfsync\n")).values, blobs, "bench", "")
               .write() +
           "\n";
}
