// The stage: display objects, the display list of every timeline, frame
// advance and gotos, masks, mouse and key input, and the render walk.
//
// Display objects are owned by std::shared_ptr: a parent owns its children,
// the stage owns the root. Scripts hold std::weak_ptr (or a shared_ptr while
// they need the object); an object removed from the display list is marked
// removed() and never drawn or stepped again, even if a script keeps it.
//
// Units: positions and bounds are in twips unless a name says pixels; depths
// are the timeline depths of the file (script depth = depth - 16384);
// frames are 1-based as scripts count them, 0 meaning "not entered yet".
#pragma once

#include "common/geom.h"
#include "common/result.h"
#include "display/script.h"
#include "movie/movie.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zf::raster {
class Renderer;
}
namespace zf::text {
struct TextLayout;
struct StyledText;
struct CharFormat;
struct ParagraphFormat;
} // namespace zf::text

namespace zf::display {

class Stage;
class MovieClip;
class Button;
class TextField;

// Depth offset between the file's depths and the depths scripts see.
inline constexpr int kScriptDepthOffset = 16384;

// A scroll rectangle in the object's own space, in pixels: only this part
// of the content shows, moved so that the rectangle's corner sits at the
// object's origin.
struct ScrollRect {
    double x = 0, y = 0, width = 0, height = 0;
};

enum class ObjectKind : uint8_t {
    Shape,
    MorphShape,
    Bitmap,
    StaticText,
    TextField,
    Button,
    MovieClip,
    Video,
};

class DisplayObject : public std::enable_shared_from_this<DisplayObject> {
public:
    virtual ~DisplayObject();
    DisplayObject(const DisplayObject&) = delete;
    DisplayObject& operator=(const DisplayObject&) = delete;

    ObjectKind kind() const { return m_kind; }
    MovieClip* asMovieClip();
    Button* asButton();
    TextField* asTextField();
    const MovieClip* asMovieClip() const;

    Stage& stage() const { return *m_stage; }
    // The movie clip this object belongs to (for objects inside a button,
    // the button's clip); nullptr for the root.
    MovieClip* parent() const;
    // The object whose space this one is placed in (a clip or a button).
    DisplayObject* displayParent() const { return m_parent; }
    // Taken off the display list (removed, unloaded, or its parent was).
    bool removed() const { return m_removed; }

    int depth() const { return m_depth; }
    int scriptDepth() const { return m_depth - kScriptDepthOffset; }
    uint16_t characterId() const { return m_characterId; }
    const std::string& name() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }

    // Placement data (from PlaceObject records or set by scripts).
    const Matrix& matrix() const { return m_matrix; }
    void setMatrix(const Matrix& matrix);
    const ColorTransform& colorTransform() const { return m_cxform; }
    void setColorTransform(const ColorTransform& cxform);
    uint16_t ratio() const { return m_ratio; }
    virtual void setRatio(uint16_t ratio) { m_ratio = ratio; }
    // 0, or the last depth this object masks (see render()).
    int clipDepth() const { return m_clipDepth; }
    void setClipDepth(int clipDepth) { m_clipDepth = clipDepth; }
    bool visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    uint8_t blendMode() const { return m_blendMode; }
    void setBlendMode(uint8_t mode) { m_blendMode = mode; }
    const std::vector<swf::Filter>& filters() const { return m_filters; }
    void setFilters(std::vector<swf::Filter> filters) { m_filters = std::move(filters); }
    bool cacheAsBitmap() const { return m_cacheAsBitmap; }
    void setCacheAsBitmap(bool cache) { m_cacheAsBitmap = cache; }
    const std::optional<ScrollRect>& scrollRect() const { return m_scrollRect; }
    void setScrollRect(std::optional<ScrollRect> rect) { m_scrollRect = rect; }
    // Clip actions of the placement (sprites only); nullptr when none.
    const swf::ClipActions* clipActions() const { return m_clipActions.get(); }
    // Once a script moved, scaled or recoloured the object, timeline Move
    // records no longer change its transform.
    bool transformedByScript() const { return m_transformedByScript; }
    void markTransformedByScript() { m_transformedByScript = true; }

    // Placement identity: which PlaceObject of the parent's timeline made
    // this instance (0 = created by a script). Gotos keep an instance whose
    // placement is still in effect in the target frame.
    uint64_t placementId() const { return m_placementId; }
    // Creation order across the stage; newer objects have larger numbers.
    uint64_t creationSerial() const { return m_serial; }

    // The interpreter's data for this object.
    std::unique_ptr<ScriptAttachment> script;

    // --- Geometry ---------------------------------------------------------
    // Bounds of the content in its own space (twips), children included.
    virtual Bounds localBounds() const = 0;
    // Bounds in the space of `space` (nullptr = stage space).
    Bounds boundsIn(const DisplayObject* space) const;
    // Bounds in the parent's space, on the twip grid (what _width and
    // _height measure, and what a parent adds up).
    Bounds boundsInParent() const;
    // Own space -> stage space (twips).
    Matrix concatenatedMatrix() const;
    ColorTransform concatenatedColorTransform() const;
    Point localToGlobal(Point local) const;
    Point globalToLocal(Point global) const;
    // Whether a stage point (twips) touches the object: its bounding box, or
    // its real shapes when `shapeFlag`.
    bool hitTest(Point stagePoint, bool shapeFlag) const;
    // Shape hit test in local space (twips).
    virtual bool hitTestLocal(Point local) const = 0;

    // --- Script properties (pixels, percent, degrees) ---------------------
    double x() const { return m_matrix.tx / kTwipsPerPixel; }
    double y() const { return m_matrix.ty / kTwipsPerPixel; }
    void setX(double pixels);
    void setY(double pixels);
    double xScale() const; // percent
    double yScale() const;
    double rotation() const; // degrees, -180..180
    void setXScale(double percent);
    void setYScale(double percent);
    void setRotation(double degrees);
    double width() const; // pixels, in the parent's space
    double height() const;
    void setWidth(double pixels);
    void setHeight(double pixels);
    double alpha() const { return m_cxform.aMul * 100.0 / 256.0; } // percent
    void setAlpha(double percent);
    // "_level0.a.b" and "/a/b".
    std::string targetPath() const;
    std::string slashPath() const;

protected:
    DisplayObject(Stage& stage, ObjectKind kind);

private:
    friend class MovieClip;
    friend class Stage;
    friend class Button;
    friend void assignSerial(Stage& stage, DisplayObject& object);
    friend std::shared_ptr<DisplayObject> createCharacter(Stage& stage, uint16_t characterId);
    friend std::shared_ptr<DisplayObject>
    createCharacter(Stage& stage, const movie::MovieDefinition& movie, uint16_t characterId);
    void decomposeMatrix() const;
    void applyScaleRotation();

    Stage* m_stage;
    ObjectKind m_kind;
    DisplayObject* m_parent = nullptr;
    bool m_removed = false;
    int m_depth = 0;
    uint16_t m_characterId = 0;
    std::string m_name;
    Matrix m_matrix;
    ColorTransform m_cxform;
    uint16_t m_ratio = 0;
    int m_clipDepth = 0;
    bool m_visible = true;
    uint8_t m_blendMode = 0;
    bool m_cacheAsBitmap = false;
    std::optional<ScrollRect> m_scrollRect;
    bool m_transformedByScript = false;
    std::vector<swf::Filter> m_filters;
    std::shared_ptr<const swf::ClipActions> m_clipActions;
    uint64_t m_placementId = 0;
    uint64_t m_serial = 0;
    // Scale and rotation as scripts last saw or set them, so that setting
    // one does not drift the others through the matrix.
    mutable bool m_decomposed = false;
    mutable double m_xScale = 1, m_yScale = 1, m_rotation = 0;
};

// A DefineShape character.
class ShapeObject : public DisplayObject {
public:
    ShapeObject(Stage& stage, const swf::Shape* shape);
    const swf::Shape* shape() const { return m_shape; }
    Bounds localBounds() const override;
    bool hitTestLocal(Point local) const override;

private:
    const swf::Shape* m_shape;
};

// A morph shape shown at its ratio (0..65535).
class MorphObject : public DisplayObject {
public:
    MorphObject(Stage& stage, const swf::MorphShape* morph);
    // The interpolated shape at the current ratio (cached per ratio).
    const swf::Shape& shape() const;
    Bounds localBounds() const override;
    bool hitTestLocal(Point local) const override;

private:
    const swf::MorphShape* m_morph;
    mutable std::optional<uint16_t> m_cachedRatio;
    mutable swf::Shape m_cached;
};

// A bitmap shown at its own pixel size (attachBitmap, bitmap characters).
class BitmapObject : public DisplayObject {
public:
    BitmapObject(Stage& stage, uint16_t bitmapId, std::shared_ptr<const raster::Bitmap> bitmap);
    const raster::Bitmap* bitmap() const;
    bool smoothing = false;
    Bounds localBounds() const override;
    bool hitTestLocal(Point local) const override;
    // Resolves any bitmap id to this object's bitmap, so a script bitmap
    // (which has no dictionary id) can be drawn as a bitmap fill.
    const raster::BitmapSource& ownSource() const { return m_ownSource; }

private:
    struct OwnSource final : raster::BitmapSource {
        const BitmapObject* owner = nullptr;
        const raster::Bitmap* bitmap(uint16_t) const override { return owner->bitmap(); }
    };
    uint16_t m_bitmapId;
    std::shared_ptr<const raster::Bitmap> m_bitmap; // script bitmaps; else the dictionary's
    OwnSource m_ownSource;
};

// A DefineVideoStream placed by a timeline: a box of the stream's size.
// Frames are not decoded, so it draws nothing.
class VideoObject : public DisplayObject {
public:
    VideoObject(Stage& stage, const swf::VideoStream* stream);
    const swf::VideoStream* stream() const { return m_stream; }
    bool smoothing = false;
    int deblocking = 0;
    Bounds localBounds() const override;
    bool hitTestLocal(Point local) const override;

private:
    const swf::VideoStream* m_stream;
};

// DefineText / DefineText2.
class StaticTextObject : public DisplayObject {
public:
    StaticTextObject(Stage& stage, const swf::StaticText* text);
    const swf::StaticText* text() const { return m_text; }
    Bounds localBounds() const override;
    bool hitTestLocal(Point local) const override;

private:
    const swf::StaticText* m_text;
};

// Formatting as scripts read and apply it (TextFormat). Read from a range,
// an unset field differs within the range; applied, an unset field is left
// alone. Sizes, margins and spacing in pixels.
struct TextFormat {
    std::optional<std::string> font, url, target;
    std::optional<double> size, letterSpacing;
    std::optional<Rgba> color;
    std::optional<bool> bold, italic, underline, kerning, bullet;
    std::optional<swf::TextAlign> align;
    std::optional<double> leftMargin, rightMargin, indent, blockIndent, leading;
    std::optional<std::vector<double>> tabStops;
};

// DefineEditText, or a field made by createTextField(). The content is
// styled text; positions count characters, paragraphs end with '\r'.
// Variable binding is the interpreter's.
class TextField : public DisplayObject {
public:
    TextField(Stage& stage, const swf::EditText& definition);
    ~TextField() override;

    const swf::EditText& definition() const { return m_definition; }
    const text::StyledText& content() const { return *m_content; }
    // Plain text (UTF-8); setting it gives the whole text the new-text format.
    std::string text() const;
    void setText(std::string_view text);
    // The content as HTML when html is set, else the plain text.
    std::string htmlText() const;
    void setHtmlText(std::string_view html);
    size_t length() const;
    // Replaces [begin, end) with plain text in the new-text format.
    void replaceText(size_t begin, size_t end, std::string_view text);

    // Format of [begin, end): fields that differ within it are unset. An
    // empty range reads the format of the character before it.
    TextFormat textFormat(size_t begin, size_t end) const;
    // Character fields change [begin, end); paragraph fields change every
    // paragraph the range touches.
    void setTextFormat(size_t begin, size_t end, const TextFormat& format);
    TextFormat newTextFormat() const;
    void setNewTextFormat(const TextFormat& format);
    // textColor: the new-text colour; setting it recolours everything.
    Rgba textColor() const;
    void setTextColor(Rgba color);

    bool html = false;
    std::string variableName;
    bool multiline = false, wordWrap = false, password = false, selectable = true;
    bool editable = false, border = false, background = false, embedFonts = false;
    bool condenseWhite = false, mouseWheelEnabled = true;
    Rgba borderColor{0, 0, 0, 255}, backgroundColor{255, 255, 255, 255};
    int maxChars = 0; // 0 = no limit
    std::string antiAliasType = "normal", gridFitType = "pixel";
    double sharpness = 0, thickness = 0;
    std::optional<std::string> restrict;
    // Caret and selection (character positions), kept while unfocused.
    int selectionBegin = 0, selectionEnd = 0;
    // Keyboard focus order; unset until a script gives one.
    std::optional<uint32_t> tabIndex;

    // "none", "left", "center" or "right"; a sized field follows its text.
    const std::string& autoSize() const { return m_autoSize; }
    void setAutoSize(std::string mode);
    // Re-fits an auto-sized box to the text (after changes to the text or
    // to the settings the layout depends on).
    void fitToText();

    // Field box in local twips (DefineEditText bounds); width/height
    // setters of scripts change it.
    RectTwips box() const { return m_box; }
    void setBox(const RectTwips& box) { m_box = box; }
    // Scrolling in lines (1-based) and pixels.
    int scroll = 1;
    int hscroll = 0;
    int maxScroll() const;
    int bottomScroll() const;
    int maxHScroll() const;
    int lineCount() const;
    // Size of the laid-out text, pixels.
    double textWidth() const;
    double textHeight() const;

    Bounds localBounds() const override;
    bool hitTestLocal(Point local) const override;

private:
    void changed();
    swf::EditText m_definition;
    std::unique_ptr<text::StyledText> m_content;
    std::unique_ptr<text::CharFormat> m_newFormat;
    std::unique_ptr<text::ParagraphFormat> m_newParagraph;
    std::string m_autoSize = "none";
    RectTwips m_box;
};

enum class ButtonVisualState : uint8_t { Up, Over, Down };

// DefineButton / DefineButton2: shows the records of its current state as
// children and reacts to the mouse through its hit records.
class Button : public DisplayObject {
public:
    Button(Stage& stage, const movie::ButtonDefinition* definition);
    const movie::ButtonDefinition& definition() const { return *m_definition; }
    ButtonVisualState state() const { return m_state; }
    bool trackAsMenu() const { return m_trackAsMenu; }
    void setTrackAsMenu(bool menu) { m_trackAsMenu = menu; }
    bool enabled = true;
    bool useHandCursor = true;
    // The objects of the current state, by depth.
    const std::map<int, std::shared_ptr<DisplayObject>>& children() const { return m_children; }

    Bounds localBounds() const override;
    bool hitTestLocal(Point local) const override;
    // Whether a local point lies in the hit-state records.
    bool hitAreaContains(Point local) const;

private:
    friend class Stage;
    friend class MovieClip;
    void setState(ButtonVisualState state);
    const movie::ButtonDefinition* m_definition;
    ButtonVisualState m_state = ButtonVisualState::Up;
    bool m_trackAsMenu = false;
    bool m_built = false;
    std::map<int, std::shared_ptr<DisplayObject>> m_children;
    // One object per button record, parallel to the definition's records.
    std::vector<std::shared_ptr<DisplayObject>> m_recordObjects;
    void build();
};

// The drawing API of a movie clip (lineStyle, beginFill, moveTo, ...).
// Coordinates in twips of the clip's space.
class Drawing {
public:
    void clear();
    void lineStyle(std::optional<double> widthTwips, Rgba color = {});
    void beginFill(Rgba color);
    void beginGradientFill(const swf::FillStyle& style); // gradient fill already built
    void endFill();
    void moveTo(double x, double y);
    void lineTo(double x, double y);
    void curveTo(double controlX, double controlY, double x, double y);
    bool empty() const;
    const swf::Shape& shape() const;

private:
    void closeFill();
    void flushStyles();
    swf::Shape m_shape;
    std::vector<swf::Edge> m_fillEdges; // edges of the open fill path
    std::optional<swf::FillStyle> m_fill;
    uint32_t m_line = 0;
    double m_x = 0, m_y = 0, m_startX = 0, m_startY = 0;
};

class MovieClip : public DisplayObject {
public:
    // A sprite instance or the root (`timeline` from the definition).
    MovieClip(Stage& stage, const movie::Timeline* timeline, bool isRoot);
    ~MovieClip() override;

    bool isRoot() const { return m_isRoot; }
    const movie::Timeline& timeline() const { return *m_timeline; }

    // --- Playhead (1-based frames) ----------------------------------------
    int currentFrame() const { return m_frame; }
    int totalFrames() const;
    int framesLoaded() const { return totalFrames(); }
    bool playing() const { return m_playing; }
    void play() { m_playing = true; }
    void stop() { m_playing = false; }
    // Goes to a frame (clamped to the last; below 1 ignored) and plays or
    // stops there. The target frame's actions are queued on the stage.
    void gotoFrame(int frame, bool play);
    // Returns false (and does nothing) when no frame has that label.
    bool gotoLabel(std::string_view label, bool play);
    void nextFrame();
    void prevFrame();
    std::optional<int> frameOfLabel(std::string_view label) const;

    // --- Children ---------------------------------------------------------
    const std::map<int, std::shared_ptr<DisplayObject>>& children() const { return m_children; }
    DisplayObject* childAt(int depth) const;
    // By instance name: case-insensitive up to SWF 6. Lowest depth wins.
    DisplayObject* childByName(std::string_view name) const;
    // attachMovie: an exported sprite at `depth`; replaces what is there.
    std::shared_ptr<MovieClip> attachMovie(std::string_view exportName, std::string name,
                                           int depth);
    std::shared_ptr<MovieClip> createEmptyMovieClip(std::string name, int depth);
    std::shared_ptr<TextField> createTextField(std::string name, int depth, const RectTwips& box);
    // attachBitmap: shows a script bitmap at `depth` (replaces what is there).
    std::shared_ptr<BitmapObject> attachBitmap(std::shared_ptr<const raster::Bitmap> bitmap,
                                               int depth, bool smoothing);
    // duplicateMovieClip: a copy of this clip in its parent (same character,
    // transform, clip actions and drawing); nullptr for the root.
    std::shared_ptr<MovieClip> duplicate(std::string name, int depth);
    // The same for a text field of this clip: a new field from the source's
    // definition (what scripts changed is not copied) with its transform.
    std::shared_ptr<TextField> duplicateField(const TextField& source, std::string name, int depth);
    // removeMovieClip / removeTextField for script depths 0..1048575 (and
    // objects at timeline depths when `force`).
    bool removeChild(DisplayObject& child, bool force = false);
    // swapDepths with a depth (moves whatever is there to our old depth) or
    // with a sibling.
    void swapChildDepth(DisplayObject& child, int depth);
    int nextHighestDepth() const; // as a file depth
    // Instance highest-depth helper used by getInstanceAtDepth.
    DisplayObject* instanceAtScriptDepth(int scriptDepth) const
    {
        return childAt(scriptDepth + kScriptDepthOffset);
    }

    // --- Drawing and masks --------------------------------------------------
    Drawing& drawing() { return m_drawing; }
    const Drawing& drawing() const { return m_drawing; }
    // setMask: `mask` (nullptr clears) clips this clip; it is not drawn itself.
    void setMask(MovieClip* mask);
    MovieClip* mask() const { return m_mask.lock().get(); }
    bool isMaskForOther() const { return m_maskedBy > 0; }
    bool enabled = true;
    bool useHandCursor = true;
    // A clip that acts as a button (has mouse handlers) uses this as its
    // active area when set.
    MovieClip* hitArea() const { return m_hitArea.lock().get(); }
    void setHitArea(MovieClip* area);

    Bounds localBounds() const override;
    bool hitTestLocal(Point local) const override;

    // --- Loaded movies ------------------------------------------------------
    // The movie whose dictionary this clip's characters come from: the one
    // loaded into it or into its nearest ancestor, else the stage's movie.
    const movie::MovieDefinition& definition() const;
    // The movie loadMovie put into this clip (or its level), or nullptr.
    const std::shared_ptr<const movie::MovieDefinition>& loadedMovie() const
    {
        return m_loadedMovie;
    }
    // Clips between this one and the stage (itself included) that hold a
    // loaded movie.
    int loadNesting() const;
    // Throws the children, drawing and timeline away and shows `movie`'s
    // root timeline instead (nothing for nullptr, as unloadMovie does). The
    // clip keeps its name, depth, transform and clip actions; the new
    // timeline is entered with startLoadedContent().
    void replaceContent(std::shared_ptr<const movie::MovieDefinition> movie);

private:
    friend class Stage;
    friend class DisplayObject;
    friend class Button;
    struct Impl;
    void startLoadedContent();
    void enterFrame(int frame, bool runActions);
    void processTags(const movie::Frame& frame, int frameNumber, bool runActions);
    void placeObject(const swf::PlaceObject& place, uint64_t placementId);
    std::shared_ptr<DisplayObject> createChild(const swf::PlaceObject& place, uint64_t placementId,
                                               const DisplayObject* replaced);
    void initializeChild(DisplayObject& object, bool fromTimeline);
    void queueFrameActions(int frame);
    void removeAtDepth(int depth);
    void insertChild(std::shared_ptr<DisplayObject> child, int depth);
    void rewindTo(int frame);
    void advance();

    const movie::Timeline* m_timeline;
    bool m_isRoot;
    int m_frame = 0;
    bool m_playing = true;
    std::map<int, std::shared_ptr<DisplayObject>> m_children;
    Drawing m_drawing;
    std::weak_ptr<MovieClip> m_mask;
    std::weak_ptr<MovieClip> m_hitArea;
    int m_maskedBy = 0;
    std::shared_ptr<const movie::MovieDefinition> m_loadedMovie;
};

// A loadMovie / loadMovieNum / unloadMovie request. It is carried out after
// the scripts of the frame that made it, by Stage::processLoads().
struct LoadRequest {
    // Into a clip, or (when `level` >= 0) into a level.
    std::weak_ptr<MovieClip> target;
    int level = -1;
    // What the host's loader receives; empty unloads.
    std::string path;
    // The URL as the script gave it, for messages.
    std::string url;
    // Called on the target clip just before its content is replaced, so the
    // interpreter can drop the clip's script state.
    std::function<void(MovieClip&)> onReset;
    // The movie is in place (clip set), or the load failed (clip null and
    // `error` says why). Runs before the new first frame.
    std::function<void(MovieClip* clip, const std::string& error,
                       const movie::MovieDefinition* movie)>
        onLoaded;
    // The first frame of the loaded movie has run.
    std::function<void(MovieClip& clip)> onInit;
};

// Keyboard input as the stage receives it.
struct KeyInput {
    int keyCode = 0;       // Key.getCode() numbering
    uint32_t charCode = 0; // Unicode, 0 when none
};

class Stage {
public:
    explicit Stage(std::shared_ptr<const movie::MovieDefinition> movie);
    ~Stage();
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    const movie::MovieDefinition& movie() const { return *m_movie; }
    const std::shared_ptr<const movie::MovieDefinition>& movieShared() const { return m_movie; }
    int swfVersion() const;
    MovieClip& root() { return *m_root; }
    const MovieClip& root() const { return *m_root; }
    std::shared_ptr<MovieClip> rootShared() const { return m_root; }

    void setScriptRunner(ScriptRunner* runner) { m_runner = runner; }
    ScriptRunner* scriptRunner() const { return m_runner; }

    // --- Time -----------------------------------------------------------------
    // Enters the root's first frame and runs its actions (once; later calls
    // do nothing). tick() calls it when needed.
    void start();
    bool started() const { return m_started; }
    // One frame tick: clips are stepped newest first, root last, then the
    // queued actions run.
    void tick();
    double clockMs() const { return m_clockMs; }
    void advanceClock(double ms) { m_clockMs += ms; }

    // --- Actions --------------------------------------------------------------
    // Appends a DoAction block to the queue of this tick.
    void queueActions(MovieClip& clip, std::span<const uint8_t> actions);
    // Queues a clip event to run with the frame actions.
    void queueEvent(DisplayObject& object, ClipEvent event);
    // Runs queued actions until the queue is empty (bounded).
    void runActionQueue();
    // Runs a clip event now.
    void dispatchEvent(DisplayObject& object, ClipEvent event, const EventKey& key = {});

    // --- Names ------------------------------------------------------------------
    // "instance1", "instance2", ... for unnamed sprite instances.
    std::string nextInstanceName();
    // Instance names compare case-insensitively up to SWF 6.
    bool namesEqual(std::string_view a, std::string_view b) const;

    // --- Input (stage twips) -------------------------------------------------
    void mouseMove(Point stage);
    void mouseDown(Point stage);
    void mouseUp(Point stage);
    void keyDown(const KeyInput& key);
    void keyUp(const KeyInput& key);
    Point mousePosition() const { return m_mouse; }
    bool mouseIsDown() const { return m_mouseDown; }
    bool isKeyDown(int keyCode) const;
    KeyInput lastKey() const { return m_lastKey; }
    // The object under the mouse that reacts to it (button or clip with
    // button handlers), or nullptr.
    DisplayObject* mouseTarget() const;

    // --- Dragging ---------------------------------------------------------------
    void startDrag(MovieClip& clip, bool lockCenter, std::optional<Bounds> constraintTwips);
    void stopDrag();
    MovieClip* dragTarget() const;

    // --- Sound hooks (set by the host; optional) --------------------------------
    std::function<void(const swf::StartSound&)> onStartSound;
    std::function<void(const MovieClip&, const swf::SoundStreamHead&)> onStreamHead;
    std::function<void(const MovieClip&, std::span<const uint8_t>)> onStreamBlock;

    // --- Drawing ----------------------------------------------------------------
    Rgba backgroundColor() const { return m_background; }
    void setBackgroundColor(Rgba color) { m_background = color; }
    // Draws the display list; `stageToPixels` maps stage twips to pixels.
    void render(raster::Renderer& renderer, const Matrix& stageToPixels) const;
    // Draws one object and its children on their own (BitmapData.draw):
    // `toPixels` maps the object's own space (twips) to pixels.
    void renderObject(const DisplayObject& object, raster::Renderer& renderer,
                      const Matrix& toPixels, const ColorTransform& cx) const;
    // Whether an object was not created because it would have nested too
    // deep (a guard against runaway nesting), for the player to report.
    bool refusedDeepNesting() const;
    void refuseDeepNesting();

    // Text dump of the display list ("depth kind name frame"), for tests and
    // the headless tool.
    std::string dumpDisplayList() const;

    // --- Loading movies -------------------------------------------------------
    // Reads a movie file for loadMovie and friends; installed by the host so
    // that the stage itself never touches files.
    using MovieLoader = std::function<Result<std::shared_ptr<const movie::MovieDefinition>>(
        const std::string& path)>;
    void setMovieLoader(MovieLoader loader);
    // Queues a load or unload; a later request for the same target within
    // the same frame replaces an earlier one.
    void requestLoad(LoadRequest request);
    // Carries out the queued requests (done by tick() after the frame's
    // scripts); requests made meanwhile wait for the next call.
    void processLoads();
    // The root clip of _levelN (level 0 is root()), nullptr when empty.
    MovieClip* level(int number) const;
    // Every level's root, lowest level first.
    std::vector<MovieClip*> levels() const;

private:
    friend class MovieClip;
    friend class DisplayObject;
    friend class Button;
    friend void registerClip(Stage& stage, const std::shared_ptr<MovieClip>& clip);
    friend text::TextLayout layoutField(const TextField& field);
    friend void assignSerial(Stage& stage, DisplayObject& object);
    friend bool markSpriteInitialized(Stage& stage, const movie::MovieDefinition& movie,
                                      uint16_t spriteId);
    // Marks an object and everything under it removed and tells the runner.
    void detach(DisplayObject& object);
    static void detachTree(DisplayObject& object, ScriptRunner* runner, int level);
    void broadcast(ClipEvent event, const EventKey& key);
    void buttonTransition(DisplayObject& target, uint16_t condition, ClipEvent event);
    void updateDrag();
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::shared_ptr<const movie::MovieDefinition> m_movie;
    std::shared_ptr<MovieClip> m_root;
    ScriptRunner* m_runner = nullptr;
    bool m_started = false;
    double m_clockMs = 0;
    Point m_mouse;
    bool m_mouseDown = false;
    KeyInput m_lastKey;
    Rgba m_background;
};

} // namespace zf::display
