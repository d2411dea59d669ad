// One rectangle of the toolbar: a label centred in a white outline, and the
// test whether the pointer presses it. Value fields are buttons that nobody
// asks whether they are pressed.
#pragma once

#include <string>

namespace tumbla {

class platform;

class toolbarButton {
public:
    explicit toolbarButton(platform& io) : io(&io) {}

    std::string label;
    double textScale = 0.0;
    double width = 0.0, height = 0.0;
    double centreX = 0.0, centreY = 0.0;
    double x = 0.0, y = 0.0;
    double textOffsetX = 0.0, textOffsetY = 0.0;
    double textShiftY = 0.0;

    bool clicked(int button);
    bool noAction() { return false; }
    bool held(int button);
    void draw();
    void place(const std::string& text, double scale, double w, double h, double px, double py,
               double shift);
    void placeCentred(const std::string& text, double scale, double cx, double cy);

private:
    bool pointerInside();
    platform* io;
};

}  // namespace tumbla
