#pragma once
// The options of kuvzip. The program is started by the linked application in
// its working folder, without options: it talks through the link file. The
// options here are for a user at a terminal; they are read before any window
// exists, so that --help and --version answer without a display. An argument
// the program does not know is logged and ignored: the program starts as it
// always did, whatever it was given.
//
// Adding an option: a row in the table of ProgramOptions.cpp (its names,
// its value's name if it takes one, its French description, which --help
// shows), a value in ProgramMode or a field in ProgramOptions below, and the
// line of ParseProgramOptions that fills it; main() then acts on it. The
// manual page kuvzip.1 beside this file describes every option.

#include <QString>
#include <QStringList>

namespace kuv::app {

// What the command line asks the program to do.
enum class ProgramMode {
    Window,   // the program with its windows (its only mode when started by the linked application)
    Help,     // print the options on standard output and end with status 0
    Version,  // print the version on standard output and end with status 0
    Reminder, // --rappel FOLDER: the headless reminder started at logon, no window
};

struct ProgramOptions {
    ProgramMode mode = ProgramMode::Window;
    // The arguments not understood, as given: logged, then ignored.
    QStringList ignored;
    // --rappel: the working folder whose last backup is looked at.
    QString reminderFolder;
    // Further options keep their values here.
};

// Reads the command line; arguments[0] is the program's name.
ProgramOptions ParseProgramOptions(const QStringList& arguments);
// The command line as main() received it.
QStringList ArgumentsOf(int argc, char** argv);

// The texts of --help and --version, each ending with a line break.
QString ProgramHelpText();
QString ProgramVersionText();

// Help or Version: prints its text on standard output and returns the exit
// status (0). Window and Reminder: returns -1 and prints nothing.
int AnswerWithoutWindow(const ProgramOptions& options);

// Logs each ignored argument that is still in `left`, the arguments the
// application object left after taking its own (-platform, -style ...).
void LogIgnoredArguments(const ProgramOptions& options, const QStringList& left);

}  // namespace kuv::app
