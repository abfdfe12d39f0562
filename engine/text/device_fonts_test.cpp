#include "text/outline_p.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zf::text {
namespace {

TEST(DeviceFonts, GenericNamesMapToFamilies)
{
    struct Case {
        const char* name;
        const char* family;
    } cases[] = {
        {"_sans", "sans-serif"},     {"_serif", "serif"}, {"_typewriter", "monospace"},
        {"_ゴシック", "sans-serif"}, {"_明朝", "serif"},  {"_等幅", "monospace"},
        {"Arial", "Arial"},          {"", "sans-serif"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(deviceFamilyFor(c.name), c.family) << c.name;
}

TEST(DeviceFonts, FindsUsableFontsForEveryKindOfName)
{
    DeviceFonts fonts;
    for (const char* name : {"_sans", "_serif", "_typewriter", "No Such Family 4711"}) {
        for (bool bold : {false, true}) {
            SCOPED_TRACE(std::string(name) + (bold ? " bold" : ""));
            DeviceFont* font = fonts.find(name, bold, false);
            ASSERT_NE(font, nullptr) << fonts.problem();
            EXPECT_EQ(fonts.find(name, bold, false), font); // cached
            EXPECT_GT(font->ascent(), 0);
            EXPECT_GT(font->descent(), 0);
            const DeviceFont::Glyph* glyph = font->glyph(U'A');
            ASSERT_NE(glyph, nullptr);
            EXPECT_EQ(font->glyph(U'A'), glyph);
            EXPECT_GT(glyph->advance, 100);
            ASSERT_EQ(glyph->shape.groups.size(), 1u);
            EXPECT_GT(glyph->shape.groups[0].edges.size(), 4u);
            // Capitals stand on the baseline and reach up (y points down).
            Bounds box = glyph->shape.computeBounds();
            EXPECT_NEAR(box.yMax, 0, 30);
            EXPECT_LT(box.yMin, -500);
        }
    }
    DeviceFont* mono = fonts.find("_typewriter", false, false);
    ASSERT_NE(mono, nullptr);
    EXPECT_DOUBLE_EQ(mono->glyph(U'i')->advance, mono->glyph(U'W')->advance);
    DeviceFont* sans = fonts.find("_sans", false, false);
    EXPECT_LT(sans->glyph(U'i')->advance, sans->glyph(U'W')->advance);
    EXPECT_EQ(sans->glyph(0x10FFFD), nullptr); // private use: no glyph
}

TEST(DeviceFonts, ShippedFontLoadsDirectly)
{
    DeviceFonts fonts;
    DeviceFont* font = fonts.loadFile(ZF_FALLBACK_FONT);
    ASSERT_NE(font, nullptr) << fonts.problem();
    EXPECT_EQ(font->family(), "DejaVu Sans");
    // The outside of an 'O' is filled on its left side, its counter is not
    // on the same side twice: every edge carries fill style 1 on one side.
    const DeviceFont::Glyph* o = font->glyph(U'O');
    ASSERT_NE(o, nullptr);
    for (const swf::Edge& edge : o->shape.groups[0].edges)
        EXPECT_EQ(edge.fill0 + edge.fill1, 1u);
    EXPECT_NE(font->kerning(U'A', U'V'), 0);

    EXPECT_EQ(fonts.loadFile("/nonexistent/font.ttf"), nullptr);
    EXPECT_FALSE(fonts.problem().empty());
    EXPECT_EQ(fonts.loadFile(__FILE__), nullptr); // not a font
}

TEST(DeviceFonts, DeviceTextLayout)
{
    struct NoFonts : FontResolver {
        const swf::Font* font(uint16_t) const override { return nullptr; }
    } noFonts;
    DeviceFonts deviceFonts;
    swf::EditText field;
    field.bounds = {0, 4000, 0, 1000};
    field.fontHeight = 240;
    EditTextState state;
    state.text = "Hi there";
    TextLayout layout = layoutEditText(field, state, noFonts, deviceFonts);
    EXPECT_TRUE(layout.problem.empty()) << layout.problem;
    ASSERT_EQ(layout.glyphs.size(), 7u); // the space draws nothing
    EXPECT_DOUBLE_EQ(layout.glyphs[0].matrix.a, 240.0 / 1024);
    EXPECT_GE(layout.glyphs[0].matrix.tx, 40);
    for (size_t i = 1; i < layout.glyphs.size(); ++i)
        EXPECT_GT(layout.glyphs[i].matrix.tx, layout.glyphs[i - 1].matrix.tx);
    EXPECT_GT(layout.textWidth, 20);
    EXPECT_NEAR(layout.textHeight, 14, 4); // about 1.2 em of 12 px
}

TEST(Outline, CubicsBecomeCloseQuadratics)
{
    Point p0{0, 0}, c1{0, 1000}, c2{1000, 1000}, p3{1000, 0};
    auto pieces = cubicToQuadratics(p0, c1, c2, p3, 0.5);
    ASSERT_GT(pieces.size(), 1u);
    ASSERT_LE(pieces.size(), 16u);
    EXPECT_DOUBLE_EQ(pieces.back().second.x, 1000);
    EXPECT_DOUBLE_EQ(pieces.back().second.y, 0);
    // Each piece's midpoint lies on the cubic within the tolerance (pieces
    // split the parameter range evenly).
    Point start = p0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        auto [control, end] = pieces[i];
        Point mid{(start.x + 2 * control.x + end.x) / 4, (start.y + 2 * control.y + end.y) / 4};
        double t = (double(i) + 0.5) / double(pieces.size()), u = 1 - t;
        double cx =
            u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p3.x;
        double cy =
            u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p3.y;
        EXPECT_NEAR(mid.x, cx, 1.0);
        EXPECT_NEAR(mid.y, cy, 1.0);
        start = end;
    }
    // A straight cubic needs one piece; absurd coordinates stay bounded.
    EXPECT_EQ(cubicToQuadratics({0, 0}, {1, 1}, {2, 2}, {3, 3}, 0.5).size(), 1u);
    EXPECT_EQ(cubicToQuadratics({0, 0}, {1e300, 0}, {-1e300, 0}, {1, 0}, 0.5).size(), 16u);
}

} // namespace
} // namespace zf::text
