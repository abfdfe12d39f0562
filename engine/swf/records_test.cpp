#include "sample_movies.h"
#include "swf/swf.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

namespace zf::swf {
namespace {

using test::Actions;
using test::Bytes;
using test::ShapeBuilder;
using test::SwfBuilder;

// The tags of a builder's stream, kept alive with their bytes.
struct Tags {
    Bytes bytes;
    std::vector<Tag> list;
    explicit Tags(const SwfBuilder& movie) : bytes(movie.tagBytes())
    {
        TagStream stream(bytes);
        while (auto tag = stream.next())
            list.push_back(*tag);
    }
    const Tag& first(TagCode code) const
    {
        for (const Tag& tag : list)
            if (tag.type() == code)
                return tag;
        throw std::runtime_error("no such tag");
    }
};

TEST(SampleMovies, EveryTagParsesExactly)
{
    for (const test::SampleMovie& movie : test::sampleMovies()) {
        if (movie.name.starts_with("broken"))
            continue;
        auto file = loadBytes(movie.bytes);
        ASSERT_TRUE(file) << movie.name << ": " << file.message();
        int parsed = 0;
        std::vector<std::span<const uint8_t>> streams{file->tagBytes()};
        for (size_t i = 0; i < streams.size(); ++i) {
            TagStream stream(streams[i]);
            while (auto tag = stream.next()) {
                TagCheck check = checkTag(*tag, file->header.version);
                EXPECT_TRUE(check.exact())
                    << movie.name << " " << tagName(tag->code) << ": " << check.error;
                parsed += check.parsed;
                if (tag->type() == TagCode::DefineSprite)
                    streams.push_back(readDefineSprite(*tag)->tags);
            }
            EXPECT_FALSE(stream.truncated());
        }
        if (movie.name.starts_with("sink")) {
            EXPECT_GT(parsed, 30) << movie.name;
        }
    }
}

TEST(Shapes, RecordsBecomeAbsoluteEdgesPerStyleGroup)
{
    for (int version = 2; version <= 4; ++version) {
        ShapeBuilder shape(version);
        uint32_t red = shape.addFill(test::solidFill({255, 0, 0, 128}));
        swf::LineStyle line = test::lineStyle(30, {0, 0, 255, 255});
        line.join = JoinStyle::Miter;
        line.miterLimit = 1.5;
        line.endCap = CapStyle::Square;
        uint32_t stroke = shape.addLine(line);
        shape.addFill(test::solidFill({}));
        shape.addFill(test::solidFill({})); // three fills: 2-bit indices
        shape.moveTo(-100, 50).styles(red, 0, stroke).lineTo(300, 50).curveTo(400, 150, 300, 250);
        shape.lineTo(300, 50).styles(0, 0, 0).lineTo(-100, 50); // vertical, then horizontal
        // The NewStyles record carries fill1 = 1 in the old 2-bit width; the
        // next change uses the new 1-bit width.
        shape.newStyles();
        shape.addFill(test::solidFill({0, 9, 0, 255}));
        shape.styles(0, 1, 0).moveTo(1000, 1000).lineTo(1010, 1020);
        shape.styles(1, 0, 0).lineTo(1000, 1000);
        SwfBuilder movie(8);
        movie.defineShape(9, shape);
        Tags tags(movie);
        auto def = readDefineShape(tags.list[0]);
        ASSERT_TRUE(def) << def.message();
        EXPECT_EQ(def->id, 9);
        EXPECT_EQ(def->version, version);
        const Shape& s = def->shape;
        ASSERT_EQ(s.groups.size(), 2u);
        const ShapeGroup& g = s.groups[0];
        ASSERT_EQ(g.fills.size(), 3u);
        EXPECT_EQ(g.fills[0].color, (Rgba{255, 0, 0, uint8_t(version >= 3 ? 128 : 255)}));
        ASSERT_EQ(g.lines.size(), 1u);
        EXPECT_EQ(g.lines[0].width, 30);
        if (version == 4) {
            EXPECT_EQ(g.lines[0].join, JoinStyle::Miter);
            EXPECT_EQ(g.lines[0].miterLimit, 1.5);
            EXPECT_EQ(g.lines[0].endCap, CapStyle::Square);
        }
        ASSERT_EQ(g.edges.size(), 4u);
        const Edge& first = g.edges[0];
        EXPECT_EQ(std::tuple(first.x0, first.y0, first.x1, first.y1),
                  std::tuple(-100, 50, 300, 50));
        EXPECT_EQ(std::tuple(first.cx, first.cy, first.curved), std::tuple(100, 50, false));
        EXPECT_EQ(std::tuple(first.fill0, first.fill1, first.line), std::tuple(1u, 0u, 1u));
        const Edge& curve = g.edges[1];
        EXPECT_TRUE(curve.curved);
        EXPECT_EQ(std::tuple(curve.cx, curve.cy, curve.x1, curve.y1),
                  std::tuple(400, 150, 300, 250));
        EXPECT_EQ(std::tuple(g.edges[2].x1, g.edges[2].y1), std::tuple(300, 50));
        EXPECT_EQ(g.edges[3].line, 0u);
        ASSERT_EQ(s.groups[1].edges.size(), 2u);
        EXPECT_EQ(s.groups[1].fills.size(), 1u);
        EXPECT_EQ(s.groups[1].edges[0].fill1, 1u);
        EXPECT_EQ(s.groups[1].edges[0].x0, 1000); // MoveTo is absolute
        EXPECT_EQ(std::tuple(s.groups[1].edges[1].fill0, s.groups[1].edges[1].fill1),
                  std::tuple(1u, 0u));
        Bounds b = s.computeBounds();
        EXPECT_EQ(std::tuple(b.xMin, b.yMin, b.xMax, b.yMax), std::tuple(-100, 50, 1010, 1020));
    }
}

TEST(Shapes, StyleArraysOfEveryKind)
{
    ShapeBuilder shape(4);
    shape.addFill(test::gradientFill(FillType::FocalGradient, Matrix::scale(0.5, 2),
                                     {{10, {1, 2, 3, 4}}, {5, {5, 6, 7, 8}}}, SpreadMode::Repeat,
                                     InterpolationMode::LinearRgb, -0.75));
    shape.addFill(test::bitmapFill(0xFFFF, Matrix::scale(20, 20), FillType::RepeatingBitmapHard));
    for (int i = 0; i < 300; ++i) // more than 254 styles use the escape count
        shape.addFill(test::solidFill({uint8_t(i), 0, 0, 255}));
    swf::LineStyle filled;
    filled.width = 60;
    filled.hasFill = true;
    filled.noHScale = filled.pixelHinting = filled.noClose = true;
    filled.fill = test::gradientFill(FillType::LinearGradient, Matrix{}, {{0, {9, 9, 9, 9}}});
    shape.addLine(filled);
    shape.moveTo(0, 0).styles(302, 1, 1).lineTo(10, 10);
    SwfBuilder movie(8);
    movie.defineShape(1, shape.nonZeroWinding());
    Tags tags(movie);
    EXPECT_TRUE(checkTag(tags.list[0], 8).exact());
    auto def = readDefineShape(tags.list[0]);
    ASSERT_TRUE(def) << def.message();
    EXPECT_TRUE(def->shape.nonZeroWinding);
    const ShapeGroup& g = def->shape.groups[0];
    ASSERT_EQ(g.fills.size(), 302u);
    const FillStyle& focal = g.fills[0];
    EXPECT_EQ(focal.type, FillType::FocalGradient);
    EXPECT_EQ(focal.matrix, Matrix::scale(0.5, 2));
    EXPECT_EQ(focal.gradient.spread, SpreadMode::Repeat);
    EXPECT_EQ(focal.gradient.interpolation, InterpolationMode::LinearRgb);
    EXPECT_EQ(focal.gradient.focalPoint, -0.75);
    ASSERT_EQ(focal.gradient.stops.size(), 2u); // kept unsorted, as stored
    EXPECT_EQ(focal.gradient.stops[1].ratio, 5);
    EXPECT_EQ(g.fills[1].bitmapId, 0xFFFF);
    EXPECT_EQ(g.fills[1].type, FillType::RepeatingBitmapHard);
    EXPECT_EQ(g.fills[301].color.r, 43); // 299 & 0xFF
    ASSERT_EQ(g.lines.size(), 1u);
    EXPECT_TRUE(g.lines[0].hasFill);
    EXPECT_TRUE(g.lines[0].noHScale && g.lines[0].pixelHinting && g.lines[0].noClose);
    EXPECT_FALSE(g.lines[0].noVScale);
    EXPECT_EQ(g.lines[0].fill.gradient.stops[0].color, (Rgba{9, 9, 9, 9}));
    EXPECT_EQ(g.edges[0].fill0, 302u);
}

TEST(Shapes, CraftedRecordsStayInBounds)
{
    // Style indices past the arrays become 0; a shape without an end record
    // fails; an unknown fill type fails.
    const std::vector<Bytes> bad = {
        {1, 0, 0, 0x00, 0x00, 0x11}, // no end record after the counts
        {1, 0, 0, 0x01, 0x77},       // fill type 0x77
        {1, 0},                      // truncated before the bounds
    };
    for (const Bytes& body : bad)
        EXPECT_FALSE(readDefineShape(Tag{2, body, 0}));
    // Index 3 fits the 2-bit width of a two-fill shape but names no style.
    ShapeBuilder shape(3);
    shape.addFill(test::solidFill({}));
    shape.addFill(test::solidFill({}));
    shape.moveTo(0, 0).styles(3, 2, 0).lineTo(10, 0);
    SwfBuilder movie(8);
    movie.defineShape(1, shape);
    Tags tags(movie);
    auto def = readDefineShape(tags.list[0]);
    ASSERT_TRUE(def) << def.message();
    EXPECT_EQ(def->shape.groups[0].edges[0].fill0, 0u);
    EXPECT_EQ(def->shape.groups[0].edges[0].fill1, 2u);
}

TEST(PlaceObject, EveryFieldRoundTrips)
{
    Bytes actions = Actions().trace("hit").bytes();
    for (int swfVersion : {5, 6, 8}) {
        PlaceObject place;
        place.version = swfVersion >= 8 ? 3 : 2;
        place.move = true;
        place.depth = 300;
        place.characterId = 12;
        place.matrix = Matrix{1.5, 0.25, -0.25, 2, -400, 20};
        place.colorTransform = ColorTransform{192, 128, 64, 256, 255, 128, 64, -64};
        place.ratio = 65535;
        place.name = "inst";
        place.clipDepth = 310;
        uint32_t key = swfVersion >= 6 ? ClipEvent::KeyPress : 0;
        place.clipActions = ClipActions{ClipEvent::Load | ClipEvent::Press | key,
                                        {{ClipEvent::Load | ClipEvent::Press, 0, actions}}};
        if (key)
            place.clipActions->records.push_back({key, 18, actions});
        if (place.version == 3) {
            place.className = "pkg.Clip";
            place.hasImage = true;
            place.filters = std::vector<Filter>{
                DropShadowFilter{{1, 2, 3, 4}, 5, 6, 0.5, 4, 1.5, true, false, true, 3},
                BlurFilter{2.5, 3.5, 2},
                GlowFilter{{9, 8, 7, 6}, 1, 2, 0.75, false, true, false, 1},
                BevelFilter{{1, 1, 1, 1}, {2, 2, 2, 2}, 1, 2, 3, 4, 2, true, true, false, true, 15},
                GradientGlowFilter{{{1, 2, 3, 4}, {5, 6, 7, 8}},
                                   {0, 255},
                                   1,
                                   2,
                                   3,
                                   4,
                                   1,
                                   false,
                                   false,
                                   true,
                                   true,
                                   7},
                ConvolutionFilter{3, 1, 2, 0.5, {1, 2, 1}, {0, 0, 0, 255}, true, false},
                ColorMatrixFilter{{1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0}},
                GradientBevelFilter{}};
            place.blendMode = uint8_t(BlendMode::HardLight);
            place.cacheAsBitmap = true;
            place.visible = false;
            place.backgroundColor = Rgba{10, 20, 30, 255};
        }
        SwfBuilder movie(swfVersion);
        movie.placeObject(place);
        Tags tags(movie);
        EXPECT_TRUE(checkTag(tags.list[0], swfVersion).exact());
        auto read = readPlaceObject(tags.list[0], swfVersion);
        ASSERT_TRUE(read) << read.message();
        EXPECT_EQ(read->version, place.version);
        EXPECT_EQ(read->move, true);
        EXPECT_EQ(read->depth, 300);
        EXPECT_EQ(read->characterId, place.characterId);
        EXPECT_EQ(read->matrix, place.matrix);
        EXPECT_EQ(read->colorTransform, place.colorTransform);
        EXPECT_EQ(read->ratio, place.ratio);
        EXPECT_EQ(read->name, place.name);
        EXPECT_EQ(read->clipDepth, place.clipDepth);
        EXPECT_EQ(read->className, place.className);
        EXPECT_EQ(read->hasImage, place.hasImage);
        EXPECT_EQ(read->blendMode, place.blendMode);
        EXPECT_EQ(read->cacheAsBitmap, place.cacheAsBitmap);
        EXPECT_EQ(read->visible, place.visible);
        EXPECT_EQ(read->backgroundColor, place.backgroundColor);
        ASSERT_TRUE(read->clipActions);
        EXPECT_EQ(read->clipActions->allEvents, place.clipActions->allEvents);
        ASSERT_EQ(read->clipActions->records.size(), place.clipActions->records.size());
        const ClipActionRecord& last = read->clipActions->records.back();
        EXPECT_EQ(last.keyCode, key ? 18 : 0);
        EXPECT_EQ(Bytes(last.actions.begin(), last.actions.end()), actions);
        if (place.version == 3) {
            ASSERT_EQ(read->filters->size(), 8u);
            for (size_t i = 0; i < 8; ++i)
                EXPECT_EQ((*read->filters)[i].index(), i);
            auto& shadow = std::get<DropShadowFilter>((*read->filters)[0]);
            EXPECT_EQ(shadow.color, (Rgba{1, 2, 3, 4}));
            EXPECT_EQ(std::tuple(shadow.blurY, shadow.strength, shadow.passes),
                      std::tuple(6.0, 1.5, uint8_t(3)));
            EXPECT_TRUE(shadow.inner && shadow.compositeSource && !shadow.knockout);
            auto& bevel = std::get<BevelFilter>((*read->filters)[3]);
            EXPECT_TRUE(bevel.onTop);
            EXPECT_EQ(bevel.passes, 15);
            auto& gradient = std::get<GradientGlowFilter>((*read->filters)[4]);
            EXPECT_EQ(gradient.ratios, (std::vector<uint8_t>{0, 255}));
            auto& convolution = std::get<ConvolutionFilter>((*read->filters)[5]);
            EXPECT_EQ(convolution.matrix, (std::vector<float>{1, 2, 1}));
            EXPECT_TRUE(convolution.clamp);
            EXPECT_EQ(std::get<ColorMatrixFilter>((*read->filters)[6]).matrix[18], 1.0f);
        }
    }
}

TEST(PlaceObject, CraftedFlagsAndSizes)
{
    // PlaceObject3 with HasImage and HasCharacter but no HasClassName: no
    // class name is read.
    Bytes po3 = {0x02, 0x10, 0x01, 0x00, 0x07, 0x00};
    auto place = readPlaceObject(Tag{70, po3, 0}, 8);
    ASSERT_TRUE(place) << place.message();
    EXPECT_FALSE(place->className);
    EXPECT_EQ(place->characterId, 7);

    // A KeyPress clip action whose size is 0 (crafted files have them): no
    // key code and no actions, and the placement still parses.
    Bytes keyZero = {0x80, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                     0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    auto keyed = readPlaceObject(Tag{26, keyZero, 0}, 6);
    ASSERT_TRUE(keyed) << keyed.message();
    ASSERT_EQ(keyed->clipActions->records.size(), 1u);
    EXPECT_EQ(keyed->clipActions->records[0].keyCode, 0);
    EXPECT_TRUE(keyed->clipActions->records[0].actions.empty());
    EXPECT_TRUE(checkTag(Tag{26, keyZero, 0}, 6).exact());
    // A record size past the tag fails instead of reading outside it.
    Bytes huge = {0x80, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                  0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x00};
    EXPECT_FALSE(readPlaceObject(Tag{26, huge, 0}, 6));

    // PlaceObject (1): the colour transform is present only when bytes remain.
    SwfBuilder movie(4);
    PlaceObject one;
    one.characterId = 3;
    one.depth = 4;
    one.matrix = Matrix::translate(20, 40);
    movie.placeObject(one);
    one.colorTransform = ColorTransform{256, 256, 256, 256, 10, 20, 30, 0};
    movie.placeObject(one);
    Tags tags(movie);
    EXPECT_FALSE(readPlaceObject(tags.list[0], 4)->colorTransform);
    EXPECT_EQ(readPlaceObject(tags.list[1], 4)->colorTransform, one.colorTransform);
}

TEST(Buttons, BothVersionsRoundTrip)
{
    Bytes press = Actions().trace("press").bytes();
    Bytes key = Actions().trace("tab").bytes();
    Button two;
    two.id = 5;
    two.version = 2;
    two.trackAsMenu = true;
    ButtonRecord record{ButtonState::Over | ButtonState::Down,
                        3,
                        7,
                        Matrix::translate(5, 5),
                        ColorTransform{128, 256, 256, 256, 0, 0, 0, 0},
                        {GlowFilter{{255, 0, 0, 255}, 2, 2, 1, false, false, true, 1}},
                        uint8_t(BlendMode::Screen)};
    two.records = {record, ButtonRecord{ButtonState::HitTest, 4, 8, Matrix{}, {}, {}, 0}};
    two.actions = {{ButtonCondition::OverUpToOverDown, press}, {uint16_t(18 << 9), key}};
    Button one;
    one.id = 6;
    one.records = {ButtonRecord{ButtonState::Up, 3, 1, Matrix{}, {}, {}, 0}};
    one.actions = {{ButtonCondition::OverDownToOverUp, press}};
    SwfBuilder movie(8);
    movie.defineButton(two).defineButton(one);
    Tags tags(movie);
    auto read2 = readDefineButton(tags.list[0]);
    ASSERT_TRUE(read2) << read2.message();
    EXPECT_TRUE(read2->trackAsMenu);
    ASSERT_EQ(read2->records.size(), 2u);
    EXPECT_EQ(read2->records[0].states, record.states);
    EXPECT_EQ(read2->records[0].colorTransform, record.colorTransform);
    EXPECT_EQ(read2->records[0].blendMode, record.blendMode);
    EXPECT_EQ(read2->records[0].filters.size(), 1u);
    EXPECT_EQ(read2->records[1].depth, 8);
    ASSERT_EQ(read2->actions.size(), 2u);
    EXPECT_EQ(read2->actions[1].keyCode(), 18);
    EXPECT_EQ(Bytes(read2->actions[1].actions.begin(), read2->actions[1].actions.end()), key);
    auto read1 = readDefineButton(tags.list[1]);
    ASSERT_TRUE(read1) << read1.message();
    EXPECT_EQ(read1->version, 1);
    ASSERT_EQ(read1->actions.size(), 1u);
    EXPECT_EQ(read1->actions[0].conditions, ButtonCondition::OverDownToOverUp);
    EXPECT_EQ(Bytes(read1->actions[0].actions.begin(), read1->actions[0].actions.end()), press);
    for (const Tag& tag : tags.list)
        EXPECT_TRUE(checkTag(tag, 8).exact()) << checkTag(tag, 8).error;
}

} // namespace
} // namespace zf::swf
