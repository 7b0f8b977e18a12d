// The editors' test bench: a record, a device information record, an address that a test may change,
// and the frames the editors post, in order.
#pragma once

#include "edit/EditContext.h"

#include <string>
#include <vector>

namespace quellmarin::test {

struct EditorRig {
    explicit EditorRig(DeviceModel m = DeviceModel::Mivon)
        : model(m), record(DefaultSystemParameters(m)), info(DefaultDeviceInfo(m)) {}
    DeviceModel model;
    SystemParameters record;
    DeviceInfoRecord info;
    std::string address = "01";
    std::vector<std::string> frames;
    EditContext ctx{record, info, model, [this] { return address; },
                    [this](std::string f) { frames.push_back(std::move(f)); }, {}};
};

} // namespace quellmarin::test
