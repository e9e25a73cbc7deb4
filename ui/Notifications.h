#pragma once
// Telling the user, through the desktop's notifications, about what went
// wrong while nobody was watching the window: an automatic backup or an
// automatic copy that failed or left files out. The window keeps showing the
// failure as before; the notification is an addition, never a replacement.

#include <string>

namespace kuv {

// Summaries of the notifications (UTF-8), exact.
inline constexpr const char* kNotifyBackupFailed = "Sauvegarde automatique impossible";
inline constexpr const char* kNotifyBackupIncomplete = "Sauvegarde automatique incomplète";
inline constexpr const char* kNotifyCopyFailed = "Copie automatique impossible";
inline constexpr const char* kNotifyBackupThinned = "Sauvegarde automatique : support plein";
inline constexpr const char* kNotifyProgramRestore = "Restauration des programmes interrompue";

class Notifier {
public:
    virtual ~Notifier() = default;
    // Sends one notification (UTF-8 texts; the window messages' LF CR line
    // break is taken as one line break). Returns at once: delivery happens in
    // the background and a missing desktop only gets logged.
    virtual void Notify(const std::string& summary, const std::string& body) = 0;
};

// A notifier that sends nothing: the default where no desktop is wired in.
class NoNotifier : public Notifier {
public:
    void Notify(const std::string&, const std::string&) override {}
};

// The body as the desktop shows it: the window's line break (LF CR, or CR
// LF) becomes one LF, a lone CR an LF; nothing else changes.
std::string NotificationBody(const std::string& windowText);

}  // namespace kuv
