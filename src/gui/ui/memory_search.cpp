// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/memory_search.h"

#include <QRegularExpression>
#include <QStringList>

namespace corvanel {

namespace {

// One hexadecimal number with its usual marks; the digits only.
std::optional<QString> hex_digits_of(QString text) {
    text = text.trimmed();
    if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
        text = text.mid(2);
    } else if (text.startsWith(QLatin1Char('$'))) {
        text = text.mid(1);
    } else if (text.endsWith(QLatin1Char('h'), Qt::CaseInsensitive)) {
        text.chop(1);
    }
    static const QRegularExpression digits(QStringLiteral("^[0-9A-Fa-f]+$"));
    if (!digits.match(text).hasMatch()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::optional<std::int32_t> parse_hex_address(const QString& text) {
    const auto digits = hex_digits_of(text);
    if (!digits || digits->size() > 7) {
        return std::nullopt;  // 7 digits: every address fits an int32 with room to spare
    }
    bool ok = false;
    const std::int32_t value = digits->toInt(&ok, 16);
    if (!ok) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<int>> parse_search_values(const QString& text, int digits) {
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    const QStringList parts = text.split(separators, Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        return std::nullopt;
    }
    std::vector<int> values;
    for (const QString& part : parts) {
        const auto number = hex_digits_of(part);
        if (!number || number->size() > digits) {
            return std::nullopt;
        }
        values.push_back(number->toInt(nullptr, 16));
    }
    return values;
}

std::optional<std::int32_t> find_values(const std::function<int(std::int32_t)>& value_at,
                                        std::int32_t count, const std::vector<int>& pattern,
                                        std::int32_t from) {
    const auto length = static_cast<std::int32_t>(pattern.size());
    if (length == 0 || length > count) {
        return std::nullopt;
    }
    const std::int32_t last_start = count - length;
    const auto matches_at = [&](std::int32_t start) {
        for (std::int32_t k = 0; k < length; ++k) {
            if (value_at(start + k) != pattern[static_cast<std::size_t>(k)]) {
                return false;
            }
        }
        return true;
    };
    if (from < 0 || from > last_start) {
        from = 0;
    }
    for (std::int32_t start = from; start <= last_start; ++start) {
        if (matches_at(start)) {
            return start;
        }
    }
    for (std::int32_t start = 0; start < from; ++start) {
        if (matches_at(start)) {
            return start;
        }
    }
    return std::nullopt;
}

}  // namespace corvanel
