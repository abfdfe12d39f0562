#include "display_test_p.h"

#include <cstdlib>
#include <numbers>
#include <string>

namespace zf::display {
namespace {

TEST(DisplayList, PlaceMoveReplaceRemove)
{
    SwfBuilder builder;
    builder.defineShape(1, box(0, 0, 100, {255, 0, 0, 255}));
    builder.defineShape(2, box(0, 0, 100, {0, 255, 0, 255}));
    builder.place(1, 1).showFrame();
    builder.place(2, 1); // occupied: fails
    auto move = placement(1, std::nullopt, true);
    move.matrix = Matrix::translate(40, 60);
    builder.placeObject(move).showFrame();
    builder.placeObject(placement(1, 1, true)).showFrame(); // same character: kept
    builder.placeObject(placement(1, 2, true)).showFrame(); // other character: replaced
    builder.removeObject(1).showFrame();
    Fixture f(builder);
    f.stage->start();
    DisplayObject* first = f.root().childAt(1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->characterId(), 1);

    f.stage->tick();
    EXPECT_EQ(f.root().childAt(1), first) << "placement on an occupied depth fails";
    EXPECT_EQ(first->matrix().tx, 40);
    EXPECT_EQ(first->matrix().ty, 60);

    f.stage->tick();
    EXPECT_EQ(f.root().childAt(1), first) << "same character keeps the instance";

    f.stage->tick();
    DisplayObject* replaced = f.root().childAt(1);
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(replaced->characterId(), 2);
    EXPECT_EQ(replaced->matrix().tx, 40) << "fields not given carry over";

    f.stage->tick();
    EXPECT_EQ(f.root().childAt(1), nullptr);
}

TEST(Timeline, ExecutionOrderWithinAndAcrossTicks)
{
    SwfBuilder sprite;
    sprite.doAction(Actions().trace("a1")).showFrame();
    sprite.doAction(Actions().trace("a2")).showFrame();
    SwfBuilder builder;
    builder.defineSprite(5, sprite);
    builder.doAction(Actions().trace("r1a"));
    builder.placeObject(placement(1, 5, false, "A"));
    builder.doAction(Actions().trace("r1b"));
    builder.doInitAction(5, Actions().trace("i"));
    builder.showFrame();
    builder.doAction(Actions().trace("r2")).doInitAction(5, Actions().trace("again")).showFrame();
    Fixture f(builder);
    f.stage->start();
    EXPECT_EQ(f.runner.take(), "init5:i root:load root:r1a A:load A:a1 root:r1b");
    f.stage->tick();
    EXPECT_EQ(f.runner.take(), "A:enterFrame A:a2 root:enterFrame root:r2")
        << "newest clip first; init actions once per sprite";
}

TEST(Timeline, LoopingAndSingleFrameTimelines)
{
    SwfBuilder looping;
    looping.doAction(Actions().trace("f1")).showFrame();
    looping.doAction(Actions().trace("f2")).showFrame();
    Fixture f(looping);
    f.runner.recordEnterFrame = false;
    f.stage->start();
    f.stage->tick();
    f.stage->tick();
    EXPECT_EQ(f.runner.take(), "root:load root:f1 root:f2 root:f1");
    EXPECT_EQ(f.root().currentFrame(), 1);

    SwfBuilder single;
    single.doAction(Actions().trace("only")).showFrame();
    Fixture g(single);
    g.runner.recordEnterFrame = false;
    g.stage->start();
    g.stage->tick();
    g.stage->tick();
    EXPECT_EQ(g.runner.take(), "root:load root:only");
}

TEST(Timeline, GotosSkipActionsAndClamp)
{
    SwfBuilder builder;
    for (int i = 1; i <= 4; ++i)
        builder.doAction(Actions().trace(std::string("f").append(std::to_string(i)))).showFrame();
    Fixture f(builder);
    f.runner.recordEnterFrame = false;
    f.stage->start();
    f.runner.take();
    struct Step {
        int frame;
        int expectedFrame;
        const char* actions;
    };
    const Step steps[] = {
        {3, 3, "root:f3"}, // forward: skipped frame 2 runs nothing
        {3, 3, ""},        // the current frame: nothing happens
        {99, 4, ""},       // beyond the end: the last frame, its actions not run
        {0, 4, ""},        // zero is ignored
        {2, 2, "root:f2"}, // backward
        {4, 4, "root:f4"}, // exactly the last frame runs its actions
        {1, 1, "root:f1"}, //
        {5, 4, ""},        // one past the end, from the start
    };
    for (const auto& step : steps) {
        f.root().gotoFrame(step.frame, false);
        f.stage->runActionQueue();
        EXPECT_EQ(f.root().currentFrame(), step.expectedFrame) << step.frame;
        EXPECT_EQ(f.runner.take(), step.actions) << step.frame;
    }
    EXPECT_FALSE(f.root().playing());
    EXPECT_FALSE(f.root().gotoLabel("missing", true));
}

TEST(Timeline, BackwardGotoKeepsOrRecreatesInstances)
{
    SwfBuilder sprite;
    sprite.showFrame();
    SwfBuilder builder;
    builder.defineSprite(5, sprite);
    builder.defineShape(1, box(0, 0, 100, {255, 0, 0, 255}));
    builder.placeObject(placement(1, 5, false, "s")).showFrame(); // 1
    builder.place(1, 2).showFrame();                              // 2
    builder.removeObject(1).showFrame();                          // 3
    builder.placeObject(placement(1, 5, false, "s")).showFrame(); // 4
    Fixture f(builder);
    f.stage->start();
    auto original = f.root().childAt(1)->shared_from_this();
    f.root().gotoFrame(2, false);
    auto scriptHigh = f.root().createEmptyMovieClip("high", kScriptDepthOffset + 5);
    auto scriptLow = f.root().createEmptyMovieClip("low", 10);

    f.root().gotoFrame(1, false);
    EXPECT_EQ(f.root().childAt(1), original.get()) << "placement still in effect: kept";
    EXPECT_EQ(f.root().childAt(2), nullptr);
    EXPECT_EQ(f.root().childAt(kScriptDepthOffset + 5), scriptHigh.get());
    EXPECT_EQ(f.root().childAt(10), nullptr) << "script clip at a timeline depth is removed";
    EXPECT_TRUE(scriptLow->removed());

    f.root().gotoFrame(4, false);
    auto replaced = f.root().childAt(1)->shared_from_this();
    EXPECT_NE(replaced, original);
    EXPECT_TRUE(original->removed());
    f.root().gotoFrame(2, false);
    EXPECT_NE(f.root().childAt(1), replaced.get()) << "a later placement is recreated";
    EXPECT_EQ(f.root().childAt(1)->name(), "s");
    EXPECT_NE(f.root().childAt(2), nullptr);
}

TEST(Timeline, UnnamedSpritesGetInstanceNames)
{
    SwfBuilder sprite(6);
    sprite.showFrame();
    SwfBuilder builder(6); // names compare case-insensitively up to SWF 6
    builder.defineSprite(5, sprite);
    builder.place(5, 1).placeObject(placement(2, 5, false, "named")).place(5, 3).showFrame();
    Fixture f(builder);
    f.stage->start();
    EXPECT_EQ(f.root().childAt(1)->name(), "instance1");
    EXPECT_EQ(f.root().childAt(2)->name(), "named");
    EXPECT_EQ(f.root().childAt(3)->name(), "instance2");
    EXPECT_EQ(f.root().childByName("NAMED"), f.root().childAt(2));
    EXPECT_EQ(f.root().childAt(3)->targetPath(), "_level0.instance2");
    EXPECT_EQ(f.root().childAt(3)->slashPath(), "/instance2");
}

TEST(Input, ButtonStateTransitionsRunConditionActions)
{
    auto pressCode = Actions().trace("pressed").bytes();
    auto releaseCode = Actions().trace("released").bytes();
    auto outsideCode = Actions().trace("outside").bytes();
    swf::Button button;
    button.id = 3;
    button.version = 2;
    button.records.push_back(
        {swf::ButtonState::Up | swf::ButtonState::HitTest, 1, 1, {}, {}, {}, 0});
    button.records.push_back(
        {swf::ButtonState::Over | swf::ButtonState::Down, 2, 1, {}, {}, {}, 0});
    button.actions.push_back({swf::ButtonCondition::OverUpToOverDown, pressCode});
    button.actions.push_back({swf::ButtonCondition::OverDownToOverUp, releaseCode});
    button.actions.push_back({swf::ButtonCondition::OutDownToIdle, outsideCode});
    SwfBuilder builder;
    builder.defineShape(1, box(0, 0, 2000, {255, 0, 0, 255}));
    builder.defineShape(2, box(0, 0, 2000, {0, 0, 255, 255}));
    builder.defineButton(button);
    builder.placeObject(placement(1, 3, false, "b")).showFrame();
    Fixture f(builder);
    f.stage->start();
    f.runner.take();
    auto* b = f.root().childAt(1)->asButton();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->state(), ButtonVisualState::Up);
    EXPECT_EQ(b->children().begin()->second->characterId(), 1);

    Point inside{1000, 1000}, outside{5000, 5000};
    f.stage->mouseMove(inside);
    EXPECT_EQ(b->state(), ButtonVisualState::Over);
    EXPECT_EQ(b->children().begin()->second->characterId(), 2);
    f.stage->mouseDown(inside);
    EXPECT_EQ(b->state(), ButtonVisualState::Down);
    f.stage->mouseUp(inside);
    EXPECT_EQ(f.runner.take(), "b:rollOver b:4:pressed b:press b:8:released b:release");

    f.stage->mouseDown(inside);
    f.stage->mouseMove(outside);
    f.stage->mouseUp(outside);
    EXPECT_EQ(b->state(), ButtonVisualState::Up);
    EXPECT_EQ(f.runner.take(), "b:4:pressed b:press b:dragOut b:64:outside b:releaseOutside");
    f.stage->mouseMove(inside);
    f.stage->mouseMove(outside);
    EXPECT_EQ(f.runner.take(), "b:rollOver b:rollOut");
}

TEST(DisplayList, ChildrenMadeByScripts)
{
    SwfBuilder sprite;
    sprite.doAction(Actions().trace("first")).showFrame().showFrame();
    SwfBuilder builder;
    builder.defineSprite(5, sprite);
    builder.exportAssets({{5, "Ball"}});
    builder.placeObject(placement(1, 5, false, "timeline")).showFrame();
    Fixture f(builder);
    f.runner.recordEnterFrame = false;
    f.stage->start();
    f.runner.take();
    MovieClip& root = f.root();
    EXPECT_EQ(root.nextHighestDepth(), kScriptDepthOffset);

    auto ball = root.attachMovie("BALL", "b", kScriptDepthOffset + 3);
    ASSERT_NE(ball, nullptr);
    EXPECT_EQ(f.runner.take(), "") << "load and first-frame actions are queued";
    f.stage->runActionQueue();
    EXPECT_EQ(f.runner.take(), "b:load b:first");
    EXPECT_EQ(root.attachMovie("nothing", "x", kScriptDepthOffset + 4), nullptr);

    ball->setX(12);
    auto copy = ball->duplicate("c", kScriptDepthOffset + 7);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->x(), 12);
    EXPECT_EQ(copy->currentFrame(), 1);
    EXPECT_EQ(root.nextHighestDepth(), kScriptDepthOffset + 8);

    root.swapChildDepth(*ball, kScriptDepthOffset + 7);
    EXPECT_EQ(root.childAt(kScriptDepthOffset + 7), ball.get());
    EXPECT_EQ(root.childAt(kScriptDepthOffset + 3), copy.get());

    DisplayObject& timelineChild = *root.childAt(1);
    EXPECT_FALSE(root.removeChild(timelineChild)) << "timeline depths are not removable";
    EXPECT_TRUE(root.removeChild(*copy));
    EXPECT_TRUE(copy->removed());
    EXPECT_EQ(f.runner.take(), "c:unload");
    EXPECT_EQ(root.childAt(kScriptDepthOffset + 3), nullptr);
}

TEST(Geometry, PropertiesAndHitTests)
{
    SwfBuilder builder;
    builder.defineShape(1, box(0, 0, 200, {0, 0, 0, 255}));
    SwfBuilder sprite;
    sprite.place(1, 1).showFrame();
    builder.defineSprite(2, sprite);
    auto place = placement(1, 2, false, "s");
    place.matrix = Matrix::translate(1000, 400);
    builder.placeObject(place).showFrame();
    Fixture f(builder);
    f.stage->start();
    DisplayObject& s = *f.root().childAt(1);
    EXPECT_DOUBLE_EQ(s.x(), 50);
    EXPECT_DOUBLE_EQ(s.width(), 10);
    s.setXScale(200);
    s.setRotation(90);
    EXPECT_NEAR(s.rotation(), 90, 1e-9);
    EXPECT_NEAR(s.xScale(), 200, 1e-9);
    EXPECT_NEAR(s.width(), 10, 1e-9);
    EXPECT_NEAR(s.height(), 20, 1e-9);
    s.setRotation(0);
    EXPECT_TRUE(s.hitTest({1000 + 300, 400 + 100}, true));
    EXPECT_FALSE(s.hitTest({1000 + 500, 400 + 100}, true));
    Point local = s.globalToLocal({1100, 500});
    EXPECT_NEAR(local.x, 50, 1e-9);
    EXPECT_NEAR(local.y, 100, 1e-9);
}

TEST(Drawing, FilledPathsHitAndBound)
{
    SwfBuilder builder;
    builder.showFrame();
    Fixture f(builder);
    f.stage->start();
    auto clip = f.root().createEmptyMovieClip("d", kScriptDepthOffset + 1);
    Drawing& d = clip->drawing();
    d.beginFill({0, 255, 0, 255});
    d.moveTo(0, 0);
    d.lineTo(400, 0);
    d.lineTo(400, 400);
    d.lineTo(0, 400);
    d.endFill();
    EXPECT_TRUE(clip->hitTestLocal({200, 200}));
    EXPECT_FALSE(clip->hitTestLocal({500, 200}));
    Bounds b = clip->localBounds();
    EXPECT_EQ(b.xMax, 400);
    auto pixels = renderStage(*f.stage, 32, 32);
    EXPECT_EQ(pixelAt(pixels, 32, 10, 10), (Rgba{0, 255, 0, 255}));
}

} // namespace
} // namespace zf::display
