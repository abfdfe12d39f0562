#include "swf/swf.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zf::swf {
namespace {

using test::Actions;
using test::Bytes;

TEST(Actions, RecordBoundaries)
{
    const Bytes code = {0x07, 0x96, 0x02, 0x00, 0x05, 0x01, 0x00};
    auto stop = readAction(code, 0);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->code, 0x07);
    EXPECT_EQ(stop->next, 1u);
    auto push = readAction(code, 1);
    ASSERT_TRUE(push);
    EXPECT_EQ(push->payload.size(), 2u);
    EXPECT_EQ(push->next, 6u);
    EXPECT_FALSE(readAction(code, 7));                       // past the end
    EXPECT_FALSE(readAction(Bytes{0x96, 0x05}, 0));          // length cut off
    EXPECT_FALSE(readAction(Bytes{0x96, 0x05, 0x00, 1}, 0)); // payload runs past the end
}

TEST(Actions, PushValuesOfEveryType)
{
    Actions a;
    a.push({"text", 4294967295.0, -7, true, test::Null{}, test::Undefined{}, test::Register{3},
            test::Constant{2}, test::Constant{700}, test::Float{0.5f}});
    Bytes code = a.code();
    auto action = readAction(code, 0);
    ASSERT_TRUE(action);
    auto values = readPushValues(action->payload);
    ASSERT_TRUE(values) << values.message();
    ASSERT_EQ(values->size(), 10u);
    const auto& v = *values;
    EXPECT_EQ(v[0].type, PushType::String);
    EXPECT_EQ(v[0].string, "text");
    EXPECT_EQ(v[1].type, PushType::Double);
    EXPECT_EQ(v[1].number, 4294967295.0);
    EXPECT_EQ(v[2].type, PushType::Integer);
    EXPECT_EQ(v[2].number, -7);
    EXPECT_TRUE(v[3].boolean);
    EXPECT_EQ(v[4].type, PushType::Null);
    EXPECT_EQ(v[5].type, PushType::Undefined);
    EXPECT_EQ(std::tuple(v[6].type, v[6].index), std::tuple(PushType::Register, uint16_t(3)));
    EXPECT_EQ(std::tuple(v[7].type, v[7].index), std::tuple(PushType::Constant8, uint16_t(2)));
    EXPECT_EQ(std::tuple(v[8].type, v[8].index), std::tuple(PushType::Constant16, uint16_t(700)));
    EXPECT_EQ(v[9].number, 0.5);

    // Doubles store the high 32-bit half first: 1.0 is 3FF00000 00000000.
    const Bytes one = {0x06, 0x00, 0x00, 0xF0, 0x3F, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(readPushValues(one)->at(0).number, 1.0);
    const Bytes nan = {0x06, 0x00, 0x00, 0xF8, 0x7F, 0x00, 0x00, 0x00, 0x00};
    EXPECT_TRUE(std::isnan(readPushValues(nan)->at(0).number));

    const Bytes bad[] = {{0x0A}, {0x00, 'a'}, {0x06, 0x00, 0x00}, {0x09, 0x01}};
    for (const Bytes& payload : bad)
        EXPECT_FALSE(readPushValues(payload));
}

TEST(Actions, DisassemblyResolvesLabelsAndOperands)
{
    Actions body;
    body.push({test::Register{1}}).op(ActionCode::Return);
    Actions a;
    a.constantPool({"a", "b"})
        .label("top")
        .push({"x", 1.5})
        .ifTrue("end")
        .jump("top")
        .defineFunction2("f", 2, 0x0001, {{1, "p"}, {0, "q"}}, body)
        .tryBlock(body, &body, nullptr, "err")
        .gotoFrame2(true, 13)
        .getUrl("FSCommand:quit", "")
        .label("end");
    std::string text = disassemble(a.bytes(), 8);
    const char* expected =
        "     0: ConstantPool \"a\", \"b\"\n"
        "     9: Push \"x\", 1.5\n"
        "    24: If -> 109\n"
        "    29: Jump -> 9\n"
        "    34: DefineFunction2 \"f\", registers 2, flags 1, (r1:\"p\", \"q\"), size 6\n"
        "    52: Push r1\n"
        "    57: Return\n"
        "    58: Try flags 1, try 6, catch 6, finally 0, \"err\"\n"
        "    72: Push r1\n"
        "    77: Return\n"
        "    78: Push r1\n"
        "    83: Return\n"
        "    84: GotoFrame2 flags 3, bias 13\n"
        "    90: GetURL \"FSCommand:quit\", \"\"\n"
        "   109: End\n";
    EXPECT_EQ(text, expected);
}

TEST(Actions, DisassemblyOfBrokenCode)
{
    // An unknown code is printed; a record running past the end stops the listing.
    EXPECT_EQ(disassemble(Bytes{0x02, 0x81, 0x05, 0x00}, 6),
              "     0: Unknown0x02\nerror: action at 1 runs past the end\n");
    // A malformed operand prints what it has.
    std::string text = disassemble(Bytes{0x83, 0x02, 0x00, 'a', 'b'}, 6);
    EXPECT_NE(text.find("GetURL"), std::string::npos);
    EXPECT_NE(text.find("unterminated"), std::string::npos);
}

} // namespace
} // namespace zf::swf
