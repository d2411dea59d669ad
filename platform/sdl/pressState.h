// Held state and press counts for a set of keys or mouse buttons, fed from
// window events in batches (one batch per shown frame). A press that is
// released again within the same batch still reads as held until the next
// batch, so a quick tap between two frames is seen by code that polls
// "held" as well as by code that counts presses.
#pragma once

#include <algorithm>
#include <utility>

namespace tumbla {

template <int count>
class pressState {
public:
    static bool valid(int i) { return i >= 0 && i < count; }

    void beginBatch() {
        for (int i = 0; i < count; ++i)
            if (releaseLater[i]) held[i] = false;
        std::fill(std::begin(releaseLater), std::end(releaseLater), false);
        std::fill(std::begin(pressedInBatch), std::end(pressedInBatch), false);
    }

    void press(int i) {
        if (!valid(i)) return;
        held[i] = true;
        ++hits[i];
        pressedInBatch[i] = true;
        releaseLater[i] = false;
    }

    void release(int i) {
        if (!valid(i)) return;
        if (pressedInBatch[i])
            releaseLater[i] = true;
        else
            held[i] = false;
    }

    bool isHeld(int i) const { return valid(i) && held[i]; }
    int takeHits(int i) { return valid(i) ? std::exchange(hits[i], 0) : 0; }

    void flush() {
        std::fill(std::begin(held), std::end(held), false);
        std::fill(std::begin(hits), std::end(hits), 0);
        std::fill(std::begin(releaseLater), std::end(releaseLater), false);
    }

private:
    bool held[count] = {};
    int hits[count] = {};
    bool pressedInBatch[count] = {};
    bool releaseLater[count] = {};
};

}  // namespace tumbla
