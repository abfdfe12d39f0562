#include "swf_writer_p.h"

#include <lzma.h>
#include <zlib.h>

#include <map>
#include <stdexcept>

namespace zf::test {

using swf::TagCode;

Bytes zlibCompress(const Bytes& data)
{
    uLongf size = compressBound(uLong(data.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, data.data(), uLong(data.size()), 6) != Z_OK)
        throw std::runtime_error("zlib compression failed");
    out.resize(size);
    return out;
}

Bytes lzmaCompress(const Bytes& data)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 1);
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&stream, &options) != LZMA_OK)
        throw std::runtime_error("LZMA encoder failed");
    Bytes out(data.size() + data.size() / 2 + 1024);
    stream.next_in = data.data();
    stream.avail_in = data.size();
    stream.next_out = out.data();
    stream.avail_out = out.size();
    lzma_ret status = lzma_code(&stream, LZMA_FINISH);
    size_t used = out.size() - stream.avail_out;
    lzma_end(&stream);
    if (status != LZMA_STREAM_END)
        throw std::runtime_error("LZMA compression failed");
    out.resize(used);
    // Drop the 8-byte length of the .lzma header: SWF keeps only the properties.
    out.erase(out.begin() + 5, out.begin() + 13);
    return out;
}

SwfBuilder& SwfBuilder::frameRate(double fps)
{
    m_frameRate = fps;
    return *this;
}

SwfBuilder& SwfBuilder::stageSize(double widthPixels, double heightPixels)
{
    m_frameRect = {0, int32_t(widthPixels * 20), 0, int32_t(heightPixels * 20)};
    return *this;
}

SwfBuilder& SwfBuilder::frameRect(const RectTwips& rect)
{
    m_frameRect = rect;
    return *this;
}

SwfBuilder& SwfBuilder::frameCount(uint16_t count)
{
    m_frameCount = count;
    return *this;
}

SwfBuilder& SwfBuilder::declaredLength(uint32_t length)
{
    m_declaredLength = length;
    return *this;
}

SwfBuilder& SwfBuilder::omitEnd(bool omit)
{
    m_omitEnd = omit;
    return *this;
}

SwfBuilder& SwfBuilder::tag(uint16_t code, const Bytes& body, bool longForm)
{
    Writer w;
    if (body.size() < 0x3F && !longForm) {
        w.u16(uint32_t(code) << 6 | uint32_t(body.size()));
    } else {
        w.u16(uint32_t(code) << 6 | 0x3F);
        w.u32(uint32_t(body.size()));
    }
    w.bytes(body);
    m_tags.insert(m_tags.end(), w.out.begin(), w.out.end());
    return *this;
}

SwfBuilder& SwfBuilder::rawBytes(const Bytes& bytes)
{
    m_tags.insert(m_tags.end(), bytes.begin(), bytes.end());
    return *this;
}

SwfBuilder& SwfBuilder::showFrame()
{
    ++m_showFrames;
    return tag(TagCode::ShowFrame, {});
}

SwfBuilder& SwfBuilder::end()
{
    return tag(TagCode::End, {});
}

SwfBuilder& SwfBuilder::backgroundColor(Rgba color)
{
    return tag(TagCode::SetBackgroundColor, {color.r, color.g, color.b});
}

SwfBuilder& SwfBuilder::fileAttributes(uint32_t flags)
{
    Writer w;
    w.u32(flags);
    return tag(TagCode::FileAttributes, w.out);
}

SwfBuilder& SwfBuilder::frameLabel(const std::string& name, bool anchor)
{
    Writer w;
    w.string(name);
    if (anchor)
        w.u8(1);
    return tag(TagCode::FrameLabel, w.out);
}

SwfBuilder& SwfBuilder::doAction(const Actions& actions)
{
    return doAction(actions.bytes());
}

SwfBuilder& SwfBuilder::doAction(const Bytes& actionBytes)
{
    return tag(TagCode::DoAction, actionBytes);
}

SwfBuilder& SwfBuilder::doInitAction(uint16_t spriteId, const Actions& actions)
{
    Writer w;
    w.u16(spriteId);
    w.bytes(actions.bytes());
    return tag(TagCode::DoInitAction, w.out);
}

SwfBuilder& SwfBuilder::placeObject(const swf::PlaceObject& p)
{
    Writer w;
    if (p.version == 1) {
        w.u16(p.characterId.value_or(0));
        w.u16(p.depth);
        writeMatrix(w.out, p.matrix.value_or(Matrix{}));
        if (p.colorTransform)
            writeColorTransform(w.out, *p.colorTransform, false);
        return tag(TagCode::PlaceObject, w.out);
    }
    uint8_t flags = uint8_t(bool(p.clipActions) << 7 | bool(p.clipDepth) << 6 | bool(p.name) << 5 |
                            bool(p.ratio) << 4 | bool(p.colorTransform) << 3 | bool(p.matrix) << 2 |
                            bool(p.characterId) << 1 | p.move);
    w.u8(flags);
    if (p.version == 3)
        w.u8(uint8_t(bool(p.backgroundColor) << 6 | bool(p.visible) << 5 | p.hasImage << 4 |
                     bool(p.className) << 3 | bool(p.cacheAsBitmap) << 2 | bool(p.blendMode) << 1 |
                     bool(p.filters)));
    w.u16(p.depth);
    if (p.version == 3 && p.className)
        w.string(*p.className);
    if (p.characterId)
        w.u16(*p.characterId);
    if (p.matrix)
        writeMatrix(w.out, *p.matrix);
    if (p.colorTransform)
        writeColorTransform(w.out, *p.colorTransform, true);
    if (p.ratio)
        w.u16(*p.ratio);
    if (p.name)
        w.string(*p.name);
    if (p.clipDepth)
        w.u16(*p.clipDepth);
    if (p.version == 3) {
        if (p.filters)
            writeFilters(w, *p.filters);
        if (p.blendMode)
            w.u8(*p.blendMode);
        if (p.cacheAsBitmap)
            w.u8(*p.cacheAsBitmap);
        if (p.visible)
            w.u8(*p.visible);
        if (p.backgroundColor)
            w.rgba(*p.backgroundColor);
    }
    if (p.clipActions) {
        auto events = [&](uint32_t value) {
            if (m_version >= 6)
                w.u32(value);
            else
                w.u16(value);
        };
        w.u16(0);
        events(p.clipActions->allEvents);
        for (const swf::ClipActionRecord& r : p.clipActions->records) {
            events(r.events);
            bool key = r.events & swf::ClipEvent::KeyPress;
            w.u32(uint32_t(r.actions.size() + key));
            if (key)
                w.u8(r.keyCode);
            w.out.insert(w.out.end(), r.actions.begin(), r.actions.end());
        }
        events(0);
    }
    return tag(p.version == 3 ? TagCode::PlaceObject3 : TagCode::PlaceObject2, w.out);
}

SwfBuilder& SwfBuilder::place(uint16_t characterId, uint16_t depth, const Matrix& matrix)
{
    swf::PlaceObject p;
    p.version = 2;
    p.characterId = characterId;
    p.depth = depth;
    p.matrix = matrix;
    return placeObject(p);
}

SwfBuilder& SwfBuilder::removeObject(uint16_t depth, std::optional<uint16_t> characterId)
{
    Writer w;
    if (characterId)
        w.u16(*characterId);
    w.u16(depth);
    return tag(characterId ? TagCode::RemoveObject : TagCode::RemoveObject2, w.out);
}

SwfBuilder& SwfBuilder::exportAssets(const std::vector<swf::AssetEntry>& assets)
{
    Writer w;
    w.u16(uint16_t(assets.size()));
    for (const swf::AssetEntry& a : assets) {
        w.u16(a.id);
        w.string(a.name);
    }
    return tag(TagCode::ExportAssets, w.out);
}

SwfBuilder& SwfBuilder::defineShape(uint16_t id, const ShapeBuilder& shape)
{
    static constexpr TagCode kCodes[] = {TagCode::DefineShape, TagCode::DefineShape2,
                                         TagCode::DefineShape3, TagCode::DefineShape4};
    return tag(kCodes[std::clamp(shape.version(), 1, 4) - 1], shape.defineShapeBody(id));
}

SwfBuilder& SwfBuilder::defineMorphShape(uint16_t id, const MorphSpec& m)
{
    int styleVersion = m.version == 2 ? 4 : 3;
    Writer w;
    w.u16(id);
    writeRect(w.out, m.start.computedBounds());
    writeRect(w.out, m.end.computedBounds());
    if (m.version == 2) {
        writeRect(w.out, m.start.computedBounds());
        writeRect(w.out, m.end.computedBounds());
        w.u8(0);
    }
    Writer styles;
    writeStyleCount(styles, m.startFills.size());
    for (size_t i = 0; i < m.startFills.size(); ++i)
        writeFillStyle(styles, styleVersion, m.startFills[i], &m.endFills.at(i));
    writeStyleCount(styles, m.startLines.size());
    for (size_t i = 0; i < m.startLines.size(); ++i)
        writeLineStyle(styles, styleVersion, m.startLines[i], &m.endLines.at(i));
    styles.bytes(m.start.body(false, m.startFills.size(), m.startLines.size()));
    w.u32(uint32_t(styles.out.size())); // offset to the end edges
    w.bytes(styles.out);
    w.bytes(m.end.body(false, 0, 0));
    return tag(m.version == 2 ? TagCode::DefineMorphShape2 : TagCode::DefineMorphShape, w.out);
}

SwfBuilder& SwfBuilder::defineSprite(uint16_t id, const SwfBuilder& content,
                                     std::optional<uint16_t> frameCount)
{
    Writer w;
    w.u16(id);
    w.u16(frameCount.value_or(content.m_showFrames));
    w.bytes(content.tagBytes());
    return tag(TagCode::DefineSprite, w.out, true);
}

} // namespace zf::test
