// The sample figures of figures/: each opens the way "Open" and the runner's
// --open read it, keeps together through 600 frames of Play (every position
// finite, nothing fallen out of the world, no link stretched or squeezed by
// more than half its rest length at any frame), and saves to a file that
// reads back to the same figure. The samples are also exactly what
// tools/makeFigures writes, so they cannot drift from their generator.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/unit/files_testing.h"
#include "tools/runner.h"

#if defined(__SANITIZE_ADDRESS__)
#define TUMBLA_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TUMBLA_UNDER_ASAN 1
#endif
#endif

namespace tumbla::fixtures {
namespace {

const std::string samplesFolder = std::string(TUMBLA_SOURCE_DIR) + "/figures";

std::vector<std::string> sampleNames() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(samplesFolder, error))
        if (entry.path().extension() == ".fig") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct counts {
    std::size_t balls = 0, links = 0, tensions = 0, virtualLinks = 0;
    bool operator==(const counts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const counts& c) {
    return out << c.balls << " balls, " << c.links << " links, " << c.tensions << " tensions, "
               << c.virtualLinks << " virtual links";
}

// An editor prepared as the runner prepares it, with a figure opened.
struct openedFigure {
    headlessPlatform io;
    editorState ed{io};
    bool read = false;

    explicit openedFigure(const std::string& path) {
        prepareHeadlessEditor(ed, io, 1);
        io.recordCalls = false;
        read = ed.readFigureFile(1, path);
    }

    counts size() const {
        return {ed.allBalls.size(), ed.allLinks.size(), ed.allTensions.size(), ed.virtualLinks.size()};
    }

    // Centres the view on the figure's balls, zoomed out as far as needed to
    // show all of them.
    void viewWholeFigure() {
        double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
        for (const ball* b : ed.allBalls) {
            minX = std::min(minX, b->x - b->radius), maxX = std::max(maxX, b->x + b->radius);
            minY = std::min(minY, b->y - b->radius), maxY = std::max(maxY, b->y + b->radius);
        }
        ed.viewCentreX = (minX + maxX) / 2.0;
        ed.viewCentreY = (minY + maxY) / 2.0;
        ed.zoom = std::min({1.0, 780.0 / (maxX - minX), 700.0 / (maxY - minY)});
    }

    // Empty when every position is finite and every link within half its
    // rest length of it; otherwise what is wrong first.
    std::string fault() const {
        for (std::size_t i = 0; i < ed.allBalls.size(); ++i) {
            const ball* b = ed.allBalls[i];
            if (!std::isfinite(b->x) || !std::isfinite(b->y))
                return "ball " + std::to_string(i + 1) + " is at (" + std::to_string(b->x) + ", " +
                       std::to_string(b->y) + ")";
        }
        for (std::size_t i = 0; i < ed.allLinks.size(); ++i) {
            const link* l = ed.allLinks[i];
            const double dx = l->ballB->x - l->ballA->x, dy = l->ballB->y - l->ballA->y;
            const double length = std::sqrt(dx * dx + dy * dy);
            if (std::fabs(length - l->restLength) > 0.5 * l->restLength) {
                std::ostringstream why;
                why << "link " << i + 1 << " (balls " << l->ballA->number << " and " << l->ballB->number
                    << ") is " << length << " long, its rest length " << l->restLength;
                return why.str();
            }
        }
        return "";
    }
};

// Under AddressSanitizer a frame of the 10,000-ball grid costs about ten
// times what it costs in a normal build; there a shorter run of it keeps
// the check affordable.
int framesToPlay(const counts& c) {
#if defined(TUMBLA_UNDER_ASAN)
    if (c.balls > 1000) return 60;
#else
    (void)c;
#endif
    return 600;
}

class sampleFigure : public testing::TestWithParam<std::string> {};

TEST_P(sampleFigure, opensPlaysAndSavesBack) {
    const std::string path = samplesFolder + "/" + GetParam();
    openedFigure figure(path);
    ASSERT_TRUE(figure.read) << path;
    const counts opened = figure.size();
    ASSERT_GT(opened.balls, 1u);
    ASSERT_GT(opened.links, 0u);

    // The first ball becomes the main ball; the file already gives it the
    // values the editor would force on it, so what opens is what plays.
    const ball* main = figure.ed.allBalls.front();
    EXPECT_EQ(main->radius, 20.0);
    EXPECT_EQ(main->mass, 1.0);
    EXPECT_EQ(main->rolls, 1);
    EXPECT_EQ(main->anchored, 0);
    EXPECT_EQ(main->kind, entityKind::normal);

    figure.viewWholeFigure();
    figure.ed.mode = -1;
    const int frames = framesToPlay(opened);
    for (int frame = 0; frame < frames; ++frame) {
        ASSERT_TRUE(runFrames(figure.ed, figure.io, {}, frame, 1));
        const std::string fault = figure.fault();
        ASSERT_EQ(fault, "") << "after frame " << frame;
    }
    EXPECT_EQ(figure.ed.mode, -1);
    EXPECT_EQ(figure.size(), opened) << "something fell out of the world";

    scratchFolder folder;
    const std::string saved = folder / "saved.fig";
    figure.ed.numberBalls();
    ASSERT_TRUE(figure.ed.writeFigureFile(saved, 0, 0));
    openedFigure again(saved);
    ASSERT_TRUE(again.read);
    EXPECT_EQ(again.size(), opened);
    ASSERT_TRUE(again.ed.writeFigureFile(folder / "again.fig", 0, 0));
    EXPECT_TRUE(slurp(folder / "again.fig") == slurp(saved)) << "the saved figure reads back differently";
}

std::string testName(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.size() - 4);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(figures, sampleFigure, testing::ValuesIn(sampleNames()), testName);

// The committed samples are the generator's output to the byte.
TEST(sampleFigures, areWhatTheGeneratorWrites) {
    scratchFolder folder;
    const std::string command =
        std::string(TUMBLA_BINARY_DIR) + "/makeFigures '" + folder.path + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::vector<std::string> names = sampleNames();
    EXPECT_EQ(folder.entries(), static_cast<int>(names.size()));
    for (const std::string& name : names)
        EXPECT_TRUE(slurp(folder / name) == slurp(samplesFolder + "/" + name))
            << name << " differs from what build/makeFigures writes: run it again";
}

}  // namespace
}  // namespace tumbla::fixtures
