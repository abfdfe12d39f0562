// The SWF reader: the container (FWS, CWS, ZWS), the movie header, the tag
// stream and one plain record per tag that an ActionScript 1/2 player needs.
// Everything here is pure parsing: no decoding of images or sounds, no playing.
//
// Every read is bounded by the bytes of the tag it belongs to; counts and sizes
// from the file are distrusted. Records that carry bulk data (action bytes,
// image and sound payloads, a sprite's nested tags) hold spans into the bytes
// they were read from, so that buffer (normally SwfFile::data) must outlive
// them.
#pragma once

#include "common/geom.h"
#include "common/result.h"
#include "swf/actions.h"
#include "swf/shape.h"
#include "swf/text.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace zf::swf {

// ---------------------------------------------------------------------------
// Container and header

struct Limits {
    // A movie that claims more uncompressed bytes than this is refused.
    uint64_t maxUncompressed = uint64_t(256) << 20;
};

struct SwfHeader {
    std::string signature; // "FWS", "CWS" or "ZWS"
    uint8_t version = 0;
    uint32_t fileLength = 0; // declared uncompressed length including the 8-byte header
    RectTwips frameRect;
    double frameRate = 0; // frames per second; may be 0
    uint16_t frameCount = 0;
    uint64_t fileSize = 0; // bytes on disk (or given to loadBytes)
    // Size of the uncompressed header part after the first 8 bytes
    // (rectangle, rate and count): the tag stream starts there.
    size_t headerSize = 0;
};

// Reads the header from the first bytes of a file (a few hundred are enough,
// even for compressed movies: only the start of the stream is inflated).
Result<SwfHeader> readHeader(std::span<const uint8_t> prefix, uint64_t fileSize);
// Reads at most a few KB of the file.
Result<SwfHeader> probeFile(const std::string& path);

struct SwfFile {
    SwfHeader header;
    // The uncompressed body after the 8-byte header, clamped to the declared
    // FileLength and to what the file really holds.
    std::vector<uint8_t> data;
    size_t tagsOffset = 0; // into data; may equal data.size() (no tags)
    // ActionScript 3 movie: the FileAttributes flag is set. Only that flag
    // decides how a movie plays; an ActionScript 1/2 movie may still carry
    // DoABC tags, which it ignores.
    bool avm2 = false;
    bool hasDoAbc = false; // DoABC tags present

    std::span<const uint8_t> tagBytes() const;
};

Result<SwfFile> loadFile(const std::string& path, const Limits& limits = {});
Result<SwfFile> loadBytes(std::vector<uint8_t> bytes, const Limits& limits = {});

// ---------------------------------------------------------------------------
// Tag stream

// X(name, code): every tag code the reader knows by name.
#define ZF_SWF_TAGS(X)                                                                             \
    X(End, 0)                                                                                      \
    X(ShowFrame, 1)                                                                                \
    X(DefineShape, 2)                                                                              \
    X(FreeCharacter, 3)                                                                            \
    X(PlaceObject, 4)                                                                              \
    X(RemoveObject, 5)                                                                             \
    X(DefineBits, 6)                                                                               \
    X(DefineButton, 7)                                                                             \
    X(JPEGTables, 8)                                                                               \
    X(SetBackgroundColor, 9)                                                                       \
    X(DefineFont, 10)                                                                              \
    X(DefineText, 11)                                                                              \
    X(DoAction, 12)                                                                                \
    X(DefineFontInfo, 13)                                                                          \
    X(DefineSound, 14)                                                                             \
    X(StartSound, 15)                                                                              \
    X(StopSound, 16)                                                                               \
    X(DefineButtonSound, 17)                                                                       \
    X(SoundStreamHead, 18)                                                                         \
    X(SoundStreamBlock, 19)                                                                        \
    X(DefineBitsLossless, 20)                                                                      \
    X(DefineBitsJPEG2, 21)                                                                         \
    X(DefineShape2, 22)                                                                            \
    X(DefineButtonCxform, 23)                                                                      \
    X(Protect, 24)                                                                                 \
    X(PathsArePostScript, 25)                                                                      \
    X(PlaceObject2, 26)                                                                            \
    X(RemoveObject2, 28)                                                                           \
    X(SyncFrame, 29)                                                                               \
    X(FreeAll, 31)                                                                                 \
    X(DefineShape3, 32)                                                                            \
    X(DefineText2, 33)                                                                             \
    X(DefineButton2, 34)                                                                           \
    X(DefineBitsJPEG3, 35)                                                                         \
    X(DefineBitsLossless2, 36)                                                                     \
    X(DefineEditText, 37)                                                                          \
    X(DefineVideo, 38)                                                                             \
    X(DefineSprite, 39)                                                                            \
    X(NameCharacter, 40)                                                                           \
    X(ProductInfo, 41)                                                                             \
    X(DefineTextFormat, 42)                                                                        \
    X(FrameLabel, 43)                                                                              \
    X(SoundStreamHead2, 45)                                                                        \
    X(DefineMorphShape, 46)                                                                        \
    X(GenerateFrame, 47)                                                                           \
    X(DefineFont2, 48)                                                                             \
    X(GeneratorCommand, 49)                                                                        \
    X(DefineCommandObject, 50)                                                                     \
    X(CharacterSet, 51)                                                                            \
    X(ExternalFont, 52)                                                                            \
    X(ExportAssets, 56)                                                                            \
    X(ImportAssets, 57)                                                                            \
    X(EnableDebugger, 58)                                                                          \
    X(DoInitAction, 59)                                                                            \
    X(DefineVideoStream, 60)                                                                       \
    X(VideoFrame, 61)                                                                              \
    X(DefineFontInfo2, 62)                                                                         \
    X(DebugId, 63)                                                                                 \
    X(EnableDebugger2, 64)                                                                         \
    X(ScriptLimits, 65)                                                                            \
    X(SetTabIndex, 66)                                                                             \
    X(FileAttributes, 69)                                                                          \
    X(PlaceObject3, 70)                                                                            \
    X(ImportAssets2, 71)                                                                           \
    X(DoAbcEarly, 72)                                                                              \
    X(DefineFontAlignZones, 73)                                                                    \
    X(CsmTextSettings, 74)                                                                         \
    X(DefineFont3, 75)                                                                             \
    X(SymbolClass, 76)                                                                             \
    X(Metadata, 77)                                                                                \
    X(DefineScalingGrid, 78)                                                                       \
    X(DoAbc, 82)                                                                                   \
    X(DefineShape4, 83)                                                                            \
    X(DefineMorphShape2, 84)                                                                       \
    X(DefineSceneAndFrameLabelData, 86)                                                            \
    X(DefineBinaryData, 87)                                                                        \
    X(DefineFontName, 88)                                                                          \
    X(StartSound2, 89)                                                                             \
    X(DefineBitsJPEG4, 90)                                                                         \
    X(DefineFont4, 91)                                                                             \
    X(EnableTelemetry, 93)                                                                         \
    X(PlaceObject4, 94)

enum class TagCode : uint16_t {
#define ZF_X(name, code) name = code,
    ZF_SWF_TAGS(ZF_X)
#undef ZF_X
};

// Readable name of a tag code ("DefineShape3"), or "Unknown" for codes the
// table does not know.
std::string_view tagName(uint16_t code);

struct Tag {
    uint16_t code = 0;
    std::span<const uint8_t> body;
    size_t offset = 0; // of the tag header within the stream's bytes

    TagCode type() const { return TagCode(code); }
};

// Walks the tags of a byte span (the root stream or a sprite's nested tags).
// next() returns the End tag once and then nothing; it also stops at the end
// of the data or at a tag whose length runs past it (then truncated() is true).
class TagStream {
public:
    explicit TagStream(std::span<const uint8_t> bytes, size_t offset = 0)
        : m_bytes(bytes), m_position(offset)
    {
    }

    std::optional<Tag> next();
    bool truncated() const { return m_truncated; }
    bool sawEnd() const { return m_sawEnd; }
    size_t position() const { return m_position; }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_position = 0;
    bool m_truncated = false;
    bool m_sawEnd = false;
    bool m_done = false;
};

// ---------------------------------------------------------------------------
// Strings

// A file string as UTF-8: SWF 6+ strings already are; older movies store
// 8-bit text, decoded as Windows-1252.
std::string decodeString(std::span<const uint8_t> bytes, int swfVersion);

// ---------------------------------------------------------------------------
// Display list: PlaceObject, RemoveObject, filters, clip actions

struct DropShadowFilter {
    Rgba color;
    double blurX = 0, blurY = 0, angle = 0, distance = 0, strength = 0;
    bool inner = false, knockout = false, compositeSource = false;
    uint8_t passes = 1;
    bool operator==(const DropShadowFilter&) const = default;
};
struct BlurFilter {
    double blurX = 0, blurY = 0;
    uint8_t passes = 1;
    bool operator==(const BlurFilter&) const = default;
};
struct GlowFilter {
    Rgba color;
    double blurX = 0, blurY = 0, strength = 0;
    bool inner = false, knockout = false, compositeSource = false;
    uint8_t passes = 1;
    bool operator==(const GlowFilter&) const = default;
};
struct BevelFilter {
    Rgba shadowColor, highlightColor;
    double blurX = 0, blurY = 0, angle = 0, distance = 0, strength = 0;
    bool inner = false, knockout = false, compositeSource = false, onTop = false;
    uint8_t passes = 1;
    bool operator==(const BevelFilter&) const = default;
};
struct GradientGlowFilter {
    std::vector<Rgba> colors;
    std::vector<uint8_t> ratios; // parallel to colors
    double blurX = 0, blurY = 0, angle = 0, distance = 0, strength = 0;
    bool inner = false, knockout = false, compositeSource = false, onTop = false;
    uint8_t passes = 1;
    bool operator==(const GradientGlowFilter&) const = default;
};
struct ConvolutionFilter {
    uint8_t matrixX = 0, matrixY = 0;
    float divisor = 1, bias = 0;
    std::vector<float> matrix; // matrixX * matrixY values, row-major
    Rgba defaultColor;
    bool clamp = false, preserveAlpha = false;
    bool operator==(const ConvolutionFilter&) const = default;
};
struct ColorMatrixFilter {
    std::array<float, 20> matrix{};
    bool operator==(const ColorMatrixFilter&) const = default;
};
struct GradientBevelFilter : GradientGlowFilter {
    bool operator==(const GradientBevelFilter&) const = default;
};

// Alternative index = the filter id in the file.
using Filter =
    std::variant<DropShadowFilter, BlurFilter, GlowFilter, BevelFilter, GradientGlowFilter,
                 ConvolutionFilter, ColorMatrixFilter, GradientBevelFilter>;

// Clip event bits (little-endian CLIPEVENTFLAGS; 16 bits wide before SWF 6).
namespace ClipEvent {
inline constexpr uint32_t Load = 0x1, EnterFrame = 0x2, Unload = 0x4, MouseMove = 0x8,
                          MouseDown = 0x10, MouseUp = 0x20, KeyDown = 0x40, KeyUp = 0x80,
                          Data = 0x100, Initialize = 0x200, Press = 0x400, Release = 0x800,
                          ReleaseOutside = 0x1000, RollOver = 0x2000, RollOut = 0x4000,
                          DragOver = 0x8000, DragOut = 0x10000, KeyPress = 0x20000,
                          Construct = 0x40000;
}

struct ClipActionRecord {
    uint32_t events = 0;
    uint8_t keyCode = 0; // when events has KeyPress
    std::span<const uint8_t> actions;
};

struct ClipActions {
    uint32_t allEvents = 0; // a mask: events outside it never run
    std::vector<ClipActionRecord> records;
};

struct PlaceObject {
    int version = 1; // 1 PlaceObject, 2 PlaceObject2, 3 PlaceObject3
    uint16_t depth = 0;
    bool move = false; // modify the object at depth (PlaceObject2/3)
    std::optional<uint16_t> characterId;
    std::optional<Matrix> matrix;
    std::optional<ColorTransform> colorTransform;
    std::optional<uint16_t> ratio;
    std::optional<std::string> name;
    std::optional<uint16_t> clipDepth;
    // PlaceObject3
    std::optional<std::string> className;
    bool hasImage = false;
    std::optional<std::vector<Filter>> filters;
    std::optional<uint8_t> blendMode; // raw BlendMode byte
    std::optional<bool> cacheAsBitmap;
    std::optional<bool> visible;
    std::optional<Rgba> backgroundColor;
    std::optional<ClipActions> clipActions;
};

// PlaceObject, PlaceObject2 or PlaceObject3 (by tag code).
Result<PlaceObject> readPlaceObject(const Tag& tag, int swfVersion);

struct RemoveObject {
    uint16_t depth = 0;
    std::optional<uint16_t> characterId; // RemoveObject (version 1) only
};
// RemoveObject or RemoveObject2.
Result<RemoveObject> readRemoveObject(const Tag& tag);

// ---------------------------------------------------------------------------
// Timeline control

struct DoInitAction {
    uint16_t spriteId = 0;
    std::span<const uint8_t> actions;
};
// DoAction's body is the action bytes themselves.
Result<DoInitAction> readDoInitAction(const Tag& tag);

struct FrameLabel {
    std::string name;
    bool anchor = false;
};
Result<FrameLabel> readFrameLabel(const Tag& tag, int swfVersion);

Result<Rgba> readSetBackgroundColor(const Tag& tag);

struct Sprite {
    uint16_t id = 0;
    uint16_t frameCount = 0; // as declared; count ShowFrame tags instead
    std::span<const uint8_t> tags;
};
Result<Sprite> readDefineSprite(const Tag& tag);

struct Scene {
    uint32_t frameOffset = 0; // 0-based
    std::string name;
};
struct SceneFrameLabel {
    uint32_t frame = 0; // 0-based
    std::string name;
};
struct SceneAndFrameLabels {
    std::vector<Scene> scenes;
    std::vector<SceneFrameLabel> labels;
};
Result<SceneAndFrameLabels> readDefineSceneAndFrameLabelData(const Tag& tag);

// ---------------------------------------------------------------------------
// Shapes and morph shapes

struct ShapeDefinition {
    uint16_t id = 0;
    int version = 1; // 1..4
    Shape shape;
};
// DefineShape, DefineShape2, DefineShape3 or DefineShape4.
Result<ShapeDefinition> readDefineShape(const Tag& tag);

struct MorphShapeDefinition {
    uint16_t id = 0;
    int version = 1;                          // 1 or 2
    RectTwips startEdgeBounds, endEdgeBounds; // version 2
    bool usesNonScalingStrokes = false, usesScalingStrokes = false;
    MorphShape morph;
};
// DefineMorphShape or DefineMorphShape2.
Result<MorphShapeDefinition> readDefineMorphShape(const Tag& tag);

struct ScalingGrid {
    uint16_t characterId = 0;
    RectTwips splitter;
};
Result<ScalingGrid> readDefineScalingGrid(const Tag& tag);

// ---------------------------------------------------------------------------
// Buttons

namespace ButtonState {
inline constexpr uint8_t Up = 0x1, Over = 0x2, Down = 0x4, HitTest = 0x8;
}

// Condition bits of a button action (bits 9-15 hold a key code).
namespace ButtonCondition {
inline constexpr uint16_t IdleToOverUp = 0x1, OverUpToIdle = 0x2, OverUpToOverDown = 0x4,
                          OverDownToOverUp = 0x8, OverDownToOutDown = 0x10,
                          OutDownToOverDown = 0x20, OutDownToIdle = 0x40, IdleToOverDown = 0x80,
                          OverDownToIdle = 0x100;
}

struct ButtonRecord {
    uint8_t states = 0; // ButtonState bits
    uint16_t characterId = 0;
    uint16_t depth = 0;
    Matrix matrix;
    ColorTransform colorTransform; // DefineButton2 only
    std::vector<Filter> filters;
    uint8_t blendMode = 0;
};

struct ButtonAction {
    uint16_t conditions = 0; // ButtonCondition bits | keyCode << 9
    std::span<const uint8_t> actions;
    uint8_t keyCode() const { return uint8_t(conditions >> 9); }
};

struct Button {
    uint16_t id = 0;
    int version = 1; // 1 DefineButton, 2 DefineButton2
    bool trackAsMenu = false;
    std::vector<ButtonRecord> records;
    // DefineButton's single action list appears as one OverDownToOverUp action.
    std::vector<ButtonAction> actions;
};
// DefineButton or DefineButton2.
Result<Button> readDefineButton(const Tag& tag);

struct ButtonCxform {
    uint16_t buttonId = 0;
    ColorTransform colorTransform;
};
Result<ButtonCxform> readDefineButtonCxform(const Tag& tag);

// ---------------------------------------------------------------------------
// Sound

struct SoundFormat {
    uint8_t format = 0;   // 0 raw native, 1 ADPCM, 2 MP3, 3 raw LE, 4-6 Nellymoser, 11 Speex ...
    uint8_t rateCode = 0; // 0 5512.5 Hz, 1 11025, 2 22050, 3 44100
    bool is16Bit = false;
    bool stereo = false;
    double sampleRate() const;
};

struct SoundEnvelopePoint {
    uint32_t position44 = 0;      // in 44.1 kHz samples
    uint16_t left = 0, right = 0; // 0..32768
};

struct SoundInfo {
    bool syncStop = false, syncNoMultiple = false;
    std::optional<uint32_t> inPoint, outPoint;
    std::optional<uint16_t> loopCount;
    std::vector<SoundEnvelopePoint> envelope;
};

struct SoundDefinition {
    uint16_t id = 0;
    SoundFormat format;
    uint32_t sampleCount = 0; // per channel
    std::span<const uint8_t> data;
};
Result<SoundDefinition> readDefineSound(const Tag& tag);

struct StartSound {
    uint16_t soundId = 0;  // StartSound
    std::string className; // StartSound2
    SoundInfo info;
};
// StartSound or StartSound2.
Result<StartSound> readStartSound(const Tag& tag, int swfVersion);

struct ButtonSound {
    uint16_t buttonId = 0;
    struct Entry {
        uint16_t soundId = 0; // 0 = none
        SoundInfo info;
    };
    // OverUpToIdle, IdleToOverUp, OverUpToOverDown, OverDownToOverUp.
    std::array<Entry, 4> sounds;
};
Result<ButtonSound> readDefineButtonSound(const Tag& tag);

struct SoundStreamHead {
    SoundFormat playback;
    SoundFormat stream;
    uint16_t sampleCount = 0; // average samples per frame
    int16_t latencySeek = 0;  // MP3 only
};
// SoundStreamHead or SoundStreamHead2. SoundStreamBlock's body is the raw data.
Result<SoundStreamHead> readSoundStreamHead(const Tag& tag);

// ---------------------------------------------------------------------------
// Bitmaps (decoding is done elsewhere)

struct JpegBitmap {
    uint16_t id = 0;
    int version = 1; // 1 DefineBits (needs JPEGTables), 2, 3, 4 DefineBitsJPEG2/3/4
    std::span<const uint8_t> imageData; // JPEG, PNG or GIF bytes as stored
    std::span<const uint8_t> alphaData; // zlib alpha plane (3 and 4)
    double deblock = 0;                 // 4 only
};
// DefineBits, DefineBitsJPEG2, 3 or 4. JPEGTables' body is the table bytes.
Result<JpegBitmap> readDefineBitsJpeg(const Tag& tag);

struct LosslessBitmap {
    uint16_t id = 0;
    bool hasAlpha = false; // DefineBitsLossless2
    uint8_t format = 0;    // 3 palette, 4 15-bit, 5 32-bit
    uint16_t width = 0, height = 0;
    uint16_t colorTableSize = 0; // palette entries (stored byte + 1), format 3 only
    std::span<const uint8_t> zlibData;
};
// DefineBitsLossless or DefineBitsLossless2.
Result<LosslessBitmap> readDefineBitsLossless(const Tag& tag);

// ---------------------------------------------------------------------------
// Fonts and text

// DefineFont, DefineFont2 or DefineFont3.
Result<Font> readDefineFont(const Tag& tag, int swfVersion);

struct FontInfo {
    uint16_t fontId = 0;
    int version = 1; // 1 DefineFontInfo, 2 DefineFontInfo2
    std::string name;
    bool smallText = false, shiftJis = false, ansi = false, italic = false, bold = false;
    uint8_t languageCode = 0;
    std::vector<uint16_t> codes;
};
// DefineFontInfo or DefineFontInfo2.
Result<FontInfo> readDefineFontInfo(const Tag& tag, int swfVersion);
// Applies the name, style flags and code table of an info tag to its font.
void applyFontInfo(Font& font, const FontInfo& info);

struct FontName {
    uint16_t fontId = 0;
    std::string name, copyright;
};
Result<FontName> readDefineFontName(const Tag& tag);

// DefineText or DefineText2.
Result<StaticText> readDefineText(const Tag& tag);
Result<EditText> readDefineEditText(const Tag& tag, int swfVersion);

// ---------------------------------------------------------------------------
// Video

struct VideoStream {
    uint16_t id = 0;
    uint16_t frameCount = 0;
    uint16_t width = 0, height = 0;
    uint8_t deblocking = 0;
    bool smoothing = false;
    uint8_t codec = 0; // 2 H.263, 3 screen video, 4 VP6, 5 VP6 with alpha
};
Result<VideoStream> readDefineVideoStream(const Tag& tag);

struct VideoFrame {
    uint16_t streamId = 0;
    uint16_t frameNumber = 0;
    std::span<const uint8_t> data;
};
Result<VideoFrame> readVideoFrame(const Tag& tag);

// ---------------------------------------------------------------------------
// Assets and movie attributes

struct AssetEntry {
    uint16_t id = 0;
    std::string name;
};
Result<std::vector<AssetEntry>> readExportAssets(const Tag& tag, int swfVersion);

struct ImportAssets {
    std::string url;
    std::vector<AssetEntry> assets;
};
// ImportAssets or ImportAssets2.
Result<ImportAssets> readImportAssets(const Tag& tag, int swfVersion);

namespace FileAttribute {
inline constexpr uint32_t UseNetwork = 0x1, RelativeUrls = 0x2, SuppressCrossDomainCache = 0x4,
                          ActionScript3 = 0x8, HasMetadata = 0x10, UseGpu = 0x20,
                          UseDirectBlit = 0x40;
}
Result<uint32_t> readFileAttributes(const Tag& tag);

struct ScriptLimits {
    uint16_t maxRecursionDepth = 256;
    uint16_t timeoutSeconds = 15;
};
Result<ScriptLimits> readScriptLimits(const Tag& tag);

struct TabIndex {
    uint16_t depth = 0;
    uint16_t tabIndex = 0;
};
Result<TabIndex> readSetTabIndex(const Tag& tag);

// Metadata: the XMP text.
Result<std::string> readMetadata(const Tag& tag);

// ---------------------------------------------------------------------------
// Checking

// Result of parsing one tag with the reader that belongs to its code.
struct TagCheck {
    bool parsed = false; // a reader exists for this code (else the tag is skipped)
    std::string error;   // empty when the reader succeeded
    size_t consumed = 0; // bytes the reader used
    bool exact() const { return error.empty(); }
};
// Parses a tag, including the action bytes it carries, and reports whether
// it ends exactly at its declared length. Used by tools and fuzzing.
TagCheck checkTag(const Tag& tag, int swfVersion);

// ---------------------------------------------------------------------------
// Actions

struct ActionRecord {
    uint8_t code = 0;
    std::span<const uint8_t> payload; // operand bytes (codes >= 0x80)
    size_t offset = 0;                // of the code byte
    size_t next = 0;                  // offset of the following record
};
// Decodes the record at offset; fails when it runs past the end of code.
Result<ActionRecord> readAction(std::span<const uint8_t> code, size_t offset);

struct PushValue {
    PushType type = PushType::Undefined;
    std::string string;   // String (raw bytes of the file)
    double number = 0;    // Float, Double, Integer
    bool boolean = false; // Boolean
    uint16_t index = 0;   // Register, Constant8, Constant16
};
// The values of a Push payload.
Result<std::vector<PushValue>> readPushValues(std::span<const uint8_t> payload);

// One record per line: offset, mnemonic and decoded operands. Branch
// targets are printed as absolute offsets. Stops at the first malformed record.
std::string disassemble(std::span<const uint8_t> code, int swfVersion);

} // namespace zf::swf
