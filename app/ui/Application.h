// The start of Vask: chooses the display (offscreen when there is none), takes the single-instance lock,
// builds the Linux adapters, the main window and its controller, and runs the start-up flow: the
// unattended run ends the process without ever showing the window; interactive use runs the window until
// it is closed. SIGTERM and SIGINT during the start-up and the unattended run are the forced stop.
#pragma once

namespace vask {

// Returns the process exit status (exit_status in app/core/StartUp.h).
int RunVask(int argc, char** argv);

}  // namespace vask
