// The simulated service costs no heap allocation per operation while it does
// not record calls, so benchmarks of the server measure the server.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "AudioCreator.h"
#include "SimService.h"

namespace {

struct Operation {
    const char* name;
    std::function<int()> call;
};

TEST(SimAllocationTest, OperationsAllocateNothingWhileNotRecording) {
    audiosim::Service& service = audiosim::Service::instance();
    service.reset();
    std::unique_ptr<AudioAppSetting> app(AudioCreator::createAudioAppSetting());
    std::unique_ptr<AudioSourceSetting> source(AudioCreator::createAudioSourceSetting());
    std::unique_ptr<AudioVolumeSetting> volume(AudioCreator::createAudioVolumeSetting());
    std::unique_ptr<AudioToolSetting> tool(AudioCreator::createAudioToolSetting());

    EqualizerParam eq{};
    eq.channelMask = 0x3;
    BiquadParam bq{};
    bq.channelMask = 0x1;
    FilterParam filter{};
    filter.channelMask = 0x20;
    HandsfreeEQParam hf{};
    hf.which = 1;
    NLPConfigParam nlp{7, 1, 2, 3};
    ChannelGainParam gain{0x4, 90};
    LoudnessParam loud{1, 2, 3};
    std::vector<uint8_t> blob(audiosim::kMpBinExtSize, 0x5A);
    int32_t length = 0;
    float f0 = 0.0f;
    float f1 = 0.0f;
    uint8_t master = 0;
    uint32_t mask = 0;

    const std::vector<Operation> operations = {
        {"setEqualizer", [&] { return app->setEqualizer(&eq); }},
        {"getEqualizer", [&] { return app->getEqualizer(&eq); }},
        {"setBiquad", [&] { return app->setBiquad(&bq); }},
        {"getFilter", [&] { return app->getFilter(&filter); }},
        {"setSpeakerDelay", [&] { return app->setSpeakerDelay(0x3, 2.5f); }},
        {"getSpeakerDelay", [&] { return app->getSpeakerDelay(0x2, &f0); }},
        {"setHandsfreeEQ", [&] { return app->setHandsfreeEQ(&hf); }},
        {"setNLPConfig", [&] { return app->setNLPConfig(&nlp); }},
        {"getLoudness", [&] { return app->getLoudness(&loud); }},
        {"setSpeakerOutPut", [&] { return source->setSpeakerOutPut(0x2F); }},
        {"getSpeakerOutPut", [&] { return source->getSpeakerOutPut(&mask); }},
        {"setMasterVolume", [&] { return volume->setMasterVolume(40); }},
        {"getMasterVolume", [&] { return volume->getMasterVolume(&master); }},
        {"setChannelGain", [&] { return volume->setChannelGain(&gain); }},
        {"setAdcOpGain", [&] { return volume->setAdcOpGain(0, 1.5f, -1.5f); }},
        {"getAdcPgaGain", [&] { return volume->getAdcPgaGain(0, &f0, &f1); }},
        {"setMpBin", [&] { return tool->setMpBin(blob.data(), audiosim::kMpBinExtSize, 1); }},
        {"getMpBin", [&] { return tool->getMpBin(blob.data(), &length, 1); }},
    };
    // Succeeding, then failing by injection: neither path may allocate. The
    // failures are set up first, since setting one up allocates.
    for (const bool failing : {false, true}) {
        for (const Operation& op : operations) {
            ASSERT_TRUE(service.setFailing(op.name, failing)) << op.name;
        }
        for (const Operation& op : operations) {
            SCOPED_TRACE(std::string(op.name) + (failing ? " failing" : ""));
            const unsigned long before = threadAllocations();
            const int result = op.call();
            EXPECT_EQ(0u, threadAllocations() - before);
            EXPECT_EQ(failing, result != 0);
        }
    }
    // Recording still records: the record is made only when asked for.
    service.reset();
    service.recordCalls(true);
    ASSERT_EQ(0, volume->setMasterVolume(41));
    EXPECT_EQ(std::vector<std::string>{"setMasterVolume"}, service.callNames());
    service.reset();
}

}  // namespace
