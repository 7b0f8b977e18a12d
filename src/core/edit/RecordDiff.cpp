#include "edit/RecordDiff.h"

#include "protocol/CommandTable.h"
#include "protocol/Frames.h"

#include <cstring>

namespace quellmarin {

RecordDiff DiffFrames(const SystemParameters& a, const SystemParameters& b, std::string_view address,
                      DeviceModel model) {
    RecordDiff d;
    const DeviceInfoRecord noInfo{};
    // Each unit of each command that a difference sends, in the table's order within a scope.
    const auto scope = [&](Scope s, int unit) {
        for (const CommandSpec& c : Commands()) {
            if (c.scope != s || !c.same) continue;
            for (int band = 0; band < c.BandsOrOne(); ++band)
                if (!c.same(a, b, unit, band)) d.frames.push_back(BuildFrame(c, address, b, noInfo, unit, band, model));
        }
    };
    scope(Scope::Device, 0);
    for (int k = 0; k < kInputSlots; ++k) scope(Scope::Input, k);
    for (int k = 0; k < kOutputSlots; ++k) scope(Scope::Output, k);
    for (int i = 0; i < kAliasCount; ++i) scope(Scope::Alias, i);

    if (std::memcmp(a.Name, b.Name, kNameLength) != 0) d.unsettable.push_back("program name");
    for (int k = 0; k < kOutputSlots; ++k) {
        const OutputChannel &x = a.OutCH[k], &y = b.OutCH[k];
        if (x.OutSpare47 != y.OutSpare47 || x.OutSpare48 != y.OutSpare48 || x.OutSpare50 != y.OutSpare50 ||
            x.OutSpare52 != y.OutSpare52)
            d.unsettable.push_back("out " + std::to_string(k + 1) + " spare");
    }
    if (a.Reserved0 != b.Reserved0 || a.Reserved1 != b.Reserved1) d.unsettable.push_back("reserved");
    if (a.RecordTail[0] != b.RecordTail[0] || a.RecordTail[1] != b.RecordTail[1])
        d.unsettable.push_back("record tail");
    return d;
}

bool SameSettings(const SystemParameters& a, const SystemParameters& b) {
    return DiffFrames(a, b, "00", kBuildModel).frames.empty();
}

bool IsPanelLockFrame(std::string_view frame) {
    const FrameUnit unit = ReadFrameUnit(frame);
    return unit.entry && unit.entry->code == "J";
}

DeviceSettingsDiff DiffDeviceSettings(const DeviceInfoRecord& from, const DeviceInfoRecord& to,
                                      std::string_view address) {
    DeviceSettingsDiff d;
    if ((from.PanelLock != 0) != (to.PanelLock != 0)) {
        d.frames.push_back(FramePanelLock(address, to.PanelLock ? 1 : 0));
        d.names.emplace_back(kPanelLockSetting);
    }
    if ((from.GenRun != 0) != (to.GenRun != 0) || from.GenFreq != to.GenFreq || from.GenLevel != to.GenLevel) {
        d.frames.push_back(FrameGenerator(address, to.GenRun != 0, to.GenFreq, to.GenLevel));
        d.names.emplace_back(kGeneratorSetting);
    }
    return d;
}

} // namespace quellmarin
