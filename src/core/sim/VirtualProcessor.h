// The device side of the wire: a processor with its own records, 40 programs, generator, panel lock
// and alias names, answering frames as a real unit does. It is a pure state machine over bytes;
// SimServer puts it on a serial line.
#pragma once

#include "model/Records.h"

#include <array>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin::sim {

inline constexpr int kPrograms = 40;

struct Program {
    char name[kNameLength];
    SystemParameters state;
};

class VirtualProcessor {
  public:
    VirtualProcessor(int deviceId, DeviceModel model);

    // Bytes from the wire; returns the replies, one per complete frame that gets one.
    std::vector<std::string> Receive(std::string_view bytes);
    // The complete frames in the bytes from the wire (an unfinished one waits for the rest).
    std::vector<std::string> TakeFrames(std::string_view bytes);
    // One complete frame "(...)"; returns its reply, or nothing.
    std::optional<std::string> Handle(std::string_view frame);

    int DeviceId() const { return id_; }
    DeviceModel Model() const { return model_; }
    std::string Address() const;

    // Copies of the state, safe from any thread.
    SystemParameters Parameters() const;
    DeviceInfoRecord Info() const;
    std::optional<Program> ProgramAt(int number) const; // 1..40
    std::vector<std::string> FramesReceived() const;
    std::size_t FrameCount() const;
    // Frames it could not take: not its address, malformed, or a value out of range. Settings it takes
    // get no answer, so this is how a caller learns that one was refused.
    std::size_t RefusedCount() const;
    void SetParameters(const SystemParameters& p);
    void SetInfo(const DeviceInfoRecord& d);

    // The state file keeps the records and the programs between runs.
    bool LoadState(const std::filesystem::path& path);
    bool SaveState(const std::filesystem::path& path) const;

  private:
    std::optional<std::string> HandleLocked(std::string_view frame);
    std::optional<std::string> Refuse();
    std::string LevelReply();
    std::string ProgramNameReply(int number) const;

    mutable std::mutex mutex_;
    int id_;
    DeviceModel model_;
    SystemParameters params_;
    DeviceInfoRecord info_;
    std::array<std::optional<Program>, kPrograms> programs_;
    std::string pending_;
    std::vector<std::string> received_;
    std::size_t frameCount_ = 0;
    std::size_t refused_ = 0;
    unsigned tick_ = 0;
};

} // namespace quellmarin::sim
