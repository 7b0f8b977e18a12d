#include "edit/CompressorEditor.h"

#include "dsp/Scales.h"

#include <algorithm>

namespace quellmarin {

std::string CompressorEditor::Title(int channel) const {
    return EditorTitle("INPUT COMP" + std::string(20, ' '), ctx_.params, {Section::Input, channel},
                       ctx_.model);
}

std::string CompressorEditor::Label(int channel) {
    return "CH" + std::to_string(channel + 1);
}

int CompressorEditor::MaxCode(CompField field) {
    switch (field) {
    case CompField::Threshold:
        return kCompThresholdMax;
    case CompField::Attack:
    case CompField::Release:
        return kCompTimeMax;
    case CompField::Ratio:
        return kCompRatioMax;
    }
    return 0;
}

namespace {
// The byte of a field in a compressor record, const or not.
template <class Comp> auto& FieldOf(Comp& comp, CompField field) {
    switch (field) {
    case CompField::Threshold:
        return comp.Threshold;
    case CompField::Attack:
        return comp.Attack;
    case CompField::Release:
        return comp.Release;
    case CompField::Ratio:
        break;
    }
    return comp.Ratio;
}
} // namespace

std::uint8_t& CompressorEditor::CodeRef(int master, CompField field) {
    return FieldOf(ctx_.params.Comp[master], field);
}

int CompressorEditor::Code(int channel, CompField field) const {
    const SystemParameters& p = ctx_.params;
    return FieldOf(p.Comp[ChannelRef{Section::Input, channel}.Master(p)], field);
}

std::string CompressorEditor::Text(int channel, CompField field) const {
    const int code = std::min(Code(channel, field), MaxCode(field));
    switch (field) {
    case CompField::Threshold:
        return CompThresholdText(code);
    case CompField::Attack:
    case CompField::Release:
        return CompTimeText(code);
    case CompField::Ratio:
        break;
    }
    return CompRatioText(code);
}

void CompressorEditor::Spin(int channel, CompField field, bool up) {
    const int master = ChannelRef{Section::Input, channel}.Master(ctx_.params);
    std::uint8_t& code = CodeRef(master, field);
    code = static_cast<std::uint8_t>(std::clamp(code + (up ? 1 : -1), 0, MaxCode(field)));
    Send(channel);
}

bool CompressorEditor::Type(int channel, CompField field, std::string_view text, std::string* shown) {
    std::optional<int> code;
    switch (field) {
    case CompField::Threshold:
        code = CompThresholdFromText(text);
        break;
    case CompField::Attack:
    case CompField::Release:
        code = CompTimeFromText(text);
        break;
    case CompField::Ratio:
        code = CompRatioFromText(text);
        break;
    }
    if (!code) return false;
    const int master = ChannelRef{Section::Input, channel}.Master(ctx_.params);
    CodeRef(master, field) = static_cast<std::uint8_t>(std::clamp(*code, 0, MaxCode(field)));
    if (shown) *shown = field == CompField::Ratio ? CompRatioText(*code, true) : Text(channel, field);
    Send(channel);
    return true;
}

void CompressorEditor::Send(int channel) {
    const int master = ChannelRef{Section::Input, channel}.Master(ctx_.params);
    ctx_.Send("$044", master);
}

std::string CompressorEditor::Summary(int channel) const {
    return "Threshold " + Text(channel, CompField::Threshold) + ", ratio " + Text(channel, CompField::Ratio);
}

double CompressorOutputDb(double inputDb, double thresholdDb, int ratioCode) {
    if (inputDb <= thresholdDb) return inputDb;
    if (ratioCode >= kCompRatioMax) return thresholdDb;
    const double ratio = 1.0 / (1.0 - ratioCode / 99.0);
    return thresholdDb + (inputDb - thresholdDb) / ratio;
}

} // namespace quellmarin
