// Private parts of the stage shared by the display sources.
#pragma once

#include "display/display.h"
#include "raster/raster.h"
#include "text/text.h"

#include <deque>
#include <set>

namespace zf::display {

// The stage's mutable bookkeeping.
// Filtered images of the last frames with what they were made from: an
// object that draws the same pixels with the same filters again (most
// filtered objects hold still) takes its image from here.
struct FilteredImage {
    std::vector<uint8_t> source; // the unfiltered pixels
    int width = 0, height = 0;
    std::vector<swf::Filter> filters;
    double scaleX = 1, scaleY = 1;
    std::shared_ptr<const raster::Bitmap> result;
    uint64_t lastFrame = 0;
};

struct Stage::Impl {
    struct QueuedItem {
        enum class Type : uint8_t { Actions, Event };
        Type type = Type::Actions;
        std::weak_ptr<DisplayObject> target;
        std::span<const uint8_t> actions;
        ClipEvent event = ClipEvent::Load;
    };
    std::deque<QueuedItem> queue;
    // Events of clips the timeline placed run ahead of the frame actions:
    // every initialize event first, then every construct event, each in
    // placement order (so a parent constructs before its children but
    // after they were initialised).
    std::deque<QueuedItem> initQueue;
    std::deque<QueuedItem> constructQueue;
    // Every movie clip ever created, in creation order (expired ones are
    // compacted away at each tick).
    std::vector<std::weak_ptr<MovieClip>> clips;
    std::set<uint16_t> initializedSprites;
    uint64_t nextSerial = 1;
    uint64_t instanceCounter = 0;
    bool runningQueue = false;

    // Mouse: the object under the pointer and the one a press started on.
    std::weak_ptr<DisplayObject> hovered;
    std::weak_ptr<DisplayObject> pressed;
    bool pressedInside = false;

    // Dragging.
    std::weak_ptr<MovieClip> dragClip;
    Point dragOffset;
    std::optional<Bounds> dragConstraint;

    std::set<int> keysDown;
    std::unique_ptr<text::DeviceFonts> deviceFonts; // made on first use

    // Loading: the host's file reader, requests waiting for the end of the
    // frame, the roots of levels 1 and up, and every movie ever loaded
    // (kept for the stage's lifetime: removed objects may still point into
    // their dictionaries).
    MovieLoader movieLoader;
    std::vector<LoadRequest> loadRequests;
    std::vector<std::shared_ptr<const movie::MovieDefinition>> loadedMovies; // outlives the levels
    std::map<int, std::shared_ptr<MovieClip>> levels;
    std::set<std::pair<const movie::MovieDefinition*, uint16_t>> initializedLoadedSprites;

    // The offscreen images of the filtered and blended objects drawn in the
    // last frame, per renderer: a renderer reads them when it finishes the
    // frame, after the render walk has returned.
    std::map<const raster::Renderer*, std::vector<std::unique_ptr<raster::BitmapSource>>>
        offscreenLayers;
    // Filtered images of recent frames (see FilteredImage).
    std::vector<FilteredImage> filterCache;
    // Renderers of offscreen images, one per depth of nesting, kept so that
    // their threads are made once.
    std::vector<std::unique_ptr<raster::Renderer>> offscreenRenderers;
    uint64_t filterFrame = 0;
    bool refusedDeepNesting = false;
};

// Object creation for a character id of the stage's movie; nullptr when the
// id names nothing that can be placed.
std::shared_ptr<DisplayObject> createCharacter(Stage& stage, uint16_t characterId);
// The same for a character of `movie` (the stage's or a loaded one).
std::shared_ptr<DisplayObject> createCharacter(Stage& stage, const movie::MovieDefinition& movie,
                                               uint16_t characterId);
// Records that a sprite's init actions ran; false when they already had.
bool markSpriteInitialized(Stage& stage, const movie::MovieDefinition& movie, uint16_t spriteId);
void registerClip(Stage& stage, const std::shared_ptr<MovieClip>& clip);
void assignSerial(Stage& stage, DisplayObject& object);
// Unload events of a subtree leaving the display list: the innermost clips
// hear it first, `object` last.
void dispatchUnload(Stage& stage, DisplayObject& object, int level = 0);

// Shape hit testing in shape space (twips): fills by the even-odd rule (or
// non-zero when the shape asks for it), strokes by distance to the edge.
bool shapeContains(const swf::Shape& shape, Point point);
Bounds shapeBounds(const swf::Shape& shape);
// Bounds of an object's content mapped by `toSpace` from its own space;
// containers map each child's content through the combined matrix.
Bounds boundsThrough(const DisplayObject& object, const Matrix& toSpace, int level = 0);

// Placement fields of a PlaceObject applied to an object.
void applyPlacement(DisplayObject& object, const swf::PlaceObject& place, bool fromTimeline);

// Lays out a text field with the movie's fonts and the system's.
text::TextLayout layoutField(const TextField& field);

// Button key code for a key (1 Left ... 18 Tab, 32..126 ASCII), 0 if none.
uint8_t buttonKeyCode(int keyCode, uint32_t charCode);

// Static text as glyph shapes: calls `draw` with each glyph shape, the
// matrix from glyph space to the text's space and the text colour.
void forEachGlyph(const movie::MovieDefinition& movie, const swf::StaticText& text,
                  const std::function<void(const swf::Shape&, const Matrix&, Rgba)>& draw);

} // namespace zf::display
