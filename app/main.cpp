// Start of Vask: the interactive main window. The unattended run and the single-instance check come with
// the start-up of the application shell; until then every start is interactive.
#include "app/ui/Application.h"

int main(int argc, char** argv) {
    return vask::RunVask(argc, argv);
}
