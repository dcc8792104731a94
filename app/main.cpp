// Start of Vask: `vask` for the window, `vask /silent[0-99]` for an unattended search and disposal with the
// saved settings. The exit status is described in the README.
#include "app/ui/Application.h"

int main(int argc, char** argv) {
    return vask::RunVask(argc, argv);
}
