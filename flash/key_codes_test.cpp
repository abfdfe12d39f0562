#include "flash/shockwave_flash.h"

#include <gtest/gtest.h>

namespace zf::flash {
namespace {

TEST(KeyCodes, QtKeysMapToMovieKeyCodes)
{
    struct Case {
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        int expected;
    };
    const Case cases[] = {
        {Qt::Key_A, {}, 65},
        {Qt::Key_Z, Qt::ShiftModifier, 90},
        {Qt::Key_0, {}, 48},
        {Qt::Key_9, {}, 57},
        {Qt::Key_0, Qt::KeypadModifier, 96},
        {Qt::Key_Plus, Qt::KeypadModifier, 107},
        {Qt::Key_Enter, Qt::KeypadModifier, 13},
        {Qt::Key_Return, {}, 13},
        {Qt::Key_Backspace, {}, 8},
        {Qt::Key_Escape, {}, 27},
        {Qt::Key_Space, {}, 32},
        {Qt::Key_Left, {}, 37},
        {Qt::Key_Down, Qt::KeypadModifier, 40},
        {Qt::Key_Delete, {}, 46},
        {Qt::Key_F1, {}, 112},
        {Qt::Key_F12, {}, 123},
        {Qt::Key_Exclam, Qt::ShiftModifier, 49},
        {Qt::Key_Colon, Qt::ShiftModifier, 186},
        {Qt::Key_Plus, Qt::ShiftModifier, 187},
        {Qt::Key_Question, Qt::ShiftModifier, 191},
        {Qt::Key_BracketRight, {}, 221},
        {Qt::Key_Apostrophe, {}, 222},
        {Qt::Key_VolumeUp, {}, 0},
    };
    for (const Case& item : cases) {
        EXPECT_EQ(actionScriptKeyCode(item.qtKey, item.modifiers), item.expected)
            << "Qt key 0x" << std::hex << item.qtKey;
    }
}

} // namespace
} // namespace zf::flash
