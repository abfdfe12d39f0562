// Filters between scripts and the display: the display keeps the filters it
// draws (from PlaceObject or set by scripts), and MovieClip.filters reads
// and writes them as new script objects each time.
#include "clip_p.h"
#include "filters_p.h"
#include "system_p.h"

#include <cmath>
#include <numbers>

namespace zf::avm1 {

namespace {

constexpr double DegreesPerRadian = 180.0 / std::numbers::pi;

double rgbOf(Rgba c)
{
    return double((uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b);
}

Rgba rgbaOf(double rgb, double alpha)
{
    auto bits = uint32_t(rgb);
    return Rgba{uint8_t(bits >> 16), uint8_t(bits >> 8), uint8_t(bits),
                uint8_t(std::lround(std::clamp(alpha, 0.0, 1.0) * 255))};
}

std::string bevelType(bool inner, bool onTop)
{
    return onTop ? "full" : inner ? "inner" : "outer";
}

// Distance, angle, blur, strength and quality: the fields drop shadows,
// bevels and gradient filters share.
template <class Filter>
void readOffsetBlur(FilterData& d, const Filter& f)
{
    d.distance = f.distance;
    d.angle = f.angle * DegreesPerRadian;
    d.blurX = f.blurX;
    d.blurY = f.blurY;
    d.strength = f.strength;
    d.quality = f.passes;
}

template <class Filter>
void writeOffsetBlur(Filter& f, const FilterData& d)
{
    f.distance = d.distance;
    f.angle = d.angle / DegreesPerRadian;
    f.blurX = d.blurX;
    f.blurY = d.blurY;
    f.strength = d.strength;
    f.passes = uint8_t(d.quality);
}

template <class Gradient>
void readGradient(FilterData& d, const Gradient& g)
{
    for (size_t i = 0; i < g.colors.size(); ++i) {
        d.colors.push_back(rgbOf(g.colors[i]));
        d.alphas.push_back(g.colors[i].a / 255.0);
        d.ratios.push_back(i < g.ratios.size() ? g.ratios[i] : 0);
    }
    readOffsetBlur(d, g);
    d.knockout = g.knockout;
    d.bevelType = bevelType(g.inner, g.onTop);
}

template <class Gradient>
Gradient writeGradient(const FilterData& d)
{
    Gradient g;
    for (size_t i = 0; i < d.colors.size(); ++i) {
        g.colors.push_back(rgbaOf(d.colors[i], i < d.alphas.size() ? d.alphas[i] : 0));
        g.ratios.push_back(uint8_t(i < d.ratios.size() ? d.ratios[i] : 0));
    }
    writeOffsetBlur(g, d);
    g.knockout = d.knockout;
    g.inner = d.bevelType == "inner";
    g.onTop = d.bevelType == "full";
    g.compositeSource = true;
    return g;
}

struct FromDisplay {
    FilterData operator()(const swf::DropShadowFilter& f) const
    {
        FilterData d;
        d.type = FilterType::DropShadow;
        d.color = rgbOf(f.color);
        d.alpha = f.color.a / 255.0;
        readOffsetBlur(d, f);
        d.inner = f.inner;
        d.knockout = f.knockout;
        d.hideObject = !f.compositeSource;
        return d;
    }
    FilterData operator()(const swf::BlurFilter& f) const
    {
        FilterData d;
        d.type = FilterType::Blur;
        d.blurX = f.blurX;
        d.blurY = f.blurY;
        d.quality = f.passes;
        return d;
    }
    FilterData operator()(const swf::GlowFilter& f) const
    {
        FilterData d;
        d.type = FilterType::Glow;
        d.color = rgbOf(f.color);
        d.alpha = f.color.a / 255.0;
        d.blurX = f.blurX;
        d.blurY = f.blurY;
        d.strength = f.strength;
        d.quality = f.passes;
        d.inner = f.inner;
        d.knockout = f.knockout;
        return d;
    }
    FilterData operator()(const swf::BevelFilter& f) const
    {
        FilterData d;
        d.type = FilterType::Bevel;
        d.highlightColor = rgbOf(f.highlightColor);
        d.highlightAlpha = f.highlightColor.a / 255.0;
        d.shadowColor = rgbOf(f.shadowColor);
        d.shadowAlpha = f.shadowColor.a / 255.0;
        readOffsetBlur(d, f);
        d.knockout = f.knockout;
        d.bevelType = bevelType(f.inner, f.onTop);
        return d;
    }
    FilterData operator()(const swf::GradientGlowFilter& f) const
    {
        FilterData d;
        d.type = FilterType::GradientGlow;
        readGradient(d, f);
        return d;
    }
    FilterData operator()(const swf::GradientBevelFilter& f) const
    {
        FilterData d;
        d.type = FilterType::GradientBevel;
        readGradient(d, f);
        return d;
    }
    FilterData operator()(const swf::ConvolutionFilter& f) const
    {
        FilterData d;
        d.type = FilterType::Convolution;
        d.matrixX = f.matrixX;
        d.matrixY = f.matrixY;
        d.matrix.assign(f.matrix.begin(), f.matrix.end());
        d.matrix.resize(size_t(d.matrixX * d.matrixY), 0.0);
        d.divisor = f.divisor;
        d.bias = f.bias;
        d.color = rgbOf(f.defaultColor);
        d.alpha = f.defaultColor.a / 255.0;
        d.clamp = f.clamp;
        d.preserveAlpha = f.preserveAlpha;
        return d;
    }
    FilterData operator()(const swf::ColorMatrixFilter& f) const
    {
        FilterData d;
        d.type = FilterType::ColorMatrix;
        d.matrix.assign(f.matrix.begin(), f.matrix.end());
        return d;
    }
};

} // namespace

FilterData filterFromDisplay(const swf::Filter& filter)
{
    return std::visit(FromDisplay{}, filter);
}

std::optional<swf::Filter> filterToDisplay(const FilterData& d)
{
    switch (d.type) {
    case FilterType::DropShadow: {
        swf::DropShadowFilter f;
        f.color = rgbaOf(d.color, d.alpha);
        writeOffsetBlur(f, d);
        f.inner = d.inner;
        f.knockout = d.knockout;
        f.compositeSource = !d.hideObject;
        return f;
    }
    case FilterType::Blur: return swf::BlurFilter{d.blurX, d.blurY, uint8_t(d.quality)};
    case FilterType::Glow: {
        swf::GlowFilter f;
        f.color = rgbaOf(d.color, d.alpha);
        f.blurX = d.blurX;
        f.blurY = d.blurY;
        f.strength = d.strength;
        f.passes = uint8_t(d.quality);
        f.inner = d.inner;
        f.knockout = d.knockout;
        f.compositeSource = true;
        return f;
    }
    case FilterType::Bevel: {
        swf::BevelFilter f;
        f.highlightColor = rgbaOf(d.highlightColor, d.highlightAlpha);
        f.shadowColor = rgbaOf(d.shadowColor, d.shadowAlpha);
        writeOffsetBlur(f, d);
        f.knockout = d.knockout;
        f.inner = d.bevelType == "inner";
        f.onTop = d.bevelType == "full";
        f.compositeSource = true;
        return f;
    }
    case FilterType::GradientGlow: return writeGradient<swf::GradientGlowFilter>(d);
    case FilterType::GradientBevel: return writeGradient<swf::GradientBevelFilter>(d);
    case FilterType::Convolution: {
        swf::ConvolutionFilter f;
        f.matrixX = uint8_t(d.matrixX);
        f.matrixY = uint8_t(d.matrixY);
        f.matrix.assign(d.matrix.begin(), d.matrix.end());
        f.divisor = float(d.divisor);
        f.bias = float(d.bias);
        f.defaultColor = rgbaOf(d.color, d.alpha);
        f.clamp = d.clamp;
        f.preserveAlpha = d.preserveAlpha;
        return f;
    }
    case FilterType::ColorMatrix: {
        swf::ColorMatrixFilter f;
        for (size_t i = 0; i < f.matrix.size() && i < d.matrix.size(); ++i) {
            f.matrix[i] = float(d.matrix[i]);
        }
        return f;
    }
    case FilterType::DisplacementMap: return std::nullopt;
    }
    return std::nullopt;
}

namespace {

// The filter lists scripts set, per display object. They are what a later
// read gives back (displacement maps included, which the display cannot
// hold) as long as the display still has the filters set with them.
class ClipFilterStore : public Object {
public:
    ClipFilterStore() : Object(nullptr, Kind::Native) {}

    struct Entry {
        std::weak_ptr<display::DisplayObject> object;
        std::vector<FilterData> filters;
        const swf::Filter* token = nullptr;
        size_t count = 0;
    };

    Entry* find(display::DisplayObject& object)
    {
        std::erase_if(m_entries, [](const Entry& e) { return e.object.expired(); });
        for (auto& entry : m_entries) {
            if (entry.object.lock().get() == &object) {
                return &entry;
            }
        }
        return nullptr;
    }

    Entry& entryFor(display::DisplayObject& object)
    {
        if (Entry* entry = find(object)) {
            return *entry;
        }
        return m_entries.emplace_back(Entry{object.weak_from_this(), {}, nullptr, 0});
    }

    void traceChildren(std::vector<Object*>& work) const override
    {
        Object::traceChildren(work);
        for (const auto& entry : m_entries) {
            for (const auto& filter : entry.filters) {
                if (filter.mapBitmap) {
                    work.push_back(filter.mapBitmap);
                }
            }
        }
    }

private:
    std::vector<Entry> m_entries;
};

display::DisplayObject* displayFor(Vm& vm, Object* self)
{
    auto* runner = dynamic_cast<StageRunner*>(&vm.binding());
    return runner && self ? runner->displayOf(vm.binding().forward(self)) : nullptr;
}

Value getFilters(Vm& vm, Object* self, std::span<const Value>, const Value& data)
{
    display::DisplayObject* object = displayFor(vm, self);
    if (!object) {
        return {};
    }
    auto* store = static_cast<ClipFilterStore*>(data.object());
    const auto& shown = object->filters();
    std::vector<Value> items;
    ClipFilterStore::Entry* entry = store->find(*object);
    if (entry && entry->token == shown.data() && entry->count == shown.size()) {
        for (const auto& filter : entry->filters) {
            items.push_back(Value(makeFilter(vm, filter)));
        }
    } else {
        for (const auto& filter : shown) {
            items.push_back(Value(makeFilter(vm, filterFromDisplay(filter))));
        }
    }
    return Value(vm.newArray(std::move(items)));
}

Value setFilters(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    display::DisplayObject* object = displayFor(vm, self);
    if (!object) {
        return {};
    }
    auto* store = static_cast<ClipFilterStore*>(data.object());
    std::vector<FilterData> scripted;
    std::vector<swf::Filter> shown;
    if (Object* list = arg(args, 0).object()) {
        double length = vm.toNumber(vm.get(list, vm.names().length));
        for (size_t i = 0; double(i) < length && i < 256; ++i) {
            FilterObject* filter = asFilter(vm.get(list, vm.intern(std::to_string(i))).object());
            if (!filter) {
                continue;
            }
            scripted.push_back(filter->data);
            if (auto converted = filterToDisplay(filter->data)) {
                shown.push_back(std::move(*converted));
            }
        }
    }
    object->setFilters(std::move(shown));
    auto& entry = store->entryFor(*object);
    entry.filters = std::move(scripted);
    entry.token = object->filters().data();
    entry.count = object->filters().size();
    return {};
}

} // namespace

void installClipFilters(Vm& vm, Object* movieClipProto)
{
    Value store(static_cast<Object*>(vm.heap().make<ClipFilterStore>()));
    defineAccessor(vm, movieClipProto, "filters", getFilters, setFilters, store);
}

} // namespace zf::avm1
