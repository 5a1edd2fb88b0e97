// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/kept_memory_recovery.h"

#include <fstream>
#include <system_error>

#include "core/files/replace_file.h"
#include "core/image/intel_hex_reader.h"
#include "core/image/intel_hex_writer.h"

namespace corvanel {

namespace {

constexpr std::string_view kFirstLine = "; kept ";
// The largest chip's HEX text is far below this; anything larger is not ours.
constexpr std::streamsize kMaxFileBytes = 4 * 1024 * 1024;

}  // namespace

std::filesystem::path kept_memory_file(const std::filesystem::path& folder,
                                       const std::string& model_name) {
    return folder / ("kept-" + model_name + ".hex");
}

std::optional<std::string> save_kept_memories(const std::filesystem::path& file,
                                              const KeptMemories& kept) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    std::string text(kFirstLine);
    text += region_list_text(kept.kept);
    text += "\r\n";
    text += write_hex_text(kept.image);
    return replace_file(file, text);
}

std::optional<KeptMemories> load_kept_memories(const std::filesystem::path& file,
                                               const MemoryImage& shape) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(kMaxFileBytes), '\0');
    in.read(text.data(), kMaxFileBytes);
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() == static_cast<std::size_t>(kMaxFileBytes) ||
        text.compare(0, kFirstLine.size(), kFirstLine) != 0) {
        return std::nullopt;
    }
    const auto line_end = text.find('\n');
    if (line_end == std::string::npos) {
        return std::nullopt;
    }
    std::string list = text.substr(kFirstLine.size(), line_end - kFirstLine.size());
    if (!list.empty() && list.back() == '\r') {
        list.pop_back();
    }
    const auto regions = parse_region_list(list);
    if (!regions || regions->none()) {
        return std::nullopt;
    }
    KeptMemories kept{*regions, shape};
    kept.image.clear_image();
    const HexReadResult read =
        load_hex_text(std::string_view(text).substr(line_end + 1), kept.image);
    if (!read.loaded || !read.end_record || read.out_of_range_count != 0) {
        return std::nullopt;
    }
    return kept;
}

std::string kept_memory_question(const std::filesystem::path& file, const KeptMemories& kept,
                                 const std::string& model_name) {
    return "A Program All of " + model_name + " ended after the erase, before the chip's own " +
           region_list_text(kept.kept) + " was written back: it is kept in " + file.string() +
           ".\r\nWrite it to the chip with this Program All?";
}

std::string kept_memory_unsaved_question(const std::optional<std::filesystem::path>& file,
                                         const std::string& reason, const RegionSelection& kept) {
    const std::string where = file ? "in " + file->string() : "without a configuration folder";
    return "The chip's own " + region_list_text(kept) + " cannot be saved " + where + ": " +
           reason + ".\r\nErased now, it is kept only in this program until it is written " +
           "back: a run that ends after the erase loses it. Nothing has been erased.\r\n" +
           "Erase the chip anyway?";
}

void forget_kept_memories(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::remove(file, error);
}

}  // namespace corvanel
