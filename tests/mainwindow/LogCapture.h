#pragma once
// The messages of the logging categories, caught while a LogCapture lives.

#include <QString>
#include <QtGlobal>

#include <string>
#include <vector>

namespace kuv::backup::testing {

// Every message of the program's categories while it lives:
// "category level: message".
class LogCapture {
public:
    LogCapture() {
        current_ = this;
        previous_ = qInstallMessageHandler(&Handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(previous_);
        current_ = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Returns: true when a message of category at level contains part.
    bool Has(const std::string& category, QtMsgType level, const std::string& part) const {
        for (const Line& line : lines)
            if (line.category == category && line.level == level && line.text.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::string All() const {
        std::string all;
        for (const Line& line : lines) all += line.category + ": " + line.text + "\n";
        return all;
    }

    struct Line {
        std::string category;
        QtMsgType level;
        std::string text;
    };
    std::vector<Line> lines;

private:
    static void Handle(QtMsgType level, const QMessageLogContext& context, const QString& text) {
        if (current_ && context.category)
            current_->lines.push_back({context.category, level, text.toStdString()});
    }
    static inline LogCapture* current_ = nullptr;
    QtMessageHandler previous_ = nullptr;
};

}  // namespace kuv::backup::testing
