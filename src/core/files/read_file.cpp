// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/files/read_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace corvanel {

namespace {

namespace fs = std::filesystem;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string errno_text(const char* fallback) {
    return errno != 0 ? std::strerror(errno) : fallback;
}

std::string too_large_text(std::uintmax_t max_bytes) {
    if (max_bytes % (1024 * 1024) == 0) {
        return "It is larger than " + std::to_string(max_bytes / (1024 * 1024)) + " MiB";
    }
    return "It is larger than " + std::to_string(max_bytes) + " bytes";
}

}  // namespace

FileReadResult read_input_file(const std::string& path, std::uintmax_t max_bytes) {
    // Looked at before opening: opening a FIFO for reading already blocks.
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!error && fs::exists(status)) {
        if (fs::is_directory(status)) {
            return {false, {}, "It is a folder"};
        }
        if (!fs::is_regular_file(status)) {
            return {false, {}, "It is not a regular file"};
        }
        const std::uintmax_t size = fs::file_size(path, error);
        if (!error && size > max_bytes) {
            return {false, {}, too_large_text(max_bytes)};
        }
    }
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return {false, {}, errno_text("It cannot be opened")};
    }
    FileReadResult result;
    char buffer[16384];
    for (;;) {
        errno = 0;
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        result.bytes.append(buffer, got);
        // A file that grows while it is read is held to the same limit.
        if (result.bytes.size() > max_bytes) {
            return {false, {}, too_large_text(max_bytes)};
        }
        if (got < sizeof buffer) {
            if (std::ferror(file.get()) != 0) {
                return {false, {}, errno_text("It cannot be read")};
            }
            break;
        }
    }
    result.ok = true;
    return result;
}

}  // namespace corvanel
