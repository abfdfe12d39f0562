#include "sample_movies.h"

namespace zf::test {

namespace {

using swf::ActionCode;

ShapeBuilder richShape(int version)
{
    ShapeBuilder shape(version);
    uint32_t red = shape.addFill(solidFill({255, 0, 0, 255}));
    uint32_t linear = shape.addFill(
        gradientFill(swf::FillType::LinearGradient, Matrix::scale(0.05, 0.05),
                     {{0, {0, 0, 0, 255}}, {128, {0, 255, 0, 128}}, {255, {0, 0, 255, 255}}},
                     swf::SpreadMode::Reflect, swf::InterpolationMode::LinearRgb));
    uint32_t bitmap = shape.addFill(bitmapFill(7, Matrix::scale(20, 20)));
    swf::LineStyle line = lineStyle(40, {0, 0, 0, 255});
    if (version == 4) {
        line.join = swf::JoinStyle::Miter;
        line.miterLimit = 2.5;
        line.startCap = swf::CapStyle::Square;
        line.endCap = swf::CapStyle::None;
    }
    uint32_t stroke = shape.addLine(line);
    shape.rectangle(0, 0, 2000, 1000, red, stroke);
    shape.moveTo(100, 100).styles(linear, 0, 0).curveTo(600, -300, 1100, 100).lineTo(100, 100);
    shape.moveTo(-500, -500).styles(0, bitmap, 0).lineTo(-100, -500).lineTo(-100, -100);
    shape.lineTo(-500, -500);
    if (version >= 2) {
        shape.newStyles();
        uint32_t focal = shape.addFill(gradientFill(
            swf::FillType::FocalGradient, Matrix{}, {{0, {1, 2, 3, 255}}, {255, {4, 5, 6, 7}}},
            swf::SpreadMode::Repeat, swf::InterpolationMode::Rgb, -0.5));
        shape.styles(0, focal, 0).moveTo(3000, 3000).lineTo(3500, 3000).lineTo(3000, 3500);
        shape.lineTo(3000, 3000);
    }
    return shape;
}

MorphSpec sampleMorph(int version)
{
    MorphSpec morph;
    morph.version = version;
    morph.startFills.push_back(solidFill({255, 0, 0, 255}));
    morph.endFills.push_back(solidFill({0, 0, 255, 0}));
    morph.startLines.push_back(lineStyle(20, {0, 0, 0, 255}));
    morph.endLines.push_back(lineStyle(100, {255, 255, 255, 255}));
    morph.start.moveTo(0, 0).styles(0, 1, 1).lineTo(1000, 0).lineTo(1000, 1000).lineTo(0, 0);
    morph.end.moveTo(500, 500).lineTo(1500, 500).curveTo(2000, 1000, 1500, 1500).lineTo(500, 500);
    return morph;
}

FontSpec sampleFont(int version)
{
    FontSpec font;
    font.version = version;
    font.name = "Sample Sans";
    font.bold = true;
    for (int i = 0; i < 3; ++i) {
        ShapeBuilder glyph(1);
        glyph.moveTo(0, 0).styles(1, 0, 0).lineTo(500 + i * 100, 0).lineTo(0, -700).lineTo(0, 0);
        font.glyphs.push_back(glyph);
    }
    font.codes = {'A', 'B', 'C'};
    font.hasLayout = true;
    font.ascent = 900;
    font.descent = 200;
    font.leading = -20;
    font.advances = {600, 700, 800};
    font.kerning = {{'A', 'B', -50}};
    return font;
}

} // namespace

Bytes kitchenSinkMovie(int version, Compression compression)
{
    SwfBuilder movie(version, compression);
    movie.fileAttributes(0).backgroundColor({10, 20, 30, 255});
    std::vector<Rgba> pixels(6 * 5);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = {uint8_t(i * 9), uint8_t(i % 2 ? 255 : 0), 40, uint8_t(i * 8)};
    movie.defineBitsLossless(7, 6, 5, pixels, 5, true);
    movie.defineBitsLossless(8, 6, 5, std::vector<Rgba>(30, Rgba{1, 2, 3, 255}), 3, false);
    movie.defineBitsJpeg2(9, {0xFF, 0xD8, 0xFF, 0xD9});
    movie.defineBitsJpeg3(10, {0xFF, 0xD8, 0xFF, 0xD9}, Bytes(4, 0x80));
    movie.defineShape(1, richShape(1)).defineShape(2, richShape(3)).defineShape(3, richShape(4));
    movie.defineMorphShape(4, sampleMorph(1)).defineMorphShape(5, sampleMorph(2));
    movie.defineFont(20, sampleFont(2)).defineFont(21, sampleFont(3));
    swf::TextRecord first{20, {255, 0, 0, 255}, 0, 400, 240, {{0, 120}, {1, 140}}};
    swf::TextRecord second{20, {0, 0, 255, 255}, 0, 700, 240, {{2, 160}}};
    movie.defineText(22, 2, {0, 2000, 0, 1000}, Matrix{}, {first, second});
    swf::EditText edit;
    edit.id = 23;
    edit.bounds = {0, 4000, 0, 600};
    edit.fontId = 20;
    edit.fontHeight = 300;
    edit.multiline = edit.wordWrap = edit.html = true;
    edit.maxLength = 50;
    edit.align = swf::TextAlign::Center;
    edit.leading = -40;
    edit.variableName = "field";
    edit.initialText = "<p>Hi</p>";
    movie.defineEditText(edit);

    Bytes release = Actions().trace("released").bytes();
    swf::Button button;
    button.id = 30;
    button.version = 2;
    button.records.push_back({swf::ButtonState::Up | swf::ButtonState::HitTest,
                              1,
                              1,
                              Matrix::translate(100, 0),
                              ColorTransform{},
                              {},
                              0});
    swf::ButtonRecord over{swf::ButtonState::Over, 2, 2, Matrix{}, ColorTransform{}, {}, 3};
    over.colorTransform.rAdd = 40;
    over.filters.push_back(swf::BlurFilter{4, 4, 2});
    button.records.push_back(over);
    button.actions.push_back({swf::ButtonCondition::OverDownToOverUp, release});
    button.actions.push_back({uint16_t(18 << 9), release});
    movie.defineButton(button);

    SwfBuilder sprite(version);
    sprite.place(1, 1).showFrame().doAction(Actions().op(ActionCode::Stop)).showFrame();
    movie.defineSprite(40, sprite);
    movie.exportAssets({{40, "clip"}});
    movie.doInitAction(40, Actions().push({"init"}).op(ActionCode::Trace));

    swf::PlaceObject place;
    place.version = version >= 8 ? 3 : 2;
    place.depth = 5;
    place.characterId = 40;
    place.matrix = Matrix{0, 1, -1, 0, 200, 300};
    place.colorTransform = ColorTransform{192, 128, 64, 256, 255, 128, 64, -64};
    place.ratio = 3;
    place.name = "clip";
    place.clipDepth = 9;
    place.clipActions = swf::ClipActions{
        swf::ClipEvent::Load | swf::ClipEvent::EnterFrame,
        {{swf::ClipEvent::Load, 0, release}, {swf::ClipEvent::EnterFrame, 0, release}}};
    if (place.version == 3) {
        place.filters = std::vector<swf::Filter>{
            swf::DropShadowFilter{{0, 0, 0, 128}, 4, 4, 0.785, 5, 1, false, false, true, 1},
            swf::ColorMatrixFilter{}, swf::GradientBevelFilter{}};
        place.blendMode = 3;
        place.cacheAsBitmap = true;
        place.visible = true;
        place.backgroundColor = Rgba{1, 2, 3, 255};
    }
    movie.placeObject(place);
    movie.place(4, 6).place(22, 7).place(23, 8).place(30, 9);

    Actions body;
    body.push({Register{1}}).op(ActionCode::Return);
    Actions code;
    code.constantPool({"a", "b"})
        .push({"x", 1.5, 7, true, Null{}, Undefined{}, Register{2}, Constant{1}, Float{2.5f}})
        .label("top")
        .op(ActionCode::Pop)
        .ifTrue("end")
        .jump("top")
        .defineFunction("f", {"p"}, body)
        .defineFunction2("g", 3, 0x0005, {{1, "p"}, {0, "q"}}, body)
        .tryBlock(body, &body, &body, "e")
        .with(body)
        .gotoFrame(2)
        .gotoLabel("lbl")
        .gotoFrame2(true, 13)
        .getUrl("FSCommand:quit", "")
        .getUrl2(0xC2)
        .setTarget("/clip")
        .storeRegister(1)
        .waitForFrame(3, 1)
        .waitForFrame2(2)
        .label("end");
    movie.frameLabel("start").doAction(code).showFrame();
    movie.removeObject(5).removeObject(6, 4).frameLabel("anchor", true).showFrame();
    return movie.bytes();
}

std::vector<SampleMovie> sampleMovies()
{
    std::vector<SampleMovie> movies;
    movies.push_back({"sink-v5.swf", kitchenSinkMovie(5, Compression::None)});
    movies.push_back({"sink-v8.swf", kitchenSinkMovie(8, Compression::None)});
    movies.push_back({"sink-v10-cws.swf", kitchenSinkMovie(10, Compression::Zlib)});
    movies.push_back({"sink-v13-zws.swf", kitchenSinkMovie(13, Compression::Lzma)});
    SwfBuilder minimal(6);
    minimal.stageSize(100, 100).showFrame();
    movies.push_back({"minimal.swf", minimal.bytes()});
    SwfBuilder broken(6);
    broken.showFrame().tag(2, {1, 0, 0x50}).tag(26, {0xFF}).omitEnd().rawBytes({0x7F, 0x00});
    movies.push_back({"broken-tags.swf", broken.bytes()});
    return movies;
}

} // namespace zf::test
