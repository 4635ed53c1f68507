#include "RealisticState.h"

#include <cstdio>

audiosim::State realisticState() {
    audiosim::State s = audiosim::State::defaults();
    s.speakerOutput = 0x2F;
    s.masterVolume = 40;
    s.testPatternChannels = 0x3F;
    s.testPattern = 2;
    for (int ch = 0; ch < audiosim::kChannels; ++ch) {
        s.channelGain[ch] = static_cast<uint8_t>(100 + 20 * ch);
        s.speakerDelay[ch] = 1.25f * static_cast<float>(ch + 1);
        for (int band = 0; band < 8; ++band) {
            s.equalizer[ch].gain[band] = -6.5f + 1.75f * static_cast<float>(band);
            s.equalizer[ch].q[band] = static_cast<uint16_t>(10 + band);
        }
        s.bassTreble[ch].gain[0] = 4.5f;
        s.bassTreble[ch].gain[1] = -3.25f;
        FilterParam& f = s.filter[ch];
        f.value1 = 120;
        f.value2 = 12000;
        f.value3 = 24;
        f.value4 = 3000;
        f.value5 = -18;
        f.value6 = 700;
        for (BiquadBand& b : s.biquad[ch].band) {
            b.type = 2;
            b.cf = 16000;
            b.gain = -12.5f;
            b.q = 10.0f;
            b.method = 1;
            b.slope = 12;
            b.phase = 180;
        }
    }
    s.loudness.value1 = 12;
    s.loudness.value2 = 300;
    s.loudness.value3 = 8000;
    s.duplexOfAEC = 1;
    s.nrAttenuation = -15;
    s.nlp.pfWeightIdx = 3;
    s.nlp.cnEstiIdx = 4;
    s.nlp.cnExecIdx = 5;
    for (HandsfreeEQParam& hf : s.handsfreeEQ) {
        hf.en = 1;
        for (int band = 0; band < 8; ++band) {
            hf.gain[band] = -9.5f + 2.25f * static_cast<float>(band);
            hf.q[band] = 0.707f;
        }
    }
    s.adcOpGain[0] = s.adcOpGain[1] = 12.0f;
    s.adcPgaGain[0] = s.adcPgaGain[1] = 6.5f;
    s.upLinkGain = -1.5f;
    for (size_t i = 0; i < s.mpBin.size(); ++i) {
        s.mpBin[i] = static_cast<uint8_t>(i * 7 + 0x11);
    }
    for (size_t i = 0; i < s.mpBinExt.size(); ++i) {
        s.mpBinExt[i] = static_cast<uint8_t>(i * 13 + 0xA5);
    }
    return s;
}

std::string mpBinLine(const std::vector<uint8_t>& blob) {
    std::string line = "dsp mpbin " + std::to_string(blob.size()) + " ";
    char field[4];
    for (size_t i = 0; i < blob.size(); ++i) {
        std::snprintf(field, sizeof field, i == 0 ? "%02x" : ":%02x", blob[i]);
        line += field;
    }
    line += "\n";
    return line;
}
