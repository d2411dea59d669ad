// The figure file: the writer's exact bytes, round trips, the reader's
// tolerance of line ends and malformed input, adding, and the safe writer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "files/numberText.h"
#include "files_testing.h"

namespace tumbla::fixtures {
namespace {

struct figureFile : ::testing::Test {
    headlessPlatform io;
    editorState editor{io};
    scratchFolder folder;

    std::string save(const std::string& name, int onScreenOnly = 0, int plain = 0) {
        editor.numberBalls();
        EXPECT_TRUE(editor.writeFigureFile(folder / name, onScreenOnly, plain));
        return slurp(folder / name);
    }

    // Reads bytes as a file with replace and writes the figure back out.
    std::string rewrite(const std::string& bytes) {
        spill(folder / "in.fig", bytes);
        EXPECT_TRUE(editor.readFigureFile(1, folder / "in.fig"));
        return save("out.fig");
    }
};

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

// A figure with every kind, odd reals, a tension and virtual links.
void buildEveryKind(editorState& e) {
    const entityKind ballKinds[] = {entityKind::normal, entityKind::background, entityKind::damaging};
    const double odd[] = {0.2, -0.0, 1e-300, 4.9406564584124654e-324, DBL_MAX, -123456.789e-7};
    for (int i = 0; i < 6; ++i) {
        ball* b = addBall(e, 10.0 * i + odd[i % 6], -5.5 * i, 3.0 + i);
        b->kind = ballKinds[i % 3];
        b->mass = odd[(i + 1) % 6];
        b->anchored = i % 2;
        b->rolls = (i / 2) % 2;
        b->anchorX = odd[(i + 2) % 6];
        b->anchorY = odd[(i + 3) % 6];
        b->angleStrength = 0.1 * i;
    }
    auto& bs = e.allBalls;
    const entityKind linkKinds[] = {entityKind::normal, entityKind::background, entityKind::damaging,
                                    entityKind::stop, entityKind::virtualLink};
    for (int i = 0; i < 5; ++i) {
        link* l = addLink(e, bs[i], bs[i + 1], 1.5 * i);
        l->kind = linkKinds[i];  // a link of kind "virtual" stays in allLinks
        l->restLength = odd[i];
    }
    tension* t = e.newTension();
    t->ballA = bs[0];
    t->centre = bs[1];
    t->ballB = bs[2];
    t->restAngle = 359.99999999999994;
    t->strength = 300.0;
    e.allTensions.push_back(t);
    addLink(e, bs[0], bs[5], 6.0, entityKind::virtualLink);
    addLink(e, bs[3], bs[3], 6.0, entityKind::virtualLink);
}

}  // namespace

TEST_F(figureFile, workedExampleIsWrittenToTheByte) {
    buildTwoBalls(editor);
    EXPECT_EQ(save("two.fig"), slurp(fixturePath("twoBalls.fig")));
}

TEST_F(figureFile, emptyFigureIsTheVersionLineAlone) {
    EXPECT_EQ(save("empty.fig"), "2\r\n");
    buildTwoBalls(editor);
    EXPECT_TRUE(editor.readFigureFile(1, folder / "empty.fig"));
    EXPECT_TRUE(editor.allBalls.empty());
    EXPECT_TRUE(editor.allLinks.empty());
}

TEST_F(figureFile, roundTripKeepsEveryStoredFieldToTheBit) {
    buildEveryKind(editor);
    const std::string first = save("a.fig");
    // Fields as written, to compare after the read.
    struct snapshot {
        int number, anchored, rolls, colour[3];
        double mass, x, y, radius, anchorX, anchorY, angleStrength;
        entityKind kind;
    };
    std::vector<snapshot> before;
    for (ball* b : editor.allBalls)
        before.push_back({b->number, b->anchored, b->rolls, {b->colour[0], b->colour[1], b->colour[2]},
                          b->mass, b->x, b->y, b->radius, b->anchorX, b->anchorY, b->angleStrength,
                          b->kind});
    editor.readFigureFile(1, folder / "a.fig");
    ASSERT_EQ(editor.allBalls.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        const ball& b = *editor.allBalls[i];
        const snapshot& s = before[i];
        EXPECT_EQ(b.number, s.number);
        EXPECT_EQ(b.kind, s.kind);
        EXPECT_EQ(std::memcmp(&b.mass, &s.mass, sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(&b.x, &s.x, sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(&b.anchorY, &s.anchorY, sizeof(double)), 0);
        EXPECT_EQ(b.prevX, b.x);  // at rest
        EXPECT_EQ(b.prevY, b.y);
        EXPECT_EQ(b.anchored, s.anchored);
        EXPECT_EQ(b.rolls, s.rolls);
        EXPECT_EQ(b.colour[2], s.colour[2]);
        EXPECT_EQ(b.owner, &editor);
    }
    EXPECT_EQ(editor.allLinks.size(), 5u);
    EXPECT_EQ(editor.allLinks[4]->kind, entityKind::virtualLink);
    EXPECT_EQ(editor.allLinks[3]->kind, entityKind::stop);
    ASSERT_EQ(editor.virtualLinks.size(), 2u);
    EXPECT_EQ(editor.virtualLinks[1]->ballA, editor.virtualLinks[1]->ballB);
    EXPECT_EQ(editor.virtualLinks[0]->restLength, 0.0);  // not stored: construction values
    EXPECT_EQ(editor.virtualLinks[0]->width, 3.0);
    ASSERT_EQ(editor.allTensions.size(), 1u);
    EXPECT_EQ(editor.allTensions[0]->centre, editor.allBalls[1]);
    EXPECT_EQ(editor.mainBall, nullptr);
    EXPECT_EQ(editor.currentFileName, folder / "a.fig");
    // Written again, the file is the same to the byte.
    EXPECT_EQ(save("b.fig"), first);
}

// Line ends and spacing the reader accepts: each variant of the written
// file reads as the file itself.
TEST_F(figureFile, variantsReadLikeTheWrittenForm) {
    buildEveryKind(editor);
    const std::string written = save("a.fig");
    const std::string plain = save("plain.fig", 0, 1);
    EXPECT_EQ(plain.find("New Ball \r"), std::string::npos);
    EXPECT_NE(plain.find("New Virtual Link\r\n"), std::string::npos);
    struct {
        const char* name;
        std::string bytes;
    } variants[] = {
        {"plain headers", plain},
        {"LF line ends", replaceAll(written, "\r\n", "\n")},
        {"NUL line ends", replaceAll(written, "\r\n", std::string(1, '\0'))},
        {"CR anywhere", replaceAll(written, "New Ball", "N\rew B\r\rall")},
        {"extra empty lines", replaceAll(written, "\r\nNew ", "\r\n\r\n\n\r\nNew ")},
        {"virtual link header right after a value",
         replaceAll(written, "\r\nNew Virtual Link ", "\r\nNew Virtual Link")},
        {"no final line end", written.substr(0, written.size() - 2)},
    };
    for (const auto& v : variants) EXPECT_EQ(rewrite(v.bytes), written) << v.name;
}

TEST_F(figureFile, truncatedRecordReadsMissingLinesAsEmpty) {
    std::string two = slurp(fixturePath("twoBalls.fig"));
    // Cut ball 2 after its y value.
    std::size_t second = two.find("New Ball ", 10);
    std::size_t cut = second;
    for (int line = 0; line < 5; ++line) cut = two.find("\r\n", cut) + 2;
    spill(folder / "cut.fig", two.substr(0, cut));
    ASSERT_TRUE(editor.readFigureFile(1, folder / "cut.fig"));
    ASSERT_EQ(editor.allBalls.size(), 2u);
    const ball& b = *editor.allBalls[1];
    EXPECT_EQ(b.x, 150.0);
    EXPECT_EQ(b.y, 200.0);
    EXPECT_EQ(b.radius, 0.0);
    EXPECT_EQ(b.anchored, 0);
    EXPECT_EQ(b.kind, entityKind::normal);
    EXPECT_TRUE(editor.allLinks.empty());
}

TEST_F(figureFile, kindsAreChecked) {
    std::string two = slurp(fixturePath("twoBalls.fig"));
    std::size_t firstKind = two.find("normal");
    two.replace(firstKind, 6, "stop");
    two.replace(two.rfind("normal"), 6, "stop");
    two.replace(two.find("normal"), 6, "Damaging");  // case matters
    spill(folder / "k.fig", two);
    editor.readFigureFile(1, folder / "k.fig");
    EXPECT_EQ(editor.allBalls[0]->kind, entityKind::normal);
    EXPECT_EQ(editor.allBalls[1]->kind, entityKind::normal);
    EXPECT_EQ(editor.allLinks[0]->kind, entityKind::stop);
}

TEST_F(figureFile, recordsNamingMissingBallsAreDropped) {
    const std::string fig =
        "2\nNew Ball\n1\n\n\n\n\n\n\n\n\n\n\n\nnormal\n\nNew Ball\n2\n\n\n\n\n\n\n\n\n\n\n\n\n\n"
        "New Link\n1\n3\n\n\n\n\n\nnormal\n"
        "New Link\n2\n1\n\n\n\n\n\nnormal\n"
        "New Tension\n1\n2\n7\n\n\n"
        "New Tension\n1\n2\n1\n\n\n"
        "New Virtual Link\n0\n2\n"
        "New Virtual Link\n2\n2\n";
    spill(folder / "m.fig", fig);
    ASSERT_TRUE(editor.readFigureFile(1, folder / "m.fig"));
    ASSERT_EQ(editor.allLinks.size(), 1u);
    EXPECT_EQ(editor.allLinks[0]->ballA, editor.allBalls[1]);
    EXPECT_EQ(editor.allTensions.size(), 1u);
    ASSERT_EQ(editor.virtualLinks.size(), 1u);
    EXPECT_EQ(editor.virtualLinks[0]->ballA, editor.allBalls[1]);
}

TEST_F(figureFile, duplicateNumbersResolveToTheLaterBall) {
    const std::string fig =
        "2\nNew Ball\n5\n\n\n\n\n\n\n\n\n\n\n\n\n\nNew Ball\n5\n\n\n\n\n\n\n\n\n\n\n\n\n\n"
        "New Link\n5\n5\n\n\n\n\n\n\n";
    spill(folder / "d.fig", fig);
    editor.readFigureFile(1, folder / "d.fig");
    ASSERT_EQ(editor.allLinks.size(), 1u);
    EXPECT_EQ(editor.allLinks[0]->ballA, editor.allBalls[1]);
    EXPECT_EQ(editor.allLinks[0]->ballB, editor.allBalls[1]);
    EXPECT_EQ(editor.allBalls[0]->number, 1);  // renumbered after the read
}

// Files that are refused or cannot be read change nothing but the selection.
TEST_F(figureFile, refusedFilesLeaveTheFigure) {
    buildTwoBalls(editor);
    editor.currentFileName = "mine.fig";
    save("good.fig");
    mkfifo((folder / "pipe").c_str(), 0600);  // would block a plain open
    spill(folder / "foreign.txt", "hello\r\nNew Ball \r\n1\r\n");
    spill(folder / "empty", "");
    spill(folder / "version3", slurp(folder / "good.fig").replace(0, 1, "3"));
    const std::string refused[] = {folder / "foreign.txt", folder / "empty", folder / "version3",
                                   folder / "missing", folder.path, folder / "pipe", "/dev/zero"};
    for (const std::string& path : refused) {
        editor.selectedBall = editor.allBalls[0];
        editor.selectedLink = editor.allLinks[0];
        EXPECT_FALSE(editor.readFigureFile(1, path)) << path;
        EXPECT_EQ(editor.allBalls.size(), 2u) << path;
        EXPECT_EQ(editor.allLinks.size(), 1u) << path;
        EXPECT_EQ(editor.currentFileName, "mine.fig") << path;
        EXPECT_EQ(editor.selectedBall, nullptr);
        EXPECT_EQ(editor.selectedLink, nullptr);
    }
}

TEST_F(figureFile, readOnlyFileIsRead) {
    spill(folder / "ro.fig", slurp(fixturePath("twoBalls.fig")));
    chmod((folder / "ro.fig").c_str(), 0444);
    EXPECT_TRUE(editor.readFigureFile(1, folder / "ro.fig"));
    EXPECT_EQ(editor.allBalls.size(), 2u);
}

TEST_F(figureFile, hostileBytesReadWithoutHarm) {
    const std::string two = slurp(fixturePath("twoBalls.fig"));
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919) & 0xff);
    struct {
        const char* name;
        std::string bytes;
        std::size_t balls;
    } cases[] = {
        {"a line of 5 MB before the records", "2\n" + std::string(5 << 20, 'x') + "\n" + two.substr(3), 2},
        {"a value line of 5 MB", replaceAll(two, "\r\n20.000000000000000", "\r\n" + std::string(5 << 20, '7')), 2},
        {"binary", "2\n" + binary + "\nNew Ball\n", 1},
        {"nan and inf texts", replaceAll(two, "100.00000000000000", "nan"), 2},
        {"huge exponents", replaceAll(two, "200.00000000000000", "-1e99999"), 2},
    };
    for (const auto& c : cases) {
        spill(folder / "h.fig", c.bytes);
        EXPECT_TRUE(editor.readFigureFile(1, folder / "h.fig")) << c.name;
        EXPECT_GE(editor.allBalls.size(), c.balls) << c.name;
        for (ball* b : editor.allBalls) EXPECT_TRUE(std::isfinite(b->x) && std::isfinite(b->y)) << c.name;
    }
    EXPECT_EQ(editor.allBalls[0]->y, -DBL_MAX);
    EXPECT_EQ(editor.allBalls[0]->x, 100.0);
}

// Adding places the added balls' least x and least y on the view centre,
// unanchored, with anchors shifted by the view centre and numbers after the
// balls already there.
TEST_F(figureFile, addingTwicePlacesBothCopiesAtTheViewCentre) {
    editor.viewCentreX = 1000.0;
    editor.viewCentreY = -40.0;
    for (int copy = 0; copy < 2; ++copy)
        ASSERT_TRUE(editor.readFigureFile(0, fixturePath("twoBalls.fig")));
    ASSERT_EQ(editor.allBalls.size(), 4u);
    ASSERT_EQ(editor.allLinks.size(), 2u);
    for (int i = 0; i < 4; ++i) {
        const ball& b = *editor.allBalls[i];
        EXPECT_EQ(b.number, i + 1);
        EXPECT_EQ(b.x, i % 2 ? 1050.0 : 1000.0);
        EXPECT_EQ(b.y, -40.0);
        EXPECT_EQ(b.prevX, b.x);
        EXPECT_EQ(b.anchored, 0);
        EXPECT_EQ(b.anchorX, (i % 2 ? 150.0 : 100.0) + 1000.0);
        EXPECT_EQ(b.anchorY, 160.0);
    }
    EXPECT_EQ(editor.allLinks[0]->ballA, editor.allBalls[0]);
    EXPECT_EQ(editor.allLinks[1]->ballA, editor.allBalls[2]);
    EXPECT_EQ(editor.allLinks[1]->ballB, editor.allBalls[3]);
    EXPECT_EQ(editor.currentFileName, "");
}

TEST_F(figureFile, pathFromTheOpenDialog) {
    io.dialogAnswers.push_back(fixturePath("twoBalls.fig"));
    EXPECT_TRUE(editor.readFigureFile(1, ""));
    ASSERT_EQ(io.dialogs.size(), 1u);
    EXPECT_EQ(io.dialogs[0].prompt, "Open file:");
    EXPECT_FALSE(io.dialogs[0].save);
    EXPECT_EQ(editor.lastFilePath, fixturePath("twoBalls.fig"));
    EXPECT_EQ(editor.currentFileName, fixturePath("twoBalls.fig"));
    EXPECT_FALSE(editor.readFigureFile(1, ""));  // cancelled
    EXPECT_EQ(io.dialogs[1].initialPath, fixturePath("twoBalls.fig"));
    EXPECT_EQ(editor.lastFilePath, "");
    EXPECT_EQ(editor.allBalls.size(), 2u);
}

// ---------------------------------------------------------------- writer

TEST_F(figureFile, writingKeepsLinksAndPermissionsAndLeavesNoTemporaryFile) {
    buildTwoBalls(editor);
    const std::string target = folder / "real.fig";
    spill(target, "old");
    chmod(target.c_str(), 0640);
    ASSERT_EQ(symlink("real.fig", (folder / "alias.fig").c_str()), 0);
    editor.numberBalls();
    EXPECT_TRUE(editor.writeFigureFile(folder / "alias.fig", 0, 0));
    struct stat st;
    ASSERT_EQ(lstat((folder / "alias.fig").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(slurp(target), slurp(fixturePath("twoBalls.fig")));
    EXPECT_EQ(folder.entries(), 2);
}

TEST_F(figureFile, failedWritesLeaveTheOldFileWhole) {
    buildTwoBalls(editor);
    spill(folder / "file.txt", "not a folder");
    std::filesystem::create_directory(folder / "dir");
    ASSERT_EQ(symlink("loop", (folder / "loop").c_str()), 0);
    const std::string failing[] = {folder / "file.txt/fig", folder / "dir", folder / "none/fig",
                                   folder / "loop", "", "/dev/null"};
    for (const std::string& path : failing) EXPECT_FALSE(editor.writeFigureFile(path, 0, 0)) << path;
    EXPECT_EQ(slurp(folder / "file.txt"), "not a folder");
    EXPECT_EQ(folder.entries(), 3);  // no temporary file left behind
}

TEST_F(figureFile, onScreenOnlyWritesTheActiveListsWithoutVirtualLinks) {
    buildEveryKind(editor);
    editor.numberBalls();
    editor.activeBalls = {editor.allBalls[2], editor.allBalls[3]};
    editor.activeLinks = {editor.allLinks[2]};
    const std::string part = save("part.fig", 1);
    EXPECT_EQ(part.find("New Virtual Link"), std::string::npos);
    EXPECT_EQ(part.find("New Tension"), std::string::npos);
    EXPECT_EQ(part.substr(0, 17), "2\r\nNew Ball \r\n3\r\n");
    EXPECT_NE(part.find("New Link \r\n3\r\n4\r\n"), std::string::npos);
}

}  // namespace tumbla::fixtures
