#include "library/library.h"

#include <gtest/gtest.h>

namespace zf::library {
namespace {

TEST(TypeCheck, ExtensionOfTheFileNamePartOnly)
{
    const std::pair<const char*, bool> cases[] = {
        {"/movies/clip.swf", true},
        {"/movies/CLIP.SWF", true},
        {"/movies/a.Swf", true},
        {"clip.swf", true},
        {".swf", true},
        {"/m/movie.swf.bak", false},
        {"/clips.swf/movie", false},
        {"/m/movie", false},
        {"/m/movie.sw", false},
        {"/m/movie.swff", false},
        {"/m/notes.txt", false},
        {"", false},
        {"/m/movie.ſwf", false}, // a long s upper-cases to S outside ASCII
    };
    for (const auto& [path, passes] : cases) {
        EXPECT_EQ(passesTypeCheck(QString::fromUtf8(path)), passes) << path;
    }
}

TEST(FileNamePart, TextAfterTheLastSeparator)
{
    EXPECT_EQ(fileNamePart("/a/b/c.swf"), "c.swf");
    EXPECT_EQ(fileNamePart("c.swf"), "c.swf");
    EXPECT_EQ(fileNamePart("/a/b/"), "");
    EXPECT_EQ(fileNamePart(""), "");
}

TEST(PlayList, WalksWithWrapAroundBothWays)
{
    PlayList list;
    EXPECT_FALSE(list.next());
    EXPECT_FALSE(list.prior());
    EXPECT_EQ(list.index(), 0);

    list.replace({"/a.swf", "/b.swf", "/c.swf"});
    EXPECT_EQ(list.index(), 0);
    EXPECT_TRUE(list.prior());
    EXPECT_EQ(list.current(), "/c.swf");
    EXPECT_TRUE(list.next());
    EXPECT_EQ(list.current(), "/a.swf");
    list.next();
    list.next();
    EXPECT_EQ(list.index(), 2);

    list.replace({"/x.swf", "/y.swf"});
    EXPECT_EQ(list.index(), 0);
    list.next();
    EXPECT_EQ(list.current(), "/y.swf");
    list.next();
    EXPECT_EQ(list.current(), "/x.swf");

    list.clear();
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(list.index(), 0);
}

TEST(PlayList, AddIfAbsentIgnoresLetterCase)
{
    PlayList list;
    list.addIfAbsent("/m/Clip.swf");
    list.addIfAbsent("/M/CLIP.SWF");
    list.addIfAbsent("/m/other.swf");
    EXPECT_EQ(list.entries(), QStringList({"/m/Clip.swf", "/m/other.swf"}));
}

} // namespace
} // namespace zf::library
