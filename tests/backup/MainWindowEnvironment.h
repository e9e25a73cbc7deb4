#pragma once
// The environment of the real main window kuvzipf1 made of a WindowFixture's
// fakes, for the tests that drive the window itself.

#include "MainWindowFakes.h"
#include "backup/kuvzipf1_qt.h"

namespace kuv::backup::testing {

inline MainWindowEnvironment EnvironmentOf(WindowFixture& f) {
    MainWindowEnvironment env;
    env.dialog = &f.dialog;
    env.clock = &f.clock;
    env.pump = &f.pump;
    env.specialFolders = &f.folders;
    env.drives = &f.drives;
    env.launcher = &f.launcher;
    env.end = &f.end;
    env.workingFolder = f.work;
    return env;
}

}  // namespace kuv::backup::testing
