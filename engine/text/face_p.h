// One interface over embedded and device fonts for the edit text layout.
#pragma once

#include "text/text.h"

#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace zf::text {

struct FaceGlyph {
    const swf::Shape* shape = nullptr; // nullptr for blank glyphs such as space
    double advance = 0;                // font units
};

class Face {
public:
    virtual ~Face() = default;
    virtual double emSquare() const = 0;
    // Font units, ascent and descent positive.
    virtual double ascent() const = 0;
    virtual double descent() const = 0;
    virtual double leading() const = 0;
    virtual std::optional<FaceGlyph> glyph(char32_t character) = 0;
    virtual double kerning(char32_t left, char32_t right) = 0;
};

class EmbeddedFace final : public Face {
public:
    explicit EmbeddedFace(const swf::Font& font);
    double emSquare() const override { return m_font.emSquare(); }
    double ascent() const override;
    double descent() const override;
    double leading() const override;
    std::optional<FaceGlyph> glyph(char32_t character) override;
    double kerning(char32_t left, char32_t right) override;

private:
    const swf::Font& m_font;
    std::map<std::pair<uint16_t, uint16_t>, int16_t> m_kerning;
};

class DeviceFace final : public Face {
public:
    explicit DeviceFace(DeviceFont& font) : m_font(font) {}
    double emSquare() const override { return 1024.0; }
    double ascent() const override { return m_font.ascent(); }
    double descent() const override { return m_font.descent(); }
    double leading() const override { return m_font.leading(); }
    std::optional<FaceGlyph> glyph(char32_t character) override;
    double kerning(char32_t left, char32_t right) override { return m_font.kerning(left, right); }

private:
    DeviceFont& m_font;
};

} // namespace zf::text
