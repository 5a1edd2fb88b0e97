// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/files/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

namespace corvanel {

namespace {

namespace fs = std::filesystem;

// More links in a chain than this is taken as a loop.
constexpr int kMaxLinks = 40;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string errno_text(const char* fallback) {
    return errno != 0 ? std::strerror(errno) : fallback;
}

bool writable_by_someone(fs::perms permissions) {
    constexpr fs::perms kWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (permissions & kWrite) != fs::perms::none;
}

}  // namespace

fs::path temporary_path_for(const fs::path& target) {
    fs::path name(".");
    name += target.filename();
    name += ".tmp";
    return target.parent_path() / name;
}

fs::path save_destination(const fs::path& path) {
    fs::path target = path;
    std::error_code error;
    for (int depth = 0; depth < kMaxLinks; ++depth) {
        if (!fs::is_symlink(fs::symlink_status(target, error))) {
            break;
        }
        const fs::path next = fs::read_symlink(target, error);
        if (error) {
            break;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

std::optional<std::string> target_refusal(const fs::path& path, TargetLinks links) {
    std::error_code error;
    if (links == TargetLinks::Refused && fs::is_symlink(fs::symlink_status(path, error))) {
        return std::string("It is a symbolic link");
    }
    const fs::path target = save_destination(path);
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        return std::string("Too many symbolic links");
    }
    // A leftover regular file of a killed save is replaced; anything else there
    // was put there by someone, and is left alone.
    const fs::file_status temporary = fs::symlink_status(temporary_path_for(target), error);
    if (!error && fs::exists(temporary) && !fs::is_regular_file(temporary)) {
        return "Something other than a file stands at its temporary name " +
               temporary_path_for(target).filename().string();
    }
    const fs::file_status status = fs::status(target, error);
    if (error || !fs::exists(status)) {
        // A new file needs its folder; found now, before a whole chip is read for it.
        const fs::path folder = target.parent_path();
        if (!folder.empty() && !fs::is_directory(folder, error)) {
            return std::string("The folder does not exist");
        }
        return std::nullopt;
    }
    if (fs::is_directory(status)) {
        return std::string("It is a folder");
    }
    // A FIFO, a device node (/dev/null for a program run as root) or a socket
    // would be replaced by a regular file, which breaks whatever relies on it.
    if (!fs::is_regular_file(status)) {
        return std::string("It is not a regular file");
    }
    if (!writable_by_someone(status.permissions())) {
        return std::string("The file is read-only");
    }
    return std::nullopt;
}

std::optional<std::string> replace_file(const fs::path& path, std::string_view contents,
                                        TargetLinks links) {
    if (auto refused = target_refusal(path, links)) {
        return refused;
    }
    std::error_code error;
    const fs::path target = save_destination(path);
    const fs::file_status old_status = fs::status(target, error);
    const bool exists = !error && fs::exists(old_status);

    const fs::path temporary = temporary_path_for(target);
    // A leftover of a killed save goes first (target_refusal has seen that it
    // is a regular file); "x" then refuses to open whatever might have
    // appeared there since, a link included.
    fs::remove(temporary, error);
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(temporary.c_str(), "wbx"));
    if (!file) {
        return errno_text("The file cannot be created");
    }
    errno = 0;
    const bool written =
        std::fwrite(contents.data(), 1, contents.size(), file.get()) == contents.size() &&
        std::fflush(file.get()) == 0;
    std::string reason = written ? std::string() : errno_text("The file cannot be written");
    errno = 0;
    const bool closed = std::fclose(file.release()) == 0;
    if (written && !closed) {
        reason = errno_text("The file cannot be written");
    }
    if (!written || !closed) {
        fs::remove(temporary, error);
        return reason;
    }
    // The new file keeps the permissions the old one had.
    if (exists) {
        fs::permissions(temporary, old_status.permissions(), error);
    }
    fs::rename(temporary, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return error.message();
    }
    return std::nullopt;
}

}  // namespace corvanel
