// The file commands behind the toolbar's Save group. Every save goes
// through the safe writer, so the previous file survives a failed save; the
// Save button tells the user which way it went.
#include "app/editorState.h"

namespace tumbla {

namespace {

constexpr int keyR = 82;  // held during Save: headers without the trailing blank
constexpr int saveMessageFrames = 60;

void showSaveResult(toolbarPanel& toolbar, bool saved) {
    toolbar.saveLabel = saved ? "Saved!" : "Save failed!";
    toolbar.saveMessageTimer = saveMessageFrames;
}

}  // namespace

void editorState::saveFile() {
    const int plainHeaders = io.keyDown(keyR) ? 1 : 0;
    numberBalls();
    if (currentFileName.empty()) {
        saveFileAs();
    } else {
        showSaveResult(*toolbar, writeFigureFile(currentFileName, 0, plainHeaders));
    }
    numberBalls();
    io.flushMouse();
}

void editorState::saveFileAs() {
    numberBalls();
    io.flushKeys();
    const std::string path =
        io.requestFile("Save as:", "", true, currentFileName.empty() ? "untitled" : currentFileName);
    // A cancelled dialog keeps the figure tied to its file; so does a save
    // that failed, since the chosen file does not hold the figure.
    if (!path.empty()) {
        if (writeFigureFile(path, 0, 0))
            currentFileName = path;
        else
            showSaveResult(*toolbar, false);
    }
    io.flushKeys();
    numberBalls();
    io.flushMouse();
}

void editorState::saveOnScreen() {
    numberBalls();
    activateBodies();
    io.flushKeys();
    const std::string path = io.requestFile("Save (onscreen stuff only) as:", "", true,
                                            currentFileName.empty() ? "untitled" : currentFileName);
    if (!path.empty() && !writeFigureFile(path, 1, 0)) showSaveResult(*toolbar, false);
    io.flushKeys();
    numberBalls();
    io.flushMouse();
}

void editorState::revertToSaved() {
    if (!currentFileName.empty()) readFigureFile(1, currentFileName);
}

}  // namespace tumbla
