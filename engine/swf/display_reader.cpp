// Display-list and button records: PlaceObject 1-3 with filters and clip
// actions, RemoveObject, DefineButton 1/2 and the button side tags.
#include "swf/records_p.h"

namespace zf::swf {

namespace {

// Reads the flag byte that ends shadow, glow, bevel and gradient filters
// into the filter. Shadows and glows end in a 5-bit pass count; filters that
// have an OnTop field keep 4 bits for it.
template <class Filter>
void readFilterFlags(ByteReader& reader, Filter& filter)
{
    uint8_t byte = reader.u8();
    filter.inner = byte & 0x80;
    filter.knockout = byte & 0x40;
    filter.compositeSource = byte & 0x20;
    if constexpr (requires { filter.onTop; }) {
        filter.onTop = byte & 0x10;
        filter.passes = byte & 0x0F;
    } else {
        filter.passes = byte & 0x1F;
    }
}

GradientGlowFilter readGradientFilter(ByteReader& reader)
{
    GradientGlowFilter filter;
    uint8_t count = reader.u8();
    filter.colors.reserve(cappedCount(reader, count, 5));
    for (int i = 0; i < count && reader.ok(); ++i)
        filter.colors.push_back(reader.rgba());
    for (int i = 0; i < count && reader.ok(); ++i)
        filter.ratios.push_back(reader.u8());
    filter.blurX = reader.fixed16();
    filter.blurY = reader.fixed16();
    filter.angle = reader.fixed16();
    filter.distance = reader.fixed16();
    filter.strength = reader.fixed8();
    readFilterFlags(reader, filter);
    return filter;
}

Filter readFilter(ByteReader& reader)
{
    uint8_t id = reader.u8();
    switch (id) {
    case 0: {
        DropShadowFilter f;
        f.color = reader.rgba();
        f.blurX = reader.fixed16();
        f.blurY = reader.fixed16();
        f.angle = reader.fixed16();
        f.distance = reader.fixed16();
        f.strength = reader.fixed8();
        readFilterFlags(reader, f);
        return f;
    }
    case 1: {
        BlurFilter f;
        f.blurX = reader.fixed16();
        f.blurY = reader.fixed16();
        f.passes = reader.u8() >> 3;
        return f;
    }
    case 2: {
        GlowFilter f;
        f.color = reader.rgba();
        f.blurX = reader.fixed16();
        f.blurY = reader.fixed16();
        f.strength = reader.fixed8();
        readFilterFlags(reader, f);
        return f;
    }
    case 3: {
        BevelFilter f;
        // Files store the highlight colour before the shadow colour.
        f.highlightColor = reader.rgba();
        f.shadowColor = reader.rgba();
        f.blurX = reader.fixed16();
        f.blurY = reader.fixed16();
        f.angle = reader.fixed16();
        f.distance = reader.fixed16();
        f.strength = reader.fixed8();
        readFilterFlags(reader, f);
        return f;
    }
    case 4: return readGradientFilter(reader);
    case 5: {
        ConvolutionFilter f;
        f.matrixX = reader.u8();
        f.matrixY = reader.u8();
        f.divisor = reader.f32();
        f.bias = reader.f32();
        size_t count = size_t(f.matrixX) * f.matrixY;
        f.matrix.reserve(cappedCount(reader, count, 4));
        for (size_t i = 0; i < count && reader.ok(); ++i)
            f.matrix.push_back(reader.f32());
        f.defaultColor = reader.rgba();
        uint8_t flags = reader.u8();
        f.clamp = flags & 0x02;
        f.preserveAlpha = flags & 0x01;
        return f;
    }
    case 6: {
        ColorMatrixFilter f;
        for (float& value : f.matrix)
            value = reader.f32();
        return f;
    }
    case 7: return GradientBevelFilter{readGradientFilter(reader)};
    default: reader.fail("unknown filter id " + std::to_string(id)); return BlurFilter{};
    }
}

ClipActions readClipActions(ByteReader& reader, int swfVersion)
{
    // Event flags are 16 bits wide before SWF 6 and 32 bits from then on.
    auto eventFlags = [&] { return swfVersion >= 6 ? reader.u32() : uint32_t(reader.u16()); };
    ClipActions clip;
    reader.u16(); // reserved
    clip.allEvents = eventFlags();
    while (reader.ok()) {
        uint32_t events = eventFlags();
        if (events == 0)
            break;
        ClipActionRecord record;
        record.events = events;
        uint32_t size = reader.u32();
        if (size > reader.remaining()) {
            reader.fail("clip action size runs past the tag");
            break;
        }
        ByteReader body(reader.bytes(size));
        // The key code is counted in the size; crafted records of size 0
        // simply have none.
        if ((events & ClipEvent::KeyPress) && !body.atEnd())
            record.keyCode = body.u8();
        record.actions = body.rest();
        clip.records.push_back(record);
    }
    return clip;
}

std::vector<ButtonRecord> readButtonRecords(ByteReader& reader, int buttonVersion)
{
    std::vector<ButtonRecord> records;
    while (reader.ok()) {
        uint8_t flags = reader.u8();
        if (flags == 0)
            break;
        ButtonRecord record;
        record.states = flags & 0x0F;
        record.characterId = reader.u16();
        record.depth = reader.u16();
        record.matrix = readMatrix(reader);
        if (buttonVersion == 2) {
            record.colorTransform = readColorTransform(reader, true);
            if (flags & 0x10)
                record.filters = parseFilterList(reader);
            if (flags & 0x20)
                record.blendMode = reader.u8();
        }
        records.push_back(std::move(record));
    }
    return records;
}

} // namespace

std::vector<Filter> parseFilterList(ByteReader& reader)
{
    std::vector<Filter> filters;
    uint8_t count = reader.u8();
    filters.reserve(cappedCount(reader, count, 9));
    for (int i = 0; i < count && reader.ok(); ++i)
        filters.push_back(readFilter(reader));
    return filters;
}

PlaceObject parsePlaceObject(ByteReader& reader, const Tag& tag, int swfVersion)
{
    PlaceObject place;
    if (tag.type() == TagCode::PlaceObject) {
        place.characterId = reader.u16();
        place.depth = reader.u16();
        place.matrix = readMatrix(reader);
        if (reader.ok() && !reader.atEnd())
            place.colorTransform = readColorTransform(reader, false);
        return place;
    }
    place.version = tag.type() == TagCode::PlaceObject2 ? 2 : 3;
    uint8_t flags = reader.u8();
    uint8_t flags2 = place.version == 3 ? reader.u8() : 0;
    place.move = flags & 0x01;
    place.depth = reader.u16();
    // The class name is present only with HasClassName.
    if (flags2 & 0x08)
        place.className = reader.string(swfVersion);
    place.hasImage = flags2 & 0x10;
    if (flags & 0x02)
        place.characterId = reader.u16();
    if (flags & 0x04)
        place.matrix = readMatrix(reader);
    if (flags & 0x08)
        place.colorTransform = readColorTransform(reader, true);
    if (flags & 0x10)
        place.ratio = reader.u16();
    if (flags & 0x20)
        place.name = reader.string(swfVersion);
    if (flags & 0x40)
        place.clipDepth = reader.u16();
    if (flags2 & 0x01)
        place.filters = parseFilterList(reader);
    if (flags2 & 0x02)
        place.blendMode = reader.u8();
    if (flags2 & 0x04)
        place.cacheAsBitmap = reader.u8() != 0;
    if (flags2 & 0x20)
        place.visible = reader.u8() != 0;
    if (flags2 & 0x40)
        place.backgroundColor = reader.rgba();
    if (flags & 0x80)
        place.clipActions = readClipActions(reader, swfVersion);
    return place;
}

Button parseDefineButton(ByteReader& reader, const Tag& tag)
{
    Button button;
    button.id = reader.u16();
    if (tag.type() == TagCode::DefineButton) {
        button.records = readButtonRecords(reader, 1);
        button.actions.push_back({ButtonCondition::OverDownToOverUp, reader.rest()});
        return button;
    }
    button.version = 2;
    button.trackAsMenu = reader.u8() & 0x01;
    // ActionOffset counts from its own first byte; 0 means no actions.
    size_t offsetField = reader.position();
    uint16_t actionOffset = reader.u16();
    button.records = readButtonRecords(reader, 2);
    if (actionOffset == 0 || !reader.ok())
        return button;
    reader.seek(offsetField + actionOffset);
    while (reader.ok() && !reader.atEnd()) {
        size_t start = reader.position();
        uint16_t size = reader.u16();
        uint16_t conditions = reader.u16();
        size_t end = size == 0 ? reader.size() : start + size;
        if (end < reader.position() || end > reader.size()) {
            reader.fail("button action size runs past the tag");
            break;
        }
        button.actions.push_back({conditions, reader.bytes(end - reader.position())});
        if (size == 0)
            break;
    }
    return button;
}

Result<PlaceObject> readPlaceObject(const Tag& tag, int swfVersion)
{
    return readWith<PlaceObject>(
        tag, [&](ByteReader& r) { return parsePlaceObject(r, tag, swfVersion); });
}

Result<RemoveObject> readRemoveObject(const Tag& tag)
{
    return readWith<RemoveObject>(tag, [&](ByteReader& r) {
        RemoveObject remove;
        if (tag.type() == TagCode::RemoveObject)
            remove.characterId = r.u16();
        remove.depth = r.u16();
        return remove;
    });
}

Result<Button> readDefineButton(const Tag& tag)
{
    return readWith<Button>(tag, [&](ByteReader& r) { return parseDefineButton(r, tag); });
}

Result<ButtonCxform> readDefineButtonCxform(const Tag& tag)
{
    return readWith<ButtonCxform>(tag, [&](ByteReader& r) {
        ButtonCxform cxform;
        cxform.buttonId = r.u16();
        cxform.colorTransform = readColorTransform(r, false);
        return cxform;
    });
}

Result<ButtonSound> readDefineButtonSound(const Tag& tag)
{
    return readWith<ButtonSound>(tag, [&](ByteReader& r) {
        ButtonSound sound;
        sound.buttonId = r.u16();
        for (ButtonSound::Entry& entry : sound.sounds) {
            entry.soundId = r.u16();
            if (entry.soundId != 0)
                entry.info = parseSoundInfo(r);
        }
        return sound;
    });
}

} // namespace zf::swf
