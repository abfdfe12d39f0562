// Writes SWF movies in code for tests, fuzz seeds and benchmarks: header and
// compression, shapes from a small path API, morphs, sprites, placements,
// buttons, bitmaps, fonts, texts, actions, and raw (also broken) tags.
// The builder takes the reader's own record structs (swf::PlaceObject,
// swf::Button, swf::EditText, fill and line styles) as its input, so a movie
// written here parses back into the same values.
#pragma once

#include "swf/swf.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zf::test {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// ActionScript assembler

struct Null {};
struct Undefined {};
struct Register {
    uint8_t index = 0;
};
struct Constant {
    uint16_t index = 0; // written as an 8-bit index when it fits
};
struct Float {
    float value = 0;
};

// One Push operand: a string, a double, an int32, a boolean, null,
// undefined, a register, a constant-pool entry or a single float.
class PushArg {
public:
    PushArg(const char* text) : m_value(std::string(text)) {}
    PushArg(std::string text) : m_value(std::move(text)) {}
    PushArg(double number) : m_value(number) {}
    PushArg(int number) : m_value(int32_t(number)) {}
    PushArg(bool flag) : m_value(flag) {}
    PushArg(Null value) : m_value(value) {}
    PushArg(Undefined value) : m_value(value) {}
    PushArg(Register value) : m_value(value) {}
    PushArg(Constant value) : m_value(value) {}
    PushArg(Float value) : m_value(value) {}

    void write(Bytes& out) const;

private:
    std::variant<std::string, double, int32_t, bool, Null, Undefined, Register, Constant, Float>
        m_value;
};

struct Function2Param {
    uint8_t reg = 0; // 0 = a named local
    std::string name;
};

class Actions {
public:
    Actions& op(swf::ActionCode code);
    Actions& raw(uint8_t code, const Bytes& payload = {});
    Actions& push(std::initializer_list<PushArg> values);
    Actions& constantPool(const std::vector<std::string>& strings);
    Actions& trace(PushArg value) { return push({value}).op(swf::ActionCode::Trace); }

    // Branches go to labels defined before or after them.
    Actions& label(const std::string& name);
    Actions& jump(const std::string& label);
    Actions& ifTrue(const std::string& label);

    Actions& gotoFrame(uint16_t frame); // 0-based
    Actions& gotoLabel(const std::string& label);
    Actions& gotoFrame2(bool play, std::optional<uint16_t> sceneBias = std::nullopt);
    Actions& getUrl(const std::string& url, const std::string& target);
    Actions& getUrl2(uint8_t flags);
    Actions& setTarget(const std::string& target);
    Actions& storeRegister(uint8_t reg);
    Actions& waitForFrame(uint16_t frame, uint8_t skipCount);
    Actions& waitForFrame2(uint8_t skipCount);
    Actions& with(const Actions& body);
    Actions& defineFunction(const std::string& name, const std::vector<std::string>& params,
                            const Actions& body);
    Actions& defineFunction2(const std::string& name, uint8_t registerCount, uint16_t flags,
                             const std::vector<Function2Param>& params, const Actions& body);
    // catchBody / finallyBody may be null; a catch goes to catchRegister
    // when it is >= 0, else to the variable catchName.
    Actions& tryBlock(const Actions& body, const Actions* catchBody, const Actions* finallyBody,
                      const std::string& catchName = "e", int catchRegister = -1);

    Bytes code() const;  // records with branches resolved, no End
    Bytes bytes() const; // code() + End

private:
    struct Fixup {
        size_t operand; // offset of the SI16
        size_t next;    // offset the branch is relative to
        std::string label;
    };
    Bytes m_code;
    std::map<std::string, size_t> m_labels;
    std::vector<Fixup> m_fixups;
};

// ---------------------------------------------------------------------------
// Shapes

swf::FillStyle solidFill(Rgba color);
swf::FillStyle gradientFill(swf::FillType type, const Matrix& matrix,
                            std::vector<swf::GradientStop> stops,
                            swf::SpreadMode spread = swf::SpreadMode::Pad,
                            swf::InterpolationMode interpolation = swf::InterpolationMode::Rgb,
                            double focalPoint = 0);
swf::FillStyle bitmapFill(uint16_t bitmapId, const Matrix& matrix,
                          swf::FillType type = swf::FillType::ClippedBitmap);
swf::LineStyle lineStyle(uint16_t width, Rgba color);

// Builds the records of a shape (coordinates in twips). Styles are 1-based
// indices into the current group's arrays, as in the file.
class ShapeBuilder {
public:
    explicit ShapeBuilder(int version = 3) : m_version(version) { m_groups.emplace_back(); }

    int version() const { return m_version; }
    uint32_t addFill(const swf::FillStyle& fill);
    uint32_t addLine(const swf::LineStyle& line);
    // Starts a new style generation (a NewStyles record) with empty arrays.
    ShapeBuilder& newStyles();
    ShapeBuilder& styles(uint32_t fill0, uint32_t fill1, uint32_t line);
    ShapeBuilder& moveTo(int32_t x, int32_t y);
    ShapeBuilder& lineTo(int32_t x, int32_t y);
    ShapeBuilder& curveTo(int32_t cx, int32_t cy, int32_t x, int32_t y);
    // A closed rectangle drawn clockwise with fill1 = fill, starting at (x, y).
    ShapeBuilder& rectangle(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t fill,
                            uint32_t line = 0);
    ShapeBuilder& bounds(const RectTwips& rect);
    ShapeBuilder& nonZeroWinding(bool on = true);

    RectTwips computedBounds() const;
    // FILLSTYLEARRAY, LINESTYLEARRAY and records (as in DefineShape); with
    // withStyles false, just a SHAPE (as in glyphs and morph edge lists)
    // whose index widths fit fillCount and lineCount styles.
    Bytes body(bool withStyles, size_t fillCount = 1, size_t lineCount = 0) const;
    // The whole DefineShape body (id, bounds, styles, records).
    Bytes defineShapeBody(uint16_t id) const;

private:
    struct Record {
        bool edge = false;
        bool curved = false;
        int32_t x = 0, y = 0, cx = 0, cy = 0; // edge: deltas; style change: MoveTo
        bool move = false;
        std::optional<uint32_t> fill0, fill1, line;
        int newGroup = -1; // index of the group whose arrays this record writes
    };
    struct Group {
        std::vector<swf::FillStyle> fills;
        std::vector<swf::LineStyle> lines;
    };
    int m_version;
    std::vector<Group> m_groups;
    std::vector<Record> m_records;
    int32_t m_x = 0, m_y = 0;
    std::optional<RectTwips> m_bounds;
    bool m_nonZero = false;
    RectTwips m_extent{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN};

    void extend(int32_t x, int32_t y);
};

// Morph shape: styles hold a start and an end value; start and end edges
// come from two shape builders (their own styles are ignored).
struct MorphSpec {
    int version = 1;
    std::vector<swf::FillStyle> startFills, endFills;
    std::vector<swf::LineStyle> startLines, endLines;
    ShapeBuilder start{3}, end{3};
};

// ---------------------------------------------------------------------------
// Fonts and text

struct FontSpec {
    int version = 2; // 2 DefineFont2, 3 DefineFont3
    std::string name;
    bool bold = false, italic = false, smallText = false, shiftJis = false, ansi = false;
    uint8_t languageCode = 0;
    bool wideOffsets = false, wideCodes = true;
    std::vector<ShapeBuilder> glyphs; // fill style 1 = the text colour
    std::vector<uint16_t> codes;
    bool hasLayout = false;
    uint16_t ascent = 0, descent = 0;
    int16_t leading = 0;
    std::vector<int16_t> advances;
    std::vector<swf::KerningPair> kerning;
};

// ---------------------------------------------------------------------------
// Movies

enum class Compression { None, Zlib, Lzma };

class SwfBuilder {
public:
    explicit SwfBuilder(int version = 10, Compression compression = Compression::None)
        : m_version(version), m_compression(compression)
    {
    }

    // Header
    SwfBuilder& frameRate(double fps);
    SwfBuilder& stageSize(double widthPixels, double heightPixels);
    SwfBuilder& frameRect(const RectTwips& rect);
    SwfBuilder& frameCount(uint16_t count);      // default: ShowFrames written
    SwfBuilder& declaredLength(uint32_t length); // default: the real length
    SwfBuilder& omitEnd(bool omit = true);

    // Raw tags, also deliberately broken ones.
    SwfBuilder& tag(uint16_t code, const Bytes& body, bool longForm = false);
    SwfBuilder& tag(swf::TagCode code, const Bytes& body, bool longForm = false)
    {
        return tag(uint16_t(code), body, longForm);
    }
    SwfBuilder& rawBytes(const Bytes& bytes); // appended to the stream as is

    // Control tags
    SwfBuilder& showFrame();
    SwfBuilder& end();
    SwfBuilder& backgroundColor(Rgba color);
    SwfBuilder& fileAttributes(uint32_t flags);
    SwfBuilder& frameLabel(const std::string& name, bool anchor = false);
    SwfBuilder& doAction(const Actions& actions);
    SwfBuilder& doAction(const Bytes& actionBytes);
    SwfBuilder& doInitAction(uint16_t spriteId, const Actions& actions);
    SwfBuilder& placeObject(const swf::PlaceObject& place); // version chooses the tag
    SwfBuilder& place(uint16_t characterId, uint16_t depth, const Matrix& matrix = {});
    SwfBuilder& removeObject(uint16_t depth, std::optional<uint16_t> characterId = std::nullopt);
    SwfBuilder& exportAssets(const std::vector<swf::AssetEntry>& assets);

    // Definitions
    SwfBuilder& defineShape(uint16_t id, const ShapeBuilder& shape);
    SwfBuilder& defineMorphShape(uint16_t id, const MorphSpec& morph);
    // Nested tags come from another builder (its header is ignored; an End
    // tag is added unless it omits it).
    SwfBuilder& defineSprite(uint16_t id, const SwfBuilder& content,
                             std::optional<uint16_t> frameCount = std::nullopt);
    SwfBuilder& defineButton(const swf::Button& button); // version chooses the tag
    // Pixels are straight RGBA, row-major. Format 3 needs at most 256 colours.
    SwfBuilder& defineBitsLossless(uint16_t id, int width, int height,
                                   const std::vector<Rgba>& pixels, int format, bool alpha);
    SwfBuilder& defineBitsJpeg2(uint16_t id, const Bytes& imageData);
    SwfBuilder& defineBitsJpeg3(uint16_t id, const Bytes& imageData, const Bytes& alphaPlane);
    SwfBuilder& defineFont(uint16_t id, const FontSpec& font);
    // Text records as the reader returns them (resolved); only changes are written.
    SwfBuilder& defineText(uint16_t id, int version, const RectTwips& bounds, const Matrix& matrix,
                           const std::vector<swf::TextRecord>& records);
    SwfBuilder& defineEditText(const swf::EditText& edit);
    SwfBuilder& defineSound(uint16_t id, const swf::SoundFormat& format, uint32_t sampleCount,
                            const Bytes& data);

    int version() const { return m_version; }
    Bytes tagBytes() const; // the tag stream (End added unless omitted)
    Bytes bytes() const;    // the whole file

private:
    int m_version;
    Compression m_compression;
    double m_frameRate = 24;
    RectTwips m_frameRect{0, 550 * 20, 0, 400 * 20};
    std::optional<uint16_t> m_frameCount;
    std::optional<uint32_t> m_declaredLength;
    bool m_omitEnd = false;
    uint16_t m_showFrames = 0;
    Bytes m_tags;
};

// Compression helpers shared with tests that craft streams by hand.
Bytes zlibCompress(const Bytes& data);
// Returns the 5 property bytes followed by the raw LZMA stream (with end marker).
Bytes lzmaCompress(const Bytes& data);

} // namespace zf::test
