// BitmapData: operations between two bitmaps, channel by channel:
// copyChannel, threshold, compare, merge and paletteMap.
#include "bitmap_p.h"
#include "geom_p.h"

#include <vector>

namespace zf::avm1::bitmap {

namespace {

// The bit shift of a channel flag (1 red, 2 green, 4 blue, 8 alpha), or -1.
int channelShift(uint32_t channel)
{
    switch (channel) {
    case 1: return 16;
    case 2: return 8;
    case 4: return 0;
    case 8: return 24;
    default: return -1;
    }
}

// The checks every source-to-destination operation makes, with the codes
// scripts see: -1 too few arguments or disposed target, -2 no source
// bitmap, -3 disposed source, -4 no source rectangle.
struct Transfer {
    BitmapDataObject* target = nullptr;
    BitmapDataObject* source = nullptr;
    IntRect rect;
    int dx = 0, dy = 0;
    double error = 0;
};

Transfer prepareTransfer(Vm& vm, Object* self, std::span<const Value> args, size_t minArgs)
{
    Transfer t;
    t.target = live(self);
    if (!t.target || args.size() < minArgs) {
        t.error = Invalid;
        return t;
    }
    t.source = from(args[0]);
    if (!t.source) {
        t.error = -2;
        return t;
    }
    if (t.source->disposed()) {
        t.error = -3;
        return t;
    }
    std::optional<IntRect> rect = rectFrom(vm, args[1]);
    if (!rect) {
        t.error = -4;
        return t;
    }
    t.rect = *rect;
    pointFrom(vm, args[2], t.dx, t.dy);
    return t;
}

// Visits the clipped block row by row: `visit(px, py, i)` gets the target
// pixel and the index of the matching source pixel in a block read with
// readBlock or readStored.
template <class Visit>
void forEachTarget(const Transfer& t, Visit visit)
{
    size_t i = 0;
    for (int y = 0; y < t.rect.height; ++y) {
        for (int x = 0; x < t.rect.width; ++x, ++i) {
            visit(t.dx + x, t.dy + y, i);
        }
    }
}

// Straight pixels of the source block, read before the target changes
// (the source may be the target).
std::vector<uint32_t> readBlock(const BitmapDataObject& source, const IntRect& rect)
{
    std::vector<uint32_t> block;
    block.reserve(size_t(rect.width) * size_t(rect.height));
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
        for (int x = rect.x; x < rect.x + rect.width; ++x) {
            block.push_back(source.pixel(x, y));
        }
    }
    return block;
}

Value copyChannel(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Transfer t = prepareTransfer(vm, self, args, 5);
    if (t.error != 0) {
        return Value(t.error);
    }
    // An unknown source channel copies zeros.
    int from = channelShift(toColor(vm, args[3]));
    int to = channelShift(toColor(vm, args[4]));
    // The method reports -1 even when it copied.
    if (to < 0 || !clipCopy(t.rect, t.dx, t.dy, t.source->width(), t.source->height(),
                            t.target->width(), t.target->height())) {
        return Value(Invalid);
    }
    std::vector<uint32_t> block = readBlock(*t.source, t.rect);
    forEachTarget(t, [&](int px, int py, size_t i) {
        uint32_t value = from < 0 ? 0 : block[i] >> from & 0xFF;
        uint32_t p = t.target->pixel(px, py);
        p = (p & ~(0xFFu << to)) | value << to;
        t.target->setPixel(px, py, p);
    });
    return Value(Invalid);
}

enum class Compare { Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual };

std::optional<Compare> compareOf(std::string_view op)
{
    if (op == "<")
        return Compare::Less;
    if (op == "<=")
        return Compare::LessEqual;
    if (op == ">")
        return Compare::Greater;
    if (op == ">=")
        return Compare::GreaterEqual;
    if (op == "==")
        return Compare::Equal;
    if (op == "!=")
        return Compare::NotEqual;
    return std::nullopt;
}

// Premultiplied pixels of the source block.
std::vector<uint32_t> readStored(const BitmapDataObject& source, const IntRect& rect)
{
    std::vector<uint32_t> block;
    block.reserve(size_t(rect.width) * size_t(rect.height));
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
        for (int x = rect.x; x < rect.x + rect.width; ++x) {
            block.push_back(source.premultiplied(x, y));
        }
    }
    return block;
}

bool holds(Compare op, uint32_t a, uint32_t b)
{
    switch (op) {
    case Compare::Less: return a < b;
    case Compare::LessEqual: return a <= b;
    case Compare::Greater: return a > b;
    case Compare::GreaterEqual: return a >= b;
    case Compare::Equal: return a == b;
    case Compare::NotEqual: return a != b;
    }
    return false;
}

Value threshold(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Transfer t = prepareTransfer(vm, self, args, 5);
    if (t.error != 0) {
        return Value(t.error);
    }
    // An unknown operation tests "<".
    Compare op = compareOf(vm.toString(args[3])).value_or(Compare::Less);
    uint32_t limit = toColor(vm, args[4]);
    uint32_t color = args.size() > 5 ? toColor(vm, args[5]) : 0;
    uint32_t mask = args.size() > 6 ? toColor(vm, args[6]) : 0xFFFFFFFFu;
    bool copySource = vm.toBoolean(arg(args, 7));
    if (!clipCopy(t.rect, t.dx, t.dy, t.source->width(), t.source->height(), t.target->width(),
                  t.target->height())) {
        return Value(0);
    }
    // The test looks at the stored (premultiplied) source pixels.
    std::vector<uint32_t> block = readStored(*t.source, t.rect);
    uint32_t wanted = limit & mask;
    int changed = 0;
    forEachTarget(t, [&](int px, int py, size_t i) {
        if (holds(op, block[i] & mask, wanted)) {
            // Written as stored, even into an opaque bitmap.
            t.target->setPremultiplied(px, py, premultiply(color));
            ++changed;
        } else if (copySource) {
            t.target->setPremultiplied(px, py, block[i]);
        }
    });
    return Value(double(changed));
}

// compare(other): 0 when equal, a difference bitmap otherwise, or a
// negative code: -1 bad target, -2 bad argument, -3 widths differ,
// -4 heights differ.
Value compare(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data) {
        return Value(Invalid);
    }
    BitmapDataObject* other = from(arg(args, 0));
    if (!other || other->disposed()) {
        return Value(-2);
    }
    if (other == data) {
        return Value(0);
    }
    if (data->width() != other->width()) {
        return Value(-3);
    }
    if (data->height() != other->height()) {
        return Value(-4);
    }
    bool same = true;
    auto* result =
        vm.heap().make<BitmapDataObject>(data->proto(), data->width(), data->height(), true, 0);
    for (int y = 0; y < data->height(); ++y) {
        for (int x = 0; x < data->width(); ++x) {
            uint32_t a = data->pixel(x, y);
            uint32_t b = other->pixel(x, y);
            if (a == b) {
                continue;
            }
            same = false;
            uint32_t out;
            if ((a & 0xFFFFFF) != (b & 0xFFFFFF)) {
                // Colour differences, per channel, fully opaque.
                out = 0xFF000000u;
                for (int shift = 0; shift < 24; shift += 8) {
                    out |= ((a >> shift & 0xFF) - (b >> shift & 0xFF)) % 256 << shift;
                }
            } else {
                // Only alpha differs: white with the alpha difference.
                out = ((a >> 24) - (b >> 24)) % 256 << 24 | 0xFFFFFF;
            }
            result->setPixel(x, y, out);
        }
    }
    return same ? Value(0) : Value(result);
}

Value merge(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Transfer t = prepareTransfer(vm, self, args, 7);
    if (t.error != 0) {
        return Value(t.error);
    }
    uint32_t multipliers[4];
    for (int i = 0; i < 4; ++i) {
        multipliers[i] = toColor(vm, args[3 + i]) & 0xFF;
    }
    if (!clipCopy(t.rect, t.dx, t.dy, t.source->width(), t.source->height(), t.target->width(),
                  t.target->height())) {
        return Value(0);
    }
    std::vector<uint32_t> block = readBlock(*t.source, t.rect);
    const int shifts[4] = {16, 8, 0, 24};
    forEachTarget(t, [&](int px, int py, size_t i) {
        uint32_t d = t.target->pixel(px, py);
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c) {
            uint32_t s = block[i] >> shifts[c] & 0xFF;
            uint32_t o = d >> shifts[c] & 0xFF;
            uint32_t m = multipliers[c];
            out |= ((s * m + o * (256 - m)) / 256 & 0xFF) << shifts[c];
        }
        t.target->setPixel(px, py, out);
    });
    return Value(0);
}

Value paletteMap(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Transfer t = prepareTransfer(vm, self, args, 3);
    if (t.error != 0) {
        return Value(t.error);
    }
    // Each channel maps through its array when one is given; the results
    // of the four lookups are added.
    std::vector<uint32_t> tables[4];
    const int shifts[4] = {16, 8, 0, 24};
    for (int c = 0; c < 4; ++c) {
        Object* array = arg(args, 3 + c).object();
        if (!array) {
            continue;
        }
        tables[c].resize(256);
        for (int i = 0; i < 256; ++i) {
            tables[c][i] = toColor(vm, vm.getMember(Value(array), Value(i)));
        }
    }
    if (!clipCopy(t.rect, t.dx, t.dy, t.source->width(), t.source->height(), t.target->width(),
                  t.target->height())) {
        return Value(0);
    }
    std::vector<uint32_t> block = readBlock(*t.source, t.rect);
    forEachTarget(t, [&](int px, int py, size_t i) {
        uint32_t p = block[i];
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c) {
            uint32_t v = p >> shifts[c] & 0xFF;
            out += tables[c].empty() ? v << shifts[c] : tables[c][v];
        }
        t.target->setPixel(px, py, out);
    });
    return Value(0);
}

} // namespace

void installChannelOps(Vm& vm, Object* proto)
{
    vm.defineMethod(proto, "copyChannel", copyChannel);
    vm.defineMethod(proto, "threshold", threshold);
    vm.defineMethod(proto, "compare", compare);
    vm.defineMethod(proto, "merge", merge);
    vm.defineMethod(proto, "paletteMap", paletteMap);
}

} // namespace zf::avm1::bitmap
