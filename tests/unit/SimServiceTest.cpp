// The simulated service as the server and its tests use it: a get returns
// what the matching set stored, injected failures, the call record, logging.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "AudioCreator.h"
#include "AudioPrint.h"
#include "SimService.h"

extern char** environ;

namespace audiosim {
namespace {

using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;

struct Settings {
    std::unique_ptr<AudioAppSetting> app{AudioCreator::createAudioAppSetting()};
    std::unique_ptr<AudioSourceSetting> source{AudioCreator::createAudioSourceSetting()};
    std::unique_ptr<AudioVolumeSetting> volume{AudioCreator::createAudioVolumeSetting()};
    std::unique_ptr<AudioToolSetting> tool{AudioCreator::createAudioToolSetting()};
};

template <typename T>
Bytes bytesOf(const T& value) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&value);
    return Bytes(p, p + sizeof value);
}

// Padding as the service keeps it: zero (and a get of a channel gain leaves it).
template <typename T>
void clearPadding(T&) {}
void clearPadding(ChannelGainParam& r) { std::memset(reinterpret_cast<uint8_t*>(&r) + 5, 0, 3); }
void clearPadding(HandsfreeEQParam& r) { std::memset(reinterpret_cast<uint8_t*>(&r) + 5, 0, 3); }
void clearPadding(BiquadParam& r) {
    for (BiquadBand& b : r.band) std::memset(reinterpret_cast<uint8_t*>(&b) + 6, 0, 2);
}

// Sets what a record addresses; loudness and values passed by value address nothing.
template <typename T>
void address(T&, uint32_t) {}
void address(FilterParam& r, uint32_t mask) { r.channelMask = mask; }
void address(BassTrebleParam& r, uint32_t mask) { r.channelMask = mask; }
void address(EqualizerParam& r, uint32_t mask) { r.channelMask = mask; }
void address(BiquadParam& r, uint32_t mask) { r.channelMask = mask; }
void address(ChannelGainParam& r, uint32_t mask) { r.channelMask = mask; }
void address(HandsfreeEQParam& r, uint32_t) { r.which = kHandsfreeReq; }
void address(NLPConfigParam& r, uint32_t) { r.flags = 7; }  // all three fields

// Fills `v` with `fill` bytes, or else with a value unlike every default and a
// different byte in each place (so a field stored in the wrong place shows),
// and makes it address `mask`. In place, as a copy need not keep padding.
template <typename T>
std::remove_reference_t<T>& fillIn(T&& v, uint32_t mask, int fill = -1) {
    uint8_t* p = reinterpret_cast<uint8_t*>(&v);
    for (size_t i = 0; i < sizeof v; ++i) p[i] = static_cast<uint8_t>(fill < 0 ? 7 * i + 1 : fill);
    if (fill < 0) clearPadding(v);
    address(v, mask);
    return v;
}

// Out-values of a get, before and after it.
struct Read {
    int rc;
    Bytes before, after;
};

// One kind of setting, stored by "set" + name and read by "get" + name. A
// per-channel setting takes `mask` as its channel mask; the others ignore it.
struct Kind {
    std::string name;
    bool perChannel;
    std::function<int(Settings&, uint32_t mask)> set;                 // stores value(mask)
    std::function<Read(Settings&, uint32_t mask, uint8_t fill)> get;  // out-values: `fill` bytes
    std::function<Bytes(uint32_t mask)> value;  // what a get of `mask` reads after set(mask)
};

template <typename T>
Kind kind(const char* name, bool perChannel, std::function<int(Settings&, uint32_t, T&)> set,
          std::function<int(Settings&, uint32_t, T*)> get) {
    return {name, perChannel,
            [=](Settings& s, uint32_t mask) { return set(s, mask, fillIn(T{}, mask)); },
            [=](Settings& s, uint32_t mask, uint8_t fill) {
                T v;
                const Bytes before = bytesOf(fillIn(v, mask, fill));
                const int rc = get(s, mask, &v);
                return Read{rc, before, bytesOf(v)};
            },
            [](uint32_t mask) { return bytesOf(fillIn(T{}, mask)); }};
}

// `ref` is & for a record passed by pointer, empty for a value.
#define SETTING(Name, Type, object, perChannel, ref)                               \
    kind<Type>(                                                                    \
        #Name, perChannel,                                                         \
        [](Settings& s, uint32_t, Type& v) { return s.object->set##Name(ref v); }, \
        [](Settings& s, uint32_t, Type* v) { return s.object->get##Name(v); })
#define PAIR(Name)                                                                         \
    kind<std::array<float, 2>>(                                                            \
        #Name, false,                                                                      \
        [](Settings& s, uint32_t, auto& v) { return s.volume->set##Name(0, v[0], v[1]); }, \
        [](Settings& s, uint32_t, auto* v) { return s.volume->get##Name(0, &(*v)[0], &(*v)[1]); })

// The two MP.bin blobs, each with its size.
#define MP_BIN(size, extended)                                                                     \
    kind<std::array<uint8_t, size>>(                                                               \
        "MpBin", false,                                                                            \
        [](Settings& s, uint32_t, auto& v) { return s.tool->setMpBin(v.data(), size, extended); }, \
        [](Settings& s, uint32_t, auto* v) {                                                       \
            Bytes buffer(kMpBinExtSize); /* room for either blob */                                \
            std::copy(v->begin(), v->end(), buffer.begin());                                       \
            int32_t length = -1;                                                                   \
            const int rc = s.tool->getMpBin(buffer.data(), &length, extended);                     \
            std::copy_n(buffer.begin(), size, v->begin());                                         \
            EXPECT_EQ(rc == 0 ? static_cast<int32_t>(size) : -1, length);                          \
            return rc;                                                                             \
        })

const std::vector<Kind>& kinds() {
    static const std::vector<Kind> table = {
        SETTING(Filter, FilterParam, app, true, &),
        SETTING(BassTreble, BassTrebleParam, app, true, &),
        SETTING(Equalizer, EqualizerParam, app, true, &),
        SETTING(Biquad, BiquadParam, app, true, &),
        SETTING(ChannelGain, ChannelGainParam, volume, true, &),
        SETTING(HandsfreeEQ, HandsfreeEQParam, app, false, &),
        SETTING(NLPConfig, NLPConfigParam, app, false, &),
        SETTING(Loudness, LoudnessParam, app, false, &),
        kind<float>(
            "SpeakerDelay", true,
            [](Settings& s, uint32_t mask, float& v) { return s.app->setSpeakerDelay(mask, v); },
            [](Settings& s, uint32_t mask, float* v) { return s.app->getSpeakerDelay(mask, v); }),
        SETTING(DuplexOfAEC, int32_t, app, false, ),
        SETTING(NRAttenuation, int32_t, app, false, ),
        SETTING(SpeakerOutPut, uint32_t, source, false, ),
        SETTING(MasterVolume, uint8_t, volume, false, ),
        SETTING(UpLinkGain, float, volume, false, ),
        PAIR(AdcPgaGain),
        PAIR(AdcOpGain),
        kind<std::array<uint32_t, 2>>(  // there is no get: the state is read instead
            "MainAudioSpeakerTestPattern", false,
            [](Settings& s, uint32_t, auto& v) {
                return s.source->setMainAudioSpeakerTestPattern(v[0], v[1]);
            },
            [](Settings&, uint32_t, auto* v) {
                const State state = Service::instance().state();
                *v = {state.testPatternChannels, state.testPattern};
                return 0;
            }),
        MP_BIN(kMpBinSize, 0),
        MP_BIN(kMpBinExtSize, 1),
    };
    return table;
}
#undef SETTING
#undef PAIR
#undef MP_BIN

// What every get reads (each channel of a per-channel setting in turn), by kind.
std::vector<Bytes> readAll(Settings& s) {
    std::vector<Bytes> all;
    for (const Kind& k : kinds()) {
        all.emplace_back();
        for (int ch = 0; ch < (k.perChannel ? kChannels : 1); ++ch) {
            const Bytes got = k.get(s, 1u << ch, 0).after;
            all.back().insert(all.back().end(), got.begin(), got.end());
        }
    }
    return all;
}

class SimServiceTest : public ::testing::Test {
protected:
    void SetUp() override { Service::instance().reset(); }
    void TearDown() override { Service::instance().reset(); }

    Service& service = Service::instance();
    Settings s;
};

// --- Settings --------------------------------------------------------------

// Per-channel settings are set on channels 1, 3 and 5 together; bad masks are
// refused and leave the out-values as they were.
TEST_F(SimServiceTest, GetReturnsWhatSetStoredAndNothingElseChanges) {
    for (size_t i = 0; i < kinds().size(); ++i) {
        const Kind& k = kinds()[i];
        SCOPED_TRACE(k.name);
        service.reset();
        std::vector<Bytes> want = readAll(s);
        const Bytes defaults = want[i];
        for (int ch = k.perChannel ? 1 : 0; ch < (k.perChannel ? kChannels : 1); ch += 2) {
            const Bytes value = k.value(1u << ch);
            std::copy(value.begin(), value.end(), want[i].begin() + ch * value.size());
        }
        ASSERT_NE(defaults, want[i]) << "the defaults already hold the value";
        ASSERT_EQ(0, k.set(s, 0x2A));
        for (uint32_t bad : {0u, 1u << kChannels, 0x41u, 0x80000000u}) {
            if (!k.perChannel) break;
            EXPECT_EQ(-EINVAL, k.set(s, bad)) << bad;
            const Read got = k.get(s, bad, 0xA5);
            EXPECT_EQ(-EINVAL, got.rc) << bad;
            EXPECT_EQ(got.before, got.after) << bad;
        }
        const std::vector<Bytes> got = readAll(s);
        for (size_t j = 0; j < got.size(); ++j) {
            EXPECT_EQ(want[j], got[j]) << "read by get" << kinds()[j].name;
        }
        if (k.perChannel) {  // channels 3 and 4: the lowest is read, the caller's mask stays
            EXPECT_EQ(k.value(0x18), k.get(s, 0x18, 0).after);
        }
    }
}

TEST_F(SimServiceTest, NlpSetChangesOnlyTheFlaggedFieldsAndGetKeepsFlags) {
    const struct {
        uint32_t flags;
        int32_t pf, esti, exec;
    } cases[] = {{0, 0, 0, 0},  {1, 11, 0, 0},   {2, 0, 22, 0},
                 {4, 0, 0, 33}, {7, 11, 22, 33}, {0xFFFFFFF8u | 5, 11, 0, 33}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        service.reset();
        NLPConfigParam set{c.flags, 11, 22, 33}, got{0x1234, -1, -1, -1};
        ASSERT_EQ(0, s.app->setNLPConfig(&set));
        ASSERT_EQ(0, s.app->getNLPConfig(&got));
        EXPECT_EQ(std::make_tuple(0x1234u, c.pf, c.esti, c.exec),
                  std::make_tuple(got.flags, got.pfWeightIdx, got.cnEstiIdx, got.cnExecIdx));
    }
}

TEST_F(SimServiceTest, MpBinOfTheOtherKindsSizeIsRefused) {
    const Bytes blob(kMpBinExtSize, 0x5C);
    EXPECT_EQ(-EINVAL, s.tool->setMpBin(blob.data(), kMpBinSize, 1));
    EXPECT_EQ(-EINVAL, s.tool->setMpBin(blob.data(), kMpBinExtSize, 0));
}

// --- Fault injection, recording and reset ---------------------------------

TEST_F(SimServiceTest, AFailingOperationChangesNothingAndIsStillRecorded) {
    for (const std::string& op : Service::operationNames()) {
        SCOPED_TRACE(op);
        const bool isSet = op.compare(0, 3, "set") == 0;
        const auto k = std::find_if(kinds().begin(), kinds().end(),
                                    [&](const Kind& each) { return each.name == op.substr(3); });
        ASSERT_NE(kinds().end(), k);
        service.reset();
        const std::vector<Bytes> before = readAll(s);
        ASSERT_TRUE(service.setFailing(op));
        service.recordCalls(true);
        if (isSet) {
            EXPECT_NE(0, k->set(s, 1));
        } else {
            const Read got = k->get(s, 1, 0xA5);
            EXPECT_NE(0, got.rc);
            EXPECT_EQ(got.before, got.after) << "out-values written";
        }
        EXPECT_EQ(std::vector<std::string>{op}, service.callNames());
        service.recordCalls(false);
        ASSERT_TRUE(service.setFailing(op, false));
        EXPECT_EQ(before, readAll(s)) << "state changed";
        EXPECT_EQ(0, isSet ? k->set(s, 1) : k->get(s, 1, 0).rc) << "still failing";
    }
}

TEST_F(SimServiceTest, FailingListSkipsBlanksAndEmptyEntriesAndReportsUnknownNames) {
    EXPECT_FALSE(service.setFailing("setNothing"));
    std::vector<std::string> unknown;
    service.setFailingList(" setFilter , ,bogus,\tgetMasterVolume,", &unknown);
    EXPECT_EQ(std::vector<std::string>{"bogus"}, unknown);
    EXPECT_TRUE(service.isFailing("setFilter"));
    EXPECT_TRUE(service.isFailing("getMasterVolume"));
    EXPECT_FALSE(service.isFailing("getFilter"));
}

TEST_F(SimServiceTest, RecordingIsOffUntilAskedAndResetRestoresTheBootedDevice) {
    ASSERT_EQ(0, s.volume->setMasterVolume(99));
    EXPECT_TRUE(service.calls().empty()) << "recorded while recording is off";
    service.recordCalls(true);
    ASSERT_TRUE(service.setFailing("getFilter"));
    ASSERT_EQ(0, s.source->setSpeakerOutPut(0x3F));
    service.reset();
    EXPECT_TRUE(service.calls().empty());
    EXPECT_FALSE(service.isFailing("getFilter"));
    const State booted = service.state();
    EXPECT_EQ(0x0Fu, booted.speakerOutput);  // the "4.0" layout
    EXPECT_EQ(30, booted.masterVolume);
    EXPECT_EQ(Bytes(kMpBinSize, 0), booted.mpBin);
    EXPECT_EQ(Bytes(kMpBinExtSize, 0), booted.mpBinExt);
    ASSERT_EQ(0, s.source->setSpeakerOutPut(0x3F));
    EXPECT_TRUE(service.calls().empty()) << "reset turns recording off";
}

TEST_F(SimServiceTest, CallRecordHoldsArgumentsAsPassed) {
    EqualizerParam eq;
    FilterParam filter;  // a get is recorded as on entry
    fillIn(eq, 0x3);
    fillIn(filter, 0x4);
    const Bytes eqBytes = bytesOf(eq), filterBytes = bytesOf(filter), blob(kMpBinSize, 0x5C);
    Bytes buffer(kMpBinExtSize);
    int32_t length = 1234;
    float delay = 0;

    service.recordCalls(true);
    s.app->setEqualizer(&eq);
    s.app->getFilter(&filter);
    s.app->setSpeakerDelay(0x3, 1.5f);
    s.app->getSpeakerDelay(0x4, &delay);
    s.tool->setMpBin(blob.data(), kMpBinSize, 0);
    s.tool->getMpBin(buffer.data(), &length, 1);
    const std::vector<Call> expected = {
        {"setEqualizer", {}, {}, eqBytes},       {"getFilter", {}, {}, filterBytes},
        {"setSpeakerDelay", {3}, {1.5}, {}},     {"getSpeakerDelay", {4}, {}, {}},
        {"setMpBin", {kMpBinSize, 0}, {}, blob}, {"getMpBin", {1234, 1}, {}, {}},
    };
    const std::vector<Call> calls = service.calls();
    ASSERT_EQ(expected.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        const Call& e = expected[i];
        EXPECT_EQ(std::tie(e.op, e.ints, e.reals, e.bytes),
                  std::tie(calls[i].op, calls[i].ints, calls[i].reals, calls[i].bytes));
    }
    EXPECT_EQ(0x4u, calls[1].recordAs<uint32_t>());  // the channel mask leads
    service.clearCalls();
    EXPECT_TRUE(service.callNames().empty());
}

// --- Logging ---------------------------------------------------------------

TEST(AudioPrintTest, PrefixesOfOtherShapesAreFormattedAsPrintfWould) {
    const struct {
        const char* prefix;
        int line;
        const char* expected;
    } cases[] = {
        {"<4>[%s %s %s %d] BUG: ", -17, "<4>[t M f -17] BUG: m\n"},
        {"[%s|%s|%s] %d: ", 2147483647, "[t|M|f] 2147483647: m\n"},
        {"%s%s%s%d", INT32_MIN, "tMf-2147483648m\n"},
        {"plain ", 1, "plain m\n"},
        {"100%% %s %s %s %d ", 5, "100% t M f 5 m\n"},
        {"%s %s %s %05d ", 42, "t M f 00042 m\n"},
    };
    for (const auto& c : cases) {
        LogCapture capture;
        audioPrint(c.prefix, "t", "M", "f", c.line, "m\n");
        ASSERT_EQ(1u, capture.lines().size()) << c.prefix;
        EXPECT_EQ(c.expected, capture.lines()[0]) << c.prefix;
    }
}

TEST(AudioPrintTest, CaptureHoldsLinesInOrderAndALongLineIsCut) {
    LogCapture capture;
    audioPrint("<1>[%s %s %s %d] INF: ", "", "M", "f", 1, "%s\n", std::string(6000, 'x').c_str());
    audioPrint("<3>[%s %s %s %d] ERR: ", "", "AudioCommand", "exec_i", 42, "value %d of %s\n", 5,
               "x");
    ASSERT_EQ(2u, capture.lines().size());
    const std::string line = capture.lines()[0];
    EXPECT_EQ(4095u, line.size());
    EXPECT_EQ(0u, line.find("<1>[ M f 1] INF: xxx"));
    EXPECT_EQ('\n', line.back());
    EXPECT_EQ("<3>[ AudioCommand exec_i 42] ERR: value 5 of x\n", capture.lines()[1]);
    EXPECT_TRUE(capture.contains("value 5"));
    EXPECT_FALSE(capture.contains("value 6"));
    capture.clear();
    EXPECT_TRUE(capture.lines().empty());
}

// Reads what `write` sends to standard error, through a temporary file.
std::string stderrOf(const std::function<void()>& write) {
    std::FILE* file = std::tmpfile();
    const int saved = dup(STDERR_FILENO);
    if (file == nullptr || saved < 0 || dup2(fileno(file), STDERR_FILENO) != STDERR_FILENO) {
        ADD_FAILURE() << "cannot redirect standard error: " << std::strerror(errno);
        return {};
    }
    write();
    EXPECT_EQ(STDERR_FILENO, dup2(saved, STDERR_FILENO));
    close(saved);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

TEST(AudioPrintTest, WritesToStandardErrorWithoutCapture) {
    const std::string text =
        stderrOf([] { audioPrint("<2>[%s %s %s %d] WRN: ", "t", "F", "g", 3, "n=%d\n", 9); });
    EXPECT_EQ("<2>[t F g 3] WRN: n=9\n", text);
}

// --- DSPD_SIM_FAIL at first use -------------------------------------------

// Runs only in the child started below, where this is the service's first use.
TEST(SimEnvironmentChild, DISABLED_FailuresFromEnvironment) {
    Service* service = nullptr;
    const std::string log = stderrOf([&service] { service = &Service::instance(); });
    EXPECT_THAT(log, HasSubstr("WRN: DSPD_SIM_FAIL: no operation named noSuchOp\n"));
    EXPECT_THAT(log, HasSubstr("INF: simulating failure of setFilter\n"));
    EXPECT_TRUE(service->isFailing("setFilter"));
    Settings s;
    FilterParam f;
    fillIn(f, 1);
    EXPECT_NE(0, s.app->setFilter(&f));
    EXPECT_EQ(0, s.app->getFilter(&f));
}

TEST(SimEnvironmentTest, FailuresAreReadAtFirstUse) {
    std::vector<std::string> env = {"DSPD_SIM_FAIL=setFilter, noSuchOp"};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "DSPD_SIM_FAIL=", 14) != 0) {
            env.emplace_back(*e);
        }
    }
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(&e[0]);
    }
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=SimEnvironmentChild.*";
    std::string disabled = "--gtest_also_run_disabled_tests";
    std::string self = "/proc/self/exe";
    char* argv[] = {&self[0], &filter[0], &disabled[0], nullptr};

    int out[2];
    ASSERT_EQ(0, pipe(out));
    const pid_t pid = fork();
    ASSERT_GE(pid, 0) << std::strerror(errno);
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (dup2(out[1], STDOUT_FILENO) < 0) {
            _exit(126);
        }
        close(out[0]);
        close(out[1]);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(out[1]);
    std::string report;
    char buffer[512];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << report;
    EXPECT_EQ(0, WEXITSTATUS(status)) << report;
    EXPECT_THAT(report, HasSubstr("[  PASSED  ] 1 test"));
}

}  // namespace
}  // namespace audiosim
