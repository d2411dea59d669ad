// The file dialog runs the desktop's own dialog program (zenity, or kdialog
// where only that is installed) as a child process, given an argument
// vector and never a shell, so no file name can be read as a command.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tumbla {

enum class dialogProgram { zenity, kdialog };

struct dialogRequest {
    std::string prompt;
    std::string filter;       // "" lets every file be chosen
    bool save = false;
    std::string initialPath;  // "FOLDER/NAME", or only "NAME"
};

// The initial path split at its last "/": the starting folder before it and
// the proposed name after it; without "/", no folder and the whole as name.
struct splitPath {
    std::string folder;
    std::string name;
    bool hasFolder = false;
};
splitPath splitInitialPath(const std::string& path);

// The argument vector (the program's name first) for the request.
std::vector<std::string> dialogArguments(dialogProgram program, const dialogRequest& request);

// The full path of an executable named `name` found on PATH, or "".
std::string findExecutable(const std::string& name);

struct childResult {
    bool started = false;
    int status = -1;      // exit status, -1 when it did not exit normally
    std::string output;   // everything written to standard output
};

// Runs `path` with `arguments` and GSETTINGS_BACKEND=memory added to the
// environment, reading its standard output, and calls `whileWaiting` every
// few milliseconds until it ends.
childResult runChild(const std::string& path, const std::vector<std::string>& arguments,
                     const std::function<void()>& whileWaiting);

// The chosen path from a finished dialog: the output without its line end
// when the status is 0, otherwise "".
std::string dialogAnswer(const childResult& result);

}  // namespace tumbla
