#include "playback/playback.h"

#include <limits>

namespace zf::playback {

namespace {

int digitValue(QChar character, int base)
{
    const char16_t c = character.unicode();
    int value = -1;
    if (c >= u'0' && c <= u'9') {
        value = c - u'0';
    } else if (c >= u'a' && c <= u'f') {
        value = c - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
        value = c - u'A' + 10;
    }
    return value < base ? value : -1;
}

} // namespace

std::optional<int32_t> parseFrameNumber(const QString& text)
{
    qsizetype at = 0;
    while (at < text.size() && text.at(at) == u' ') {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text.at(at) == u'+' || text.at(at) == u'-')) {
        negative = text.at(at) == u'-';
        ++at;
    }
    int base = 10;
    const QStringView rest = QStringView(text).mid(at);
    if (rest.startsWith(u'$') || rest.startsWith(u'x') || rest.startsWith(u'X')) {
        base = 16;
        at += 1;
    } else if (rest.startsWith(u"0x") || rest.startsWith(u"0X")) {
        base = 16;
        at += 2;
    }
    if (at >= text.size()) {
        return std::nullopt;
    }
    // Accumulate in 64 bits; anything past the 32-bit range stops at once,
    // so a long run of digits cannot overflow the accumulator.
    constexpr int64_t kLimit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    int64_t value = 0;
    for (; at < text.size(); ++at) {
        const int digit = digitValue(text.at(at), base);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > kLimit) {
            return std::nullopt;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return int32_t(value);
}

} // namespace zf::playback
