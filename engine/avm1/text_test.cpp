// Text fields, TextFormat and Selection as scripts see them, run on a stage
// made from an empty one-frame movie.
#include "avm1.h"
#include "display/display.h"
#include "test_runner_p.h"

#include <gtest/gtest.h>

namespace zf::avm1 {
namespace {

using test::Asm;
using test::Item;
using test::Null;
using Code = swf::ActionCode;

// An empty movie of the given version: header, one ShowFrame, End.
std::shared_ptr<const movie::MovieDefinition> emptyMovie(int version)
{
    std::vector<uint8_t> bytes = {'F',  'W',  'S',  uint8_t(version),
                                  0,    0,    0,    0,
                                  0x00,                    // stage rectangle, no bits
                                  0x00, 0x0C, 1,    0,     // 12 fps, one frame
                                  0x40, 0x00, 0x00, 0x00}; // ShowFrame, End
    bytes[4] = uint8_t(bytes.size());
    auto movie = movie::MovieDefinition::fromBytes(std::move(bytes));
    EXPECT_TRUE(movie.ok());
    return movie.ok() ? *movie : nullptr;
}

class StageScript {
public:
    explicit StageScript(int version) : m_stage(emptyMovie(version))
    {
        Options options;
        options.swfVersion = version;
        options.trace = [this](const std::string& line) { m_lines += line + "\n"; };
        m_interpreter = createInterpreter(m_stage, options);
    }
    ~StageScript() { m_interpreter.reset(); }

    std::string run(Asm code)
    {
        auto bytes = code.bytes();
        EXPECT_TRUE(m_interpreter->runActions(bytes).ok());
        return std::exchange(m_lines, {});
    }

private:
    display::Stage m_stage;
    std::unique_ptr<Interpreter> m_interpreter;
    std::string m_lines;
};

// object.method(args...) with the result left on the stack.
Asm& call(Asm& a, const char* object, const char* method, std::vector<Item> args)
{
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        a.push({*it});
    a.push({int(args.size()), object}).op(Code::GetVariable).push({method});
    return a.op(Code::CallMethod);
}

Asm& setMember(Asm& a, const char* object, const char* name, Item value)
{
    return a.push({object}).op(Code::GetVariable).push({name, value}).op(Code::SetMember);
}

Asm& traceMember(Asm& a, const char* object, const char* name)
{
    return a.push({object}).op(Code::GetVariable).push({name}).op(Code::GetMember).op(Code::Trace);
}

// var name = new TextFormat();
Asm& newFormat(Asm& a, const char* name)
{
    return a.push({name, 0, "TextFormat"}).op(Code::NewObject).op(Code::DefineLocal);
}

// _root.createTextField(name, depth, 0, 0, 200, 100); var name = <field>;
Asm& newField(Asm& a, const char* name, int depth)
{
    a.push({name});
    call(a, "_root", "createTextField", {name, depth, 0, 0, 200, 100});
    return a.op(Code::DefineLocal);
}

TEST(TextFormatScript, SettersCoerceByVersion)
{
    struct Case {
        int version;
        const char* property;
        Item value;
        const char* expected;
    } cases[] = {
        // Integers round half to even from version 8 on, truncate before.
        {8, "size", 2.5, "2"},
        {8, "size", 3.5, "4"},
        {8, "size", -2.5, "-2"},
        {7, "size", 1.9, "1"},
        {8, "size", 4294967295.0, "-2147483648"},
        {8, "indent", -3.5, "-4"},
        {7, "indent", -3.0, "0"},
        // Margins are never negative; colours wrap to unsigned.
        {8, "leftMargin", -3.0, "0"},
        {8, "color", -3.5, "4294967293"},
        {8, "letterSpacing", 2.5, "2.5"},
        {8, "bold", "", "false"},
        {8, "font", Null{}, "null"},
        // An unknown alignment or display mode keeps or resets the value.
        {8, "align", "CENTER", "center"},
        {8, "align", "middle", "null"},
        {8, "display", "inline", "inline"},
        {8, "display", "Inline", "block"},
    };
    for (const Case& c : cases) {
        StageScript script(c.version);
        Asm a;
        newFormat(a, "f");
        setMember(a, "f", c.property, c.value);
        traceMember(a, "f", c.property);
        EXPECT_EQ(script.run(std::move(a)), std::string(c.expected) + "\n")
            << c.property << " v" << c.version;
    }

    // Constructor arguments convert like ECMAScript integers, unclamped.
    StageScript script(8);
    Asm a;
    a.push({"f", -10.9, -10.9, "F", 3, "TextFormat"}).op(Code::NewObject).op(Code::DefineLocal);
    traceMember(a, "f", "size");
    traceMember(a, "f", "color");
    traceMember(a, "f", "bold");
    EXPECT_EQ(script.run(std::move(a)), "-10\n4294967286\nnull\n");
}

TEST(TextFieldScript, FormatsOverRangesAndHtml)
{
    StageScript script(8);
    Asm a;
    newField(a, "t", 1);
    setMember(a, "t", "html", true);
    setMember(a, "t", "text", "ab\ncd");
    newFormat(a, "bold");
    setMember(a, "bold", "bold", true);
    setMember(a, "bold", "leftMargin", 5);
    a.push({"bold"}).op(Code::GetVariable).push({2, 1, 3, "t"}).op(Code::GetVariable);
    a.push({"setTextFormat"}).op(Code::CallMethod).op(Code::Pop);
    // Character fields change the range, paragraph fields its paragraph.
    call(a, "t", "getTextFormat", {1}).push({"bold"}).op(Code::GetMember).op(Code::Trace);
    call(a, "t", "getTextFormat", {}).push({"bold"}).op(Code::GetMember).op(Code::Trace);
    call(a, "t", "getTextFormat", {3}).push({"leftMargin"}).op(Code::GetMember).op(Code::Trace);
    traceMember(a, "t", "htmlText");
    traceMember(a, "t", "text");
    // New text takes the new-text format, not the old characters' format.
    setMember(a, "t", "text", "x");
    call(a, "t", "getTextFormat", {0}).push({"bold"}).op(Code::GetMember).op(Code::Trace);
    EXPECT_EQ(script.run(std::move(a)),
              "true\nnull\n0\n"
              "<TEXTFORMAT LEFTMARGIN=\"5\"><P ALIGN=\"LEFT\"><FONT FACE=\"Times New Roman\" "
              "SIZE=\"12\" COLOR=\"#000000\" LETTERSPACING=\"0\" KERNING=\"0\">a<B>b</B></FONT>"
              "</P></TEXTFORMAT><P ALIGN=\"LEFT\"><FONT FACE=\"Times New Roman\" SIZE=\"12\" "
              "COLOR=\"#000000\" LETTERSPACING=\"0\" KERNING=\"0\">cd</FONT></P>\n"
              "ab\ncd\nfalse\n");
}

TEST(TextFieldScript, PropertiesVariablesAndFocus)
{
    StageScript script(8);
    Asm a;
    a.setVar("v", "from variable");
    newField(a, "t", 1);
    setMember(a, "t", "variable", "v");
    traceMember(a, "t", "text");
    // Assigning the text sets the variable too.
    setMember(a, "t", "text", "typed");
    a.push({"v"}).op(Code::GetVariable).op(Code::Trace);
    // autoSize accepts booleans and names in any case; anything else is "none".
    setMember(a, "t", "autoSize", true);
    traceMember(a, "t", "autoSize");
    setMember(a, "t", "autoSize", "RIGHT");
    traceMember(a, "t", "autoSize");
    setMember(a, "t", "autoSize", 1);
    traceMember(a, "t", "autoSize");
    setMember(a, "t", "type", "INPUT");
    traceMember(a, "t", "type");
    // A field is its own first listener.
    a.push({"t"}).op(Code::GetVariable).push({"_listeners"}).op(Code::GetMember);
    a.push({"length"}).op(Code::GetMember).op(Code::Trace);
    // Focusing a field selects its text.
    a.push({"t"}).op(Code::GetVariable).push({1, "Selection"}).op(Code::GetVariable);
    a.push({"setFocus"}).op(Code::CallMethod).op(Code::Trace);
    call(a, "Selection", "getFocus", {}).op(Code::Trace);
    call(a, "Selection", "getEndIndex", {}).op(Code::Trace);
    call(a, "Selection", "setFocus", {Null{}}).op(Code::Trace);
    call(a, "Selection", "getBeginIndex", {}).op(Code::Trace);
    EXPECT_EQ(script.run(std::move(a)), "from variable\ntyped\nleft\nright\nnone\ninput\n1\n"
                                        "true\n_level0.t\n5\ntrue\n-1\n");
}

TEST(TextFieldScript, FiltersAreTheFieldsOwn)
{
    StageScript script(8);
    Asm a;
    newField(a, "t", 1);
    a.push({"t"}).op(Code::GetVariable).push({"filters"}).op(Code::GetMember);
    a.push({"length"}).op(Code::GetMember).op(Code::Trace);
    // t.filters = [new flash.filters.BlurFilter(7, 3)];
    a.push({"t"}).op(Code::GetVariable).push({"filters"});
    a.push({3, 7, 2, "flash"}).op(Code::GetVariable).push({"filters"}).op(Code::GetMember);
    a.push({"BlurFilter"}).op(Code::NewMethod).push({1}).op(Code::InitArray);
    a.op(Code::SetMember);
    a.push({"t"}).op(Code::GetVariable).push({"filters"}).op(Code::GetMember);
    a.push({0}).op(Code::GetMember).push({"blurX"}).op(Code::GetMember).op(Code::Trace);
    // The list read back is a copy: changing it leaves the field alone.
    a.push({"t"}).op(Code::GetVariable).push({"filters"}).op(Code::GetMember);
    a.push({"length", 0}).op(Code::SetMember);
    a.push({"t"}).op(Code::GetVariable).push({"filters"}).op(Code::GetMember);
    a.push({"length"}).op(Code::GetMember).op(Code::Trace);
    EXPECT_EQ(script.run(std::move(a)), "0\n7\n1\n");
}

TEST(TextFieldScript, EditingAndNumericProperties)
{
    StageScript script(8);
    Asm a;
    newField(a, "t", 1);
    setMember(a, "t", "text", "hello world");
    call(a, "t", "replaceText", {0, 5, "bye"}).op(Code::Pop);
    traceMember(a, "t", "text");
    traceMember(a, "t", "length");
    // replaceSel works on the selection a script focus made (all the text)
    // and leaves the caret after the insertion.
    a.push({"t"}).op(Code::GetVariable).push({1, "Selection"}).op(Code::GetVariable);
    a.push({"setFocus"}).op(Code::CallMethod).op(Code::Pop);
    call(a, "t", "replaceSel", {"new"}).op(Code::Pop);
    traceMember(a, "t", "text");
    call(a, "Selection", "getCaretIndex", {}).op(Code::Trace);
    // tabIndex wraps to unsigned; maxChars reads null until set.
    setMember(a, "t", "tabIndex", -4);
    traceMember(a, "t", "tabIndex");
    traceMember(a, "t", "maxChars");
    setMember(a, "t", "textColor", 0x123456);
    call(a, "t", "getNewTextFormat", {}).push({"color"}).op(Code::GetMember).op(Code::Trace);
    EXPECT_EQ(script.run(std::move(a)), "bye world\n9\nnew\n3\n4294967292\nnull\n1193046\n");
}

TEST(TextFieldScript, WholeTextFormatKeepsWhatAllPartsShare)
{
    StageScript script(8);
    Asm a;
    newField(a, "t", 1);
    setMember(a, "t", "text", "ab\ncd");
    newFormat(a, "f");
    setMember(a, "f", "bold", true);
    setMember(a, "f", "align", "center");
    a.push({"f"}).op(Code::GetVariable).push({2, 0, 3, "t"}).op(Code::GetVariable);
    a.push({"setTextFormat"}).op(Code::CallMethod).op(Code::Pop);
    // Two paragraphs and two character formats: the fields both kinds
    // agree on survive, the ones that differ read null.
    for (const char* name : {"font", "size", "bold", "align", "leftMargin"})
        call(a, "t", "getTextFormat", {}).push({name}).op(Code::GetMember).op(Code::Trace);
    EXPECT_EQ(script.run(std::move(a)), "Times New Roman\n12\nnull\nnull\n0\n");
}

TEST(TextFieldScript, LineBreaksInPlainText)
{
    StageScript script(8);
    Asm a;
    newField(a, "t", 1);
    // Each of "\r" and "\n" ends a paragraph, so "\r\n" makes two.
    setMember(a, "t", "text", "a\r\nb\nc");
    traceMember(a, "t", "length");
    traceMember(a, "t", "bottomScroll");
    EXPECT_EQ(script.run(std::move(a)), "6\n4\n");
}

TEST(TextFieldScript, HtmlAlignmentByVersion)
{
    // Markup without an alignment: before version 8 its paragraphs start
    // left-aligned, later the field's alignment carries on. Empty markup
    // leaves new text left-aligned in both.
    struct Case {
        int version;
        const char* html;
        const char* expected;
    } cases[] = {
        {7, "x<br>y", "left\nleft\n"},
        {8, "x<br>y", "center\ncenter\n"},
        {8, "", "left\nleft\n"},
        {7, "", "left\nleft\n"},
    };
    for (const Case& c : cases) {
        StageScript script(c.version);
        Asm a;
        newField(a, "t", 1);
        setMember(a, "t", "multiline", true);
        setMember(a, "t", "html", true);
        newFormat(a, "f");
        setMember(a, "f", "align", "center");
        a.push({"f"}).op(Code::GetVariable).push({1, "t"}).op(Code::GetVariable);
        a.push({"setNewTextFormat"}).op(Code::CallMethod).op(Code::Pop);
        setMember(a, "t", "htmlText", c.html);
        call(a, "t", "getNewTextFormat", {}).push({"align"}).op(Code::GetMember).op(Code::Trace);
        setMember(a, "t", "text", "z");
        call(a, "t", "getTextFormat", {}).push({"align"}).op(Code::GetMember).op(Code::Trace);
        EXPECT_EQ(script.run(std::move(a)), c.expected) << c.version << " " << c.html;
    }
}

} // namespace
} // namespace zf::avm1
