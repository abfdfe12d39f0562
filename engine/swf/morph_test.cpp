#include "swf/reader_p.h"
#include "swf/swf.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

namespace zf::swf {
namespace {

using test::Bytes;
using test::MorphSpec;
using test::SwfBuilder;

MorphShapeDefinition buildAndRead(const MorphSpec& spec)
{
    SwfBuilder movie(8);
    movie.defineMorphShape(3, spec);
    Bytes tags = movie.tagBytes();
    TagStream stream(tags);
    Tag tag = *stream.next();
    TagCheck check = checkTag(tag, 8);
    EXPECT_TRUE(check.exact()) << check.error;
    auto def = readDefineMorphShape(tag);
    EXPECT_TRUE(def) << def.message();
    return def ? *def : MorphShapeDefinition{};
}

TEST(MorphShape, SeparatePensAndStraightCurvePairs)
{
    MorphSpec spec;
    spec.startFills = {test::solidFill({255, 0, 0, 255})};
    spec.endFills = {test::solidFill({0, 0, 255, 55})};
    spec.startLines = {test::lineStyle(20, {0, 0, 0, 255})};
    spec.endLines = {test::lineStyle(60, {200, 100, 0, 255})};
    // The start shape moves once; the end shape moves before each edge.
    spec.start.moveTo(0, 0).styles(0, 1, 1).lineTo(1000, 0).lineTo(1000, 1000);
    spec.end.moveTo(100, 100).lineTo(300, 100).moveTo(2000, 2000).curveTo(2400, 2000, 2400, 2400);
    auto def = buildAndRead(spec);
    const MorphShape& morph = def.morph;
    ASSERT_EQ(morph.startEdges.size(), 2u);
    ASSERT_EQ(morph.endEdges.size(), 2u);
    EXPECT_EQ(std::tuple(morph.endEdges[1].x0, morph.endEdges[1].y0), std::tuple(2000, 2000));

    Shape start = morph.at(0);
    ASSERT_EQ(start.groups.size(), 1u);
    EXPECT_EQ(start.groups[0].edges[0].x1, 1000);
    EXPECT_EQ(start.groups[0].fills[0].color, (Rgba{255, 0, 0, 255}));

    Shape half = morph.at(0.5);
    const ShapeGroup& g = half.groups[0];
    ASSERT_EQ(g.edges.size(), 2u);
    const Edge& first = g.edges[0];
    EXPECT_EQ(std::tuple(first.x0, first.y0, first.x1, first.y1), std::tuple(50, 50, 650, 50));
    EXPECT_FALSE(first.curved);
    // A straight edge paired with a curve: its midpoint is the control point.
    const Edge& second = g.edges[1];
    EXPECT_TRUE(second.curved);
    EXPECT_EQ(std::tuple(second.x0, second.y0), std::tuple(1500, 1000));
    EXPECT_EQ(std::tuple(second.cx, second.cy), std::tuple(1700, 1250));
    EXPECT_EQ(std::tuple(second.x1, second.y1), std::tuple(1700, 1700));
    EXPECT_EQ(std::tuple(second.fill1, second.line), std::tuple(1u, 1u)); // start styles
    EXPECT_EQ(g.fills[0].color, (Rgba{128, 0, 128, 155}));
    EXPECT_EQ(g.lines[0].width, 40);
    EXPECT_EQ(g.lines[0].color, (Rgba{100, 50, 0, 255}));

    Shape end = morph.at(1);
    EXPECT_EQ(std::tuple(end.groups[0].edges[1].x1, end.groups[0].edges[1].y1),
              std::tuple(2400, 2400));
    // Out-of-range ratios clamp.
    EXPECT_EQ(morph.at(-3).groups[0].edges[0].x0, 0);
    EXPECT_EQ(morph.at(7).groups[0].edges[0].x0, 100);
}

TEST(MorphShape, GradientsMatricesAndLineStyle2)
{
    MorphSpec spec;
    spec.version = 2;
    spec.startFills = {test::gradientFill(FillType::RadialGradient, Matrix::scale(1, 1),
                                          {{0, {0, 0, 0, 255}}, {100, {255, 255, 255, 255}}})};
    spec.endFills = {test::gradientFill(FillType::RadialGradient, Matrix{3, 0, 0, 3, 200, -200},
                                        {{50, {100, 0, 0, 255}}, {200, {255, 255, 255, 0}}})};
    LineStyle startLine = test::lineStyle(10, {0, 0, 0, 255});
    startLine.join = JoinStyle::Miter;
    startLine.miterLimit = 4;
    startLine.startCap = CapStyle::None;
    LineStyle endLine = startLine;
    endLine.width = 30;
    spec.startLines = {startLine};
    spec.endLines = {endLine};
    spec.start.moveTo(0, 0).styles(1, 0, 1).lineTo(100, 0);
    spec.end.moveTo(0, 0).lineTo(300, 0);
    auto def = buildAndRead(spec);
    EXPECT_EQ(def.version, 2);
    Shape half = def.morph.at(0.5);
    const FillStyle& fill = half.groups[0].fills[0];
    EXPECT_EQ(fill.type, FillType::RadialGradient);
    EXPECT_EQ(fill.matrix, (Matrix{2, 0, 0, 2, 100, -100}));
    ASSERT_EQ(fill.gradient.stops.size(), 2u);
    EXPECT_EQ(fill.gradient.stops[0].ratio, 25);
    EXPECT_EQ(fill.gradient.stops[1].ratio, 150);
    EXPECT_EQ(fill.gradient.stops[1].color, (Rgba{255, 255, 255, 128}));
    const LineStyle& line = half.groups[0].lines[0];
    EXPECT_EQ(line.width, 20);
    EXPECT_EQ(line.join, JoinStyle::Miter);
    EXPECT_EQ(line.miterLimit, 4);
    EXPECT_EQ(line.startCap, CapStyle::None);
}

TEST(MorphShape, CraftedOffsetsFail)
{
    MorphSpec spec;
    spec.startFills = {test::solidFill({})};
    spec.endFills = {test::solidFill({})};
    spec.start.moveTo(0, 0).styles(0, 1, 0).lineTo(10, 10);
    spec.end.moveTo(0, 0).lineTo(20, 20);
    SwfBuilder movie(8);
    movie.defineMorphShape(3, spec);
    Bytes tags = movie.tagBytes();
    TagStream stream(tags);
    Tag tag = *stream.next();
    Bytes body(tag.body.begin(), tag.body.end());
    // Offsets that overlap the start edges or leave the tag fail.
    for (uint32_t bad : {0u, 1u, 0x7FFFFFFFu}) {
        Bytes copy = body;
        ByteReader reader(copy); // the offset follows the id and the two rects
        reader.u16();
        readRect(reader);
        readRect(reader);
        size_t at = reader.position();
        uint32_t original =
            copy[at] | copy[at + 1] << 8 | copy[at + 2] << 16 | uint32_t(copy[at + 3]) << 24;
        ASSERT_LT(original, copy.size());
        for (int i = 0; i < 4; ++i)
            copy[at + i] = uint8_t(bad >> (8 * i));
        EXPECT_FALSE(readDefineMorphShape(Tag{46, copy, 0})) << bad;
    }
}

} // namespace
} // namespace zf::swf
