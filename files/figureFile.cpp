// Figure files: ball numbering, the writer and the reader.
//
// The writer never leaves a half-written figure behind: it writes a
// temporary file next to the target, flushes it to the disk and renames it
// over the target, so the old file stays whole until the new one is
// complete. The reader streams the file through a bounded line buffer and
// turns every byte sequence into a defined figure: malformed values read by
// the rules of numberText, records that name a missing ball are dropped, and
// a file whose first line is not "2" is refused without touching the figure.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "app/editorState.h"
#include "files/numberText.h"

namespace tumbla {

void editorState::numberBalls() {
    int n = 0;
    for (ball* b : allBalls) b->number = ++n;
}

namespace {

// ---------------------------------------------------------------- writing

// Follows symbolic links from path to the file they finally name, so that
// saving through a link replaces the file it points to and the link stays.
// False for a loop of links.
bool resolveLinks(const std::string& path, std::string& target) {
    target = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::string to(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 256, '\0');
        ssize_t n = readlink(target.c_str(), to.data(), to.size());
        if (n < 0 || static_cast<std::size_t>(n) >= to.size()) return false;
        to.resize(static_cast<std::size_t>(n));
        if (!to.empty() && to[0] == '/') {
            target = to;
        } else {
            std::size_t slash = target.rfind('/');
            target = slash == std::string::npos ? to : target.substr(0, slash + 1) + to;
        }
    }
    return false;
}

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes lines ending in CR LF to a temporary file beside the target and
// puts it in the target's place on commit. Any failure on the way leaves
// the target as it was and removes the temporary file.
class safeFileWriter {
public:
    bool open(const std::string& path) {
        if (path.empty() || !resolveLinks(path, target)) return false;
        struct stat st;
        const bool exists = stat(target.c_str(), &st) == 0;
        if (exists && !S_ISREG(st.st_mode)) return false;  // a folder, a device, a pipe
        static unsigned counter = 0;
        const std::string folder = folderOf(target);
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temporary = folder + "/.tumbla-" + std::to_string(getpid()) + "-" +
                        std::to_string(counter++) + ".tmp";
            fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) return false;
        if (exists) {
            // The new file takes the old one's permissions (and owner, where
            // we may set it).
            if (fchown(fd, st.st_uid, st.st_gid) != 0) {
            }
            if (fchmod(fd, st.st_mode & 07777) != 0) return fail();
        }
        buffer.reserve(bufferSize + 1024);
        return true;
    }

    ~safeFileWriter() {
        if (fd >= 0) fail();
    }

    // The line's text; the caller then calls endLine.
    std::string& text() { return buffer; }

    void endLine() {
        buffer += "\r\n";
        if (buffer.size() >= bufferSize) flush();
    }

    void line(std::string_view s) {
        buffer += s;
        endLine();
    }

    void integerLine(long long v) {
        char digits[24];
        auto r = std::to_chars(digits, digits + sizeof digits, v);
        line(std::string_view(digits, static_cast<std::size_t>(r.ptr - digits)));
    }

    void realLine(double v) {
        appendRealText(buffer, v);
        endLine();
    }

    bool commit() {
        flush();
        if (failed || fsync(fd) != 0) return fail();
        int closing = fd;
        fd = -1;
        if (close(closing) != 0 || rename(temporary.c_str(), target.c_str()) != 0) {
            unlink(temporary.c_str());
            return false;
        }
        // Make the rename itself durable; the file is in place either way.
        int dir = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            fsync(dir);
            close(dir);
        }
        return true;
    }

private:
    static constexpr std::size_t bufferSize = 1 << 16;

    void flush() {
        const char* p = buffer.data();
        std::size_t left = buffer.size();
        while (left > 0 && !failed) {
            ssize_t n = write(fd, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failed = true;
                break;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        buffer.clear();
    }

    bool fail() {
        if (fd >= 0) close(fd);
        fd = -1;
        unlink(temporary.c_str());
        return false;
    }

    std::string target, temporary;
    std::string buffer;
    int fd = -1;
    bool failed = false;
};

struct headerForms {
    std::string_view ball, link, tension, virtualLink;
};
constexpr headerForms spacedHeaders{"New Ball ", "New Link ", "New Tension ", "New Virtual Link "};
constexpr headerForms plainHeaderForms{"New Ball", "New Link", "New Tension", "New Virtual Link"};

int numberOf(const ball* b) { return b ? b->number : 0; }

void writeColour(safeFileWriter& out, const int (&colour)[3]) {
    for (int c : colour) out.integerLine(c);
}

void writeBall(safeFileWriter& out, std::string_view header, const ball& b) {
    out.line(header);
    out.integerLine(b.number);
    out.realLine(b.mass);
    out.realLine(b.x);
    out.realLine(b.y);
    out.realLine(b.radius);
    out.integerLine(b.anchored);
    out.realLine(b.anchorX);
    out.realLine(b.anchorY);
    out.realLine(b.angleStrength);
    writeColour(out, b.colour);
    out.line(kindName(b.kind));
    out.integerLine(b.rolls);
    out.line("");
    out.line("");
}

void writeLink(safeFileWriter& out, std::string_view header, const link& l) {
    out.line(header);
    out.integerLine(numberOf(l.ballA));
    out.integerLine(numberOf(l.ballB));
    out.realLine(l.restLength);
    out.realLine(l.width);
    writeColour(out, l.colour);
    out.line(kindName(l.kind));
    out.line("");
}

void writeTension(safeFileWriter& out, std::string_view header, const tension& t) {
    out.line(header);
    out.integerLine(numberOf(t.ballA));
    out.integerLine(numberOf(t.centre));
    out.integerLine(numberOf(t.ballB));
    out.realLine(t.restAngle);
    out.realLine(t.strength);
    out.line("");
}

void writeVirtualLink(safeFileWriter& out, std::string_view header, const link& l) {
    out.line(header);
    out.integerLine(numberOf(l.ballA));
    out.integerLine(numberOf(l.ballB));
}

}  // namespace

bool editorState::writeFigureFile(const std::string& path, int onScreenOnly, int plainHeaders) {
    safeFileWriter out;
    if (!out.open(path)) return false;
    const headerForms& headers = plainHeaders ? plainHeaderForms : spacedHeaders;
    out.line("2");
    for (const ball* b : onScreenOnly ? activeBalls : allBalls) writeBall(out, headers.ball, *b);
    for (const link* l : onScreenOnly ? activeLinks : allLinks) writeLink(out, headers.link, *l);
    for (const tension* t : onScreenOnly ? activeTensions : allTensions)
        writeTension(out, headers.tension, *t);
    if (!onScreenOnly)
        for (const link* l : virtualLinks) writeVirtualLink(out, headers.virtualLink, *l);
    return out.commit();
}

namespace {

// ---------------------------------------------------------------- reading

// Lines of a file read in blocks. A line ends at LF, at NUL or at the end of
// the file; every CR is dropped. Only the first maxKept bytes of a line are
// kept (no value, header or kind is anywhere near that long), the rest is
// consumed, so a line of any length costs bounded memory.
class lineReader {
public:
    static constexpr std::size_t maxKept = 4096;

    explicit lineReader(int fd) : fd(fd) { line.reserve(maxKept); }

    // The next line; an empty line once the file is exhausted.
    std::string_view next() {
        line.clear();
        for (;;) {
            if (pos == len && !fill()) break;
            const char* start = block + pos;
            const char* stop = block + len;
            const char* p = firstOf('\n', start, stop);
            p = firstOf('\0', start, p);
            keep(start, p);
            pos = static_cast<std::size_t>(p - block);
            if (p < stop) {
                ++pos;  // the terminator is consumed, not kept
                break;
            }
        }
        return line;
    }

    bool atEnd() { return pos == len && !fill(); }

private:
    static const char* firstOf(char c, const char* from, const char* to) {
        const void* found = std::memchr(from, c, static_cast<std::size_t>(to - from));
        return found ? static_cast<const char*>(found) : to;
    }

    // Appends the bytes other than CR, up to maxKept in all.
    void keep(const char* from, const char* to) {
        while (from < to && line.size() < maxKept) {
            const char* cr = firstOf('\r', from, to);
            const std::size_t room = maxKept - line.size();
            line.append(from, std::min(static_cast<std::size_t>(cr - from), room));
            from = cr + 1;
        }
    }

    bool fill() {
        while (!exhausted) {
            ssize_t n = read(fd, block, sizeof block);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                exhausted = true;  // end of file, or an error treated as one
                break;
            }
            pos = 0;
            len = static_cast<std::size_t>(n);
            return true;
        }
        return false;
    }

    int fd;
    char block[1 << 16];
    std::size_t pos = 0, len = 0;
    bool exhausted = false;
    std::string line;
};

// Opens a regular file for reading; -1 for anything else. Not blocking on
// the open keeps a named pipe from stalling the editor; devices and pipes
// are refused since they can stream without end.
int openRegularFile(const std::string& path) {
    if (path.empty()) return -1;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// A file number plus the offset, saturating instead of overflowing.
int offsetNumber(int number, long long offset) {
    long long n = static_cast<long long>(number) + offset;
    return static_cast<int>(std::clamp(n, -2147483648LL, 2147483647LL));
}

entityKind ballKindFromText(std::string_view text) {
    if (text == "background") return entityKind::background;
    if (text == "damaging") return entityKind::damaging;
    return entityKind::normal;
}

entityKind linkKindFromText(std::string_view text) {
    if (text == "stop") return entityKind::stop;
    if (text == "virtual") return entityKind::virtualLink;
    return ballKindFromText(text);
}

enum class recordKind { none, ball, link, tension, virtualLink };

recordKind headerKind(std::string_view line) {
    if (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    if (line == "New Ball") return recordKind::ball;
    if (line == "New Link") return recordKind::link;
    if (line == "New Tension") return recordKind::tension;
    if (line == "New Virtual Link") return recordKind::virtualLink;
    return recordKind::none;
}

// The state of one read: where values come from, how file numbers map to
// balls, and which balls this read added.
struct figureReading {
    editorState& editor;
    lineReader& in;
    bool adding;
    long long offset;
    // Each ball number to the last ball in allBalls that carries it, kept up
    // to date as balls are appended, so a reference resolves as a walk of
    // allBalls taking the last match would, in constant time.
    std::unordered_map<int, ball*> byNumber;
    std::vector<ball*> added;

    int integer() { return integerFromText(in.next()); }
    double real() { return realFromText(in.next()); }
    ball* resolve(int fileNumber) {
        auto found = byNumber.find(offsetNumber(fileNumber, offset));
        return found == byNumber.end() ? nullptr : found->second;
    }

    void readBall() {
        ball* b = editor.newBall();
        b->number = offsetNumber(integer(), offset);
        b->mass = real();
        b->x = real();
        if (adding) b->x = b->x + editor.viewCentreX;
        b->y = real();
        if (adding) b->y = b->y + editor.viewCentreY;
        b->radius = real();
        b->anchored = integer();
        b->anchorX = real();
        if (adding) b->anchorX = b->anchorX + editor.viewCentreX;
        b->anchorY = real();
        if (adding) b->anchorY = b->anchorY + editor.viewCentreY;
        b->angleStrength = real();
        for (int& c : b->colour) c = integer();
        b->kind = ballKindFromText(in.next());
        b->rolls = integer();
        b->prevX = b->x;
        b->prevY = b->y;
        b->owner = &editor;
        editor.allBalls.push_back(b);
        added.push_back(b);
        byNumber[b->number] = b;
    }

    // A link record starts with its two ends; the record is kept only when
    // both name a ball.
    link* linkWithEnds() {
        link* l = editor.newLink();
        l->ballA = resolve(integer());
        l->ballB = resolve(integer());
        l->owner = &editor;
        return l;
    }

    void keepIfWhole(std::vector<link*>& list, link* l) {
        if (l->ballA && l->ballB)
            list.push_back(l);
        else
            editor.retire(l);
    }

    void readLink() {
        link* l = linkWithEnds();
        l->restLength = real();
        l->width = real();
        for (int& c : l->colour) c = integer();
        l->kind = linkKindFromText(in.next());
        keepIfWhole(editor.allLinks, l);
    }

    void readVirtualLink() {
        link* l = linkWithEnds();
        l->kind = entityKind::virtualLink;
        keepIfWhole(editor.virtualLinks, l);
    }

    void readTension() {
        tension* t = editor.newTension();
        t->ballA = resolve(integer());
        t->centre = resolve(integer());
        t->ballB = resolve(integer());
        t->restAngle = real();
        t->strength = real();
        if (t->ballA && t->centre && t->ballB)
            editor.allTensions.push_back(t);
        else
            editor.retire(t);
    }

    void readRecords() {
        do {
            switch (headerKind(in.next())) {
                case recordKind::ball: readBall(); break;
                case recordKind::link: readLink(); break;
                case recordKind::tension: readTension(); break;
                case recordKind::virtualLink: readVirtualLink(); break;
                case recordKind::none: break;  // empty lines and anything else
            }
        } while (!in.atEnd());
    }

    // Puts the least x and the least y of the added ball centres on the
    // view centre and releases every added ball; anchor points keep the
    // view-centre offset they were read with.
    void placeAtViewCentre() {
        double minX = 9999999.0, minY = 9999999.0;
        for (const ball* b : added) {
            if (b->x < minX) minX = b->x;
            if (b->y < minY) minY = b->y;
        }
        const double shiftX = editor.viewCentreX - minX;
        const double shiftY = editor.viewCentreY - minY;
        for (ball* b : added) {
            b->x += shiftX;
            b->y += shiftY;
            b->prevX = b->x;
            b->prevY = b->y;
            b->anchored = 0;
        }
    }
};

}  // namespace

bool editorState::readFigureFile(int replace, const std::string& path) {
    numberBalls();
    std::string chosen = path;
    if (chosen.empty()) chosen = lastFilePath = io.requestFile("Open file:", "", false, lastFilePath);

    bool read = false;
    int fd = openRegularFile(chosen);
    if (fd >= 0) {
        lineReader in(fd);
        if (in.next() == "2") {
            read = true;
            if (replace) {
                currentFileName = chosen;
                retireFigure();
            }
            figureReading reading{*this, in, replace == 0, static_cast<long long>(allBalls.size()), {}, {}};
            reading.byNumber.reserve(allBalls.size());
            for (ball* b : allBalls) reading.byNumber[b->number] = b;
            reading.readRecords();
            if (!replace) reading.placeAtViewCentre();
        }
        close(fd);
    }

    regroup();
    io.flushKeys();
    numberBalls();
    selectedBall = nullptr;
    selectedLink = nullptr;
    return read;
}

}  // namespace tumbla
