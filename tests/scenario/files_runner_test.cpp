// tumbla-run's --open and --save: a figure opened and saved with no frame
// between is the same file to the byte.
#include <cstdlib>

#include "tests/unit/files_testing.h"
#include "tools/runner.h"

namespace tumbla::fixtures {
namespace {

TEST(filesRunner, openThenSaveReproducesTheFile) {
    scratchFolder folder;
    for (const char* name : {"twoBalls.fig", "everyKind.fig"}) {
        const std::string out = folder / name;
        EXPECT_EQ(runRunner({"--open", fixturePath(name), "--frames", "0", "--save", out}), 0);
        EXPECT_EQ(slurp(out), slurp(fixturePath(name))) << name;
    }
}

TEST(filesRunner, theProgramItself) {
    scratchFolder folder;
    const std::string command = std::string(TUMBLA_BINARY_DIR) + "/tumbla-run --open '" +
                                fixturePath("everyKind.fig") + "' --frames 0 --save '" +
                                (folder / "out.fig") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(slurp(folder / "out.fig"), slurp(fixturePath("everyKind.fig")));
}

TEST(filesRunner, unreadableOrUnwritableFiguresFail) {
    scratchFolder folder;
    spill(folder / "notes.txt", "not a figure\n");
    EXPECT_EQ(runRunner({"--open", folder / "notes.txt", "--frames", "0"}), 2);
    EXPECT_EQ(runRunner({"--open", folder / "missing.fig", "--frames", "0"}), 2);
    EXPECT_EQ(runRunner({"--frames", "0", "--save", folder / "notes.txt/x.fig"}), 1);
    EXPECT_EQ(slurp(folder / "notes.txt"), "not a figure\n");
}

}  // namespace
}  // namespace tumbla::fixtures
