// The editor every benchmark runs on: the headless platform, its draw calls
// not recorded, and a fixed random seed.
#pragma once

#include "app/editorState.h"
#include "platform/headless/headlessPlatform.h"
#include "tools/runner.h"

namespace tumbla {

struct benchWorld {
    headlessPlatform io;
    editorState ed{io};
    explicit benchWorld(int seed = 1) {
        prepareHeadlessEditor(ed, io, seed);
        io.recordCalls = false;
    }
};

}  // namespace tumbla
