// zf-make-demo: writes the demo movie that the player opens when started
// without a movie (assets/demo.swf). Four seconds of looping animation that
// exercise the main drawing features: gradients, a bitmap fill, a morph, a
// sprite with its own timeline, moving shapes and device-font text.
//
//   zf-make-demo OUT.swf
#include "swf_builder.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

using namespace zf;
using test::ShapeBuilder;
using test::SwfBuilder;

constexpr int kTwips = 20;
constexpr int kWidth = 550, kHeight = 400;
constexpr int kFrames = 96; // four seconds at 24 frames a second

enum Id : uint16_t {
    kSky = 1,
    kSun,
    kTileBitmap,
    kTile,
    kMorph,
    kPetal,
    kFlower,
    kFont,
    kTitle,
    kSubtitle,
    kGround,
};

// A gradient square (±16384 twips) scaled to `size` twips, turned by
// `angle` and centred on (x, y).
Matrix gradientMatrix(double size, double angle, double x, double y)
{
    const double scale = size / 32768.0;
    return Matrix{scale * std::cos(angle),
                  scale * std::sin(angle),
                  -scale * std::sin(angle),
                  scale * std::cos(angle),
                  x,
                  y};
}

// A circle of quadratic curves, drawn with fill style `fill`.
void circle(ShapeBuilder& shape, int32_t cx, int32_t cy, int32_t radius, uint32_t fill)
{
    constexpr int kSegments = 8;
    const double step = 2 * std::numbers::pi / kSegments;
    const double control = radius / std::cos(step / 2);
    shape.moveTo(cx + radius, cy).styles(0, fill, 0);
    for (int i = 1; i <= kSegments; ++i) {
        const double middle = (i - 0.5) * step, end = i * step;
        shape.curveTo(cx + int32_t(std::lround(control * std::cos(middle))),
                      cy + int32_t(std::lround(control * std::sin(middle))),
                      cx + int32_t(std::lround(radius * std::cos(end))),
                      cy + int32_t(std::lround(radius * std::sin(end))));
    }
}

// A closed polygon of eight points around the origin, alternating between
// two radii: equal radii give an octagon, different ones a star.
void octagon(ShapeBuilder& shape, double outer, double inner)
{
    for (int i = 0; i <= 8; ++i) {
        const double angle = i * std::numbers::pi / 4 - std::numbers::pi / 2;
        const double radius = i % 2 == 0 ? outer : inner;
        const auto x = int32_t(std::lround(radius * std::cos(angle)));
        const auto y = int32_t(std::lround(radius * std::sin(angle)));
        if (i == 0) {
            shape.moveTo(x, y).styles(0, 1, 0);
        } else {
            shape.lineTo(x, y);
        }
    }
}

void defineShapes(SwfBuilder& movie)
{
    ShapeBuilder sky;
    const uint32_t skyFill = sky.addFill(
        test::gradientFill(swf::FillType::LinearGradient,
                           gradientMatrix(kHeight * kTwips, std::numbers::pi / 2,
                                          kWidth * kTwips / 2.0, kHeight * kTwips / 2.0),
                           {{0, Rgba{18, 32, 84, 255}},
                            {160, Rgba{64, 118, 190, 255}},
                            {255, Rgba{250, 196, 120, 255}}}));
    sky.rectangle(0, 0, kWidth * kTwips, kHeight * kTwips, skyFill);
    movie.defineShape(kSky, sky);

    ShapeBuilder sun;
    const uint32_t sunFill = sun.addFill(test::gradientFill(swf::FillType::RadialGradient,
                                                            gradientMatrix(120 * kTwips, 0, 0, 0),
                                                            {{0, Rgba{255, 250, 210, 255}},
                                                             {140, Rgba{255, 200, 60, 255}},
                                                             {255, Rgba{255, 120, 40, 0}}}));
    circle(sun, 0, 0, 60 * kTwips, sunFill);
    movie.defineShape(kSun, sun);

    ShapeBuilder ground;
    const uint32_t groundFill = ground.addFill(test::solidFill(Rgba{40, 72, 48, 255}));
    const uint32_t edge = ground.addLine(test::lineStyle(3 * kTwips, Rgba{20, 40, 24, 255}));
    ground.moveTo(0, 330 * kTwips).styles(0, groundFill, edge);
    ground.curveTo(140 * kTwips, 290 * kTwips, 275 * kTwips, 320 * kTwips);
    ground.curveTo(420 * kTwips, 350 * kTwips, kWidth * kTwips, 300 * kTwips);
    ground.styles(0, groundFill, 0);
    ground.lineTo(kWidth * kTwips, kHeight * kTwips).lineTo(0, kHeight * kTwips);
    ground.lineTo(0, 330 * kTwips);
    movie.defineShape(kGround, ground);
}

void defineTile(SwfBuilder& movie)
{
    constexpr int kSide = 32;
    std::vector<Rgba> pixels;
    pixels.reserve(kSide * kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const bool light = ((x / 8) + (y / 8)) % 2 == 0;
            pixels.push_back(light ? Rgba{uint8_t(120 + x * 4), uint8_t(200 - y * 3), 230, 255}
                                   : Rgba{30, uint8_t(40 + x * 3), uint8_t(90 + y * 4), 255});
        }
    }
    movie.defineBitsLossless(kTileBitmap, kSide, kSide, pixels, 5, false);
    ShapeBuilder tile;
    // Bitmap pixels to twips, doubled in size: the tile is 64 x 64 pixels.
    const uint32_t fill = tile.addFill(test::bitmapFill(
        kTileBitmap, Matrix{2.0 * kTwips, 0, 0, 2.0 * kTwips, -32.0 * kTwips, -32.0 * kTwips}));
    const uint32_t line = tile.addLine(test::lineStyle(2 * kTwips, Rgba{255, 255, 255, 255}));
    tile.rectangle(-32 * kTwips, -32 * kTwips, 64 * kTwips, 64 * kTwips, fill, line);
    movie.defineShape(kTile, tile);
}

void defineMorph(SwfBuilder& movie)
{
    test::MorphSpec morph;
    morph.startFills = {test::solidFill(Rgba{230, 60, 90, 255})};
    morph.endFills = {test::solidFill(Rgba{250, 220, 60, 255})};
    octagon(morph.start, 40 * kTwips, 40 * kTwips);
    octagon(morph.end, 50 * kTwips, 20 * kTwips);
    movie.defineMorphShape(kMorph, morph);
}

// A sprite of six petals turning once in 24 frames.
void defineFlower(SwfBuilder& movie)
{
    ShapeBuilder petal;
    const uint32_t fill = petal.addFill(test::gradientFill(
        swf::FillType::LinearGradient, gradientMatrix(30 * kTwips, 0, 15 * kTwips, 0),
        {{0, Rgba{255, 255, 255, 255}}, {255, Rgba{170, 90, 220, 255}}}));
    petal.moveTo(0, 0).styles(0, fill, 0);
    petal.curveTo(15 * kTwips, -12 * kTwips, 30 * kTwips, 0);
    petal.curveTo(15 * kTwips, 12 * kTwips, 0, 0);
    movie.defineShape(kPetal, petal);

    SwfBuilder flower(movie.version());
    constexpr int kSpriteFrames = 24;
    for (int frame = 0; frame < kSpriteFrames; ++frame) {
        for (uint16_t i = 0; i < 6; ++i) {
            const double angle =
                i * std::numbers::pi / 3 + frame * 2 * std::numbers::pi / kSpriteFrames;
            swf::PlaceObject place;
            place.version = 2;
            place.depth = uint16_t(i + 1);
            place.move = frame > 0;
            if (frame == 0) {
                place.characterId = kPetal;
            }
            place.matrix =
                Matrix{std::cos(angle), std::sin(angle), -std::sin(angle), std::cos(angle), 0, 0};
            flower.placeObject(place);
        }
        flower.showFrame();
    }
    movie.defineSprite(kFlower, flower, kSpriteFrames);
}

void defineTexts(SwfBuilder& movie)
{
    test::FontSpec font;
    font.name = "_sans"; // a device font: no outlines in the file
    movie.defineFont(kFont, font);

    swf::EditText title;
    title.id = kTitle;
    title.bounds = RectTwips{0, 360 * kTwips, 0, 40 * kTwips};
    title.readOnly = true;
    title.noSelect = true;
    title.fontId = kFont;
    title.fontHeight = 28 * kTwips;
    title.textColor = Rgba{255, 255, 255, 255};
    title.initialText = "Zentiq Flash Player";
    movie.defineEditText(title);

    swf::EditText subtitle = title;
    subtitle.id = kSubtitle;
    subtitle.fontHeight = 14 * kTwips;
    subtitle.textColor = Rgba{220, 230, 255, 255};
    subtitle.initialText = "shapes, gradients, bitmaps, morphs, sprites and text";
    subtitle.bounds = RectTwips{0, 420 * kTwips, 0, 24 * kTwips};
    movie.defineEditText(subtitle);
}

Matrix at(double x, double y, double scale = 1, double angle = 0)
{
    return Matrix{scale * std::cos(angle),
                  scale * std::sin(angle),
                  -scale * std::sin(angle),
                  scale * std::cos(angle),
                  x * kTwips,
                  y * kTwips};
}

swf::PlaceObject placement(uint16_t depth, bool first, uint16_t id, const Matrix& matrix)
{
    swf::PlaceObject place;
    place.version = 2;
    place.depth = depth;
    place.move = !first;
    if (first) {
        place.characterId = id;
    }
    place.matrix = matrix;
    return place;
}

void animate(SwfBuilder& movie)
{
    movie.place(kSky, 1).place(kGround, 3);
    movie.place(kTitle, 20, at(24, 20)).place(kSubtitle, 21, at(26, 58));
    for (int frame = 0; frame < kFrames; ++frame) {
        const bool first = frame == 0;
        const double t = double(frame) / kFrames;               // 0..1 over the loop
        const double wave = std::sin(2 * std::numbers::pi * t); // -1..1
        movie.placeObject(
            placement(2, first, kSun, at(90 + 370 * t, 190 - 90 * std::sin(std::numbers::pi * t))));
        movie.placeObject(
            placement(4, first, kTile, at(140, 250 + 30 * wave, 1, 2 * std::numbers::pi * t)));
        swf::PlaceObject morph = placement(5, first, kMorph, at(300, 250));
        morph.ratio =
            uint16_t(std::lround(65535 * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * t))));
        movie.placeObject(morph);
        if (first) {
            movie.place(kFlower, 6, at(440, 140));
            movie.place(kFlower, 7, at(470, 260, 0.7));
        }
        movie.showFrame();
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zf-make-demo OUT.swf\n");
        return 2;
    }
    SwfBuilder movie(8, test::Compression::Zlib);
    movie.frameRate(24).stageSize(kWidth, kHeight).backgroundColor(Rgba{18, 32, 84, 255});
    defineShapes(movie);
    defineTile(movie);
    defineMorph(movie);
    defineFlower(movie);
    defineTexts(movie);
    animate(movie);

    const test::Bytes bytes = movie.bytes();
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "zf-make-demo: cannot write %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "zf-make-demo: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
