#pragma once
// Starting other programs: detached (the linked program, a file opened with
// its associated program) or waited for with their output captured (asking
// the desktop which program is associated with a file type).

#include <string>
#include <vector>

namespace kuv::platform {

// Starts program with args, detached from this process (it outlives it), in
// workingFolder when not empty. False when it could not be started.
bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workingFolder = {});

// Runs program with args, waits for it, and returns its standard output.
// False when it could not be started or did not exit with status 0.
bool RunAndCapture(const std::string& program, const std::vector<std::string>& args,
                   std::string& output);

}  // namespace kuv::platform
