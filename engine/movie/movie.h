// The movie definition: the immutable result of reading a whole SWF file.
//
// It holds the uncompressed file bytes (every action block and bulk payload
// is a span into them), the dictionary of characters by id, the root
// timeline and one timeline per sprite, split into frames of control tags.
// Bitmaps stay as raw tag data until first drawn, then are decoded once and
// cached. One definition is shared read-only by every stage that plays it
// (std::shared_ptr<const MovieDefinition>).
#pragma once

#include "common/result.h"
#include "raster/raster.h"
#include "swf/swf.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace zf::movie {

// One control tag of a frame, already parsed, in stream order.
struct PlaceTag {
    swf::PlaceObject place;
};
struct RemoveTag {
    uint16_t depth = 0;
};
struct ActionTag {
    std::span<const uint8_t> actions; // DoAction
};
struct InitActionTag {
    uint16_t spriteId = 0;
    std::span<const uint8_t> actions; // DoInitAction
};
struct StartSoundTag {
    swf::StartSound sound;
};
struct StreamHeadTag {
    swf::SoundStreamHead head;
};
struct StreamBlockTag {
    std::span<const uint8_t> data;
};
struct BackgroundTag {
    Rgba color;
};

using FrameTag = std::variant<PlaceTag, RemoveTag, ActionTag, InitActionTag, StartSoundTag,
                              StreamHeadTag, StreamBlockTag, BackgroundTag>;

struct Frame {
    std::vector<FrameTag> tags;
};

// The frames of the root movie or of one sprite.
class Timeline {
public:
    // Frames are 1-based here, as scripts count them.
    int frameCount() const { return int(m_frames.size()); }
    const Frame& frame(int frame) const { return m_frames.at(size_t(frame - 1)); }
    // Whether playing past the last frame starts over (needs an End tag and
    // more than one frame).
    bool loops() const { return m_loops; }
    // Case-insensitive; the first label of that name wins.
    std::optional<int> frameOfLabel(std::string_view label) const;
    // Labels by frame, in stream order.
    const std::vector<std::pair<int, std::string>>& labels() const { return m_labels; }
    int declaredFrameCount() const { return m_declaredFrames; }
    uint64_t id() const { return m_id; } // unique among the timelines of a definition

private:
    friend class TimelineBuilder;
    friend class MovieDefinition;
    std::vector<Frame> m_frames;
    std::vector<std::pair<int, std::string>> m_labels;
    std::unordered_map<std::string, int> m_labelIndex; // lower-cased
    int m_declaredFrames = 0;
    bool m_loops = false;
    uint64_t m_id = 0;
};

struct SpriteDefinition {
    uint16_t id = 0;
    Timeline timeline;
};

struct ButtonDefinition {
    swf::Button button;
    ColorTransform cxform; // DefineButtonCxform, for DefineButton
    std::optional<swf::ButtonSound> sounds;
};

struct BitmapData {
    std::optional<swf::JpegBitmap> jpeg;
    std::optional<swf::LosslessBitmap> lossless;
};

enum class CharacterKind : uint8_t {
    Shape,
    MorphShape,
    Bitmap,
    Font,
    StaticText,
    EditText,
    Sprite,
    Button,
    Sound,
    Video,
};

struct Scene {
    int firstFrame = 1; // 1-based
    std::string name;
};

class TimelineBuilder;

class MovieDefinition {
public:
    // Reads and parses a whole movie. Fails only when the container cannot
    // be read at all; bad tags are skipped and listed in warnings().
    static Result<std::shared_ptr<const MovieDefinition>> load(const std::string& path);
    static Result<std::shared_ptr<const MovieDefinition>> fromBytes(std::vector<uint8_t> bytes);
    static Result<std::shared_ptr<const MovieDefinition>> fromFile(swf::SwfFile file);

    MovieDefinition();
    ~MovieDefinition();
    MovieDefinition(const MovieDefinition&) = delete;
    MovieDefinition& operator=(const MovieDefinition&) = delete;

    const swf::SwfHeader& header() const;
    int version() const;
    double frameRate() const;
    RectTwips frameRect() const;
    Rgba backgroundColor() const; // the first SetBackgroundColor, white when none
    bool avm2() const;
    // The FileAttributes flags (swf::FileAttribute), 0 when the movie has none.
    uint32_t fileAttributes() const;
    std::optional<swf::ScriptLimits> scriptLimits() const;
    const Timeline& timeline() const; // the root timeline
    const std::vector<Scene>& scenes() const;
    const std::vector<std::string>& warnings() const;

    // Dictionary lookups; nullptr when the id names nothing of that kind.
    std::optional<CharacterKind> kind(uint16_t id) const;
    const swf::Shape* shape(uint16_t id) const;
    const swf::MorphShape* morphShape(uint16_t id) const;
    const swf::Font* font(uint16_t id) const;
    const swf::StaticText* staticText(uint16_t id) const;
    const swf::EditText* editText(uint16_t id) const;
    const SpriteDefinition* sprite(uint16_t id) const;
    const ButtonDefinition* button(uint16_t id) const;
    const swf::SoundDefinition* sound(uint16_t id) const;
    const swf::VideoStream* video(uint16_t id) const;
    // Decoded on first use (thread-safe), then cached; nullptr when the id
    // names no bitmap or it cannot be decoded.
    const raster::Bitmap* bitmap(uint16_t id) const;
    // Why bitmaps could not be decoded, one line per bitmap, in the order
    // they were first asked for (thread-safe).
    std::vector<std::string> bitmapProblems() const;
    // Resolves bitmap fills for the renderer.
    const raster::BitmapSource& bitmaps() const;
    // Fonts by name (case-insensitive), for text fields naming a font.
    const swf::Font* fontByName(std::string_view name, bool bold, bool italic) const;

    // ExportAssets: linkage name -> character id (case-insensitive).
    std::optional<uint16_t> exportedCharacter(std::string_view name) const;
    // All exports, in file order.
    const std::vector<swf::AssetEntry>& exports() const;

private:
    friend class TimelineBuilder;
    struct Data;
    std::unique_ptr<Data> m_data;
};

} // namespace zf::movie
