// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/serial_pool.h"

namespace corvanel {

SerialPool::SerialPool(const SerialNumber& first)
    : next_(first), fresh_left_(first.value <= first.largest()) {}

SerialPool::Taken SerialPool::take() {
    const std::lock_guard lock(mutex_);
    Taken taken;
    if (!returned_.empty()) {
        taken.number = *returned_.begin();
        returned_.erase(returned_.begin());
    } else if (fresh_left_) {
        taken.number = next_.value;
        const auto next = next_serial(next_);
        fresh_left_ = next.has_value();
        next_.value = next.value_or(next_.value);
    } else {
        taken.used_up = used_up_locked();
        return taken;
    }
    ++held_;
    return taken;
}

void SerialPool::passed(std::uint64_t number) {
    (void)number;
    const std::lock_guard lock(mutex_);
    --held_;
}

void SerialPool::give_back(std::uint64_t number) {
    const std::lock_guard lock(mutex_);
    --held_;
    returned_.insert(number);
}

bool SerialPool::used_up() const {
    const std::lock_guard lock(mutex_);
    return used_up_locked();
}

bool SerialPool::used_up_locked() const {
    return !fresh_left_ && returned_.empty() && held_ == 0;
}

std::set<std::uint64_t> SerialPool::unused_returns() const {
    const std::lock_guard lock(mutex_);
    return returned_;
}

std::optional<std::uint64_t> SerialPool::next_fresh() const {
    const std::lock_guard lock(mutex_);
    if (!fresh_left_) {
        return std::nullopt;
    }
    return next_.value;
}

}  // namespace corvanel
