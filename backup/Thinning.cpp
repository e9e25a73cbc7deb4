#include "backup/Thinning.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

#include "backup/ArchiveNaming.h"
#include "platform/Text.h"

namespace kuv::backup {

namespace {

constexpr int kAlwaysKept = 3;
constexpr long kMinutesPerDay = 24 * 60;

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

long long MinutesOf(const DateTime& t) {
    return static_cast<long long>(DayNumber(t.year, t.month, t.day)) * kMinutesPerDay + t.hour * 60 + t.minute;
}

struct Dated {
    std::string name;
    DateTime when;
    long long minutes = 0;
};

// The dated backups among names, oldest first (equal dates by name).
std::vector<Dated> DatedOldestFirst(const std::vector<std::string>& names) {
    std::vector<Dated> dated;
    for (const std::string& name : names) {
        if (auto when = DatedBackupTime(name)) dated.push_back({name, *when, MinutesOf(*when)});
    }
    std::sort(dated.begin(), dated.end(), [](const Dated& a, const Dated& b) {
        return a.minutes != b.minutes ? a.minutes < b.minutes : a.name < b.name;
    });
    return dated;
}

bool SameName(const std::string& a, const std::string& b) {
    return kuv::platform::ToLower(a) == kuv::platform::ToLower(b);
}

// The three most recent and the current one.
bool Protected(const std::vector<Dated>& dated, size_t index, const std::string& current) {
    return index + kAlwaysKept >= dated.size() || SameName(dated[index].name, current);
}

// The value after "KEY=" in the options (case ignored), empty when absent.
std::string TokenValue(const std::string& options, const std::string& key) {
    std::istringstream words(options);
    std::string word;
    std::string value;
    while (words >> word) {
        const std::string upper = kuv::platform::ToUpper(word);
        if (upper.rfind(key + "=", 0) == 0) value = upper.substr(key.size() + 1);
    }
    return value;
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.size() <= 6 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

std::optional<DateTime> DatedBackupTime(const std::string& name) {
    if (name.size() != 21) return std::nullopt;
    const std::string lower = kuv::platform::ToLower(name);
    if (lower.compare(0, 7, "kuvsav-") != 0 || lower.compare(17, 4, ".zip") != 0) return std::nullopt;
    int digits[10];
    for (int i = 0; i < 10; ++i) {
        const char c = lower[7 + i];
        if (c < '0' || c > '9') return std::nullopt;
        digits[i] = c - '0';
    }
    DateTime when;
    when.year = 2000 + digits[0] * 10 + digits[1];
    when.month = digits[2] * 10 + digits[3];
    when.day = digits[4] * 10 + digits[5];
    when.hour = digits[6] * 10 + digits[7];
    when.minute = digits[8] * 10 + digits[9];
    if (when.month < 1 || when.month > 12 || when.day < 1 || when.day > DaysInMonth(when.year, when.month) ||
        when.hour > 23 || when.minute > 59) {
        return std::nullopt;
    }
    return when;
}

KeepRule KeepRuleOf(const std::string& backupOptions) {
    const std::string value = TokenValue(backupOptions, "GARDER");
    KeepRule rule;
    if (value == "AUTO") {
        rule.kind = KeepRule::Kind::Auto;
    } else if (AllDigits(value)) {
        rule.kind = KeepRule::Kind::Count;
        rule.count = std::max(kAlwaysKept, std::stoi(value));
    }
    return rule;
}

int ReminderDaysOf(const std::string& backupOptions) {
    const std::string value = TokenValue(backupOptions, "RAPPEL");
    return AllDigits(value) ? std::stoi(value) : 7;
}

std::vector<std::string> RemovedByRule(const std::vector<std::string>& names, const KeepRule& rule,
                                       const DateTime& now, const std::string& current) {
    const std::vector<Dated> dated = DatedOldestFirst(names);
    std::vector<bool> kept(dated.size(), false);
    if (rule.kind == KeepRule::Kind::Count) {
        for (size_t i = 0; i < dated.size(); ++i) kept[i] = i + rule.count >= dated.size();
    } else if (rule.kind == KeepRule::Kind::Auto) {
        const long long nowMinutes = MinutesOf(now);
        const long long week = 7 * kMinutesPerDay;
        const int nowMonth = now.year * 12 + now.month - 1;
        // Bucket of each backup past the last 7 days; the newest of a bucket
        // is kept (walking oldest first, the last one seen wins).
        std::map<std::string, size_t> newestOfBucket;
        for (size_t i = 0; i < dated.size(); ++i) {
            const long long age = nowMinutes - dated[i].minutes;
            const int month = dated[i].when.year * 12 + dated[i].when.month - 1;
            std::string bucket;
            if (age < week) {
                kept[i] = true;  // the last 7 days, and dates ahead of the clock
                continue;
            } else if (age < 9 * week) {
                bucket = "w" + std::to_string(age / week);
            } else if (nowMonth - month <= 12) {
                bucket = "m" + std::to_string(month);
            } else {
                bucket = "y" + std::to_string(dated[i].when.year);
            }
            newestOfBucket[bucket] = i;
        }
        for (const auto& entry : newestOfBucket) kept[entry.second] = true;
    } else {
        return {};
    }
    std::vector<std::string> removed;
    for (size_t i = 0; i < dated.size(); ++i) {
        if (!kept[i] && !Protected(dated, i, current)) removed.push_back(dated[i].name);
    }
    return removed;
}

RoomPlan PlanRoom(const std::vector<ExistingBackup>& backups, std::uint64_t needed, std::uint64_t free,
                  const std::string& current) {
    RoomPlan plan;
    if (needed <= free) {
        plan.fits = true;
        return plan;
    }
    std::vector<std::string> names;
    std::map<std::string, std::uint64_t> sizes;
    for (const ExistingBackup& b : backups) {
        names.push_back(b.name);
        sizes[b.name] = b.size;
    }
    const std::vector<Dated> dated = DatedOldestFirst(names);
    std::uint64_t room = free;
    for (size_t i = 0; i < dated.size() && room < needed; ++i) {
        if (Protected(dated, i, current)) continue;
        plan.removed.push_back(dated[i].name);
        room += sizes[dated[i].name];
    }
    plan.fits = room >= needed;
    if (!plan.fits) plan.removed.clear();
    return plan;
}

}  // namespace kuv::backup
