#include "model/InputFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quellmarin {

namespace fs = std::filesystem;

std::string SizeText(std::size_t bytes) {
    if (bytes >= (std::size_t(1) << 20) && bytes % (std::size_t(1) << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

namespace {

FileRead Refuse(const fs::path& path, const std::string& why) {
    return {std::nullopt, path.string() + why, false};
}

FileRead RefuseSize(const fs::path& path, std::size_t limit) {
    return {std::nullopt, path.string() + " is larger than " + SizeText(limit) + ", more than such a file ever holds",
            true};
}

} // namespace

FileRead ReadInputFile(const fs::path& path, std::size_t limit) {
    if (path.empty()) return {std::nullopt, "no file was named", false};
#if !defined(_WIN32)
    // Opened without waiting (a FIFO with no writer would block the open) and checked on the
    // descriptor itself, so that nothing can be swapped in between.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return Refuse(path, ": there is no such file");
        if (errno == EACCES || errno == EPERM) return Refuse(path, ": permission denied");
        return Refuse(path, ": cannot be opened (" + std::string(std::strerror(errno)) + ")");
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return Refuse(path, ": cannot be read");
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return Refuse(path, " is a directory");
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Refuse(path, " is not a regular file");
    }
    if (static_cast<unsigned long long>(st.st_size) > limit) {
        ::close(fd);
        return RefuseSize(path, limit);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return Refuse(path, ": cannot be read (" + std::string(std::strerror(error)) + ")");
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
        // A file that grows while it is read is held to the same limit.
        if (bytes.size() > limit) {
            ::close(fd);
            return RefuseSize(path, limit);
        }
    }
    ::close(fd);
    return {std::move(bytes), {}, false};
#else
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) return Refuse(path, ": there is no such file");
    if (fs::is_directory(status)) return Refuse(path, " is a directory");
    if (!fs::is_regular_file(status)) return Refuse(path, " is not a regular file");
    if (fs::file_size(path, ec) > limit) return RefuseSize(path, limit);
    std::ifstream in(path, std::ios::binary);
    if (!in) return Refuse(path, ": cannot be opened");
    std::string bytes(limit + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return Refuse(path, ": cannot be read");
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > limit) return RefuseSize(path, limit);
    return {std::move(bytes), {}, false};
#endif
}

bool ReadBoundedLine(std::istream& in, std::string& line, std::size_t& total, std::string& problem,
                     std::size_t lineLimit, std::size_t totalLimit) {
    line.clear();
    problem.clear();
    std::streambuf* buf = in.rdbuf();
    if (!buf) return false;
    bool any = false;
    for (;;) {
        const auto c = buf->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return any;
        }
        any = true;
        if (++total > totalLimit) {
            problem = "the input is larger than " + SizeText(totalLimit);
            return false;
        }
        if (c == '\n') return true;
        if (line.size() >= lineLimit) {
            problem = "a line is longer than " + SizeText(lineLimit);
            return false;
        }
        line += static_cast<char>(c);
    }
}

} // namespace quellmarin
