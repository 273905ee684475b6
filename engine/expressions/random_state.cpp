#include "engine/expressions/random_state.h"

#include "platform/clock.h"

int NextRandom(CRandomState& state) {
    if (!state.seeded) {
        const tessaro::platform::WallClockTime now = tessaro::platform::WallClockNow();
        state.value = static_cast<std::uint32_t>(now.seconds) + static_cast<std::uint32_t>(now.nanoseconds / 1000000);
        state.seeded = 1;
    }
    state.value = (state.value * 1103515245u + 12345u) % 32767u;
    return static_cast<int>(state.value);
}
