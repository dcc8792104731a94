// The interactive start of Vask: builds the Linux adapters, the main window's controller and the window,
// runs the start-up of the dialog and then the window until it is closed.
#pragma once

namespace vask {

// Returns the process exit code. The caller has dealt with single instance and the command line.
int RunVask(int argc, char** argv);

}  // namespace vask
