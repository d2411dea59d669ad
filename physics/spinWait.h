// Short waits between threads that hand work to each other many times a
// frame: spin a little (cheap when the other thread is about to finish),
// then give the core away (when it is not, or the machine is busy).
#pragma once

#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tumbla {

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

// Waits with a short spin, then yields the core.
template <typename Done>
void spinUntil(Done done) {
    for (int spins = 0; !done(); ++spins) {
        if (spins < 4000)
            cpuRelax();
        else
            std::this_thread::yield();
    }
}

}  // namespace tumbla
