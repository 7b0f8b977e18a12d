// The program operations on the wire: reading a slot's name ("T"), recall ("R"), save ("S"), delete
// ("G") and rename ("N"). Each is an exclusive exchange on the open port, run as a job of the link
// worker; each wait ends as soon as the reply it waits for is complete.
#pragma once

#include "link/SerialPort.h"
#include "link/Timings.h"
#include "link/WholeState.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quellmarin {

inline constexpr int kProgramSlots = 40;
inline constexpr std::string_view kEmptySlotName = "not set.............";

// A typed name (UTF-8) as it may travel on the wire: printable ASCII; any other character becomes "?".
std::string WireName(std::string_view utf8);
// The characters of a name that the wire cannot carry (anything but printable ASCII), each once and
// in the order they come, as UTF-8 ("ü", "é ✓"); empty when the name goes as it is. A byte that is no
// UTF-8 is named as "\xNN".
std::string UnwireableCharacters(std::string_view utf8);
// "the processor takes names in plain ASCII letters, digits and signs only; not ü", or empty.
std::string NameRefusal(std::string_view utf8);
// A program name as it goes on the wire: padded with "." to 20 characters, or cut to them.
std::string PaddedProgramName(std::string_view name);

// What a "T" reply says of a slot.
struct SlotReply {
    enum Kind { Name, Empty, Other, Unusable };
    Kind kind = Unusable;
    std::string text; // the name; kEmptySlotName; or another 10-character reply as it came
    bool Usable() const { return kind != Unusable; }
    bool operator==(const SlotReply&) const = default;
};
// A trimmed "T" reply: 51 characters carry a name (up to its first zero byte), "(error059)" an empty
// slot; any other 10-character reply is taken as the row's text; anything else is unusable.
SlotReply ParseSlotReply(std::string_view reply);

// One "T" exchange.
SlotReply QuerySlot(CSerialPort& port, std::string_view address, int slot, const LinkTimings& timings);

// Recall: "R" and its 8-character reply, then the device's whole state read again. Nothing when the
// recall was not confirmed or the state could not be read. `progress` gets 1 once the recall was
// answered and 2 once the state was read.
std::optional<UploadedState> RecallSlot(CSerialPort& port, std::string_view address, int slot,
                                        const LinkTimings& timings, const std::function<void(int)>& progress);

// Save the device's current settings into a slot: "S"; true when the device echoed it exactly.
bool StoreSlot(CSerialPort& port, std::string_view address, int slot, const LinkTimings& timings);

// Delete a slot: "G", then the slot's name read back (up to two tries); the reply of the last try.
SlotReply DeleteSlot(CSerialPort& port, std::string_view address, int slot, const LinkTimings& timings);

// Rename a slot: "N" with the name padded with dots to 20 characters, then the name read back (up to
// four tries). The reply of the read-back: Name when the device now carries the name.
SlotReply RenameSlot(CSerialPort& port, std::string_view address, int slot, std::string_view name,
                     const LinkTimings& timings);

// Rename the current program the short way: "N" and its reply "(%sN%0.3d)"; true when it came.
bool RenameCurrent(CSerialPort& port, std::string_view address, int slot, std::string_view name,
                   const LinkTimings& timings);

} // namespace quellmarin
