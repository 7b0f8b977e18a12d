// The setting words: "set" and "get" on the records of a processor or a file, read as a user names
// channels and values, and carried out by the editor classes the windows use, so that every frame is
// the windows' own. The command-line tool and the remote-control API both speak them.
#pragma once

#include "edit/EditContext.h"
#include "edit/RecordText.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

// A channel as the user names it: "in 3", "in C", "out 8"; on Ketra the inputs are A..D (or 1..4).
// Nothing, with the reason in `error`, for a channel the model does not have.
std::optional<ChannelRef> ParseChannel(std::string_view section, std::string_view label, DeviceModel model,
                                       std::string& error);
// How a message names the channel: "in 3", "in A" on Ketra, "out 8".
std::string ChannelText(ChannelRef c, DeviceModel model);

struct EditOutcome {
    bool ok = true;
    bool usage = false;               // the words themselves are wrong (not a value out of range)
    std::string message;              // why it failed: the window's message for a value out of range
    std::vector<std::string> notes;   // said on stderr: "out 4 is linked to out 3: editing out 3"
    std::vector<std::string> replied; // frames the device answers (alias names, panel lock)
};

// The words after "set". A failed edit changes nothing in the records and posts nothing.
EditOutcome ApplySet(EditContext& ctx, const std::vector<std::string>& words);

// The words after "get": "all", or a channel ("in 2", "out 3"). The dump lines of what they name.
std::optional<std::vector<DumpEntry>> GetEntries(const SystemParameters& p, const DeviceInfoRecord& info,
                                                 DeviceModel model, const std::vector<std::string>& words,
                                                 std::string& error);

// One line of a script as words: blanks separate them, double or single quotes keep blanks in a word,
// a backslash keeps the next character; a "#" outside quotes starts a comment. Nothing, with the
// reason, for an unclosed quote.
std::optional<std::vector<std::string>> SplitLine(std::string_view line, std::string& error);

} // namespace quellmarin
