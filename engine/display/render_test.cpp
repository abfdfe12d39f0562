// What the render walk draws: masks, scroll rectangles, text-field borders,
// filters (and their cache), blend modes and refused nesting.
#include "display_test_p.h"

#include <gtest/gtest.h>

#include <numbers>
#include <string>

namespace zf::display {
namespace {

TEST(Render, ClipDepthMasksTheDepthsItCovers)
{
    SwfBuilder builder;
    builder.defineShape(1, box(0, 0, 200, {0, 0, 0, 255}));     // mask: 10x10 px
    builder.defineShape(2, box(0, 0, 400, {255, 0, 0, 255}));   // red 20x20 px
    builder.defineShape(3, box(0, 400, 200, {0, 0, 255, 255})); // blue below
    auto mask = placement(1, 1, false);
    mask.clipDepth = 2;
    builder.placeObject(mask).place(2, 2).place(3, 3).showFrame();
    Fixture f(builder);
    f.stage->start();
    auto pixels = renderStage(*f.stage, 32, 32);
    EXPECT_EQ(pixelAt(pixels, 32, 5, 5), (Rgba{255, 0, 0, 255})) << "inside the mask";
    EXPECT_EQ(pixelAt(pixels, 32, 15, 15), (Rgba{255, 255, 255, 255})) << "masked away";
    EXPECT_EQ(pixelAt(pixels, 32, 5, 25), (Rgba{0, 0, 255, 255})) << "depth 3 is not masked";
}

TEST(Render, ScriptMaskClipsAndIsNotDrawn)
{
    SwfBuilder builder;
    builder.defineShape(1, box(0, 0, 200, {0, 0, 0, 255}));   // 10x10 px mask
    builder.defineShape(2, box(0, 0, 400, {255, 0, 0, 255})); // 20x20 px red
    SwfBuilder maskSprite, redSprite;
    maskSprite.place(1, 1).showFrame();
    redSprite.place(2, 1).showFrame();
    builder.defineSprite(3, maskSprite).defineSprite(4, redSprite);
    builder.placeObject(placement(1, 4, false, "red"));
    builder.placeObject(placement(2, 3, false, "mask")).showFrame();
    Fixture f(builder);
    f.stage->start();
    f.root().childAt(1)->asMovieClip()->setMask(f.root().childAt(2)->asMovieClip());
    auto pixels = renderStage(*f.stage, 32, 32);
    EXPECT_EQ(pixelAt(pixels, 32, 5, 5), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixelAt(pixels, 32, 15, 15), (Rgba{255, 255, 255, 255}));
    f.root().childAt(1)->asMovieClip()->setMask(nullptr);
    pixels = renderStage(*f.stage, 32, 32);
    EXPECT_EQ(pixelAt(pixels, 32, 15, 15), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixelAt(pixels, 32, 5, 5), (Rgba{0, 0, 0, 255})) << "no longer a mask: drawn";
}

TEST(Render, ScrollRectMovesAndClipsTheContent)
{
    SwfBuilder builder;
    builder.defineShape(1, box(0, 0, 400, {255, 0, 0, 255}));     // red 20x20 px
    builder.defineShape(2, box(400, 400, 200, {0, 0, 255, 255})); // blue at 20..30 px
    SwfBuilder sprite;
    sprite.place(1, 1).place(2, 2).showFrame();
    builder.defineSprite(3, sprite);
    auto place = placement(1, 3, false, "clip");
    place.matrix = Matrix{2, 0, 0, 2, 40, 40}; // scaled twice, at (2, 2) px
    builder.placeObject(place).showFrame();
    Fixture f(builder);
    f.stage->start();
    DisplayObject& clip = *f.root().childAt(1);
    constexpr Rgba kWhite{255, 255, 255, 255}, kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255};
    struct Probe {
        int x, y;
        Rgba expected;
    };
    struct Case {
        const char* name;
        std::optional<ScrollRect> rect;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        // The blue square's corner lands on the clip's origin, twice as big.
        {"on the blue square",
         ScrollRect{20, 20, 10, 10},
         {{3, 3, kBlue}, {21, 21, kBlue}, {23, 12, kWhite}, {12, 23, kWhite}, {1, 1, kWhite}}},
        {"half of each",
         ScrollRect{15, 15, 10, 10},
         {{3, 3, kRed}, {8, 12, kWhite}, {13, 13, kBlue}, {23, 13, kWhite}}},
        {"empty", ScrollRect{0, 0, 0, 10}, {{3, 3, kWhite}, {30, 30, kWhite}}},
        {"none", std::nullopt, {{3, 3, kRed}, {43, 10, kWhite}, {50, 50, kBlue}}},
    };
    for (const Case& c : cases) {
        clip.setScrollRect(c.rect);
        auto pixels = renderStage(*f.stage, 64, 64);
        for (const Probe& p : c.probes)
            EXPECT_EQ(pixelAt(pixels, 64, p.x, p.y), p.expected) << c.name << " at " << p.x;
    }
}

TEST(Render, TextFieldBorderFillsWholePixelsButTheBottomRightCorner)
{
    SwfBuilder builder;
    builder.showFrame();
    Fixture f(builder);
    f.stage->start();
    // A field from (2, 2) to (12, 8) px: its border takes the pixel right of
    // and below each edge, so columns 2 and 12 and rows 2 and 8, except for
    // the bottom-right corner pixel, which stays clear.
    auto field = f.root().createTextField("t", kScriptDepthOffset + 1, {40, 240, 40, 160});
    field->border = true;
    field->borderColor = {255, 0, 0, 255};
    field->background = true;
    field->backgroundColor = {0, 0, 255, 255};
    auto pixels = renderStage(*f.stage, 16, 16);
    constexpr Rgba kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255};
    const struct {
        int x, y;
        Rgba expected;
    } probes[] = {{2, 2, kRed},   {12, 2, kRed},   {2, 8, kRed},    {12, 8, kWhite}, {7, 2, kRed},
                  {2, 5, kRed},   {12, 5, kRed},   {7, 8, kRed},    {7, 5, kBlue},   {3, 3, kBlue},
                  {1, 1, kWhite}, {13, 9, kWhite}, {13, 5, kWhite}, {7, 9, kWhite},  {7, 1, kWhite},
                  {11, 8, kRed},  {12, 7, kRed}};
    for (const auto& p : probes)
        EXPECT_EQ(pixelAt(pixels, 16, p.x, p.y), p.expected) << p.x << "," << p.y;
    // With embedded fonts the corner pixel is partly covered.
    field->embedFonts = true;
    pixels = renderStage(*f.stage, 16, 16);
    const Rgba corner = pixelAt(pixels, 16, 12, 8);
    EXPECT_EQ(corner.r, 255);
    EXPECT_NEAR(corner.g, 96, 2);
    EXPECT_EQ(pixelAt(pixels, 16, 13, 9), kWhite);
}

// A red 4x4 px square at (10, 10) px inside a sprite at depth 1, inside a
// parent sprite ("outer") at depth 1 of the root.
struct FilterScene {
    SwfBuilder builder;
    std::unique_ptr<Fixture> f;

    FilterScene()
    {
        builder.defineShape(1, box(200, 200, 80, {255, 0, 0, 255}));
        SwfBuilder inner, outer;
        inner.place(1, 1).showFrame();
        builder.defineSprite(2, inner);
        outer.placeObject(placement(1, 2, false, "inner")).showFrame();
        builder.defineSprite(3, outer);
        builder.placeObject(placement(1, 3, false, "outer")).showFrame();
        f = std::make_unique<Fixture>(builder);
        f->stage->start();
    }
    DisplayObject& outer() { return *f->root().childAt(1); }
    DisplayObject& inner() { return *outer().asMovieClip()->childAt(1); }
};

swf::DropShadowFilter hardShadow(double distance, double angle = 0)
{
    swf::DropShadowFilter shadow;
    shadow.color = {0, 0, 0, 255};
    shadow.distance = distance;
    shadow.angle = angle;
    shadow.strength = 1;
    shadow.compositeSource = true;
    return shadow;
}

TEST(Render, FiltersDrawAroundTheObject)
{
    constexpr Rgba kRed{255, 0, 0, 255}, kWhite{255, 255, 255, 255}, kBlack{0, 0, 0, 255},
        kBlue{0, 0, 255, 255};
    swf::GlowFilter glow;
    glow.color = {0, 255, 0, 255};
    glow.blurX = glow.blurY = 3;
    glow.strength = 100;
    glow.compositeSource = true;
    swf::ColorMatrixFilter swap; // red and blue exchanged
    swap.matrix = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    struct Probe {
        int x, y;
        Rgba expected;
    };
    struct Case {
        const char* name;
        std::vector<swf::Filter> filters;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {"none", {}, {{11, 11, kRed}, {15, 11, kWhite}}},
        {"shadow to the right",
         {hardShadow(3)},
         {{11, 11, kRed}, {13, 11, kRed}, {16, 11, kBlack}, {17, 11, kWhite}, {9, 11, kWhite}}},
        {"shadow up", {hardShadow(2, -std::numbers::pi / 2)}, {{11, 8, kBlack}, {11, 14, kWhite}}},
        {"glow all around",
         {glow},
         {{9, 9, {0, 255, 0, 255}}, {14, 12, {0, 255, 0, 255}}, {11, 11, kRed}, {7, 11, kWhite}}},
        {"filters in order: the shadow is swapped too",
         {hardShadow(3), swap},
         {{11, 11, kBlue}, {16, 11, kBlack}}},
    };
    FilterScene scene;
    for (const Case& c : cases) {
        scene.inner().setFilters(c.filters);
        auto pixels = renderStage(*scene.f->stage, 32, 32);
        for (const Probe& p : c.probes)
            EXPECT_EQ(pixelAt(pixels, 32, p.x, p.y), p.expected)
                << c.name << " at " << p.x << "," << p.y;
    }
}

TEST(Render, FilterColourTransformsAndScale)
{
    constexpr Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlack{0, 0, 0, 255},
        kWhite{255, 255, 255, 255};
    swf::ColorMatrixFilter swap; // red and green exchanged
    swap.matrix = {0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0};
    const ColorTransform makeGreen{0, 0, 0, 256, 0, 255, 0, 0};
    {
        // The object's own colour transform comes before its filters, the
        // parent's after: green, swapped to red, turned green again.
        FilterScene scene;
        scene.inner().setFilters({swap});
        scene.inner().setColorTransform(makeGreen);
        auto pixels = renderStage(*scene.f->stage, 32, 32);
        EXPECT_EQ(pixelAt(pixels, 32, 11, 11), kRed);
        scene.outer().setColorTransform(makeGreen);
        pixels = renderStage(*scene.f->stage, 32, 32);
        EXPECT_EQ(pixelAt(pixels, 32, 11, 11), kGreen);
    }
    {
        // Distances are stage pixels: the object's own scale leaves them,
        // the stage's zoom scales them.
        FilterScene scene;
        scene.inner().setFilters({hardShadow(2)});
        scene.inner().setMatrix(Matrix::scale(2, 2)); // square at 20..28 px
        auto pixels = renderStage(*scene.f->stage, 40, 40);
        EXPECT_EQ(pixelAt(pixels, 40, 29, 22), kBlack);
        EXPECT_EQ(pixelAt(pixels, 40, 30, 22), kWhite);
        scene.inner().setMatrix({});
        std::vector<uint8_t> zoomed(64 * 64 * 4);
        raster::Renderer renderer;
        renderer.begin({zoomed.data(), 64, 64, 64 * 4}, {});
        scene.f->stage->render(renderer, Matrix::scale(2 / kTwipsPerPixel, 2 / kTwipsPerPixel));
        renderer.finish();
        EXPECT_EQ(pixelAt(zoomed, 64, 22, 22), kRed);
        EXPECT_EQ(pixelAt(zoomed, 64, 31, 22), kBlack);
        EXPECT_EQ(pixelAt(zoomed, 64, 32, 22), kWhite);
    }
}

TEST(Render, FilteredImagesAreReusedOnlyForTheSamePixelsAndFilters)
{
    swf::GlowFilter glow;
    glow.color = {0, 255, 0, 255};
    glow.blurX = glow.blurY = 3;
    glow.strength = 2;
    swf::GlowFilter stronger = glow;
    stronger.strength = 4;
    // Each step changes one thing (or nothing) about the filtered object.
    struct Step {
        const char* name;
        ColorTransform cx;
        Matrix matrix;
        swf::GlowFilter filter;
    };
    const ColorTransform blue{0, 0, 0, 256, 0, 0, 255, 0};
    const Step steps[] = {
        {"first", {}, {}, glow},
        {"the same again", {}, {}, glow},
        {"recoloured", blue, {}, glow},
        {"moved by a pixel", blue, Matrix::translate(20, 0), glow},
        {"stronger filter", blue, Matrix::translate(20, 0), stronger},
        {"as at first", {}, {}, glow},
    };
    auto apply = [](FilterScene& scene, const Step& step) {
        scene.inner().setColorTransform(step.cx);
        scene.inner().setMatrix(step.matrix);
        scene.inner().setFilters({step.filter});
    };
    FilterScene reused;
    for (const Step& step : steps) {
        apply(reused, step);
        FilterScene fresh;
        apply(fresh, step);
        EXPECT_EQ(renderStage(*reused.f->stage, 32, 32), renderStage(*fresh.f->stage, 32, 32))
            << step.name;
    }
}

TEST(Render, FilteredObjectsUnderMasksNestedAndHuge)
{
    constexpr Rgba kRed{255, 0, 0, 255}, kBlack{0, 0, 0, 255}, kWhite{255, 255, 255, 255};
    {
        // A clip-depth mask over the left of the stage hides the
        // right half of the object and of its shadow.
        SwfBuilder builder;
        builder.defineShape(1, box(200, 200, 80, {255, 0, 0, 255}));
        test::ShapeBuilder leftHalf; // 12.5 px wide, 30 px tall
        leftHalf.rectangle(0, 0, 250, 600, leftHalf.addFill(test::solidFill({0, 0, 0, 255})));
        builder.defineShape(2, leftHalf);
        SwfBuilder inner;
        inner.place(1, 1).showFrame();
        builder.defineSprite(3, inner);
        auto mask = placement(1, 2, false);
        mask.clipDepth = 2;
        builder.placeObject(mask).placeObject(placement(2, 3, false, "s")).showFrame();
        Fixture f(builder);
        f.stage->start();
        f.root().childAt(2)->setFilters({hardShadow(1, std::numbers::pi / 2)});
        auto pixels = renderStage(*f.stage, 32, 32);
        EXPECT_EQ(pixelAt(pixels, 32, 11, 11), kRed);
        EXPECT_EQ(pixelAt(pixels, 32, 11, 14), kBlack);
        EXPECT_EQ(pixelAt(pixels, 32, 13, 11), kWhite);
        EXPECT_EQ(pixelAt(pixels, 32, 13, 14), kWhite);
    }
    {
        // Filters on both a parent and its child: the child's shadow is
        // part of what the parent's shadow is made from.
        FilterScene scene;
        scene.inner().setFilters({hardShadow(2)});
        scene.outer().setFilters({hardShadow(2, std::numbers::pi / 2)});
        auto pixels = renderStage(*scene.f->stage, 32, 32);
        EXPECT_EQ(pixelAt(pixels, 32, 11, 11), kRed);
        EXPECT_EQ(pixelAt(pixels, 32, 15, 11), kBlack);
        EXPECT_EQ(pixelAt(pixels, 32, 15, 15), kBlack);
        EXPECT_EQ(pixelAt(pixels, 32, 11, 15), kBlack);
        EXPECT_EQ(pixelAt(pixels, 32, 11, 17), kWhite);
    }
    {
        // An object far larger than the stage, heavily blurred: the image
        // it would need is over the limits, and it is drawn unfiltered.
        FilterScene scene;
        scene.inner().setMatrix(Matrix{100000, 0, 0, 100000, -24000000, -24000000});
        scene.inner().setFilters({swf::BlurFilter{255, 255, 15}});
        auto pixels = renderStage(*scene.f->stage, 32, 32);
        EXPECT_EQ(pixelAt(pixels, 32, 16, 16), kRed);
        scene.inner().setMatrix(Matrix{100000, 0, 0, 100000, 0, 0});
        pixels = renderStage(*scene.f->stage, 32, 32);
        EXPECT_EQ(pixelAt(pixels, 32, 16, 16), kWhite) << "the square starts far away";
    }
}

TEST(Render, RunawayNestingIsRefusedAndNoted)
{
    SwfBuilder builder;
    builder.defineShape(1, box(0, 0, 200, {255, 0, 0, 255}));
    builder.place(1, 1).showFrame();
    Fixture f(builder);
    f.stage->start();
    MovieClip* clip = &f.root();
    int made = 0;
    for (; made < 300 && clip; ++made) {
        EXPECT_FALSE(f.stage->refusedDeepNesting());
        clip = clip->createEmptyMovieClip("d", kScriptDepthOffset + 1).get();
    }
    EXPECT_EQ(clip, nullptr);
    EXPECT_LT(made, 300);
    EXPECT_TRUE(f.stage->refusedDeepNesting());
    auto pixels = renderStage(*f.stage, 16, 16);
    EXPECT_EQ(pixelAt(pixels, 16, 5, 5), (Rgba{255, 0, 0, 255})) << "the rest is still drawn";
}

// A red 6x6 px square at (10, 10) px and a blue one at (13, 13) px in a
// sprite ("top") above it; with `grouped`, both inside a sprite ("group").
struct BlendScene {
    SwfBuilder builder;
    std::unique_ptr<Fixture> f;

    explicit BlendScene(bool grouped) : m_grouped(grouped)
    {
        builder.defineShape(1, box(200, 200, 120, {255, 0, 0, 255}));
        builder.defineShape(2, box(260, 260, 120, {0, 0, 255, 255}));
        SwfBuilder top, group;
        top.place(2, 1).showFrame();
        builder.defineSprite(3, top);
        SwfBuilder& content = grouped ? group : builder;
        content.place(1, 1).placeObject(placement(2, 3, false, "top")).showFrame();
        if (grouped) {
            builder.defineSprite(4, group);
            builder.placeObject(placement(1, 4, false, "group")).showFrame();
        }
        f = std::make_unique<Fixture>(builder);
        f->stage->start();
    }
    DisplayObject& group() { return *f->root().childAt(1); }
    DisplayObject& top()
    {
        MovieClip& parent = m_grouped ? *group().asMovieClip() : f->root();
        return *parent.childAt(2);
    }

private:
    bool m_grouped;
};

// Probes 2 px away from the expected colour in every channel pass.
void expectNear(Rgba actual, Rgba expected, const std::string& what)
{
    EXPECT_TRUE(std::abs(actual.r - expected.r) <= 2 && std::abs(actual.g - expected.g) <= 2 &&
                std::abs(actual.b - expected.b) <= 2 && actual.a == expected.a)
        << what << ": got " << int(actual.r) << "," << int(actual.g) << "," << int(actual.b) << ","
        << int(actual.a);
}

TEST(Render, BlendModesCombineWithWhatLiesBelow)
{
    constexpr Rgba kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255},
        kBlack{0, 0, 0, 255}, kMagenta{255, 0, 255, 255}, kCyan{0, 255, 255, 255},
        kYellow{255, 255, 0, 255};
    // Blue over red (the overlap) and blue over the white stage.
    struct Case {
        swf::BlendMode mode;
        Rgba overRed, overWhite;
    };
    const Case cases[] = {
        {swf::BlendMode::Normal, kBlue, kBlue},
        {swf::BlendMode::Layer, kBlue, kBlue},
        {swf::BlendMode::Multiply, kBlack, kBlue},
        {swf::BlendMode::Screen, kMagenta, kWhite},
        {swf::BlendMode::Lighten, kMagenta, kWhite},
        {swf::BlendMode::Darken, kBlack, kBlue},
        {swf::BlendMode::Difference, kMagenta, kYellow},
        {swf::BlendMode::Add, kMagenta, kWhite},
        {swf::BlendMode::Subtract, kRed, kYellow},
        {swf::BlendMode::Invert, kCyan, kBlack},
        {swf::BlendMode::Overlay, kRed, kWhite},
        {swf::BlendMode::HardLight, kBlue, kBlue},
        // Straight onto the stage there is no group to act on: nothing shows.
        {swf::BlendMode::Alpha, kRed, kWhite},
        {swf::BlendMode::Erase, kRed, kWhite},
    };
    BlendScene scene(false);
    for (const Case& c : cases) {
        scene.top().setBlendMode(uint8_t(c.mode));
        auto pixels = renderStage(*scene.f->stage, 32, 32);
        const std::string name = "mode " + std::to_string(int(c.mode));
        expectNear(pixelAt(pixels, 32, 14, 14), c.overRed, name + " over red");
        expectNear(pixelAt(pixels, 32, 17, 17), c.overWhite, name + " over white");
        EXPECT_EQ(pixelAt(pixels, 32, 11, 11), kRed) << name << ": the backdrop alone";
        EXPECT_EQ(pixelAt(pixels, 32, 25, 25), kWhite) << name << ": outside both";
    }
}

TEST(Render, LayerGroupsTakeAlphaAndErase)
{
    constexpr Rgba kRed{255, 0, 0, 255}, kWhite{255, 255, 255, 255};
    const ColorTransform halfAlpha{256, 256, 256, 128, 0, 0, 0, 0};
    {
        // Half alpha on a layer applies to the flattened group: the red
        // below the blue does not show through.
        BlendScene scene(true);
        scene.group().setColorTransform(halfAlpha);
        scene.group().setBlendMode(uint8_t(swf::BlendMode::Layer));
        auto pixels = renderStage(*scene.f->stage, 32, 32);
        expectNear(pixelAt(pixels, 32, 14, 14), {127, 127, 255, 255}, "layer overlap");
        expectNear(pixelAt(pixels, 32, 11, 11), {255, 127, 127, 255}, "layer red");
        scene.group().setBlendMode(uint8_t(swf::BlendMode::Normal));
        pixels = renderStage(*scene.f->stage, 32, 32);
        EXPECT_LT(pixelAt(pixels, 32, 14, 14).g, 100) << "without the layer, red shows through";
    }
    {
        // Erase cuts through the group to the stage; alpha keeps the group
        // where the source is opaque.
        BlendScene scene(true);
        scene.group().setBlendMode(uint8_t(swf::BlendMode::Layer));
        scene.top().setBlendMode(uint8_t(swf::BlendMode::Erase));
        auto pixels = renderStage(*scene.f->stage, 32, 32);
        EXPECT_EQ(pixelAt(pixels, 32, 14, 14), kWhite) << "erased";
        EXPECT_EQ(pixelAt(pixels, 32, 11, 11), kRed) << "outside the eraser";
        scene.top().setBlendMode(uint8_t(swf::BlendMode::Alpha));
        pixels = renderStage(*scene.f->stage, 32, 32);
        EXPECT_EQ(pixelAt(pixels, 32, 14, 14), kRed) << "kept under an opaque source";
        EXPECT_EQ(pixelAt(pixels, 32, 11, 11), kRed) << "outside the source's image";
    }
}

} // namespace
} // namespace zf::display
