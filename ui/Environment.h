#pragma once
// What the main window's logic needs from the world around it, injected so
// that tests control it: the clock, the waits and one-shot timers, the
// special folders, the launching of programs and the end of the program.

#include <string>
#include <vector>

namespace kuv::backup {

// A local date and time, to the millisecond.
struct DateTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime Now() const = 0;
};

// Letting the window live during long work.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Lets pending window events run once.
    virtual void DoEvents() = 0;
    // Waits milliseconds while letting window events run.
    virtual void Wait(int milliseconds) = 0;
};

// The main window's one-shot timers. DriveWatch looks at the mounted
// volumes once a second while the window is open, so that the destination
// list follows the media plugged in or pulled out.
enum class TimerId { Timer1, Timer111, Timer2, Timer3, DriveWatch };

class TimerPort {
public:
    virtual ~TimerPort() = default;
    // Arms the timer to fire once after milliseconds (the logic's OnTimer is
    // then called); an interval of 0 disarms it.
    virtual void Arm(TimerId timer, int milliseconds) = 0;
};

// The user's special folders: 0 the desktop, 40 the user profile.
class SpecialFolders {
public:
    virtual ~SpecialFolders() = default;
    virtual std::string SpecialFolderPath(int folderId) const = 0;
};

// Starting other programs, detached.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // Returns: the words of commandLine split as a shell would (double
    // quotes group words); empty for a blank line.
    virtual std::vector<std::string> SplitCommand(const std::string& commandLine) const = 0;
    // Starts program (a path, or a name looked up in PATH) with args in
    // workingFolder, without waiting. False when it could not be started.
    virtual bool StartProgram(const std::string& program, const std::vector<std::string>& args,
                              const std::string& workingFolder) = 0;
    // Starts the command line, split by SplitCommand, its first word the
    // program, as it stands. False when it could not be started.
    bool StartDetached(const std::string& commandLine, const std::string& workingFolder) {
        std::vector<std::string> words = SplitCommand(commandLine);
        if (words.empty()) return false;
        const std::string program = words.front();
        words.erase(words.begin());
        return StartProgram(program, words, workingFolder);
    }
};

// Ending the program ("close all files and end the program").
class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    virtual void EndProgram() = 0;
};

}  // namespace kuv::backup
