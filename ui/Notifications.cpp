#include "ui/Notifications.h"

namespace kuv {

std::string NotificationBody(const std::string& windowText) {
    std::string body;
    body.reserve(windowText.size());
    for (size_t i = 0; i < windowText.size(); ++i) {
        const char c = windowText[i];
        const bool pair = i + 1 < windowText.size() &&
                          ((c == '\n' && windowText[i + 1] == '\r') || (c == '\r' && windowText[i + 1] == '\n'));
        if (pair) {
            body += '\n';
            ++i;
        } else {
            body += c == '\r' ? '\n' : c;
        }
    }
    return body;
}

}  // namespace kuv
