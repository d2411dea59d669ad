#include "platform/sdl/fileDialog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern char** environ;

namespace tumbla {

splitPath splitInitialPath(const std::string& path) {
    splitPath split;
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        split.name = path;
        return split;
    }
    split.hasFolder = true;
    split.folder = path.substr(0, slash);
    if (split.folder.empty()) split.folder.assign(1, '/');  // the root folder
    split.name = path.substr(slash + 1);
    return split;
}

std::vector<std::string> dialogArguments(dialogProgram program, const dialogRequest& request) {
    const splitPath start = splitInitialPath(request.initialPath);
    std::string folder = start.folder;
    if (start.hasFolder && folder.back() != '/') folder += '/';
    if (program == dialogProgram::zenity) {
        std::vector<std::string> args = {"zenity", "--file-selection", "--title=" + request.prompt};
        if (request.save) args.push_back("--save");
        if (start.hasFolder || !start.name.empty()) args.push_back("--filename=" + folder + start.name);
        if (!request.filter.empty()) args.push_back("--file-filter=" + request.filter);
        return args;
    }
    std::vector<std::string> args = {"kdialog", "--title", request.prompt,
                                     request.save ? "--getsavefilename" : "--getopenfilename"};
    // kdialog takes the start as a positional argument: keep a leading "-"
    // from reading as an option.
    std::string startAt = folder + start.name;
    if (startAt.empty()) startAt.assign(1, '.');
    if (startAt[0] == '-') startAt.insert(0, "./");
    args.push_back(startAt);
    if (!request.filter.empty()) args.push_back(request.filter);
    return args;
}

std::string findExecutable(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t begin = 0;
    while (begin <= folders.size()) {
        std::size_t end = folders.find(':', begin);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(begin, end - begin);
        if (folder.empty()) folder.assign(1, '.');  // an empty entry is the current folder
        const std::string candidate = folder + "/" + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        begin = end + 1;
    }
    return "";
}

namespace {

void readAvailable(int fd, std::string& output) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            output.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;  // end of output, or nothing more for now
        }
    }
}

void pause(int milliseconds) {
    timespec t{0, milliseconds * 1000000L};
    nanosleep(&t, nullptr);
}

}  // namespace

childResult runChild(const std::string& path, const std::vector<std::string>& arguments,
                     const std::function<void()>& whileWaiting) {
    childResult result;
    // Everything the child needs is built here: after fork it only calls
    // functions that are safe in a copy of a threaded process.
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::string quietSettings = "GSETTINGS_BACKEND=memory";
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "GSETTINGS_BACKEND=", 18) != 0) envp.push_back(*e);
    envp.push_back(quietSettings.data());
    envp.push_back(nullptr);

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return result;
    const pid_t child = fork();
    if (child < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return result;
    }
    if (child == 0) {
        const int nothing = open("/dev/null", O_RDONLY);
        if (nothing >= 0) dup2(nothing, 0);
        dup2(pipeEnds[1], 1);
        execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    result.started = true;
    close(pipeEnds[1]);
    fcntl(pipeEnds[0], F_SETFL, fcntl(pipeEnds[0], F_GETFL) | O_NONBLOCK);
    int status = 0;
    for (;;) {
        readAvailable(pipeEnds[0], result.output);
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) {
            status = -1;
            break;
        }
        if (whileWaiting) whileWaiting();
        pause(10);
    }
    readAvailable(pipeEnds[0], result.output);
    close(pipeEnds[0]);
    result.status = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string dialogAnswer(const childResult& result) {
    if (!result.started || result.status != 0) return "";
    std::string answer = result.output;
    if (!answer.empty() && answer.back() == '\n') answer.pop_back();
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return answer;
}

}  // namespace tumbla
