// A toolbar button keeps only its geometry and label; the panel places it
// again every frame and the command step asks whether it is held.
#include "toolbar/toolbarButton.h"

#include "platform/platform.h"

namespace tumbla {

namespace {

// The outline of a rectangle as four one-pixel lines, each ending on its
// last pixel: top, left, right, bottom.
void drawOutline(platform& io, double x, double y, double width, double height) {
    io.drawLine(x, y, x + width, y);
    io.drawLine(x, y, x, y + height);
    io.drawLine(x + width, y + height, x + width, y);
    io.drawLine(x + width, y + height, x, y + height);
}

}  // namespace

// Strict on every edge: a pointer on the outline is outside, so a button that
// was never placed (zero size) can never be hit.
bool toolbarButton::pointerInside() {
    const double px = io->mouseX();
    const double py = io->mouseY();
    return x < px && px < x + width && y < py && py < y + height;
}

// The press count is asked, and so cleared, only while the pointer is inside.
bool toolbarButton::clicked(int button) { return pointerInside() && io->mouseHits(button) != 0; }

bool toolbarButton::held(int button) { return io->mouseDown(button) && pointerInside(); }

void toolbarButton::draw() {
    io->setColour(255, 255, 255);
    drawOutline(*io, x, y, width, height);
    io->setColour(0, 0, 0);
    io->setScale(textScale, textScale);
    io->drawText(label, x + textOffsetX, y + textOffsetY + textShiftY);
    io->setScale(1, 1);
}

void toolbarButton::place(const std::string& text, double scale, double w, double h, double px,
                          double py, double shift) {
    label = text;
    textScale = scale;
    width = w;
    height = h;
    x = px;
    y = py;
    textShiftY = shift;
    // The label is centred from its size at scale 1; a label wider than the
    // button gets a negative offset and is not clipped.
    textOffsetX = (width - io->textWidth(label) * textScale) / 2;
    textOffsetY = (height - io->textHeight(label) * textScale) / 2;
}

void toolbarButton::placeCentred(const std::string& text, double scale, double cx, double cy) {
    label = text;
    textScale = scale;
    centreX = cx;
    centreY = cy;
    textOffsetX = 3 * scale;
    textOffsetY = 3 * scale;
    width = io->textWidth(label) * scale;
    height = io->textHeight(label) * scale;
    x = centreX - width / 2;
    y = centreY - height / 2;
}

}  // namespace tumbla
