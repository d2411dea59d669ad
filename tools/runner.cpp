#include "tools/runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace tumbla {

namespace {

bool parseInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || v < -2147483648L || v > 2147483647L) return false;
    value = static_cast<int>(v);
    return true;
}

bool parseReal(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0';
}

}  // namespace

bool parseScript(const std::string& text, std::vector<scriptEvent>& events, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        std::istringstream words(line);
        std::string frameText, name;
        words >> frameText >> name;
        scriptEvent event;
        auto fail = [&](const std::string& why) {
            error = "script line " + std::to_string(number) + ": " + why + ": " + line;
            return false;
        };
        if (!parseInt(frameText, event.frame) || event.frame < 0) return fail("bad frame number");
        event.name = name;
        std::vector<std::string> rest;
        std::string word;
        if (name == "dialog") {
            std::size_t at = line.find("dialog");
            std::string answer = line.substr(at + 6);
            if (!answer.empty() && (answer[0] == ' ' || answer[0] == '\t')) answer.erase(0, 1);
            event.cancel = answer.empty();
            event.path = answer;
            events.push_back(event);
            continue;
        }
        while (words >> word) rest.push_back(word);
        auto wantInts = [&](std::size_t count) {
            if (rest.size() != count) return false;
            if (count > 0 && !parseInt(rest[0], event.a)) return false;
            if (count > 1 && !parseInt(rest[1], event.b)) return false;
            return true;
        };
        if (name == "key-down" || name == "key-up") {
            if (!wantInts(1) || event.a < 0 || event.a >= keyCodeCount) return fail("bad key code");
        } else if (name == "mouse-move") {
            if (!wantInts(2)) return fail("bad pointer position");
        } else if (name == "button-down" || name == "button-up") {
            if (!wantInts(1) || (event.a != 1 && event.a != 2)) return fail("bad mouse button");
        } else if (name == "quit") {
            if (!rest.empty()) return fail("quit takes no arguments");
        } else {
            return fail("unknown event");
        }
        events.push_back(event);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const scriptEvent& x, const scriptEvent& y) { return x.frame < y.frame; });
    return true;
}

void applyEvent(headlessPlatform& io, const scriptEvent& event) {
    if (event.name == "key-down") io.pressKey(event.a);
    else if (event.name == "key-up") io.releaseKey(event.a);
    else if (event.name == "mouse-move") io.movePointer(event.a, event.b);
    else if (event.name == "button-down") io.pressButton(event.a);
    else if (event.name == "button-up") io.releaseButton(event.a);
    else if (event.name == "quit") io.quit = true;
    else if (event.name == "dialog") io.dialogAnswers.push_back(event.cancel ? "" : event.path);
}

bool parseRunnerArguments(const std::vector<std::string>& args, runnerOptions& options,
                          std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::size_t count) {
            if (i + count >= args.size()) {
                error = a + " needs " + std::to_string(count) + " value(s)";
                return false;
            }
            return true;
        };
        if (a == "--open") {
            if (!value(1)) return false;
            options.openPath = args[++i];
        } else if (a == "--view") {
            if (!value(3)) return false;
            options.setView = true;
            if (!parseReal(args[i + 1], options.centreX) || !parseReal(args[i + 2], options.centreY) ||
                !parseReal(args[i + 3], options.zoom)) {
                error = "--view takes three numbers";
                return false;
            }
            i += 3;
        } else if (a == "--play") {
            options.play = true;
        } else if (a == "--script") {
            if (!value(1)) return false;
            options.scriptPath = args[++i];
        } else if (a == "--frames") {
            if (!value(1)) return false;
            if (!parseInt(args[++i], options.frames) || options.frames < 0) {
                error = "--frames takes a whole number of at least 0";
                return false;
            }
        } else if (a == "--save") {
            if (!value(1)) return false;
            options.savePath = args[++i];
        } else if (a == "--seed") {
            if (!value(1)) return false;
            if (!parseInt(args[++i], options.seed)) {
                error = "--seed takes a whole number";
                return false;
            }
        } else {
            error = "unknown argument " + a;
            return false;
        }
    }
    if (options.frames < 0) {
        error = "--frames N is required";
        return false;
    }
    return true;
}

void prepareHeadlessEditor(editorState& editor, headlessPlatform& io, int seed) {
    editor.toolbar->editor = &editor;
    editor.openDisplay();
    io.seedRandom(seed);
    editor.drawAreaWidth = 780.0;
}

bool runFrames(editorState& editor, headlessPlatform& io, const std::vector<scriptEvent>& events,
               int first, int count) {
    // Events are in frame order (parseScript sorts them).
    auto next = std::lower_bound(events.begin(), events.end(), first,
                                 [](const scriptEvent& e, int f) { return e.frame < f; });
    for (int frame = first; frame < first + count; ++frame) {
        for (; next != events.end() && next->frame == frame; ++next) applyEvent(io, *next);
        io.clock += 16;
        if (editor.runFrame()) return false;
    }
    return true;
}

int runRunner(const std::vector<std::string>& args) {
    runnerOptions options;
    std::string error;
    if (!parseRunnerArguments(args, options, error)) {
        std::cerr << "tumbla-run: " << error << "\n"
                  << "usage: tumbla-run [--open FILE] [--view CX CY ZOOM] [--play] [--script FILE] "
                     "--frames N [--save FILE] [--seed S]\n";
        return 2;
    }
    std::vector<scriptEvent> events;
    if (!options.scriptPath.empty()) {
        std::ifstream in(options.scriptPath, std::ios::binary);
        if (!in) {
            std::cerr << "tumbla-run: cannot read the script " << options.scriptPath << "\n";
            return 2;
        }
        std::stringstream text;
        text << in.rdbuf();
        if (!parseScript(text.str(), events, error)) {
            std::cerr << "tumbla-run: " << error << "\n";
            return 2;
        }
    }
    headlessPlatform io;
    editorState editor(io);
    try {
        prepareHeadlessEditor(editor, io, options.seed);
        if (!options.openPath.empty() && !editor.readFigureFile(1, options.openPath)) {
            std::cerr << "tumbla-run: cannot read the figure " << options.openPath << "\n";
            return 2;
        }
        if (options.setView) {
            editor.viewCentreX = options.centreX;
            editor.viewCentreY = options.centreY;
            editor.zoom = options.zoom;
        }
        editor.mode = options.play ? -1 : 1;
        runFrames(editor, io, events, 0, options.frames);
        if (!options.savePath.empty()) {
            editor.numberBalls();
            if (!editor.writeFigureFile(options.savePath, 0, 0)) {
                std::cerr << "tumbla-run: cannot write " << options.savePath << "\n";
                return 1;
            }
        }
    } catch (const processExit& exit) {
        return exit.status;
    }
    return 0;
}

}  // namespace tumbla
