// The file commands as a user meets them: toolbar presses answered through
// the dialog queue, the title, the Save label and the files on disk.
#include <signal.h>
#include <sys/resource.h>

#include "tests/scenario/editing_harness.h"
#include "tests/unit/files_testing.h"

namespace tumbla::fixtures {
namespace {

struct fileCommands : editingHarness {
    scratchFolder folder;
    toolbarPanel& bar() { return *editor.toolbar; }
    const std::string twoBalls = fixturePath("twoBalls.fig");

    void answer(const std::string& path) { io.dialogAnswers.push_back(path); }

    void open(const std::string& path) {
        answer(path);
        press(bar().openButton);
    }

    const headlessPlatform::dialogRequest& lastDialog() { return io.dialogs.back(); }
};

TEST_F(fileCommands, openThenSaveAsNamesTheFigure) {
    open(twoBalls);
    EXPECT_EQ(lastDialog().prompt, "Open file:");
    EXPECT_EQ(editor.currentFileName, twoBalls);
    EXPECT_EQ(io.currentTitle, "Tumbla Editor 55 - " + twoBalls);
    ASSERT_EQ(editor.allBalls.size(), 2u);

    answer(folder / "copy.fig");
    press(bar().saveAsButton);
    EXPECT_EQ(lastDialog().prompt, "Save as:");
    EXPECT_TRUE(lastDialog().save);
    EXPECT_EQ(lastDialog().initialPath, twoBalls);
    EXPECT_EQ(editor.currentFileName, folder / "copy.fig");
    EXPECT_EQ(io.currentTitle, "Tumbla Editor 55 - " + folder / "copy.fig");
    ASSERT_TRUE(editor.writeFigureFile(folder / "expected.fig", 0, 0));
    EXPECT_EQ(slurp(folder / "copy.fig"), slurp(folder / "expected.fig"));
    EXPECT_EQ(bar().saveLabel, "Save");  // Save As shows no "Saved!"

    // Revert reads the new name back, without a dialog.
    editor.allBalls[1]->x = 500.0;
    const std::size_t dialogs = io.dialogs.size();
    press(bar().revertButton);
    EXPECT_EQ(io.dialogs.size(), dialogs);
    ASSERT_EQ(editor.allBalls.size(), 2u);
    EXPECT_EQ(editor.allBalls[1]->anchorX, 150.0);
}

TEST_F(fileCommands, saveWithoutANameIsSaveAsWithoutSaved) {
    answer(twoBalls);
    press(bar().addObjectButton);
    EXPECT_EQ(editor.currentFileName, "");
    answer(folder / "new.fig");
    press(bar().saveButton);
    EXPECT_EQ(lastDialog().prompt, "Save as:");
    EXPECT_EQ(lastDialog().initialPath, "untitled");
    EXPECT_EQ(editor.currentFileName, folder / "new.fig");
    EXPECT_EQ(bar().saveLabel, "Save");
    EXPECT_TRUE(std::filesystem::exists(folder / "new.fig"));
}

TEST_F(fileCommands, saveShowsSavedAndHoldingRWritesPlainHeaders) {
    spill(folder / "mine.fig", slurp(twoBalls));
    open(folder / "mine.fig");
    keyDown(82);
    press(bar().saveButton);
    keyUp(82);
    EXPECT_EQ(bar().saveLabel, "Saved!");
    const std::string plain = slurp(folder / "mine.fig");
    EXPECT_EQ(plain.find("New Ball \r\n"), std::string::npos);
    EXPECT_NE(plain.find("New Link\r\n"), std::string::npos);
    // Saved again without R: the trailing blanks are back, and both forms
    // open as the same figure.
    press(bar().saveButton);
    const std::string spaced = slurp(folder / "mine.fig");
    EXPECT_NE(spaced.find("New Link \r\n"), std::string::npos);
    spill(folder / "plain.fig", plain);
    open(folder / "plain.fig");
    answer(folder / "again.fig");
    press(bar().saveAsButton);
    EXPECT_EQ(slurp(folder / "again.fig"), spaced);
}

TEST_F(fileCommands, cancelledDialogsKeepFigureAndName) {
    open(twoBalls);
    press(bar().openButton);  // no answer queued: cancelled
    EXPECT_EQ(editor.allBalls.size(), 2u);
    EXPECT_EQ(editor.currentFileName, twoBalls);
    EXPECT_EQ(editor.lastFilePath, "");
    open(twoBalls);
    EXPECT_EQ(io.dialogs[2].initialPath, "");  // the dialog's own default place

    press(bar().saveAsButton);  // cancelled
    EXPECT_EQ(editor.currentFileName, twoBalls);
    press(bar().saveOnScreenButton);  // cancelled
    EXPECT_EQ(editor.currentFileName, twoBalls);
    EXPECT_EQ(bar().saveLabel, "Save");
}

TEST_F(fileCommands, revertAfterNewLevelDoesNothing) {
    open(twoBalls);
    press(bar().newLevelButton);
    EXPECT_EQ(editor.currentFileName, "");
    const std::size_t dialogs = io.dialogs.size();
    press(bar().revertButton);
    EXPECT_TRUE(editor.allBalls.empty());
    EXPECT_EQ(io.dialogs.size(), dialogs);
}

TEST_F(fileCommands, openingAForeignFileChangesNothing) {
    open(twoBalls);
    spill(folder / "notes.txt", "shopping list\n");
    open(folder / "notes.txt");
    EXPECT_EQ(editor.allBalls.size(), 2u);
    EXPECT_EQ(editor.currentFileName, twoBalls);
    EXPECT_EQ(editor.lastFilePath, folder / "notes.txt");
}

// Two bodies in view joined by a virtual link and one far off: only the
// bodies in view are written, with their whole-figure numbers, and no
// virtual link; added back, they sit at the view centre, unanchored.
TEST_F(fileCommands, saveObjectOnScreenWritesTheActiveSet) {
    ball* a = addBall(editor, -100, 300);
    ball* b = addBall(editor, -50, 300);
    ball* farA = addBall(editor, 90000, 300);
    ball* farB = addBall(editor, 90050, 300);
    ball* c = addBall(editor, 100, 250);
    ball* d = addBall(editor, 150, 250);
    addLink(editor, a, b);
    addLink(editor, farA, farB);
    addLink(editor, c, d);
    addLink(editor, b, c, 6.0, entityKind::virtualLink);
    editor.regroup();
    editor.currentFileName = folder / "scene.fig";
    frames(1);

    answer(folder / "part.fig");
    press(bar().saveOnScreenButton);
    EXPECT_EQ(lastDialog().prompt, "Save (onscreen stuff only) as:");
    EXPECT_EQ(lastDialog().initialPath, folder / "scene.fig");
    EXPECT_EQ(editor.currentFileName, folder / "scene.fig");
    EXPECT_EQ(io.currentTitle, "Tumbla Editor 55 - " + folder / "scene.fig");

    const std::string part = slurp(folder / "part.fig");
    EXPECT_EQ(part.find("New Virtual Link"), std::string::npos);
    EXPECT_EQ(part.find("90000."), std::string::npos);
    EXPECT_NE(part.find("New Link \r\n5\r\n6\r\n"), std::string::npos);  // whole-figure numbers

    press(bar().newLevelButton);
    editor.viewCentreX = 20.0;
    editor.viewCentreY = 400.0;
    answer(folder / "part.fig");
    press(bar().addObjectButton);
    ASSERT_EQ(editor.allBalls.size(), 4u);
    EXPECT_TRUE(editor.virtualLinks.empty());
    ASSERT_EQ(editor.allLinks.size(), 2u);
    double minX = 1e9, minY = 1e9;
    for (ball* x : editor.allBalls) {
        EXPECT_EQ(x->anchored, 0);
        minX = std::min(minX, x->x);
        minY = std::min(minY, x->y);
    }
    EXPECT_NEAR(minX, 20.0, 1e-6);
    EXPECT_NEAR(minY, 400.0, 1e-6);
}

// Saves that cannot complete say so on the Save button and leave the old
// file and the figure's name alone. A size limit on files stands in for a
// full disk (the tests may run as root, where permissions stop nothing).
TEST_F(fileCommands, failedSavesSaySoAndLoseNothing) {
    spill(folder / "file.txt", "a file, not a folder");
    std::filesystem::create_directory(folder / "dir");
    spill(folder / "old.fig", slurp(twoBalls));
    open(folder / "old.fig");
    editor.allBalls[0]->anchorX = 1.0;

    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    auto diskFull = [&](bool on) {
        struct rlimit small = saved;
        small.rlim_cur = 100;
        signal(SIGXFSZ, on ? SIG_IGN : SIG_DFL);
        setrlimit(RLIMIT_FSIZE, on ? &small : &saved);
    };
    diskFull(true);
    press(bar().saveButton);
    diskFull(false);
    EXPECT_EQ(bar().saveLabel, "Save failed!");
    EXPECT_EQ(slurp(folder / "old.fig"), slurp(twoBalls));
    EXPECT_EQ(editor.allBalls[0]->anchorX, 1.0);
    frames(60);
    EXPECT_EQ(bar().saveLabel, "Save");

    for (const std::string& target : {folder / "file.txt/fig", folder / "dir"}) {
        answer(target);
        press(bar().saveAsButton);
        EXPECT_EQ(bar().saveLabel, "Save failed!") << target;
        EXPECT_EQ(editor.currentFileName, folder / "old.fig") << target;
        frames(60);
        answer(target);
        press(bar().saveOnScreenButton);
        EXPECT_EQ(bar().saveLabel, "Save failed!") << target;
        frames(60);
    }
    editor.currentFileName = folder / "dir";
    press(bar().saveButton);
    EXPECT_EQ(bar().saveLabel, "Save failed!");
    EXPECT_EQ(slurp(folder / "file.txt"), "a file, not a folder");
    EXPECT_EQ(folder.entries(), 3);  // no temporary file left behind
}

}  // namespace
}  // namespace tumbla::fixtures
