#pragma once
// The real main window's environment made of a WindowFixture's fakes.

#include "MainWindowFakes.h"
#include "mainwindow/kuvzipf1_qt.h"

namespace kuv::backup::testing {

// Returns: the environment whose dialog, clock, pump, folders, drives,
// launcher, end and notifier are f's, working in f.work. REQUIRES: f outlives the window.
inline MainWindowEnvironment FakeEnvironment(WindowFixture& f) {
    MainWindowEnvironment env;
    env.dialog = &f.dialog;
    env.clock = &f.clock;
    env.pump = &f.pump;
    env.specialFolders = &f.folders;
    env.drives = &f.drives;
    env.launcher = &f.launcher;
    env.end = &f.end;
    env.workingFolder = f.work;
    env.notifier = &f.notifier;
    return env;
}

}  // namespace kuv::backup::testing
