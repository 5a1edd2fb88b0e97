// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/device_identity.h"

#include "core/image/hex_text.h"
#include "core/image/program_word.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

// Most families keep a five-bit revision; the mask used when no model names the part.
constexpr std::int32_t kUsualIdMask = 0x3FE0;

}  // namespace

std::int32_t hex_group(std::string_view text, std::size_t first) {
    if (text.size() < first + 4) {
        return -1;
    }
    return hexval4(upper_copy(text.substr(first, 4)));
}

ConfigMasks parse_config_masks(std::string_view text) {
    ConfigMasks masks;
    if (const std::int32_t first = hex_group(text, 0); first >= 0) {
        masks.mask1 = first;
    }
    if (const std::int32_t second = hex_group(text, 5); second >= 0) {
        masks.mask2 = second;
    }
    return masks;
}

bool config_words_agree(std::int32_t read, std::int32_t expected, std::int32_t mask) {
    return (read & mask) == (expected & mask);
}

std::optional<DeviceIdKey> parse_device_id(std::string_view text) {
    const std::int32_t id = hex_group(text, 0);
    const std::int32_t mask = hex_group(text, 5);
    if (id < 0 || mask <= 0) {
        return std::nullopt;
    }
    return DeviceIdKey{id & mask, mask};
}

bool id_matches(const DeviceIdKey& key, std::int32_t word) {
    return word >= 0 && (word & key.mask) == key.id;
}

std::int32_t id_revision(const DeviceIdKey& key, std::int32_t word) {
    return word & ~key.mask & kBlankFlashWord;
}

bool no_chip_answer(std::int32_t word) {
    return word < 0 || (word & kBlankFlashWord) == 0 || (word & kBlankFlashWord) == kBlankFlashWord;
}

std::vector<IdentifiedModel> models_with_id(const DeviceDatabase& database, std::int32_t word,
                                            std::int32_t revision_word) {
    std::vector<IdentifiedModel> found;
    if (no_chip_answer(word)) {
        return found;
    }
    for (int n = 1; n <= database.model_count(); ++n) {
        const DeviceModel& model = database.model(n);
        const auto key = parse_device_id(model.deviceid);
        if (key && id_matches(*key, word)) {
            const bool own_word = !model.revaddr.empty();
            const std::int32_t revision =
                own_word ? (revision_word >= 0 ? revision_from_word(revision_word) : 0)
                         : id_revision(*key, word);
            found.push_back({n, model.name, *key, revision});
        }
    }
    return found;
}

std::string chip_description(const std::vector<IdentifiedModel>& models, std::int32_t word,
                             std::int32_t fallback_mask, std::int32_t revision_word) {
    std::string text;
    DeviceIdKey key{word & fallback_mask, fallback_mask};
    std::int32_t revision = id_revision(key, word);
    if (models.empty()) {
        text = "an unknown chip";
        if (full_word_id(word)) {
            key = {word & kBlankFlashWord, kBlankFlashWord};
            revision = revision_word >= 0 ? revision_from_word(revision_word) : 0;
        }
    } else {
        key = models.front().key;
        revision = models.front().revision;
        for (std::size_t i = 0; i < models.size(); ++i) {
            text += (i == 0 ? "" : " or ") + models[i].name;
        }
    }
    text += " (ID " + hex4h(key.id) + ", revision " + std::to_string(revision) + ")";
    return text;
}

std::string no_chip_text(std::int32_t word) {
    return "No chip found (device ID " +
           hex4h(word < 0 ? kBlankFlashWord : word & kBlankFlashWord) + ").";
}

std::string device_id_question(const DeviceDatabase& database, const DeviceIdKey& expected,
                               std::string_view expected_name, std::int32_t word,
                               std::int32_t revision_word) {
    if (no_chip_answer(word)) {
        return no_chip_text(word) + " Continue?";
    }
    if (id_matches(expected, word)) {
        return {};
    }
    std::string text = "The chip in the socket answers as ";
    text += chip_description(models_with_id(database, word, revision_word), word, expected.mask,
                             revision_word);
    text += ", not ";
    text.append(expected_name).append(". Continue?");
    return text;
}

std::string identify_report(const DeviceDatabase& database, std::int32_t word,
                            std::int32_t revision_word) {
    if (no_chip_answer(word)) {
        return no_chip_text(word);
    }
    const auto models = models_with_id(database, word, revision_word);
    std::string text = "The chip in the socket answers as ";
    text += chip_description(models, word, kUsualIdMask, revision_word);
    text += models.empty() ? ", which no model of the device database has." : ".";
    return text;
}

}  // namespace corvanel
