// The toolbar panel: lays out its 35 buttons from the editor's state in every
// frame and draws them over a grey strip right of the drawing area.
#include "toolbar/toolbarPanel.h"

#include <algorithm>
#include <cstdio>

#include "app/editorState.h"
#include "physics/geometry.h"

namespace tumbla {

std::string leftChars(const std::string& text, int n) {
    return text.substr(0, static_cast<std::size_t>(std::max(n, 0)));
}

std::string toolbarValue(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%#.17lg", v);
    return leftChars(text, 6);
}

toolbarPanel::toolbarPanel(platform& io)
    : modeButton(io), zoomField(io), zoomPlus(io), zoomMinus(io), gravityField(io),
      gravityPlus(io), gravityMinus(io), selectButton(io), deleteButton(io), resizeField(io),
      resizePlus(io), resizeMinus(io), anchorButton(io), kindButton(io), rollButton(io),
      ballSizeField(io), ballSizePlus(io), ballSizeMinus(io), ballMassField(io),
      ballMassPlus(io), ballMassMinus(io), linkWidthField(io), linkWidthPlus(io),
      linkWidthMinus(io), angleField(io), anglePlus(io), angleMinus(io), newLevelButton(io),
      revertButton(io), openButton(io), addObjectButton(io), saveButton(io), saveAsButton(io),
      saveOnScreenButton(io), quitButton(io), io(&io) {}

namespace {

// Picks the label for a two-state flag; any other value keeps the label the
// button already has.
std::string flagLabel(int flag, const char* whenZero, const char* whenOne,
                      const std::string& previous) {
    if (flag == 0) return whenZero;
    if (flag == 1) return whenOne;
    return previous;
}

}  // namespace

void toolbarPanel::update() {
    saveMessageTimer = std::max(0, saveMessageTimer - 1);
    if (saveMessageTimer <= 0) saveLabel = "Save";
    panelX = truncateToInt(editor->drawAreaWidth);

    const double s = textScale;
    const double R = rowHeight;
    const double W = displayWidth - panelX - 1;
    const double XL = panelX;
    const double XR = displayWidth - rowHeight - 1;
    const ball* b = editor->selectedBall;
    const link* l = editor->selectedLink;

    // A value row: the wide field with its small "-" on the left end and "+"
    // on the right end.
    auto row = [&](toolbarButton& field, toolbarButton& plus, toolbarButton& minus,
                   const std::string& label, double y, double smallShift) {
        field.place(label, s, W, R, XL, y, 3);
        plus.place("+", s, R, R, XR, y, smallShift);
        minus.place("-", s, R, R, XL, y, smallShift);
    };
    auto wide = [&](toolbarButton& button, const std::string& label, double y) {
        button.place(label, s, W, R, XL, y, 3);
    };

    std::string modeLabel = modeButton.label;
    if (editor->mode == -1) modeLabel = "Draw";
    if (editor->mode == 1) modeLabel = "Play";
    wide(modeButton, modeLabel, 0);

    row(zoomField, zoomPlus, zoomMinus, "Zoom= " + toolbarValue(editor->zoom), 50, 1);
    row(gravityField, gravityPlus, gravityMinus, "Gravity= " + leftChars("0.20000000298023224", 6),
        50 + R, 3);

    const double selectY = 158 - R;
    wide(selectButton, "Select All", selectY);
    wide(deleteButton, b || l ? "Delete Selected Item" : "Delete Everything", selectY + R);
    row(resizeField, resizePlus, resizeMinus, "Resize Everything", selectY + 2 * R, 1);
    if (b)
        wide(anchorButton,
             flagLabel(b->anchored, "Anchor Ball", "Release Ball", anchorButton.label),
             selectY + 3 * R);
    if (b || l) wide(kindButton, std::string("Kind= ") + kindName(l ? l->kind : b->kind), selectY + 4 * R);
    if (b)
        wide(rollButton, flagLabel(b->rolls, "Make Ball Roll", "Make Ball Friction", rollButton.label),
             selectY + 5 * R);

    const double valueY = 325;
    row(ballSizeField, ballSizePlus, ballSizeMinus,
        b ? "Ball Size= " + toolbarValue(b->radius) : "All Balls Size", valueY, 1);
    row(ballMassField, ballMassPlus, ballMassMinus,
        b ? "Ball Mass= " + toolbarValue(b->mass) : "All Balls Mass", valueY + R, 1);
    row(linkWidthField, linkWidthPlus, linkWidthMinus,
        l ? "Link Width= " + toolbarValue(l->width) : "All Links Width", valueY + 2 * R, 3);
    row(angleField, anglePlus, angleMinus,
        b ? "Angle Str.= " + toolbarValue(b->angleStrength) : "All Angle Strength", valueY + 3 * R,
        3);

    const double fileY = displayHeight - 8 * R;
    wide(newLevelButton, "New Level", fileY);
    wide(revertButton, "Revert to Saved", fileY + R);
    wide(openButton, "Open", fileY + 2 * R);
    wide(addObjectButton, "Add Object", fileY + 3 * R);
    wide(saveButton, saveLabel, fileY + 4 * R);
    wide(saveAsButton, "Save As", fileY + 5 * R);
    wide(saveOnScreenButton, "Save Object On Screen", fileY + 6 * R);
    wide(quitButton, "Quit", fileY + 7 * R);
}

void toolbarPanel::draw() {
    io->setColour(222, 222, 222);
    io->fillRect(panelX, 0, displayWidth - panelX, displayHeight);
    io->setColour(255, 255, 255);
    io->drawLine(panelX, 0, panelX, displayHeight);
    io->drawLine(panelX, displayHeight - 1, displayWidth - 1, displayHeight - 1);
    io->drawLine(displayWidth - 1, 0, displayWidth - 1, displayHeight - 1);

    const bool ballSelected = editor->selectedBall != nullptr;
    const bool linkSelected = editor->selectedLink != nullptr;
    modeButton.draw();
    deleteButton.draw();
    if (ballSelected || linkSelected) kindButton.draw();
    selectButton.draw();
    // Each small button is drawn after the wide button of its row, over it.
    for (toolbarButton* button : {&zoomField, &zoomPlus, &zoomMinus, &resizeField, &resizePlus,
                                  &resizeMinus})
        button->draw();
    if (ballSelected) anchorButton.draw();
    if (ballSelected) rollButton.draw();
    for (toolbarButton* button :
         {&ballSizeField, &ballSizePlus, &ballSizeMinus, &ballMassField, &ballMassPlus,
          &ballMassMinus, &linkWidthField, &linkWidthPlus, &linkWidthMinus, &angleField,
          &anglePlus, &angleMinus, &gravityField, &gravityPlus, &gravityMinus, &newLevelButton,
          &revertButton, &openButton, &addObjectButton, &saveButton, &saveAsButton,
          &saveOnScreenButton, &quitButton})
        button->draw();
}

}  // namespace tumbla
