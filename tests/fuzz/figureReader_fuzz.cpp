// libFuzzer target for the figure reader. Every input is read as a file,
// replacing a figure and added to one, and must never crash, hang or leak.
// What a read produces must also survive the writer: written, read back and
// written again, it gives the same bytes. A small result runs one editor
// frame, so whatever the reader lets through also meets the physics.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/editorState.h"
#include "tools/runner.h"

namespace {

std::string scratchPath(const char* what) {
    static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return folder + "/tumbla-fuzz-" + std::to_string(getpid()) + "-" + what;
}

void spill(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tumbla;
    const std::string input = scratchPath("input"), first = scratchPath("first"),
                      second = scratchPath("second");
    spill(input, data, size);

    headlessPlatform io;
    io.recordCalls = false;
    editorState editor(io);
    prepareHeadlessEditor(editor, io, 1);

    if (editor.readFigureFile(1, input)) {
        editor.numberBalls();
        if (!editor.writeFigureFile(first, 0, 0)) std::abort();
        if (!editor.readFigureFile(1, first)) std::abort();
        editor.numberBalls();
        if (!editor.writeFigureFile(second, 0, 1)) std::abort();
        editor.readFigureFile(1, second);
        editor.writeFigureFile(second, 0, 0);
        if (slurp(first) != slurp(second)) std::abort();
    }

    // Added twice to what is there, then a frame of the editor.
    editor.readFigureFile(0, input);
    editor.readFigureFile(0, input);
    if (editor.allBalls.size() + editor.allLinks.size() < 300) {
        editor.mode = 1;
        io.clock += 16;
        editor.runFrame();
        editor.mode = -1;
        io.clock += 16;
        editor.runFrame();
    }
    return 0;
}
