// Shared parts of the text builtins: TextFormat objects and their
// conversion to and from the display's field formats.
#pragma once

#include "clip_p.h"

#include <array>

namespace zf::avm1 {

// The properties of a TextFormat, in constructor argument order first.
enum class FormatField : uint8_t {
    Font,
    Size,
    Color,
    Bold,
    Italic,
    Underline,
    Url,
    Target,
    Align,
    LeftMargin,
    RightMargin,
    Indent,
    Leading,
    BlockIndent,
    TabStops,
    Bullet,
    Kerning,
    LetterSpacing,
    Display,
    Count,
};

// A TextFormat: each property is null until set; setters coerce the value
// to the property's type.
class TextFormatObject : public Object {
public:
    explicit TextFormatObject(Object* proto);
    std::array<Value, size_t(FormatField::Count)> values;
    Value& at(FormatField field) { return values[size_t(field)]; }
    void traceChildren(std::vector<Object*>& work) const override;
};

// Coerces and stores one property as the TextFormat setters do.
void setFormatField(Vm& vm, TextFormatObject& format, FormatField field, const Value& value);

// A new TextFormat object filled from a field format.
TextFormatObject* makeTextFormat(Vm& vm, const display::TextFormat& format);
// The set properties of a TextFormat object, for applying to a field.
display::TextFormat readTextFormat(Vm& vm, TextFormatObject& format);

// Binds a newly placed field to its variable: a defined variable sets
// the text, otherwise a field with text sets the variable.
void bindTextField(Vm& vm, display::TextField& field);

// _width/_height of a text field: the box changes size, the scale stays.
void resizeTextField(display::TextField& field, bool horizontal, double pixels);

void installTextFormatClass(Vm& vm);
void installTextSnapshot(Vm& vm, StageRunner& runner);
void installSelection(Vm& vm, StageRunner& runner);

// Defines an accessor property whose getter and setter are natives called
// with `data`; a null setter makes it read-only.
void defineAccessor(Vm& vm, Object* on, std::string_view name, NativeFn getter, NativeFn setter,
                    Value data = {}, uint8_t flags = DontEnum);

} // namespace zf::avm1
