#include "swf/swf.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

namespace zf::swf {
namespace {

using test::Actions;
using test::Bytes;
using test::SwfBuilder;

Tag tagOf(uint16_t code, const Bytes& body)
{
    return Tag{code, body, 0};
}

TEST(Bitmaps, LosslessAndJpegHeaders)
{
    std::vector<Rgba> pixels(5 * 3, Rgba{10, 20, 30, 255});
    pixels[4] = {200, 100, 50, 128};
    SwfBuilder movie(8);
    movie.defineBitsLossless(1, 5, 3, pixels, 3, true)
        .defineBitsLossless(2, 5, 3, pixels, 5, false);
    movie.defineBitsJpeg2(3, {0xFF, 0xD8, 0xFF, 0xD9});
    movie.defineBitsJpeg3(4, {0x89, 'P', 'N', 'G'}, Bytes(15, 0xFF));
    Bytes bytes = movie.tagBytes();
    TagStream stream(bytes);
    std::vector<Tag> tags;
    while (auto tag = stream.next())
        tags.push_back(*tag);
    auto palette = readDefineBitsLossless(tags[0]);
    ASSERT_TRUE(palette) << palette.message();
    EXPECT_TRUE(palette->hasAlpha);
    EXPECT_EQ(std::tuple(palette->id, palette->format, palette->width, palette->height),
              std::tuple(uint16_t(1), uint8_t(3), uint16_t(5), uint16_t(3)));
    EXPECT_EQ(palette->colorTableSize, 2);
    EXPECT_FALSE(palette->zlibData.empty());
    auto argb = readDefineBitsLossless(tags[1]);
    ASSERT_TRUE(argb);
    EXPECT_FALSE(argb->hasAlpha);
    EXPECT_EQ(argb->colorTableSize, 0);
    auto jpeg2 = readDefineBitsJpeg(tags[2]);
    ASSERT_TRUE(jpeg2);
    EXPECT_EQ(jpeg2->version, 2);
    EXPECT_EQ(jpeg2->imageData.size(), 4u);
    auto jpeg3 = readDefineBitsJpeg(tags[3]);
    ASSERT_TRUE(jpeg3);
    EXPECT_EQ(jpeg3->version, 3);
    EXPECT_EQ(jpeg3->imageData[0], 0x89);
    EXPECT_EQ(jpeg3->imageData.size(), 4u);
    EXPECT_FALSE(jpeg3->alphaData.empty());
    // DefineBitsJPEG4 adds an 8.8 deblocking value; an alpha offset past the
    // tag fails.
    auto jpeg4 = readDefineBitsJpeg(tagOf(90, {5, 0, 2, 0, 0, 0, 0x80, 0x01, 0xFF, 0xD8, 0x78}));
    ASSERT_TRUE(jpeg4) << jpeg4.message();
    EXPECT_EQ(jpeg4->deblock, 1.5);
    EXPECT_EQ(jpeg4->alphaData.size(), 1u);
    EXPECT_FALSE(readDefineBitsJpeg(tagOf(35, {5, 0, 0xFF, 0xFF, 0xFF, 0x0F, 1})));
}

TEST(Sound, DefinitionsAndSoundInfo)
{
    SwfBuilder movie(9);
    movie.defineSound(6, SoundFormat{2, 3, true, true}, 1152, {0, 0, 0xFF, 0xFB});
    Bytes bytes = movie.tagBytes();
    TagStream stream(bytes);
    auto sound = readDefineSound(*stream.next());
    ASSERT_TRUE(sound) << sound.message();
    EXPECT_EQ(std::tuple(sound->format.format, sound->format.rateCode, sound->format.is16Bit,
                         sound->format.stereo),
              std::tuple(uint8_t(2), uint8_t(3), true, true));
    EXPECT_EQ(sound->format.sampleRate(), 44100);
    EXPECT_EQ(sound->sampleCount, 1152u);
    EXPECT_EQ(sound->data.size(), 4u);

    // SyncNoMultiple, in point, loops and a two-point envelope.
    Bytes start = {6, 0, 0x1D, 0x10, 0, 0,    0,    3, 0, 2, 0x00, 0, 0,
                   0, 0, 0x80, 0x00, 0, 0x44, 0xAC, 0, 0, 0, 0,    0, 0x80};
    auto info = readStartSound(tagOf(15, start), 9);
    ASSERT_TRUE(info) << info.message();
    EXPECT_EQ(info->soundId, 6);
    EXPECT_TRUE(info->info.syncNoMultiple);
    EXPECT_FALSE(info->info.syncStop);
    EXPECT_EQ(info->info.inPoint, 16u);
    EXPECT_FALSE(info->info.outPoint);
    EXPECT_EQ(info->info.loopCount, 3);
    ASSERT_EQ(info->info.envelope.size(), 2u);
    EXPECT_EQ(info->info.envelope[0].left, 32768);
    EXPECT_EQ(info->info.envelope[1].position44, 44100u);
    EXPECT_EQ(info->info.envelope[1].right, 32768);
    EXPECT_TRUE(checkTag(tagOf(15, start), 9).exact());

    auto named = readStartSound(tagOf(89, {'s', 0, 0x20}), 9);
    ASSERT_TRUE(named);
    EXPECT_EQ(named->className, "s");
    EXPECT_TRUE(named->info.syncStop);

    // Stream head: playback 44 kHz 16-bit stereo; stream MP3 22 kHz mono.
    Bytes head = {0x0F, 0x2A, 0x40, 0x02, 0xF0, 0xFF};
    auto stream2 = readSoundStreamHead(tagOf(45, head));
    ASSERT_TRUE(stream2);
    EXPECT_EQ(
        std::tuple(stream2->playback.rateCode, stream2->playback.is16Bit, stream2->playback.stereo),
        std::tuple(uint8_t(3), true, true));
    EXPECT_EQ(std::tuple(stream2->stream.format, stream2->stream.rateCode, stream2->stream.is16Bit,
                         stream2->stream.stereo),
              std::tuple(uint8_t(2), uint8_t(2), true, false));
    EXPECT_EQ(stream2->sampleCount, 576);
    EXPECT_EQ(stream2->latencySeek, -16);
    EXPECT_TRUE(checkTag(tagOf(45, head), 9).exact());

    Bytes buttonSound = {1, 0, 0, 0, 7, 0, 0x00, 0, 0, 0, 0};
    auto sounds = readDefineButtonSound(tagOf(17, buttonSound));
    ASSERT_TRUE(sounds) << sounds.message();
    EXPECT_EQ(sounds->sounds[1].soundId, 7);
    EXPECT_EQ(sounds->sounds[2].soundId, 0);
}

TEST(Control, SmallRecords)
{
    auto label = readFrameLabel(tagOf(43, {'g', 'o', 0, 1}), 6);
    ASSERT_TRUE(label);
    EXPECT_EQ(label->name, "go");
    EXPECT_TRUE(label->anchor);
    EXPECT_FALSE(readFrameLabel(tagOf(43, {'g', 'o'}), 6)); // unterminated

    EXPECT_EQ(*readSetBackgroundColor(tagOf(9, {1, 2, 3})), (Rgba{1, 2, 3, 255}));
    EXPECT_EQ(*readFileAttributes(tagOf(69, {0x19, 0, 0, 0})), 0x19u);
    auto limits = readScriptLimits(tagOf(65, {0x00, 0x01, 0x3C, 0x00}));
    EXPECT_EQ(std::tuple(limits->maxRecursionDepth, limits->timeoutSeconds),
              std::tuple(uint16_t(256), uint16_t(60)));
    auto tab = readSetTabIndex(tagOf(66, {2, 0, 5, 0}));
    EXPECT_EQ(std::tuple(tab->depth, tab->tabIndex), std::tuple(uint16_t(2), uint16_t(5)));
    auto remove = readRemoveObject(tagOf(5, {3, 0, 4, 0}));
    EXPECT_EQ(std::tuple(remove->characterId, remove->depth),
              std::tuple(std::optional<uint16_t>(3), uint16_t(4)));
    EXPECT_FALSE(readRemoveObject(tagOf(28, {4}))); // truncated
    auto grid = readDefineScalingGrid(tagOf(78, {9, 0, 0x00}));
    EXPECT_EQ(grid->characterId, 9);
    auto video = readDefineVideoStream(tagOf(60, {1, 0, 24, 0, 0x40, 1, 0xF0, 0, 0x05, 4}));
    ASSERT_TRUE(video);
    EXPECT_EQ(std::tuple(video->frameCount, video->width, video->height, video->deblocking,
                         video->smoothing, video->codec),
              std::tuple(uint16_t(24), uint16_t(320), uint16_t(240), uint8_t(2), true, uint8_t(4)));
    auto frame = readVideoFrame(tagOf(61, {1, 0, 7, 0, 0xAA}));
    EXPECT_EQ(std::tuple(frame->frameNumber, frame->data.size()),
              std::tuple(uint16_t(7), size_t(1)));

    SwfBuilder movie(6);
    SwfBuilder sprite(6);
    sprite.showFrame().showFrame();
    movie.defineSprite(12, sprite).doInitAction(12, Actions().op(ActionCode::Play));
    movie.exportAssets({{12, "a"}, {13, "b"}});
    Bytes bytes = movie.tagBytes();
    TagStream stream(bytes);
    auto defined = readDefineSprite(*stream.next());
    ASSERT_TRUE(defined);
    EXPECT_EQ(std::tuple(defined->id, defined->frameCount), std::tuple(uint16_t(12), uint16_t(2)));
    TagStream nested(defined->tags);
    int shows = 0;
    while (auto tag = nested.next())
        shows += tag->type() == TagCode::ShowFrame;
    EXPECT_EQ(shows, 2);
    EXPECT_TRUE(nested.sawEnd());
    auto init = readDoInitAction(*stream.next());
    EXPECT_EQ(init->spriteId, 12);
    EXPECT_EQ(init->actions.size(), 2u);
    auto exports = readExportAssets(*stream.next(), 6);
    ASSERT_EQ(exports->size(), 2u);
    EXPECT_EQ((*exports)[1].name, "b");
    auto import2 = readImportAssets(tagOf(71, {'u', 0, 1, 0, 1, 0, 4, 0, 'n', 0}), 8);
    ASSERT_TRUE(import2) << import2.message();
    EXPECT_EQ(import2->url, "u");
    EXPECT_EQ(import2->assets.at(0).id, 4);
}

TEST(Control, SceneDataWithHugeCounts)
{
    Bytes good = {1, 0, 'S', '1', 0, 1, 3, 'l', 0};
    auto scenes = readDefineSceneAndFrameLabelData(tagOf(86, good));
    ASSERT_TRUE(scenes) << scenes.message();
    EXPECT_EQ(scenes->scenes.at(0).name, "S1");
    EXPECT_EQ(scenes->labels.at(0).frame, 3u);
    // A count in the millions with a few bytes of data fails fast without
    // allocating for the claim.
    Bytes huge = {0xFF, 0xFF, 0xFF, 0x7F, 0, 'a', 0};
    EXPECT_FALSE(readDefineSceneAndFrameLabelData(tagOf(86, huge)));
}

} // namespace
} // namespace zf::swf
