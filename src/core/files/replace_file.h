// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one way the program writes a whole file (a saved HEX file, the board's
// chip state): the new contents go to a temporary file beside the target, which
// is then renamed over it. Whatever happens, and at whatever moment the program
// is stopped, the target holds either all of its old contents or all of the new.
//
//  - The temporary file has a fixed name, ".NAME.tmp" beside NAME, so that one
//    left behind by a save that was killed is recognisable and is replaced (and
//    renamed away) by the next save to the same target.
//  - A target that is a symbolic link is refused: in the program's own folder
//    (the rescue files) a link is someone else's doing, and following it would
//    write wherever it points. Only a file the user named (a HEX save, a
//    board's state file) is written through its links (also one whose file
//    does not exist yet): the file the link names gets the contents, the link
//    stays a link.
//  - A target that exists and is read-only is refused, not replaced; so is one
//    that is not a regular file (a folder, a FIFO, a device node).
//  - Whatever stands at the temporary name other than a regular file (a link, a
//    FIFO, a folder) is refused, and never followed: the temporary file is
//    created anew, failing where anything has appeared there since.
//  - On failure the temporary file is removed and the target is left alone.
//
// Paths are taken as the bytes the file system uses: a name that is not valid
// UTF-8 reaches it unchanged.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace corvanel {

// Whether a symbolic link at the target is followed (see above).
enum class TargetLinks {
    Refused,        // the program's own files
    WrittenThrough  // a file the user named
};

// The temporary file a save of `target` writes first (".NAME.tmp" beside it).
[[nodiscard]] std::filesystem::path temporary_path_for(const std::filesystem::path& target);

// The file a save of `path` writes: `path` itself, or where its chain of
// symbolic links ends (relative links taken from their own folder).
[[nodiscard]] std::filesystem::path save_destination(const std::filesystem::path& path);

// Why a save of `path` would be refused before anything is written (a link
// where links are refused, a folder, not a regular file, read-only, a loop of
// links, a new file in a folder that does not exist, something other than a
// regular file at the temporary name); nothing when it may go on.
[[nodiscard]] std::optional<std::string> target_refusal(const std::filesystem::path& path,
                                                        TargetLinks links = TargetLinks::Refused);

// Writes `contents` as the whole new file `path`. Answers nothing on success,
// else the reason ("The file is read-only", the system's error text, ...).
[[nodiscard]] std::optional<std::string> replace_file(const std::filesystem::path& path,
                                                      std::string_view contents,
                                                      TargetLinks links = TargetLinks::Refused);

}  // namespace corvanel
