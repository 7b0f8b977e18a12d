// Reading what a user names as an input file, bounded and typed: only a regular file is read (never a
// directory, a FIFO, a device or a socket, so nothing can block or run on without end), and only up to
// a size no real input of the program ever reaches. The refusal names the file and says why.
#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>

namespace quellmarin {

// Filter files, scripts and parameter files are all far below this.
inline constexpr std::size_t kInputFileLimit = std::size_t(1) << 20;
// One line of a script or a filter file.
inline constexpr std::size_t kInputLineLimit = std::size_t(64) << 10;

struct FileRead {
    std::optional<std::string> bytes;
    std::string problem; // "show.asc is a directory", when bytes is empty
    bool tooLarge = false;
};

FileRead ReadInputFile(const std::filesystem::path& path, std::size_t limit = kInputFileLimit);

// "1 MiB", "64 KiB", "1105 bytes".
std::string SizeText(std::size_t bytes);

// Reads one line of a stream that may never end (standard input): false at the end of the input or
// when a limit is passed, with `problem` set in the latter case. `total` counts the bytes read so far.
bool ReadBoundedLine(std::istream& in, std::string& line, std::size_t& total, std::string& problem,
                     std::size_t lineLimit = kInputLineLimit, std::size_t totalLimit = kInputFileLimit);

} // namespace quellmarin
