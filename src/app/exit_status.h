// The exit statuses of kestrova-combine, for a single combine, an undo and a
// batch alike. Scripts rely on these numbers; --help lists them.

#pragma once

namespace kestrova::app {

inline constexpr int kExitCompleted = 0;            // every change made; a preview made; an undo put every row back
inline constexpr int kExitSomethingNotChanged = 1;  // something could not be changed (or an undo left rows alone)
inline constexpr int kExitRefused = 2;              // an ID (or a batch file) was refused; nothing was changed
inline constexpr int kExitDeclined = 3;             // the customer confirmation was not given; nothing was changed
inline constexpr int kExitEmployeeMissing = 4;      // the From employee is not in the database
inline constexpr int kExitUsage = 64;               // the command, a journal, a report or a template cannot be used
inline constexpr int kExitCheckUsage = 2;           // check: the command line was not understood
inline constexpr int kExitInterrupted = 130;        // stopped by the user (SIGINT, SIGTERM, SIGHUP, Ctrl-C)

}  // namespace kestrova::app
