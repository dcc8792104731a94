// Start of Vask. The main window is not built yet: this start says so plainly instead of pretending.
#include <cstdio>

int main() {
    std::fputs(
        "Vask: the main window is not built yet. Only the core libraries and their tests exist so far.\n",
        stderr);
    return 2;
}
