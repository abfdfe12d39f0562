#include "movie/movie.h"

#include "swf_builder.h"

#include <gtest/gtest.h>

namespace zf::movie {
namespace {

using test::Actions;
using test::SwfBuilder;

std::shared_ptr<const MovieDefinition> build(const SwfBuilder& builder)
{
    auto movie = MovieDefinition::fromBytes(builder.bytes());
    EXPECT_TRUE(movie.ok()) << (movie.ok() ? "" : movie.message());
    return movie.ok() ? movie.value() : nullptr;
}

test::ShapeBuilder square()
{
    test::ShapeBuilder shape;
    shape.rectangle(0, 0, 200, 200, shape.addFill(test::solidFill({255, 0, 0, 255})));
    return shape;
}

TEST(Timeline, FrameCountFollowsShowFramesAndEnd)
{
    struct Case {
        const char* name;
        int declared;
        int showFrames;
        bool trailingAction;
        bool omitEnd;
        int frames;
        bool loops;
    };
    const Case cases[] = {
        {"more ShowFrames than declared", 1, 2, false, false, 2, true},
        {"fewer ShowFrames than declared", 2, 1, false, false, 1, false},
        {"no ShowFrame still has a frame", 1, 0, true, false, 1, false},
        {"tags after the last ShowFrame", 2, 2, true, false, 3, true},
        {"no End tag stops at the end", 2, 2, false, true, 2, false},
    };
    for (const auto& c : cases) {
        SwfBuilder builder;
        builder.frameCount(uint16_t(c.declared));
        for (int i = 0; i < c.showFrames; ++i)
            builder.doAction(Actions().trace("frame")).showFrame();
        if (c.trailingAction)
            builder.doAction(Actions().trace("tail"));
        builder.omitEnd(c.omitEnd);
        auto movie = build(builder);
        ASSERT_TRUE(movie) << c.name;
        EXPECT_EQ(movie->timeline().frameCount(), c.frames) << c.name;
        EXPECT_EQ(movie->timeline().loops(), c.loops) << c.name;
        EXPECT_EQ(movie->timeline().declaredFrameCount(), c.declared) << c.name;
    }
}

TEST(Timeline, LabelsAreCaseInsensitiveAndFirstWins)
{
    SwfBuilder builder;
    builder.frameLabel("Start").showFrame();
    builder.frameLabel("middle").showFrame();
    builder.frameLabel("START").showFrame();
    auto movie = build(builder);
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->timeline().frameOfLabel("start"), 1);
    EXPECT_EQ(movie->timeline().frameOfLabel("MIDDLE"), 2);
    EXPECT_EQ(movie->timeline().frameOfLabel("nowhere"), std::nullopt);
    EXPECT_EQ(movie->timeline().labels().size(), 3u);
}

TEST(Timeline, FramesHoldControlTagsInStreamOrder)
{
    SwfBuilder builder;
    builder.defineShape(1, square());
    builder.doAction(Actions().trace("a")).place(1, 1).doInitAction(1, Actions().trace("i"));
    builder.removeObject(1).showFrame();
    auto movie = build(builder);
    ASSERT_TRUE(movie);
    const auto& tags = movie->timeline().frame(1).tags;
    ASSERT_EQ(tags.size(), 4u);
    EXPECT_TRUE(std::holds_alternative<ActionTag>(tags[0]));
    EXPECT_TRUE(std::holds_alternative<PlaceTag>(tags[1]));
    EXPECT_TRUE(std::holds_alternative<InitActionTag>(tags[2]));
    EXPECT_TRUE(std::holds_alternative<RemoveTag>(tags[3]));
    EXPECT_EQ(std::get<PlaceTag>(tags[1]).place.characterId, 1);
}

TEST(Dictionary, CharactersSpritesAndExports)
{
    SwfBuilder sprite;
    sprite.place(1, 1).showFrame().showFrame();
    SwfBuilder builder;
    builder.backgroundColor({10, 20, 30, 255});
    builder.defineShape(1, square());
    builder.defineSprite(2, sprite);
    builder.exportAssets({{2, "Ball"}});
    builder.defineBitsLossless(3, 2, 1, {{255, 0, 0, 255}, {0, 0, 255, 255}}, 5, false);
    builder.showFrame();
    auto movie = build(builder);
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->kind(1), CharacterKind::Shape);
    ASSERT_NE(movie->shape(1), nullptr);
    EXPECT_EQ(movie->sprite(1), nullptr);
    ASSERT_NE(movie->sprite(2), nullptr);
    EXPECT_EQ(movie->sprite(2)->timeline.frameCount(), 2);
    EXPECT_EQ(movie->exportedCharacter("ball"), 2);
    EXPECT_EQ(movie->exportedCharacter("none"), std::nullopt);
    EXPECT_EQ(movie->backgroundColor(), (Rgba{10, 20, 30, 255}));
    const raster::Bitmap* bitmap = movie->bitmap(3);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->width, 2);
    EXPECT_EQ(bitmap->height, 1);
    EXPECT_EQ(movie->bitmap(3), bitmap) << "decoded once, then cached";
    EXPECT_EQ(movie->bitmap(1), nullptr);
    EXPECT_EQ(movie->bitmaps().bitmap(3), bitmap);
}

TEST(Dictionary, BrokenTagsAreSkippedWithAWarning)
{
    SwfBuilder builder;
    builder.tag(swf::TagCode::PlaceObject2, {0xFF}); // flags promise fields that are missing
    builder.tag(swf::TagCode::DefineShape, {0x01});
    builder.defineShape(2, square());
    builder.place(2, 1).showFrame();
    auto movie = build(builder);
    ASSERT_TRUE(movie);
    EXPECT_GE(movie->warnings().size(), 2u);
    EXPECT_NE(movie->shape(2), nullptr);
    EXPECT_EQ(movie->timeline().frame(1).tags.size(), 1u);
}

TEST(Definition, ActionScript3MoviesKeepHeaderFactsOnly)
{
    SwfBuilder builder;
    builder.fileAttributes(swf::FileAttribute::ActionScript3);
    builder.defineShape(1, square());
    builder.showFrame();
    auto movie = build(builder);
    ASSERT_TRUE(movie);
    EXPECT_TRUE(movie->avm2());
    EXPECT_EQ(movie->shape(1), nullptr);
    EXPECT_EQ(movie->timeline().frameCount(), 1);
}

TEST(Definition, GarbageIsAnError)
{
    EXPECT_FALSE(MovieDefinition::fromBytes({'X', 'Y', 'Z', 1, 2, 3}).ok());
    EXPECT_FALSE(MovieDefinition::fromBytes({}).ok());
}

} // namespace
} // namespace zf::movie
