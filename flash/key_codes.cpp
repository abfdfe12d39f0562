// Qt key -> ActionScript key code. The movie numbers keys the way a US
// keyboard's virtual keys are numbered: letters by their capital, digits by
// the digit, the punctuation keys in the 186..222 range, and a shifted symbol
// by the key that carries it.
#include "flash/shockwave_flash.h"

#include <array>
#include <utility>

namespace zf::flash {

namespace {

using KeyPair = std::pair<int, int>;

// Keys outside the letter, digit and function-key ranges.
constexpr std::array kNamedKeys{
    KeyPair{Qt::Key_Backspace, 8},
    KeyPair{Qt::Key_Tab, 9},
    KeyPair{Qt::Key_Backtab, 9},
    KeyPair{Qt::Key_Return, 13},
    KeyPair{Qt::Key_Enter, 13},
    KeyPair{Qt::Key_Shift, 16},
    KeyPair{Qt::Key_Control, 17},
    KeyPair{Qt::Key_Alt, 18},
    KeyPair{Qt::Key_Pause, 19},
    KeyPair{Qt::Key_CapsLock, 20},
    KeyPair{Qt::Key_Escape, 27},
    KeyPair{Qt::Key_Space, 32},
    KeyPair{Qt::Key_PageUp, 33},
    KeyPair{Qt::Key_PageDown, 34},
    KeyPair{Qt::Key_End, 35},
    KeyPair{Qt::Key_Home, 36},
    KeyPair{Qt::Key_Left, 37},
    KeyPair{Qt::Key_Up, 38},
    KeyPair{Qt::Key_Right, 39},
    KeyPair{Qt::Key_Down, 40},
    KeyPair{Qt::Key_Insert, 45},
    KeyPair{Qt::Key_Delete, 46},
    KeyPair{Qt::Key_NumLock, 144},
    KeyPair{Qt::Key_ScrollLock, 145},
    KeyPair{Qt::Key_Semicolon, 186},
    KeyPair{Qt::Key_Colon, 186},
    KeyPair{Qt::Key_Equal, 187},
    KeyPair{Qt::Key_Plus, 187},
    KeyPair{Qt::Key_Comma, 188},
    KeyPair{Qt::Key_Less, 188},
    KeyPair{Qt::Key_Minus, 189},
    KeyPair{Qt::Key_Underscore, 189},
    KeyPair{Qt::Key_Period, 190},
    KeyPair{Qt::Key_Greater, 190},
    KeyPair{Qt::Key_Slash, 191},
    KeyPair{Qt::Key_Question, 191},
    KeyPair{Qt::Key_QuoteLeft, 192},
    KeyPair{Qt::Key_AsciiTilde, 192},
    KeyPair{Qt::Key_BracketLeft, 219},
    KeyPair{Qt::Key_BraceLeft, 219},
    KeyPair{Qt::Key_Backslash, 220},
    KeyPair{Qt::Key_Bar, 220},
    KeyPair{Qt::Key_BracketRight, 221},
    KeyPair{Qt::Key_BraceRight, 221},
    KeyPair{Qt::Key_Apostrophe, 222},
    KeyPair{Qt::Key_QuoteDbl, 222},
    // Shifted digits on a US keyboard.
    KeyPair{Qt::Key_ParenRight, 48},
    KeyPair{Qt::Key_Exclam, 49},
    KeyPair{Qt::Key_At, 50},
    KeyPair{Qt::Key_NumberSign, 51},
    KeyPair{Qt::Key_Dollar, 52},
    KeyPair{Qt::Key_Percent, 53},
    KeyPair{Qt::Key_AsciiCircum, 54},
    KeyPair{Qt::Key_Ampersand, 55},
    KeyPair{Qt::Key_Asterisk, 56},
    KeyPair{Qt::Key_ParenLeft, 57},
};

// The numeric keypad has codes of its own.
int keypadKeyCode(int qtKey)
{
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return 96 + (qtKey - Qt::Key_0);
    }
    switch (qtKey) {
    case Qt::Key_Asterisk: return 106;
    case Qt::Key_Plus: return 107;
    case Qt::Key_Minus: return 109;
    case Qt::Key_Period:
    case Qt::Key_Comma: return 110;
    case Qt::Key_Slash: return 111;
    default: return 0;
    }
}

} // namespace

int actionScriptKeyCode(int qtKey, Qt::KeyboardModifiers modifiers)
{
    if (modifiers.testFlag(Qt::KeypadModifier)) {
        if (const int code = keypadKeyCode(qtKey); code != 0) {
            return code;
        }
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        return 65 + (qtKey - Qt::Key_A);
    }
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return 48 + (qtKey - Qt::Key_0);
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F15) {
        return 112 + (qtKey - Qt::Key_F1);
    }
    for (const auto& [qt, code] : kNamedKeys) {
        if (qt == qtKey) {
            return code;
        }
    }
    return 0;
}

} // namespace zf::flash
