#include "engine/expressions/random_state.h"

#include <time.h>

int NextRandom(CRandomState& state) {
    if (!state.seeded) {
        struct timespec now {};
        clock_gettime(CLOCK_REALTIME, &now);
        state.value = static_cast<std::uint32_t>(now.tv_sec) + static_cast<std::uint32_t>(now.tv_nsec / 1000000);
        state.seeded = 1;
    }
    state.value = (state.value * 1103515245u + 12345u) % 32767u;
    return static_cast<int>(state.value);
}
