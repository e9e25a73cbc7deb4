#pragma once
// The real environment of the main window's logic: the system clock, Qt's
// event processing, the user's special folders, programs started detached
// and the end of the program through the application's event loop.

#include <string>

#include "ui/Environment.h"

namespace kuv::backup {

class QtClock : public Clock {
public:
    DateTime Now() const override;
};

class QtEventPump : public EventPump {
public:
    void DoEvents() override;
    // Runs a local event loop for milliseconds.
    void Wait(int milliseconds) override;
};

// The user's special folders; the desktop's place is given even when the
// folder does not exist yet.
class QtSpecialFolders : public SpecialFolders {
public:
    std::string SpecialFolderPath(int folderId) const override;
};

// Splits command lines as a shell would (QProcess::splitCommand) and starts
// programs detached in the working folder.
class QtProgramLauncher : public ProgramLauncher {
public:
    std::vector<std::string> SplitCommand(const std::string& commandLine) const override;
    bool StartProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workingFolder) override;
};

// Leaves the application's event loops with status 0; main() then returns,
// which closes every file still open.
class QtProgramEnd : public ProgramEnd {
public:
    void EndProgram() override;
};

}  // namespace kuv::backup
