#include <string>
#include <vector>

#include "tools/runner.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return tumbla::runRunner(args);
}
