#pragma once
// The start-up routine: globals and paths, the main window with its load step, and the browser
// context-menu keys written on every start.

class frmMain;

namespace StartUp {
// Returns the shown main window (owned by the caller).
frmMain* Run();
}  // namespace StartUp
