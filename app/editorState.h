// The one application object: every field of the editor and every operation,
// grouped by subsystem. Each operation is defined in the folder of the
// subsystem it belongs to, so this header is the map of the program.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editing/history.h"
#include "physics/entities.h"
#include "platform/platform.h"
#include "toolbar/toolbarPanel.h"

namespace tumbla {

constexpr int paletteRows = 30;

class relaxationSolver;
struct relaxationSolverDeleter {
    void operator()(relaxationSolver* s) const;  // physics/relaxation.cpp
};

class editorState {
public:
    explicit editorState(platform& io);
    ~editorState();
    editorState(const editorState&) = delete;
    editorState& operator=(const editorState&) = delete;

    platform& io;

    // Display and shared assets.
    int displayWidth = 1024;
    int displayHeight = 700;
    double drawAreaWidth = 0.0;
    int logoImage = -1;
    int ballImage = -1;
    int linkImage = -1;
    std::unique_ptr<toolbarPanel> toolbar;

    // View.
    double zoom = 1.0;
    double viewCentreX = 0.0;
    double viewCentreY = 350.0;
    double viewRight = 0.0;
    double viewLeft = 0.0;
    double viewTop = 0.0;
    double viewBottom = 700.0;

    // Mode, selection and pointer state.
    int mode = -1;  // 1 Draw, -1 Play
    ball* mainBall = nullptr;
    ball* selectedBall = nullptr;
    link* selectedLink = nullptr;
    ball* hoverBall = nullptr;
    link* hoverLink = nullptr;
    int linkDragActive = 0;
    ball* linkEnds[2] = {nullptr, nullptr};
    int mouseReleased = 0;
    ball* heldBall = nullptr;
    int jumpState = 0;

    // Settings given to new entities.
    double newBallSize = 20.0;
    double newBallMass = 1.0;
    double newAngleStrength = 300.0;
    int newBallAnchored = 1;
    double newLinkWidth = 6.0;

    // Simulation.
    double timeStep = 1.0;
    int frameMark = 0;

    // Entity collections. The master lists own the figure; the active lists
    // hold extra references for one frame.
    std::vector<ball*> allBalls;
    std::vector<link*> allLinks;
    std::vector<tension*> allTensions;
    std::vector<link*> virtualLinks;
    std::vector<body*> bodies;
    std::vector<bodyPair*> bodyPairs;
    std::vector<cluster*> clusters;
    std::vector<body*> activeBodies;
    std::vector<ball*> activeBalls;
    std::vector<link*> activeLinks;
    std::vector<tension*> activeTensions;
    std::vector<bodyPair*> activeBodyPairs;

    // Animated palette.
    int paletteSize = paletteRows;
    int paletteColours[paletteRows][3] = {};
    int paletteSteps[paletteRows][3] = {};

    // Files.
    std::string currentFileName;
    std::string lastFilePath;

    // --- Application shell (app/) ---
    void run();
    void openDisplay();
    void showSplash();
    void pollQuit();
    void frameLoop();
    bool runFrame();  // one frame, steps 1 to 26; true when Escape is down after it
    void updateTitle();
    void updateTimeStep();
    void enforceDrawWhenEmpty();
    void animatePalette();
    void waitForNextFrame();
    void drawBackgroundGrid(int markerLine);
    void drawStatusLine();
    std::string title;  // the application title as last set

    // --- View (editing/view.cpp) ---
    void updateView();
    double pointerWorldX();
    double pointerWorldY();

    // --- Entities and lifetime (physics/lifetime.cpp) ---
    ball* newBall();  // construction defaults, random position and colour drawn in record order
    link* newLink();
    tension* newTension();
    // Removed entities are retired, not freed: references held for the rest
    // of the frame stay valid. collectGarbage frees what nothing names.
    void retire(ball* b);
    void retire(link* l);
    void retire(tension* t);
    void retireFigure();   // every ball, link, tension and virtual link; the lists emptied
    void retireDerived();  // bodies, pairs and clusters replaced by regroup
    void reserveRetired(std::size_t links, std::size_t tensions);  // before retiring many
    void collectGarbage();

    // --- Figure structure (physics/structure.cpp) ---
    void regroup();
    void rebuildTensions(int bodyNumber);
    void deleteBall(ball* b, int regroupFlag);
    void deleteLink(link* l);
    void deleteVisible();
    void clearScene();
    void removeStrayBalls();

    // --- Active set (physics/activeSet.cpp) ---
    void activateBodies();

    // --- Time step (physics/timeStep.cpp) ---
    void updateEffectiveMasses();
    void pinAnchoredBalls();
    void applyTensions(int drawMode);
    void applyLinks();
    void physicsStep();
    // Threads of the relaxation passes; 0: TUMBLA_THREADS or the cores, at
    // most two. Results are the same bits whatever the count.
    int physicsThreads = 0;
    std::unique_ptr<relaxationSolver, relaxationSolverDeleter> solver;

    // --- Collisions (physics/collisions.cpp) ---
    void collisionPasses();
    void collideBallLink(ball* p, link* l);
    void collideBalls(ball* p, ball* q);

    // --- Mouse dragging (physics/dragging.cpp) ---
    void grabBall();
    void moveHeldBall();

    // --- Draw-mode tools (editing/drawTools.cpp) ---
    void handleEditKeys();
    void updateHover();
    void placeBall();
    void updateLinkTool();
    void applyMainBallRules();

    // --- Editing commands (editing/commands.cpp) ---
    void handleToolbarCommands();
    void toggleMode();
    void clampValues();

    // --- Figure files (files/figureFile.cpp) ---
    void numberBalls();
    bool writeFigureFile(const std::string& path, int onScreenOnly, int plainHeaders);
    bool readFigureFile(int replace, const std::string& path);

    // --- File commands (files/fileCommands.cpp) ---
    void saveFile();
    void saveFileAs();
    void saveOnScreen();
    void revertToSaved();

    // --- Undo history (editing/history.cpp) ---
    // The hooks run just before a change to the figure. All changes of one
    // frame are one step; so is one hold of a held control, and a Play run
    // from entering Play until the next change back in Draw mode.
    void noteChange();
    void noteBallChange();  // a change that leaves links, tensions and virtual links alone
    void noteHeldChange(heldControl control);
    void noteFileChange();     // a file command, which may change currentFileName
    void dropUnchangedStep();  // after a file command: no step when it changed nothing
    void notePlay();           // entering Play mode
    void endFrameHistory();    // the frame's step joins the undo stack
    void handleHistoryKeys();  // Control + Z undoes; Control + Y or Control + Shift + Z redoes
    bool undo();
    bool redo();
    void captureFigure(figureSnapshot& snapshot);
    void restoreFigure(const figureSnapshot& snapshot);
    editHistory history;

    // --- Drawing (render/drawFigure.cpp) ---
    void drawFigure();
    std::vector<drawItem> drawList;  // reused every frame
    std::vector<drawItem> drawScratch;     // the sort's second buffer, reused
    std::vector<std::size_t> drawRuns;     // the sort's runs, reused

private:
    std::vector<ball*> deadBalls;
    std::vector<link*> deadLinks;
    std::vector<tension*> deadTensions;
    std::vector<body*> deadBodies;
    std::vector<bodyPair*> deadPairs;
    std::vector<cluster*> deadClusters;
};

}  // namespace tumbla
