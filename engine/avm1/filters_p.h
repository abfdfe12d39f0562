// flash.filters: filter objects as data, shared by the filter classes and
// MovieClip.filters, which converts them to and from the display's filters.
#pragma once

#include "vm_p.h"

#include "swf/swf.h"

#include <optional>
#include <string>
#include <vector>

namespace zf::avm1 {

enum class FilterType : uint8_t {
    Bevel,
    Blur,
    ColorMatrix,
    Convolution,
    DisplacementMap,
    DropShadow,
    Glow,
    GradientBevel,
    GradientGlow,
};

// Every field any filter has; each class uses its own subset. Values are
// kept as scripts see them: colours 0xRRGGBB, alphas 0..1, angles in degrees.
struct FilterData {
    FilterType type = FilterType::Blur;
    double distance = 4, angle = 45;
    double color = 0, alpha = 1;
    double highlightColor = 0xFFFFFF, highlightAlpha = 1, shadowColor = 0, shadowAlpha = 1;
    double blurX = 4, blurY = 4, strength = 1;
    int quality = 1;
    bool inner = false, knockout = false, hideObject = false;
    std::string bevelType = "inner";
    std::vector<double> colors, alphas, ratios;
    int matrixX = 0, matrixY = 0;
    std::vector<double> matrix;
    double divisor = 1, bias = 0;
    bool preserveAlpha = true, clamp = true;
    Object* mapBitmap = nullptr;
    double mapPointX = 0, mapPointY = 0;
    int componentX = 0, componentY = 0;
    double scaleX = 0, scaleY = 0;
    std::string mode = "wrap";
};

class FilterObject : public Object {
public:
    FilterObject(Object* proto, FilterData data)
        : Object(proto, Kind::Native), data(std::move(data))
    {
    }
    FilterData data;
    void traceChildren(std::vector<Object*>& work) const override
    {
        Object::traceChildren(work);
        if (data.mapBitmap) {
            work.push_back(data.mapBitmap);
        }
    }
};

FilterObject* asFilter(Object* object);
// A new script object of the filter's class.
FilterObject* makeFilter(Vm& vm, FilterData data);

// Conversions between script filters and the display's; displacement maps
// have no display form.
FilterData filterFromDisplay(const swf::Filter& filter);
std::optional<swf::Filter> filterToDisplay(const FilterData& data);

// The filters property of MovieClip.prototype and TextField.prototype.
void installClipFilters(Vm& vm, Object* proto);

} // namespace zf::avm1
