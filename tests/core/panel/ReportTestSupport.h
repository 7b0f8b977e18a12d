// A set-up with every channel at work, for the report's tests.
#pragma once

#include "model/Records.h"

#include <cstring>

namespace quellmarin::test {

// Every channel at work: bands, crossovers, gains, routes, limits, delays, a link and a name.
inline SystemParameters BusySetup() {
    SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    for (int o = 0; o < 8; ++o) {
        for (int b = 0; b < kOutputBands; ++b)
            p.OutCH[o].Peq[b] = {1, std::uint8_t(20 + 12 * b), std::uint8_t(10 + 3 * b), 40};
        p.OutCH[o].PeqEnable = 111;
        p.OutCH[o].HpfType = 11;
        p.OutCH[o].HpfFreq = 25;
        p.OutCH[o].Gain = std::uint8_t(181 - 2 * o);
        p.OutCH[o].Route[(o + 1) % 8] = 175;
        p.OutCH[o].Limit = std::uint8_t(60 + o);
    }
    for (int i = 0; i < 8; ++i) {
        for (int b = 0; b < kInputBands; ++b) p.InCH[i].Peq[b] = {4, std::uint8_t(30 + 10 * b), 30, 20};
        p.InCH[i].PeqEnable = 111;
        SetDelaySamples(p.InCH[i], 48 * (i + 1));
    }
    p.OutCH[1].LinkIndex = 0;
    std::memcpy(p.ChName[10], "Stage <left> & ", 15);
    return p;
}

} // namespace quellmarin::test
