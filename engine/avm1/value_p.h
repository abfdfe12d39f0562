// Script values: a small tagged union. Numbers and booleans live inline;
// strings are counted references; objects are references into the
// collector's heap (the collector, not the value, owns them).
#pragma once

#include "string_p.h"

#include <bit>
#include <cstdint>
#include <string>

namespace zf::avm1 {

class Object;

enum class Type : uint8_t { Undefined, Null, Boolean, Number, String, Object };

class Value {
public:
    Value() : m_type(Type::Undefined), m_number(0) {}
    Value(double n) : m_type(Type::Number), m_number(n) {}
    Value(int n) : m_type(Type::Number), m_number(n) {}
    Value(bool b) : m_type(Type::Boolean), m_bool(b) {}
    Value(Str s) : m_type(Type::String), m_string(s.rep())
    {
        if (m_string) {
            ++m_string->refs;
        }
    }
    Value(Object* o) : m_type(o ? Type::Object : Type::Null), m_object(o) {}
    static Value null()
    {
        Value v;
        v.m_type = Type::Null;
        return v;
    }

    Value(const Value& other) : m_type(other.m_type), m_number(other.m_number)
    {
        if (m_type == Type::String && m_string) {
            ++m_string->refs;
        }
    }
    Value(Value&& other) noexcept : m_type(other.m_type), m_number(other.m_number)
    {
        other.m_type = Type::Undefined;
    }
    Value& operator=(const Value& other)
    {
        if (other.m_type == Type::String && other.m_string) {
            ++other.m_string->refs;
        }
        clear();
        m_type = other.m_type;
        m_number = other.m_number;
        return *this;
    }
    Value& operator=(Value&& other) noexcept
    {
        if (this != &other) {
            clear();
            m_type = other.m_type;
            m_number = other.m_number;
            other.m_type = Type::Undefined;
        }
        return *this;
    }
    ~Value() { clear(); }

    Type type() const { return m_type; }
    bool isUndefined() const { return m_type == Type::Undefined; }
    bool isNull() const { return m_type == Type::Null; }
    bool isNullish() const { return m_type <= Type::Null; }
    bool isNumber() const { return m_type == Type::Number; }
    bool isString() const { return m_type == Type::String; }
    bool isBoolean() const { return m_type == Type::Boolean; }
    bool isObject() const { return m_type == Type::Object; }

    // An array slot never assigned: reads as undefined, but is not an own
    // property (enumeration and hasOwnProperty skip it). Marked by a NaN
    // payload that arithmetic never produces.
    static Value hole()
    {
        Value v;
        v.m_number = std::bit_cast<double>(HoleBits);
        return v;
    }
    bool isHole() const
    {
        return m_type == Type::Undefined && std::bit_cast<uint64_t>(m_number) == HoleBits;
    }

    double number() const { return m_number; }
    bool boolean() const { return m_bool; }
    Object* object() const { return m_type == Type::Object ? m_object : nullptr; }
    Str string() const { return Str::adopt(m_string); }
    std::string_view stringView() const
    {
        return m_string ? std::string_view(m_string->text) : std::string_view();
    }

private:
    static constexpr uint64_t HoleBits = 0x7ff4'0000'0000'401eULL;

    void clear()
    {
        if (m_type == Type::String) {
            Str::release(m_string);
        }
        m_type = Type::Undefined;
    }

    Type m_type;
    union {
        double m_number;
        bool m_bool;
        StrRep* m_string;
        Object* m_object;
    };
};

// Number to string the way scripts see it: up to 15 significant digits,
// exponent form below 1e-5 and from 1e15 on ("1e+21", "1.5e-7").
std::string numberToString(double n);
// Number to string in a radix from 2 to 36 (integers; fractions are dropped).
std::string numberToRadix(double n, int radix);
// String to number by the rules of the movie's version.
double stringToNumber(std::string_view text, int version);
// ECMA ToInt32 / ToUint32.
int32_t toInt32(double n);
uint32_t toUint32(double n);

// Byte length of a UTF-8 prefix holding `chars` characters, and the character count.
size_t utf8Length(std::string_view text);
size_t utf8Offset(std::string_view text, size_t chars);
// One character as UTF-8.
std::string utf8Encode(uint32_t code);
// The code of the character starting at byte `offset` (advances offset).
uint32_t utf8Decode(std::string_view text, size_t& offset);

} // namespace zf::avm1
