// The column of buttons and value fields right of the drawing area. It lays
// out and draws its buttons; what a press does is decided by the command step.
#pragma once

#include <string>

#include "toolbar/toolbarButton.h"

namespace tumbla {

class editorState;
class platform;

std::string leftChars(const std::string& text, int n);
// A value as the toolbar shows it: the first six characters of "%#.17lg".
std::string toolbarValue(double v);

class toolbarPanel {
public:
    explicit toolbarPanel(platform& io);

    editorState* editor = nullptr;
    int displayWidth = 1024;
    int displayHeight = 700;
    double textScale = 0.6000000238418579;
    int panelX = 780;
    int rowHeight = 30;

    toolbarButton modeButton, zoomField, zoomPlus, zoomMinus, gravityField, gravityPlus,
        gravityMinus, selectButton, deleteButton, resizeField, resizePlus, resizeMinus,
        anchorButton, kindButton, rollButton, ballSizeField, ballSizePlus, ballSizeMinus,
        ballMassField, ballMassPlus, ballMassMinus, linkWidthField, linkWidthPlus, linkWidthMinus,
        angleField, anglePlus, angleMinus, newLevelButton, revertButton, openButton,
        addObjectButton, saveButton, saveAsButton, saveOnScreenButton, quitButton;

    int saveMessageTimer = 0;
    std::string saveLabel;

    void update();
    void draw();

private:
    platform* io;
};

}  // namespace tumbla
