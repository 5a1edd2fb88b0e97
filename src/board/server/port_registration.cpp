// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/port_registration.h"

#include <iostream>
#include <system_error>

namespace corvanel::board_server {

bool register_port(const std::filesystem::path& link, const std::string& target) {
    std::error_code error;
    // The folder's own failure (a read-only configuration folder) is the reason
    // to give: the link's would only say that the folder is missing.
    std::filesystem::create_directories(link.parent_path(), error);
    if (error) {
        std::cerr << "corvanel-board: cannot register " << link << ": cannot create the folder "
                  << link.parent_path() << ": " << error.message() << "\n";
        return false;
    }
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(link, error))) {
        std::filesystem::remove(link, error);
    }
    std::filesystem::create_symlink(target, link, error);
    if (error) {
        std::cerr << "corvanel-board: cannot register " << link << ": " << error.message() << "\n";
        return false;
    }
    return true;
}

void unregister_port(const std::filesystem::path& link, const std::string& target) {
    std::error_code error;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(link, error)) &&
        std::filesystem::read_symlink(link, error) == target) {
        std::filesystem::remove(link, error);
    }
}

}  // namespace corvanel::board_server
