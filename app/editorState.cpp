#include "app/editorState.h"

namespace tumbla {

editorState::editorState(platform& io) : io(io) {
    // The view edges come first; the centre is derived from them.
    drawAreaWidth = 0.0;
    viewRight = drawAreaWidth;
    viewLeft = 0.0;
    viewTop = 0.0;
    viewBottom = static_cast<double>(displayHeight);
    viewCentreX = (viewRight + viewLeft) / 2;
    viewCentreY = (viewTop + viewBottom) / 2;
    frameMark = io.millisecs();
    toolbar = std::make_unique<toolbarPanel>(io);
    lastFilePath = io.applicationDirectory();
}

editorState::~editorState() {
    retireFigure();
    retireDerived();
    for (ball* b : deadBalls) delete b;
    for (link* l : deadLinks) delete l;
    for (tension* t : deadTensions) delete t;
    for (body* b : deadBodies) delete b;
    for (bodyPair* p : deadPairs) delete p;
    for (cluster* c : deadClusters) delete c;
}

}  // namespace tumbla
