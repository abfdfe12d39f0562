#include "movie/movie.h"

#include "image/image.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace zf::movie {

namespace {

// A definition with more warnings than this stops collecting them: a hostile
// file of a million broken tags must not grow the list without bound.
constexpr size_t kMaxWarnings = 1000;

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return out;
}

std::atomic<uint64_t> g_nextTimelineId{1};

using CharacterData =
    std::variant<swf::Shape, swf::MorphShape, BitmapData, swf::Font, swf::StaticText, swf::EditText,
                 SpriteDefinition, ButtonDefinition, swf::SoundDefinition, swf::VideoStream>;

struct Character {
    CharacterKind kind;
    CharacterData data;
};

} // namespace

std::optional<int> Timeline::frameOfLabel(std::string_view label) const
{
    auto it = m_labelIndex.find(lowerAscii(label));
    if (it == m_labelIndex.end())
        return std::nullopt;
    return it->second;
}

class DefinitionBitmapSource : public raster::BitmapSource {
public:
    explicit DefinitionBitmapSource(const MovieDefinition& movie) : m_movie(movie) {}
    const raster::Bitmap* bitmap(uint16_t id) const override { return m_movie.bitmap(id); }

private:
    const MovieDefinition& m_movie;
};

struct MovieDefinition::Data {
    explicit Data(const MovieDefinition& owner) : bitmapSource(owner) {}

    swf::SwfFile file;
    Timeline root;
    std::vector<Scene> scenes;
    std::vector<std::string> warnings;
    std::optional<swf::ScriptLimits> limits;
    std::optional<Rgba> background;
    std::unordered_map<uint16_t, std::unique_ptr<Character>> dictionary;
    std::span<const uint8_t> jpegTables;
    std::vector<swf::AssetEntry> exports;
    std::unordered_map<std::string, uint16_t> exportIndex;

    mutable std::mutex bitmapMutex;
    mutable std::unordered_map<uint16_t, std::unique_ptr<raster::Bitmap>> decodedBitmaps;
    mutable std::vector<std::string> bitmapProblems;
    DefinitionBitmapSource bitmapSource;

    void warn(std::string message)
    {
        if (warnings.size() < kMaxWarnings)
            warnings.push_back(std::move(message));
    }
};

// Splits a tag stream into frames and fills the dictionary with the
// character tags it meets (root stream only).
class TimelineBuilder {
public:
    TimelineBuilder(MovieDefinition::Data& data, int version) : m_data(data), m_version(version) {}

    Timeline build(std::span<const uint8_t> bytes, size_t offset, int declaredFrames, bool isRoot);

private:
    void controlTag(const swf::Tag& tag, Frame& frame, Timeline& timeline, int frameNumber);
    void definitionTag(const swf::Tag& tag);
    void addCharacter(uint16_t id, CharacterKind kind, CharacterData data);

    template <class T>
    std::optional<T> check(Result<T> result, const swf::Tag& tag)
    {
        if (result.ok())
            return std::move(result).value();
        m_data.warn(std::string(swf::tagName(tag.code)) + " at " + std::to_string(tag.offset) +
                    ": " + result.message());
        return std::nullopt;
    }

    MovieDefinition::Data& m_data;
    int m_version;
};

Timeline TimelineBuilder::build(std::span<const uint8_t> bytes, size_t offset, int declaredFrames,
                                bool isRoot)
{
    Timeline timeline;
    timeline.m_id = g_nextTimelineId++;
    timeline.m_declaredFrames = declaredFrames;
    swf::TagStream stream(bytes, offset);
    Frame current;
    while (auto tag = stream.next()) {
        auto type = tag->type();
        if (type == swf::TagCode::End)
            break;
        if (type == swf::TagCode::ShowFrame) {
            timeline.m_frames.push_back(std::move(current));
            current = {};
            continue;
        }
        int frameNumber = int(timeline.m_frames.size()) + 1;
        controlTag(*tag, current, timeline, frameNumber);
        if (isRoot)
            definitionTag(*tag);
    }
    if (stream.truncated())
        m_data.warn("tag stream ends inside a tag");
    // Only frames closed by ShowFrame count for looping: a timeline whose
    // second frame is just the tags after its last ShowFrame plays into
    // that frame once and stays there.
    timeline.m_loops = stream.sawEnd() && timeline.m_frames.size() > 1;
    // Tags after the last ShowFrame form one more frame; a timeline with no
    // frame at all still has its first one.
    if (!current.tags.empty() || timeline.m_frames.empty())
        timeline.m_frames.push_back(std::move(current));
    return timeline;
}

void TimelineBuilder::controlTag(const swf::Tag& tag, Frame& frame, Timeline& timeline,
                                 int frameNumber)
{
    using swf::TagCode;
    switch (tag.type()) {
    case TagCode::PlaceObject:
    case TagCode::PlaceObject2:
    case TagCode::PlaceObject3:
        if (auto place = check(swf::readPlaceObject(tag, m_version), tag))
            frame.tags.push_back(PlaceTag{std::move(*place)});
        break;
    case TagCode::RemoveObject:
    case TagCode::RemoveObject2:
        if (auto remove = check(swf::readRemoveObject(tag), tag))
            frame.tags.push_back(RemoveTag{remove->depth});
        break;
    case TagCode::DoAction: frame.tags.push_back(ActionTag{tag.body}); break;
    case TagCode::DoInitAction:
        if (auto init = check(swf::readDoInitAction(tag), tag))
            frame.tags.push_back(InitActionTag{init->spriteId, init->actions});
        break;
    case TagCode::FrameLabel:
        if (auto label = check(swf::readFrameLabel(tag, m_version), tag)) {
            timeline.m_labelIndex.try_emplace(lowerAscii(label->name), frameNumber);
            timeline.m_labels.emplace_back(frameNumber, label->name);
        }
        break;
    case TagCode::StartSound:
    case TagCode::StartSound2:
        if (auto sound = check(swf::readStartSound(tag, m_version), tag))
            frame.tags.push_back(StartSoundTag{std::move(*sound)});
        break;
    case TagCode::SoundStreamHead:
    case TagCode::SoundStreamHead2:
        if (auto head = check(swf::readSoundStreamHead(tag), tag))
            frame.tags.push_back(StreamHeadTag{*head});
        break;
    case TagCode::SoundStreamBlock: frame.tags.push_back(StreamBlockTag{tag.body}); break;
    case TagCode::SetBackgroundColor:
        if (auto color = check(swf::readSetBackgroundColor(tag), tag)) {
            frame.tags.push_back(BackgroundTag{*color});
            if (!m_data.background)
                m_data.background = *color;
        }
        break;
    default: break;
    }
}

void TimelineBuilder::addCharacter(uint16_t id, CharacterKind kind, CharacterData data)
{
    // The first definition of an id wins, as later ones are usually junk.
    if (m_data.dictionary.contains(id)) {
        m_data.warn("character " + std::to_string(id) + " defined twice");
        return;
    }
    m_data.dictionary.emplace(id, std::make_unique<Character>(Character{kind, std::move(data)}));
}

void TimelineBuilder::definitionTag(const swf::Tag& tag)
{
    using swf::TagCode;
    switch (tag.type()) {
    case TagCode::DefineShape:
    case TagCode::DefineShape2:
    case TagCode::DefineShape3:
    case TagCode::DefineShape4:
        if (auto shape = check(swf::readDefineShape(tag), tag))
            addCharacter(shape->id, CharacterKind::Shape, std::move(shape->shape));
        break;
    case TagCode::DefineMorphShape:
    case TagCode::DefineMorphShape2:
        if (auto morph = check(swf::readDefineMorphShape(tag), tag))
            addCharacter(morph->id, CharacterKind::MorphShape, std::move(morph->morph));
        break;
    case TagCode::DefineBits:
    case TagCode::DefineBitsJPEG2:
    case TagCode::DefineBitsJPEG3:
    case TagCode::DefineBitsJPEG4:
        if (auto jpeg = check(swf::readDefineBitsJpeg(tag), tag)) {
            uint16_t id = jpeg->id;
            addCharacter(id, CharacterKind::Bitmap, BitmapData{std::move(*jpeg), std::nullopt});
        }
        break;
    case TagCode::JPEGTables: m_data.jpegTables = tag.body; break;
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsLossless2:
        if (auto lossless = check(swf::readDefineBitsLossless(tag), tag)) {
            uint16_t id = lossless->id;
            addCharacter(id, CharacterKind::Bitmap, BitmapData{std::nullopt, *lossless});
        }
        break;
    case TagCode::DefineFont:
    case TagCode::DefineFont2:
    case TagCode::DefineFont3:
        if (auto font = check(swf::readDefineFont(tag, m_version), tag)) {
            uint16_t id = font->id;
            addCharacter(id, CharacterKind::Font, std::move(*font));
        }
        break;
    case TagCode::DefineFontInfo:
    case TagCode::DefineFontInfo2:
        if (auto info = check(swf::readDefineFontInfo(tag, m_version), tag)) {
            auto it = m_data.dictionary.find(info->fontId);
            if (it != m_data.dictionary.end() && it->second->kind == CharacterKind::Font)
                swf::applyFontInfo(std::get<swf::Font>(it->second->data), *info);
        }
        break;
    case TagCode::DefineText:
    case TagCode::DefineText2:
        if (auto text = check(swf::readDefineText(tag), tag)) {
            uint16_t id = text->id;
            addCharacter(id, CharacterKind::StaticText, std::move(*text));
        }
        break;
    case TagCode::DefineEditText:
        if (auto text = check(swf::readDefineEditText(tag, m_version), tag)) {
            uint16_t id = text->id;
            addCharacter(id, CharacterKind::EditText, std::move(*text));
        }
        break;
    case TagCode::DefineSprite:
        if (auto sprite = check(swf::readDefineSprite(tag), tag)) {
            SpriteDefinition definition;
            definition.id = sprite->id;
            definition.timeline = build(sprite->tags, 0, sprite->frameCount, false);
            addCharacter(sprite->id, CharacterKind::Sprite, std::move(definition));
        }
        break;
    case TagCode::DefineButton:
    case TagCode::DefineButton2:
        if (auto button = check(swf::readDefineButton(tag), tag)) {
            uint16_t id = button->id;
            addCharacter(id, CharacterKind::Button, ButtonDefinition{std::move(*button), {}, {}});
        }
        break;
    case TagCode::DefineButtonCxform:
        if (auto cxform = check(swf::readDefineButtonCxform(tag), tag)) {
            auto it = m_data.dictionary.find(cxform->buttonId);
            if (it != m_data.dictionary.end() && it->second->kind == CharacterKind::Button)
                std::get<ButtonDefinition>(it->second->data).cxform = cxform->colorTransform;
        }
        break;
    case TagCode::DefineButtonSound:
        if (auto sounds = check(swf::readDefineButtonSound(tag), tag)) {
            auto it = m_data.dictionary.find(sounds->buttonId);
            if (it != m_data.dictionary.end() && it->second->kind == CharacterKind::Button)
                std::get<ButtonDefinition>(it->second->data).sounds = *sounds;
        }
        break;
    case TagCode::DefineSound:
        if (auto sound = check(swf::readDefineSound(tag), tag))
            addCharacter(sound->id, CharacterKind::Sound, *sound);
        break;
    case TagCode::DefineVideoStream:
        if (auto video = check(swf::readDefineVideoStream(tag), tag))
            addCharacter(video->id, CharacterKind::Video, *video);
        break;
    case TagCode::ExportAssets:
        if (auto assets = check(swf::readExportAssets(tag, m_version), tag)) {
            for (auto& asset : *assets) {
                m_data.exportIndex.try_emplace(lowerAscii(asset.name), asset.id);
                m_data.exports.push_back(std::move(asset));
            }
        }
        break;
    case TagCode::ImportAssets:
    case TagCode::ImportAssets2: m_data.warn("ImportAssets is not supported"); break;
    case TagCode::ScriptLimits:
        if (auto limits = check(swf::readScriptLimits(tag), tag))
            m_data.limits = *limits;
        break;
    case TagCode::DefineSceneAndFrameLabelData:
        if (auto scenes = check(swf::readDefineSceneAndFrameLabelData(tag), tag)) {
            m_data.scenes.clear();
            for (auto& scene : scenes->scenes)
                m_data.scenes.push_back(Scene{int(std::min<uint32_t>(scene.frameOffset, 65535)) + 1,
                                              std::move(scene.name)});
        }
        break;
    default: break;
    }
}

MovieDefinition::MovieDefinition() : m_data(std::make_unique<Data>(*this)) {}
MovieDefinition::~MovieDefinition() = default;

Result<std::shared_ptr<const MovieDefinition>> MovieDefinition::load(const std::string& path)
{
    auto file = swf::loadFile(path);
    if (!file)
        return file.error();
    return fromFile(std::move(file).value());
}

Result<std::shared_ptr<const MovieDefinition>>
MovieDefinition::fromBytes(std::vector<uint8_t> bytes)
{
    auto file = swf::loadBytes(std::move(bytes));
    if (!file)
        return file.error();
    return fromFile(std::move(file).value());
}

Result<std::shared_ptr<const MovieDefinition>> MovieDefinition::fromFile(swf::SwfFile file)
{
    auto movie = std::make_shared<MovieDefinition>();
    Data& data = *movie->m_data;
    data.file = std::move(file);
    if (data.file.avm2) {
        // ActionScript 3 movies keep their header facts only.
        data.root.m_frames.emplace_back();
        return std::shared_ptr<const MovieDefinition>(std::move(movie));
    }
    TimelineBuilder builder(data, data.file.header.version);
    data.root =
        builder.build(data.file.data, data.file.tagsOffset, data.file.header.frameCount, true);
    if (data.scenes.empty())
        data.scenes.push_back(Scene{1, "Scene 1"});
    return std::shared_ptr<const MovieDefinition>(std::move(movie));
}

const swf::SwfHeader& MovieDefinition::header() const
{
    return m_data->file.header;
}
int MovieDefinition::version() const
{
    return m_data->file.header.version;
}
double MovieDefinition::frameRate() const
{
    return m_data->file.header.frameRate;
}
RectTwips MovieDefinition::frameRect() const
{
    return m_data->file.header.frameRect;
}
Rgba MovieDefinition::backgroundColor() const
{
    return m_data->background.value_or(Rgba{255, 255, 255, 255});
}
bool MovieDefinition::avm2() const
{
    return m_data->file.avm2;
}

uint32_t MovieDefinition::fileAttributes() const
{
    swf::TagStream stream(m_data->file.tagBytes());
    while (auto tag = stream.next()) {
        if (tag->type() == swf::TagCode::FileAttributes) {
            auto flags = swf::readFileAttributes(*tag);
            return flags ? *flags : 0;
        }
    }
    return 0;
}
std::optional<swf::ScriptLimits> MovieDefinition::scriptLimits() const
{
    return m_data->limits;
}
const Timeline& MovieDefinition::timeline() const
{
    return m_data->root;
}
const std::vector<Scene>& MovieDefinition::scenes() const
{
    return m_data->scenes;
}
const std::vector<std::string>& MovieDefinition::warnings() const
{
    return m_data->warnings;
}

std::optional<CharacterKind> MovieDefinition::kind(uint16_t id) const
{
    auto it = m_data->dictionary.find(id);
    if (it == m_data->dictionary.end())
        return std::nullopt;
    return it->second->kind;
}

namespace {
template <class T>
const T* lookup(const std::unordered_map<uint16_t, std::unique_ptr<Character>>& dictionary,
                uint16_t id)
{
    auto it = dictionary.find(id);
    if (it == dictionary.end())
        return nullptr;
    return std::get_if<T>(&it->second->data);
}
} // namespace

const swf::Shape* MovieDefinition::shape(uint16_t id) const
{
    return lookup<swf::Shape>(m_data->dictionary, id);
}
const swf::MorphShape* MovieDefinition::morphShape(uint16_t id) const
{
    return lookup<swf::MorphShape>(m_data->dictionary, id);
}
const swf::Font* MovieDefinition::font(uint16_t id) const
{
    return lookup<swf::Font>(m_data->dictionary, id);
}
const swf::StaticText* MovieDefinition::staticText(uint16_t id) const
{
    return lookup<swf::StaticText>(m_data->dictionary, id);
}
const swf::EditText* MovieDefinition::editText(uint16_t id) const
{
    return lookup<swf::EditText>(m_data->dictionary, id);
}
const SpriteDefinition* MovieDefinition::sprite(uint16_t id) const
{
    return lookup<SpriteDefinition>(m_data->dictionary, id);
}
const ButtonDefinition* MovieDefinition::button(uint16_t id) const
{
    return lookup<ButtonDefinition>(m_data->dictionary, id);
}
const swf::SoundDefinition* MovieDefinition::sound(uint16_t id) const
{
    return lookup<swf::SoundDefinition>(m_data->dictionary, id);
}
const swf::VideoStream* MovieDefinition::video(uint16_t id) const
{
    return lookup<swf::VideoStream>(m_data->dictionary, id);
}

namespace {
Result<image::Image> decodeBitmap(const BitmapData& data, std::span<const uint8_t> tables)
{
    if (data.lossless) {
        const auto& b = *data.lossless;
        return image::decodeLossless(b.format, b.width, b.height, b.colorTableSize, b.zlibData,
                                     b.hasAlpha);
    }
    const auto& jpeg = *data.jpeg;
    if (jpeg.version == 1)
        return image::decodeJpeg(jpeg.imageData, tables);
    auto decoded = image::decodeImageData(jpeg.imageData);
    if (decoded.ok() && !jpeg.alphaData.empty() &&
        image::sniffImageFormat(jpeg.imageData) == image::ImageFormat::Jpeg) {
        // A broken alpha plane leaves the picture opaque rather than lost.
        (void)image::applyAlphaPlane(decoded.value(), jpeg.alphaData);
    }
    return decoded;
}
} // namespace

const raster::Bitmap* MovieDefinition::bitmap(uint16_t id) const
{
    const auto* data = lookup<BitmapData>(m_data->dictionary, id);
    if (!data)
        return nullptr;
    std::lock_guard lock(m_data->bitmapMutex);
    auto it = m_data->decodedBitmaps.find(id);
    if (it != m_data->decodedBitmaps.end())
        return it->second.get();
    std::unique_ptr<raster::Bitmap> bitmap;
    auto decoded = decodeBitmap(*data, m_data->jpegTables);
    if (decoded.ok()) {
        bitmap = std::make_unique<raster::Bitmap>();
        bitmap->width = decoded->width;
        bitmap->height = decoded->height;
        bitmap->pixels = std::move(decoded->pixels);
    } else {
        m_data->bitmapProblems.push_back("bitmap " + std::to_string(id) +
                                         " is not drawn: " + decoded.message());
    }
    // Failures are cached too, so a broken bitmap is not decoded every frame.
    return m_data->decodedBitmaps.emplace(id, std::move(bitmap)).first->second.get();
}

std::vector<std::string> MovieDefinition::bitmapProblems() const
{
    std::lock_guard lock(m_data->bitmapMutex);
    return m_data->bitmapProblems;
}

const raster::BitmapSource& MovieDefinition::bitmaps() const
{
    return m_data->bitmapSource;
}

const swf::Font* MovieDefinition::fontByName(std::string_view name, bool bold, bool italic) const
{
    std::string wanted = lowerAscii(name);
    const swf::Font* fallback = nullptr;
    for (const auto& [id, character] : m_data->dictionary) {
        const auto* font = std::get_if<swf::Font>(&character->data);
        if (!font || lowerAscii(font->name) != wanted)
            continue;
        if (font->bold == bold && font->italic == italic)
            return font;
        if (!fallback || font->glyphs.size() > fallback->glyphs.size())
            fallback = font;
    }
    return fallback;
}

std::optional<uint16_t> MovieDefinition::exportedCharacter(std::string_view name) const
{
    auto it = m_data->exportIndex.find(lowerAscii(name));
    if (it == m_data->exportIndex.end())
        return std::nullopt;
    return it->second;
}

const std::vector<swf::AssetEntry>& MovieDefinition::exports() const
{
    return m_data->exports;
}

} // namespace zf::movie
