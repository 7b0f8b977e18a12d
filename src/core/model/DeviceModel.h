// The two processor models this program serves and what tells them apart on the wire and in the
// records. A build serves one model (kBuildModel); logic that differs takes the model as an argument.
#pragma once

#include <optional>
#include <string_view>

namespace quellmarin {

enum class DeviceModel { Mivon, Ketra };

#if defined(QUELLMARIN_MODEL_KETRA) && QUELLMARIN_MODEL_KETRA
inline constexpr DeviceModel kBuildModel = DeviceModel::Ketra;
#else
inline constexpr DeviceModel kBuildModel = DeviceModel::Mivon;
#endif

// Two-digit model code that a processor puts into its hello reply.
constexpr int HelloModelCode(DeviceModel model) {
    return model == DeviceModel::Ketra ? 48 : 88;
}

// Inputs in the high nibble, outputs in the low nibble.
constexpr unsigned char ChannelConfigOf(DeviceModel model) {
    return model == DeviceModel::Ketra ? 0x48 : 0x88;
}

constexpr std::string_view ModelName(DeviceModel model) {
    return model == DeviceModel::Ketra ? "Ketra" : "Mivon";
}

constexpr std::optional<DeviceModel> ParseModelName(std::string_view name) {
    if (name == "Mivon") return DeviceModel::Mivon;
    if (name == "Ketra") return DeviceModel::Ketra;
    return std::nullopt;
}

// Physical inputs of a model occupy these record slots: all eight on Mivon, slots 4..7 (A..D) on Ketra.
constexpr bool InputSlotUsed(DeviceModel model, int slot) {
    return model == DeviceModel::Mivon ? (slot >= 0 && slot < 8) : (slot >= 4 && slot < 8);
}

} // namespace quellmarin
