// Buttons, bitmaps, fonts, texts, sounds and the finished file.
#include "swf_writer_p.h"

#include <map>
#include <stdexcept>

namespace zf::test {

using swf::TagCode;

SwfBuilder& SwfBuilder::defineButton(const swf::Button& button)
{
    Writer w;
    w.u16(button.id);
    Writer records;
    for (const swf::ButtonRecord& r : button.records) {
        bool v2 = button.version == 2;
        records.u8(uint8_t((v2 && r.blendMode ? 0x20 : 0) | (v2 && !r.filters.empty() ? 0x10 : 0) |
                           (r.states & 0x0F)));
        records.u16(r.characterId);
        records.u16(r.depth);
        writeMatrix(records.out, r.matrix);
        if (v2) {
            writeColorTransform(records.out, r.colorTransform, true);
            if (!r.filters.empty())
                writeFilters(records, r.filters);
            if (r.blendMode)
                records.u8(r.blendMode);
        }
    }
    records.u8(0);
    if (button.version != 2) {
        w.bytes(records.out);
        if (!button.actions.empty())
            w.out.insert(w.out.end(), button.actions[0].actions.begin(),
                         button.actions[0].actions.end());
        return tag(TagCode::DefineButton, w.out);
    }
    w.u8(button.trackAsMenu ? 1 : 0);
    // ActionOffset counts from its own first byte.
    w.u16(button.actions.empty() ? 0 : uint16_t(2 + records.out.size()));
    w.bytes(records.out);
    for (size_t i = 0; i < button.actions.size(); ++i) {
        const swf::ButtonAction& a = button.actions[i];
        bool last = i + 1 == button.actions.size();
        w.u16(last ? 0 : uint16_t(4 + a.actions.size()));
        w.u16(a.conditions);
        w.out.insert(w.out.end(), a.actions.begin(), a.actions.end());
    }
    return tag(TagCode::DefineButton2, w.out);
}

SwfBuilder& SwfBuilder::defineBitsLossless(uint16_t id, int width, int height,
                                           const std::vector<Rgba>& pixels, int format, bool alpha)
{
    if (pixels.size() != size_t(width) * size_t(height))
        throw std::invalid_argument("pixel count does not match the size");
    Writer w;
    w.u16(id);
    w.u8(uint8_t(format));
    w.u16(uint16_t(width));
    w.u16(uint16_t(height));
    Writer data;
    auto premultiply = [&](Rgba c) {
        if (!alpha)
            return Rgba{c.r, c.g, c.b, 255};
        return Rgba{uint8_t(c.r * c.a / 255), uint8_t(c.g * c.a / 255), uint8_t(c.b * c.a / 255),
                    c.a};
    };
    if (format == 3) {
        std::map<uint32_t, uint8_t> index;
        std::vector<Rgba> palette;
        for (Rgba c : pixels) {
            uint32_t key = uint32_t(c.r) | c.g << 8 | c.b << 16 | uint32_t(c.a) << 24;
            if (index.emplace(key, uint8_t(palette.size())).second)
                palette.push_back(c);
        }
        if (palette.empty() || palette.size() > 256)
            throw std::invalid_argument("format 3 needs 1 to 256 colours");
        w.u8(uint8_t(palette.size() - 1));
        for (Rgba c : palette) {
            if (alpha)
                data.rgba(premultiply(c));
            else
                data.rgb(c);
        }
        size_t stride = (size_t(width) + 3) & ~size_t(3); // rows padded to 4 bytes
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                Rgba c = pixels[size_t(y) * width + x];
                data.u8(index[uint32_t(c.r) | c.g << 8 | c.b << 16 | uint32_t(c.a) << 24]);
            }
            for (size_t x = width; x < stride; ++x)
                data.u8(0);
        }
    } else {
        for (Rgba c : pixels) {
            Rgba p = premultiply(c);
            data.u8(alpha ? p.a : 0xFF);
            data.rgb(p);
        }
    }
    w.bytes(zlibCompress(data.out));
    return tag(alpha ? TagCode::DefineBitsLossless2 : TagCode::DefineBitsLossless, w.out, true);
}

SwfBuilder& SwfBuilder::defineBitsJpeg2(uint16_t id, const Bytes& imageData)
{
    Writer w;
    w.u16(id);
    w.bytes(imageData);
    return tag(TagCode::DefineBitsJPEG2, w.out, true);
}

SwfBuilder& SwfBuilder::defineBitsJpeg3(uint16_t id, const Bytes& imageData,
                                        const Bytes& alphaPlane)
{
    Writer w;
    w.u16(id);
    w.u32(uint32_t(imageData.size()));
    w.bytes(imageData);
    w.bytes(zlibCompress(alphaPlane));
    return tag(TagCode::DefineBitsJPEG3, w.out, true);
}

SwfBuilder& SwfBuilder::defineFont(uint16_t id, const FontSpec& font)
{
    Writer w;
    w.u16(id);
    w.u8(uint8_t(font.hasLayout << 7 | font.shiftJis << 6 | font.smallText << 5 | font.ansi << 4 |
                 font.wideOffsets << 3 | font.wideCodes << 2 | font.italic << 1 | font.bold));
    w.u8(font.languageCode);
    w.u8(uint8_t(font.name.size() + 1)); // the stored name keeps its NUL
    w.string(font.name);
    w.u16(uint16_t(font.glyphs.size()));
    if (!font.glyphs.empty()) {
        std::vector<Bytes> shapes;
        for (const ShapeBuilder& glyph : font.glyphs)
            shapes.push_back(glyph.body(false, 1, 0));
        size_t entry = font.wideOffsets ? 4 : 2;
        size_t offset = entry * (shapes.size() + 1);
        auto writeOffset = [&](size_t value) {
            if (font.wideOffsets)
                w.u32(uint32_t(value));
            else
                w.u16(uint16_t(value));
        };
        for (const Bytes& shape : shapes) {
            writeOffset(offset);
            offset += shape.size();
        }
        writeOffset(offset); // the code table follows the glyphs
        for (const Bytes& shape : shapes)
            w.bytes(shape);
        for (size_t i = 0; i < font.glyphs.size(); ++i) {
            uint16_t code = i < font.codes.size() ? font.codes[i] : uint16_t(i);
            if (font.wideCodes)
                w.u16(code);
            else
                w.u8(code);
        }
        if (font.hasLayout) {
            w.u16(font.ascent);
            w.u16(font.descent);
            w.u16(uint16_t(font.leading));
            for (size_t i = 0; i < font.glyphs.size(); ++i)
                w.u16(uint16_t(i < font.advances.size() ? font.advances[i] : 0));
            for (size_t i = 0; i < font.glyphs.size(); ++i)
                writeRect(w.out, {});
            w.u16(uint16_t(font.kerning.size()));
            for (const swf::KerningPair& k : font.kerning) {
                if (font.wideCodes) {
                    w.u16(k.code1);
                    w.u16(k.code2);
                } else {
                    w.u8(k.code1);
                    w.u8(k.code2);
                }
                w.u16(uint16_t(k.adjustment));
            }
        }
    }
    return tag(font.version == 3 ? TagCode::DefineFont3 : TagCode::DefineFont2, w.out, true);
}

SwfBuilder& SwfBuilder::defineText(uint16_t id, int version, const RectTwips& bounds,
                                   const Matrix& matrix,
                                   const std::vector<swf::TextRecord>& records)
{
    int glyphBits = 1, advanceBits = 1;
    for (const swf::TextRecord& r : records) {
        for (const swf::GlyphEntry& g : r.glyphs) {
            glyphBits = std::max(glyphBits, unsignedBits(g.index));
            advanceBits = std::max(advanceBits, signedBits(g.advance));
        }
    }
    Writer w;
    w.u16(id);
    writeRect(w.out, bounds);
    writeMatrix(w.out, matrix);
    w.u8(uint8_t(glyphBits));
    w.u8(uint8_t(advanceBits));
    std::optional<swf::TextRecord> state;
    int32_t penX = 0;
    for (const swf::TextRecord& r : records) {
        bool font = !state || state->fontId != r.fontId || state->height != r.height;
        bool color = !state || state->color != r.color;
        bool x = !state || penX != r.x;
        bool y = !state || state->y != r.y;
        w.u8(uint8_t(0x80 | font << 3 | color << 2 | y << 1 | x));
        if (font)
            w.u16(r.fontId);
        if (color) {
            if (version == 2)
                w.rgba(r.color);
            else
                w.rgb(r.color);
        }
        if (x)
            w.u16(uint16_t(int16_t(r.x)));
        if (y)
            w.u16(uint16_t(int16_t(r.y)));
        if (font)
            w.u16(r.height);
        w.u8(uint8_t(r.glyphs.size()));
        BitWriter bits(w.out);
        penX = r.x;
        for (const swf::GlyphEntry& g : r.glyphs) {
            bits.ub(glyphBits, g.index);
            bits.sb(advanceBits, g.advance);
            penX = int32_t(uint32_t(penX) + uint32_t(g.advance));
        }
        bits.flush();
        state = r;
    }
    w.u8(0);
    return tag(version == 2 ? TagCode::DefineText2 : TagCode::DefineText, w.out, true);
}

SwfBuilder& SwfBuilder::defineEditText(const swf::EditText& e)
{
    bool hasLayout =
        e.align != swf::TextAlign::Left || e.leftMargin || e.rightMargin || e.indent || e.leading;
    bool hasFontClass = !e.fontClass.empty();
    Writer w;
    w.u16(e.id);
    writeRect(w.out, e.bounds);
    w.u8(uint8_t(!e.initialText.empty() << 7 | e.wordWrap << 6 | e.multiline << 5 |
                 e.password << 4 | e.readOnly << 3 | 1 << 2 | bool(e.maxLength) << 1 |
                 bool(e.fontId)));
    w.u8(uint8_t(hasFontClass << 7 | e.autoSize << 6 | hasLayout << 5 | e.noSelect << 4 |
                 e.border << 3 | e.wasStatic << 2 | e.html << 1 | e.useOutlines));
    if (e.fontId)
        w.u16(*e.fontId);
    if (hasFontClass)
        w.string(e.fontClass);
    if (e.fontId || hasFontClass)
        w.u16(e.fontHeight);
    w.rgba(e.textColor);
    if (e.maxLength)
        w.u16(*e.maxLength);
    if (hasLayout) {
        w.u8(uint8_t(e.align));
        w.u16(e.leftMargin);
        w.u16(e.rightMargin);
        w.u16(e.indent);
        w.u16(uint16_t(e.leading));
    }
    w.string(e.variableName);
    if (!e.initialText.empty())
        w.string(e.initialText);
    return tag(TagCode::DefineEditText, w.out);
}

SwfBuilder& SwfBuilder::defineSound(uint16_t id, const swf::SoundFormat& format,
                                    uint32_t sampleCount, const Bytes& data)
{
    Writer w;
    w.u16(id);
    w.u8(uint8_t(format.format << 4 | (format.rateCode & 3) << 2 | format.is16Bit << 1 |
                 format.stereo));
    w.u32(sampleCount);
    w.bytes(data);
    return tag(TagCode::DefineSound, w.out, true);
}

Bytes SwfBuilder::tagBytes() const
{
    Bytes out = m_tags;
    if (!m_omitEnd)
        out.insert(out.end(), {0, 0});
    return out;
}

Bytes SwfBuilder::bytes() const
{
    Writer body;
    writeRect(body.out, m_frameRect);
    uint32_t rate = uint32_t(std::lround(m_frameRate * 256));
    body.u8(rate & 0xFF); // fraction first
    body.u8(rate >> 8);
    body.u16(m_frameCount.value_or(m_showFrames));
    body.bytes(tagBytes());

    Writer file;
    static constexpr const char* kSignatures[] = {"FWS", "CWS", "ZWS"};
    const char* signature = kSignatures[int(m_compression)];
    file.out.insert(file.out.end(), signature, signature + 3);
    file.u8(uint8_t(m_version));
    file.u32(m_declaredLength.value_or(uint32_t(body.out.size() + 8)));
    switch (m_compression) {
    case Compression::None: file.bytes(body.out); break;
    case Compression::Zlib: file.bytes(zlibCompress(body.out)); break;
    case Compression::Lzma: {
        Bytes packed = lzmaCompress(body.out);
        file.u32(uint32_t(packed.size() - 5));
        file.bytes(packed);
        break;
    }
    }
    return file.out;
}

} // namespace zf::test
