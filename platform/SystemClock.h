// The real clock: the standard library's steady clock and sleep, and the
// calendar time as the random seed. The default clock of every host.
#pragma once

#include "platform/Platform.h"

class SystemClock : public Clock {
public:
    uint32_t tickCount() override;
    void sleep(uint32_t milliseconds) override;
    unsigned randomSeed() override;
};
