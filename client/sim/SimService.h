// The simulated audio service behind the stand-in client library.
//
// One Service per process holds all audio state; every settings object that
// AudioCreator hands out reads and writes it. What a set stores, the matching
// get returns. This is a workstation and test stand-in for the device's
// closed library, not part of the command server.
//
// Besides the library's interface it offers tests:
//  - fault injection: a named operation fails every time (non-zero result,
//    nothing changed); the environment variable DSPD_SIM_FAIL, read when the
//    service is first used, names operations the same way;
//  - a record of the calls made and their arguments (off by default, so a
//    long-running server does not grow);
//  - direct access to the state.
//
// Thread-safety: every member is safe to call from any thread; enter() and
// lockedState() need mutex() held.
#ifndef CLIENT_SIM_SIM_SERVICE_H
#define CLIENT_SIM_SIM_SERVICE_H

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "AudioParams.h"

namespace audiosim {

constexpr int kChannels = 6;
constexpr uint32_t kMpBinSize = 296;
constexpr uint32_t kMpBinExtSize = 2560;

// Everything the service holds. Per-channel records keep their own
// channelMask (1 << channel).
struct State {
    uint32_t speakerOutput;
    uint32_t testPatternChannels;
    uint32_t testPattern;
    uint8_t masterVolume;
    uint8_t channelGain[kChannels];
    float speakerDelay[kChannels];
    EqualizerParam equalizer[kChannels];
    BassTrebleParam bassTreble[kChannels];
    FilterParam filter[kChannels];
    BiquadParam biquad[kChannels];
    LoudnessParam loudness;
    int32_t duplexOfAEC;
    int32_t nrAttenuation;
    NLPConfigParam nlp;  // flags is 7: all three fields carry a value
    HandsfreeEQParam handsfreeEQ[2];
    float adcOpGain[2];
    float adcPgaGain[2];
    float upLinkGain;
    std::vector<uint8_t> mpBin;     // kMpBinSize bytes
    std::vector<uint8_t> mpBinExt;  // kMpBinExtSize bytes

    // The state of a freshly booted device (listed in README).
    static State defaults();
};

// One call made to a settings object.
struct Call {
    std::string op;              // operation name, e.g. "setFilter"
    std::vector<int64_t> ints;   // integer arguments by value, in order
    std::vector<double> reals;   // float arguments by value, in order
    std::vector<uint8_t> bytes;  // record (or blob) pointed to, as on entry

    // The recorded bytes as a record of type T (zero-filled if shorter).
    template <typename T>
    T recordAs() const {
        T value;
        std::memset(&value, 0, sizeof value);
        std::memcpy(&value, bytes.data(),
                    bytes.size() < sizeof value ? bytes.size() : sizeof value);
        return value;
    }
};

class Service {
public:
    // The process-wide service. The first use reads DSPD_SIM_FAIL and reports
    // each name that is no operation through audioPrint.
    static Service& instance();

    // Names of every operation that can be made to fail.
    static const std::vector<std::string>& operationNames();

    // Back to State::defaults(), no failing operations, recording off and
    // the record cleared.
    void reset();

    State state() const;
    // The blobs are cut or zero-padded to their fixed sizes.
    void setState(const State& state);

    // Makes `op` fail (or succeed again). Returns false if `op` is no
    // operation name.
    bool setFailing(const std::string& op, bool failing = true);
    // Makes every operation of a comma-separated list fail; names that are no
    // operation are appended to *unknown (when not null). Blanks around names
    // and empty entries are ignored.
    void setFailingList(const char* list, std::vector<std::string>* unknown);
    bool isFailing(const std::string& op) const;

    void recordCalls(bool on);
    std::vector<Call> calls() const;
    std::vector<std::string> callNames() const;  // just the op of each call
    void clearCalls();

    // Used by the settings objects, which hold mutex() around the whole
    // operation so the record and the state change in the same order. When
    // recording, appends the Call that `record()` returns; it is not called
    // otherwise, so an operation allocates nothing. Returns true when `op` is
    // set to fail. The caller holds mutex().
    template <typename MakeCall>
    bool enter(const char* op, const MakeCall& record) {
        if (mRecording) {
            mCalls.push_back(record());
        }
        return failingLocked(op);
    }
    std::mutex& mutex() { return mMutex; }
    State& lockedState() { return mState; }  // caller holds mutex()

private:
    Service();
    bool failingLocked(const char* op) const;  // caller holds mMutex

    mutable std::mutex mMutex;
    State mState;
    std::vector<std::string> mFailing;
    bool mRecording = false;
    std::vector<Call> mCalls;
};

// While alive, captures every line written by audioPrint (in order, prefix
// and message as one string) instead of writing it to standard error.
// Captures alive at the same time share one store, emptied when the first of
// them starts.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> lines() const;
    bool contains(const std::string& needle) const;  // some line contains it
    void clear();

    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
};

}  // namespace audiosim

#endif  // CLIENT_SIM_SIM_SERVICE_H
