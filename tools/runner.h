// The headless runner: the editor's real frame loop on the headless platform,
// driven by a script of input events. Used by build/tumbla-run and by tests.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/editorState.h"
#include "platform/headless/headlessPlatform.h"

namespace tumbla {

struct scriptEvent {
    int frame = 0;
    std::string name;  // key-down, key-up, mouse-move, button-down, button-up, dialog, quit
    int a = 0, b = 0;
    std::string path;     // dialog answer
    bool cancel = false;  // dialog without a path
};

// Parses a script; on a malformed line returns false and says which in error.
bool parseScript(const std::string& text, std::vector<scriptEvent>& events, std::string& error);

// Applies one event to the headless input state.
void applyEvent(headlessPlatform& io, const scriptEvent& event);

struct runnerOptions {
    std::string openPath;
    bool setView = false;
    double centreX = 0, centreY = 0, zoom = 1;
    bool play = false;
    std::string scriptPath;
    int frames = -1;
    std::string savePath;
    int seed = 1;
};

// Reads the command line; false with a message on a malformed argument.
bool parseRunnerArguments(const std::vector<std::string>& args, runnerOptions& options,
                          std::string& error);

// Prepares an editor as the program does before its first frame, without a
// window or splash: toolbar owner, images, seed, drawing-area width.
void prepareHeadlessEditor(editorState& editor, headlessPlatform& io, int seed);

// Runs frames [first, first + count) with the events of each frame applied
// just before it; the clock advances 16 ms per frame. Returns false when the
// editor asked to stop (Escape down at the end of a frame).
bool runFrames(editorState& editor, headlessPlatform& io, const std::vector<scriptEvent>& events,
               int first, int count);

// The whole runner; returns the exit status.
int runRunner(const std::vector<std::string>& args);

}  // namespace tumbla
