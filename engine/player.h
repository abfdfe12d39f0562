// Player: the one door from the rest of the program into the SWF engine.
//
// It offers the operations of a hosted Flash control: load a movie by path,
// report and move the playhead, play and pause, zoom, background colour,
// ready-state and FSCommand events and trace output; plus tick() for real
// time, step() for deterministic frame-by-frame runs, render() into an RGBA
// buffer and mouse/key input. No call throws; failures come back as a Status
// or a bool and are described by lastError().
//
// Frame numbers are 0-based everywhere in this class (frameNum(),
// currentFrame(), gotoFrame()), while ActionScript inside the movie counts
// from 1.
#pragma once

#include "common/result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zf {

// The no-movie sentinel: setting it as the movie unloads and shows nothing.
inline constexpr const char* kNoMovieSentinel = "1.sww";

// Ready states as the control reports them while a movie loads.
enum class ReadyState : int {
    Loading = 0,
    Uninitialized = 1,
    Loaded = 2,
    Interactive = 3,
    Complete = 4
};

// Facts read from the file header alone.
struct MovieHeader {
    std::string signature; // "FWS", "CWS" or "ZWS"
    int version = 0;
    uint32_t fileLength = 0;                          // uncompressed length the header declares
    uint64_t fileSize = 0;                            // bytes on disk
    double xMin = 0, yMin = 0, width = 0, height = 0; // stage rectangle in pixels
    double frameRate = 0;                             // frames per second (8.8 fixed in the file)
    int frameCount = 0;                               // as declared
    int avm = 1;                                      // 2 for ActionScript 3 movies
};

// A premultiplied RGBA8888 image in memory order R, G, B, A.
struct RenderTarget {
    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // bytes per row
};

enum class MouseButton { Left, Right, Middle };

// Key codes follow the Key.getCode() numbering of ActionScript
// (8 backspace, 13 enter, 37..40 arrows, 65 'A' ...).
struct KeyEvent {
    int keyCode = 0;
    uint32_t charCode = 0; // Unicode character, 0 when none
};

struct PlayerOptions {
    // Script work allowed in one frame before the script is stopped with a
    // message; counted in actions so that headless runs are deterministic.
    uint64_t maxActionsPerFrame = 20'000'000;
    // Worker threads for rendering large frames (1 = render on the caller).
    int renderThreads = 2;
};

class Player {
public:
    explicit Player(PlayerOptions options = {});
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // --- Movie ------------------------------------------------------------
    // Loads the movie at this path, replacing the current one. Only the
    // header is read here; the full parse happens on the first play, step or
    // render. The sentinel "1.sww" (or any path that matches no file) unloads.
    // Returns false and sets lastError() when the file is missing, unreadable
    // or not a movie; movie() still returns the value set.
    bool setMovie(const std::string& path);
    const std::string& movie() const;
    bool hasMovie() const;
    const MovieHeader& header() const;
    const std::string& lastError() const;

    // Parses the whole file now (otherwise done lazily). Errors: lastError().
    bool load();

    // --- Playhead ---------------------------------------------------------
    int totalFrames() const; // from the header, valid right after setMovie
    int frameNum() const;    // 0-based frame on show
    int currentFrame() const { return frameNum(); }
    void play();
    void stop();     // stops and goes back to the first frame
    void stopPlay(); // pauses on the frame on show
    bool playing() const;
    void setPlaying(bool playing);
    Status gotoFrame(int frame); // 0-based; out of range or no movie -> error

    // --- View -------------------------------------------------------------
    void zoom(int factor);                     // 50: one step in; 0: back to 100 %
    double zoomScale() const;                  // 1.0 unzoomed
    void setBackgroundColor(int32_t bbggrr);   // -1 removes the override
    void setBGColor(const std::string& color); // "" removes the override, "#RRGGBB" sets it

    // --- Events -----------------------------------------------------------
    std::function<void(ReadyState)> onReadyStateChange;
    std::function<void(const std::string& command, const std::string& args)> onFSCommand;
    std::function<void(const std::string& line)> onTrace; // trace() and player warnings
    // Problems the player worked around while drawing (a bitmap it could not
    // decode, shapes beyond the size limits), each reported once. Kept apart
    // from onTrace, whose lines are the movie's own output.
    std::function<void(const std::string& message)> onWarning;

    // --- Time -------------------------------------------------------------
    // Real time: advances as many frames as the movie's frame rate asks for.
    void tick(double elapsedMs);
    // One player step: the first call shows frame 1 and runs its actions;
    // later calls advance one frame interval (also when stopped: scripts,
    // intervals and sprites keep running). Returns false once the movie asked
    // to quit (fscommand "quit") or no movie is loaded.
    bool step();
    double frameIntervalMs() const;
    bool quitRequested() const;

    // --- Drawing and input ------------------------------------------------
    // Draws the stage scaled to show the whole movie in the target (ShowAll),
    // with zoom and background. Returns false without a movie.
    bool render(RenderTarget& target);
    // What the last render() drew: shapes (glyphs and text boxes included)
    // drawn, and those left out because they lay outside the target.
    struct RenderStats {
        int shapesDrawn = 0;
        int shapesCulled = 0;
    };
    RenderStats lastRenderStats() const;
    // Mouse positions are in target pixels of the last render size.
    void mouseMove(double x, double y);
    void mouseDown(MouseButton button, double x, double y);
    void mouseUp(MouseButton button, double x, double y);
    void keyDown(const KeyEvent& key);
    void keyUp(const KeyEvent& key);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Reads only the header of a file: the frame-count probe and `info`.
Result<MovieHeader> probeMovie(const std::string& path);

} // namespace zf
