#pragma once
// The clock of the bench programs: the system's local time, without Qt.

#include <ctime>

#include "platform/Files.h"
#include "ui/Environment.h"

namespace kuv::bench {

class SystemClock : public backup::Clock {
public:
    backup::DateTime Now() const override {
        const platform::LocalDateTime t = platform::ToLocalDateTime(std::time(nullptr));
        return backup::DateTime{t.year, t.month, t.day, t.hour, t.minute, t.second, 0};
    }
};

}  // namespace kuv::bench
