// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Registration of the board server as a COM number: a symbolic link named COMn
// in the ports folder, which the port map of the window and the tool follows.

#include <filesystem>
#include <string>

namespace corvanel::board_server {

// Makes the registration link; an old link of a server that died is replaced, but a
// file that is not a link is left alone.
[[nodiscard]] bool register_port(const std::filesystem::path& link, const std::string& target);

// Removes the link, unless another server has taken the name over since.
void unregister_port(const std::filesystem::path& link, const std::string& target);

}  // namespace corvanel::board_server
