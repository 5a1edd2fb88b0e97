// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/config_folder.h"

#include <cstdlib>

#if !defined(_WIN32)
#include <pwd.h>
#include <unistd.h>
#endif

namespace corvanel {

namespace {

std::filesystem::path environment_path(const char* name) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
        return value;
    }
    return {};
}

// The user's home folder from the password database, for a process started
// without HOME (a service, `env -i`): the current folder is no place for the
// settings and rescue files. Empty where there is no such database.
std::filesystem::path password_database_home() {
#if defined(_WIN32)
    return {};
#else
    const struct passwd* entry = ::getpwuid(::getuid());
    if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') {
        return entry->pw_dir;
    }
    return {};
#endif
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
        home = password_database_home();
    }
    if (home.empty()) {
        home = ".";  // no home known at all: the last resort, as before
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
