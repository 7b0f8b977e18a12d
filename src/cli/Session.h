// What the tool's commands work on. A DeviceSession finds and connects to the processor the options
// name. An EditSession holds the records that "set", "get", "program" and "generator" read and change:
// a parameter file's, saved when the run ends, or a connected processor's, read at connection and
// confirmed by reading them back when the run ends. A script's lines all run in one EditSession.
#pragma once

#include "cli/Cli.h"
#include "link/DeviceLink.h"
#include "session/Session.h"

#include <memory>
#include <mutex>
#include <ostream>

namespace quellmarin::cli {

class DeviceSession {
  public:
    DeviceSession(const Options& o, const Environment& env, std::ostream& err);

    DeviceLink& Link() { return link_; }
    std::vector<FoundDevice> Scan();
    // Scans and selects the first device (with the wanted ID); false with the message said.
    bool SelectDevice();
    bool Connect(bool download, const ParameterBytes& record, ConnectOutcome& outcome, bool readState = true);
    // Once the posted frames have left, reads the device's record back until it holds `wanted`; the
    // settings it does not hold are sent again, so many rounds at most (kReadAttempts). The device
    // answers no edit frame, so only its record tells whether one was taken. False when it never held
    // them or could not be read.
    bool SendUntilHeld(const SystemParameters& wanted);
    // The same for the panel lock and the generator, from the device information record. The names of
    // the settings the device still does not hold; empty when it holds them all.
    std::vector<std::string> SendUntilInfoHeld(const DeviceInfoRecord& wanted);
    // Runs an exchange on the connection's worker; nothing when the connection ended before it ran.
    template <class F> auto OnWorker(F f) -> std::optional<decltype(f(std::declval<CSerialPort&>()))>;

  private:
    const Options& options_;
    const Environment& env_;
    std::ostream& err_;
    SystemPortProvider systemProvider_;
    PortProvider& provider_;
    DeviceLink link_;
    std::mutex printMutex_;
};

// What a command left to say when it failed: its exit code and message.
struct CommandResult {
    int code = kExitOk;
    std::string message;
};

class EditSession {
  public:
    EditSession(const Options& o, const Environment& env, std::ostream& out, std::ostream& err);
    ~EditSession();

    // One command: its name and operands ("set", "in", "2", "gain", "-6"). Linked-channel notes go to
    // stderr at once; the failure is returned, not said.
    CommandResult Run(const std::vector<std::string>& words);
    // Ends the run: saves the file, or waits for the device to take every change and reads its
    // record back to confirm them, then disconnects.
    // `keep`: the run succeeded. A parameter file is written only then; a device has taken each
    // change as it was made.
    CommandResult Finish(bool keep = true);
    // Whether a file run would write its file (something was changed).
    bool FileChanged() const { return !device_ && changed_; }

    // The editing commands, each with its operands ("in", "2", "gain", "-6").
    CommandResult Set(const std::vector<std::string>& words);
    CommandResult Get(const std::vector<std::string>& words);
    CommandResult Program(const std::vector<std::string>& words);
    CommandResult Generator(const std::vector<std::string>& words);
    CommandResult ImportFilters(const std::vector<std::string>& words);
    CommandResult ExportFilters(const std::vector<std::string>& words);

  private:
    CommandResult Open();
    // Runs an exchange on the connection's worker; nothing when the connection ended first.
    template <class F> auto OnWorker(F f) -> std::optional<decltype(f(std::declval<CSerialPort&>()))>;

    const Options& options_;
    const Environment& env_;
    std::ostream& out_;
    std::ostream& err_;
    bool opened_ = false;
    bool changed_ = false;
    bool lockSet_ = false, generatorSet_ = false; // settings of the device information
    std::unique_ptr<DeviceSession> device_;
    Session session_;
    std::mutex frameLog_;
};

} // namespace quellmarin::cli
