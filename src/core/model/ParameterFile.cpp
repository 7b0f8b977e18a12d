#include "model/ParameterFile.h"

#include "model/InputFile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quellmarin {

namespace fs = std::filesystem;

LoadResult LoadParameterFile(std::span<const std::uint8_t> bytes, std::uint8_t currentChannelConfig) {
    const bool old = bytes.size() == kOldParameterFileSize;
    if (!old && bytes.size() != kParameterFileSize)
        return {std::nullopt, kFileReadFailed,
                "it holds " + std::to_string(bytes.size()) + " bytes; a parameter file holds " +
                    std::to_string(kParameterFileSize) + " (or " + std::to_string(kOldParameterFileSize) +
                    " in the older layout)"};

    const std::size_t recordPart = old ? kOldRecordPart : kSystemParametersSize;
    const std::span<const std::uint8_t, kDeviceInfoSize> infoBytes(bytes.data() + recordPart,
                                                                   kDeviceInfoSize);
    LoadedParameters loaded{};
    loaded.info = DeviceInfoFromBytes(infoBytes);
    if (loaded.info.ChannelConfig != currentChannelConfig) return {std::nullopt, kFileIncompatible, {}};

    ParameterBytes record{};
    std::memcpy(record.data(), bytes.data(), recordPart);
    loaded.params = ParametersFromBytes(record);
    loaded.oldLayout = old;
    if (old) {
        // The older layout ends before the compressors: those and the alias names start from their
        // defaults, and inputs are unlinked (output links are kept as stored).
        ResetCompAndNames(loaded.params);
        for (int k = 0; k < kInputSlots; ++k) loaded.params.InCH[k].LinkIndex = static_cast<std::uint8_t>(k);
    }
    return {loaded, {}, {}};
}

LoadResult LoadParameterFile(const fs::path& path, std::uint8_t currentChannelConfig) {
    if (path.empty()) return {std::nullopt, kFileReadFailed, {}};
    // One byte more than the largest layout tells a file that is too long; a directory, a FIFO or a
    // device is refused before anything is read from it.
    const FileRead read = ReadInputFile(path, kParameterFileSize + 1);
    if (!read.bytes)
        return {std::nullopt, kFileReadFailed,
                read.tooLarge ? path.string() + " is longer than a parameter file (" +
                                    std::to_string(kParameterFileSize) + " bytes)"
                              : read.problem};
    const std::vector<std::uint8_t> bytes(read.bytes->begin(), read.bytes->end());
    return LoadParameterFile(bytes, currentChannelConfig);
}

std::vector<std::uint8_t> ParameterFileBytes(const SystemParameters& params, const DeviceInfoRecord& info) {
    std::vector<std::uint8_t> out(kParameterFileSize);
    std::memcpy(out.data(), &params, kSystemParametersSize);
    std::memcpy(out.data() + kSystemParametersSize, &info, kDeviceInfoSize);
    return out;
}

bool HasParameterFileExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == ".asc";
}

namespace {

// Creates a new file that did not exist before; nullptr when that is not possible.
std::FILE* CreateExclusive(const fs::path& path) {
#ifdef _WIN32
    int fd = -1;
    if (_wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW,
                  _S_IREAD | _S_IWRITE) != 0)
        return nullptr;
    std::FILE* f = _fdopen(fd, "wb");
    if (!f) _close(fd);
    return f;
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) ::close(fd);
    return f;
#endif
}

bool SyncAndClose(std::FILE* f) {
    bool ok = std::fflush(f) == 0;
#ifdef _WIN32
    ok = ok && _commit(_fileno(f)) == 0;
#else
    ok = ok && ::fsync(::fileno(f)) == 0;
#endif
    return std::fclose(f) == 0 && ok;
}

// A target that exists but may not be written to stays as it is.
bool ExistingTargetWritable(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return true;
    if (fs::is_directory(path, ec)) return false;
#ifdef _WIN32
    return _waccess(path.c_str(), 2) == 0;
#else
    return ::access(path.c_str(), W_OK) == 0;
#endif
}

} // namespace

namespace {
// A new, uniquely named file beside the target, opened for writing; nothing when none can be made.
std::FILE* CreateTempBeside(const fs::path& path, fs::path& temp) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::mt19937_64 rng(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::FILE* f = nullptr;
    for (int attempt = 0; attempt < 100 && !f; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(rng()));
        temp = folder / ("." + path.filename().string() + suffix);
        f = CreateExclusive(temp);
        if (!f && errno != EEXIST) break;
    }
    return f;
}
} // namespace

std::string_view CheckParameterFileTarget(const fs::path& path) {
    if (!HasParameterFileExtension(path)) return kFileExtError;
    if (!ExistingTargetWritable(path)) return kFileOpenError;
    fs::path temp;
    std::FILE* f = CreateTempBeside(path, temp);
    if (!f) return kFileOpenError;
    std::fclose(f);
    std::error_code ec;
    fs::remove(temp, ec);
    return {};
}

bool WriteFileAtomically(const fs::path& path, std::string_view bytes) {
    fs::path temp;
    std::FILE* f = CreateTempBeside(path, temp);
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = SyncAndClose(f);
    std::error_code ec;
    if (!written || !closed || fs::file_size(temp, ec) != bytes.size()) {
        fs::remove(temp, ec);
        return false;
    }
    if (fs::exists(path, ec)) fs::permissions(temp, fs::status(path, ec).permissions(), ec);
    fs::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return false;
    }
    return true;
}

std::string SaveProblemText(const fs::path& path, std::string_view message) {
    if (message.empty()) return {};
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    const std::string name = path.string();
    std::string reason;
    if (fs::is_directory(status))
        reason = name + " is a folder, not a file";
    else if (fs::exists(status) && !fs::is_regular_file(status))
        reason = name + " is not a regular file";
    else if (message == kFileExtError)
        reason = "a parameter file's name ends in .asc";
    else if (message == kFileOpenError && fs::exists(status))
        reason = name + " may not be written";
    else if (message == kFileOpenError)
        reason = "no new file can be made in " +
                 (path.has_parent_path() ? path.parent_path().string() : std::string("this folder"));
    else if (message == kFileSaveFailed)
        reason = "the file could not be written in full; " + name + " is as it was";
    return reason.empty() ? std::string(message) : std::string(message) + " (" + reason + ")";
}

std::string_view SaveParameterFile(const fs::path& path, const SystemParameters& params,
                                   const DeviceInfoRecord& info) {
    if (!HasParameterFileExtension(path)) return kFileExtError;
    if (!ExistingTargetWritable(path)) return kFileOpenError;
    const std::vector<std::uint8_t> bytes = ParameterFileBytes(params, info);
    if (bytes.size() != kParameterFileSize) return kFileSaveFailed;
    fs::path temp;
    if (std::FILE* probe = CreateTempBeside(path, temp)) {
        std::fclose(probe);
        std::error_code ec;
        fs::remove(temp, ec);
    } else {
        return kFileOpenError;
    }
    if (!WriteFileAtomically(path,
                             std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
        return kFileSaveFailed;
    return {};
}

} // namespace quellmarin
