#include "platform/linux/NanoSleeper.h"

#include <ctime>

namespace vask {

void NanoSleeper::SleepMilliseconds(int milliseconds) {
    if (milliseconds <= 0) return;
    const timespec pause{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    ::nanosleep(&pause, nullptr);
}

}  // namespace vask
