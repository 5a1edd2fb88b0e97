// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/config_folder.h"

#include <cstdlib>

namespace corvanel {

namespace {

std::filesystem::path environment_path(const char* name) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
        return value;
    }
    return {};
}

std::filesystem::path platform_config_base() {
#if defined(_WIN32)
    if (auto local = environment_path("LOCALAPPDATA"); !local.empty()) {
        return local;
    }
    return environment_path("USERPROFILE") / "AppData" / "Local";
#else
    std::filesystem::path home = environment_path("HOME");
    if (home.empty()) {
        home = ".";
    }
#if defined(__APPLE__)
    return home / "Library" / "Preferences";
#else
    // An XDG path that is not absolute is invalid and ignored.
    if (auto xdg = environment_path("XDG_CONFIG_HOME"); xdg.is_absolute()) {
        return xdg;
    }
    return home / ".config";
#endif
#endif
}

}  // namespace

std::filesystem::path config_folder() {
    return platform_config_base() / kProductFolder;
}

std::filesystem::path ports_folder() {
    return config_folder() / "ports";
}

}  // namespace corvanel
