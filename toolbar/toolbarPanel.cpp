#include "toolbar/toolbarPanel.h"

#include "app/editorState.h"

namespace tumbla {

std::string leftChars(const std::string& text, int n) { return text.substr(0, n < 0 ? 0 : n); }
std::string toolbarValue(double) { return ""; }

toolbarPanel::toolbarPanel(platform& io)
    : modeButton(io), zoomField(io), zoomPlus(io), zoomMinus(io), gravityField(io),
      gravityPlus(io), gravityMinus(io), selectButton(io), deleteButton(io), resizeField(io),
      resizePlus(io), resizeMinus(io), anchorButton(io), kindButton(io), rollButton(io),
      ballSizeField(io), ballSizePlus(io), ballSizeMinus(io), ballMassField(io),
      ballMassPlus(io), ballMassMinus(io), linkWidthField(io), linkWidthPlus(io),
      linkWidthMinus(io), angleField(io), anglePlus(io), angleMinus(io), newLevelButton(io),
      revertButton(io), openButton(io), addObjectButton(io), saveButton(io), saveAsButton(io),
      saveOnScreenButton(io), quitButton(io), io(&io) {}

void toolbarPanel::update() {}
void toolbarPanel::draw() {}

}  // namespace tumbla
