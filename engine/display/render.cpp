// The render walk: the display tree in depth order, with concatenated
// matrices and colour transforms, clip-depth masks and script masks.
#include "display/display_p.h"

#include "raster/filters.h"
#include "raster/raster.h"
#include "text/text.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace zf::display {

namespace {

constexpr int kMaxRenderNesting = 256;
// Offscreen images of filtered objects are capped in side and area; an
// object that would need more is drawn without its filters.
constexpr int kMaxFilterSide = 8192;
constexpr int64_t kMaxFilterPixels = 4096 * 2048;
// All the filtered images of one frame together, in pixels; objects past
// the budget are drawn unfiltered.
constexpr int64_t kMaxFramePixels = int64_t(1) << 25;

using OffscreenLayers = std::vector<std::unique_ptr<raster::BitmapSource>>;

// The offscreen image of a filtered or blended object, shown through a
// bitmap fill.
class OffscreenLayer : public raster::BitmapSource {
public:
    const raster::Bitmap* bitmap(uint16_t) const override { return image.get(); }
    std::shared_ptr<const raster::Bitmap> image;
};

// Cached filtered images take at most this many pixels (sources and
// results each); images that do not fit are filtered every frame.
constexpr size_t kMaxCachedFilterPixels = size_t(1) << 23;

// Filtered images by the unfiltered pixels, filters and scale they came
// from. Filtering is a pure function of those, so a match is always right;
// entries unused for a frame are dropped.
class FilterCache {
public:
    using Entry = FilteredImage;

    FilterCache(std::vector<Entry>& entries, uint64_t& frame) : m_entries(entries), m_frame(frame)
    {
    }

    // Starts a frame of the stage: forgets images the last frame did not use.
    void nextFrame()
    {
        ++m_frame;
        std::erase_if(m_entries, [&](const Entry& e) { return e.lastFrame + 1 < m_frame; });
    }

    std::shared_ptr<const raster::Bitmap> filtered(raster::Bitmap&& source,
                                                   std::span<const swf::Filter> filters,
                                                   raster::FilterScale scale)
    {
        for (Entry& e : m_entries) {
            if (e.width == source.width && e.height == source.height && e.scaleX == scale.x &&
                e.scaleY == scale.y && std::ranges::equal(e.filters, filters) &&
                e.source == source.pixels) {
                e.lastFrame = m_frame;
                return e.result;
            }
        }
        auto result = std::make_shared<raster::Bitmap>(source);
        for (const swf::Filter& filter : filters)
            raster::applyFilter(*result, filter, scale);
        size_t cached = 0;
        for (const Entry& e : m_entries)
            cached += e.source.size() / 4;
        if (cached + source.pixels.size() / 4 <= kMaxCachedFilterPixels) {
            Entry entry;
            entry.width = source.width;
            entry.height = source.height;
            entry.source = std::move(source.pixels);
            entry.filters.assign(filters.begin(), filters.end());
            entry.scaleX = scale.x;
            entry.scaleY = scale.y;
            entry.result = result;
            entry.lastFrame = m_frame;
            m_entries.push_back(std::move(entry));
        }
        return result;
    }

private:
    std::vector<Entry>& m_entries;
    uint64_t& m_frame;
};

class MovieFonts : public text::FontResolver {
public:
    explicit MovieFonts(const movie::MovieDefinition& movie) : m_movie(movie) {}
    const swf::Font* font(uint16_t id) const override { return m_movie.font(id); }
    const swf::Font* fontByName(std::string_view name, bool bold, bool italic) const override
    {
        return m_movie.fontByName(name, bold, italic);
    }

private:
    const movie::MovieDefinition& m_movie;
};

// Four straight edges through the five points (xs[i], ys[i]), each with the
// given fill on its right and line style.
void addStraightEdges(swf::ShapeGroup& group, const int32_t (&xs)[5], const int32_t (&ys)[5],
                      uint32_t fill1, uint32_t line)
{
    for (int i = 0; i < 4; ++i) {
        swf::Edge e;
        e.x0 = xs[i];
        e.y0 = ys[i];
        e.x1 = xs[i + 1];
        e.y1 = ys[i + 1];
        e.cx = (e.x0 + e.x1) / 2;
        e.cy = (e.y0 + e.y1) / 2;
        e.fill1 = fill1;
        e.line = line;
        group.edges.push_back(e);
    }
}

swf::Shape rectangleShape(const Bounds& box, const swf::FillStyle& fill, const swf::LineStyle* line)
{
    swf::ShapeGroup group;
    group.fills.push_back(fill);
    if (line)
        group.lines.push_back(*line);
    auto corner = [](double v) { return int32_t(std::lround(v)); };
    int32_t x0 = corner(box.xMin), y0 = corner(box.yMin), x1 = corner(box.xMax),
            y1 = corner(box.yMax);
    const int32_t xs[] = {x0, x1, x1, x0, x0}, ys[] = {y0, y0, y1, y1, y0};
    addStraightEdges(group, xs, ys,
                     fill.type == swf::FillType::Solid && fill.color.a == 0 && line ? 0 : 1,
                     line ? 1 : 0);
    swf::Shape shape;
    shape.groups.push_back(std::move(group));
    return shape;
}

// A text field's border: a one-pixel hairline around the box that leaves
// out the bottom-right corner pixel. The line runs from just above that
// corner up, left, down and right to just before it, with butt ends, so the
// right column stops above the corner and the bottom row before it.
swf::Shape borderShape(const Bounds& box, Rgba color, const Matrix& toPixels)
{
    swf::ShapeGroup group;
    swf::LineStyle line;
    line.width = 0;
    line.color = color;
    line.join = swf::JoinStyle::Miter;
    line.startCap = line.endCap = swf::CapStyle::None;
    group.lines.push_back(line);
    auto corner = [](double v) { return int32_t(std::lround(v)); };
    const int32_t x0 = corner(box.xMin), y0 = corner(box.yMin), x1 = corner(box.xMax),
                  y1 = corner(box.yMax);
    // Half a device pixel, in the box's units.
    const double scaleX = std::hypot(toPixels.a, toPixels.b),
                 scaleY = std::hypot(toPixels.c, toPixels.d);
    const int32_t gapX = scaleX > 0 ? int32_t(std::min(0.5 / scaleX, double(x1 - x0))) : 0;
    const int32_t gapY = scaleY > 0 ? int32_t(std::min(0.5 / scaleY, double(y1 - y0))) : 0;
    const int32_t xs[] = {x1, x1, x0, x0, x1 - gapX}, ys[] = {y1 - gapY, y0, y0, y1, y1};
    addStraightEdges(group, xs, ys, 0, 1);
    swf::Shape shape;
    shape.groups.push_back(std::move(group));
    return shape;
}

// How far the filters of the object's descendants reach beyond its bounds
// (each chain of nested filters adds up).
raster::FilterMargin descendantsReach(const DisplayObject& object, raster::FilterScale scale,
                                      int level)
{
    const std::map<int, std::shared_ptr<DisplayObject>>* children = nullptr;
    if (const MovieClip* clip = object.asMovieClip())
        children = &clip->children();
    else if (object.kind() == ObjectKind::Button)
        children = &static_cast<const Button&>(object).children();
    raster::FilterMargin reach;
    if (!children || level > kMaxRenderNesting)
        return reach;
    for (const auto& [depth, child] : *children) {
        raster::FilterMargin m = descendantsReach(*child, scale, level + 1);
        m += raster::filterMargin(child->filters(), scale);
        reach.left = std::max(reach.left, m.left);
        reach.top = std::max(reach.top, m.top);
        reach.right = std::max(reach.right, m.right);
        reach.bottom = std::max(reach.bottom, m.bottom);
    }
    return reach;
}

ColorTransform solidColor(Rgba color)
{
    return ColorTransform{0, 0, 0, 0, color.r, color.g, color.b, color.a};
}

class RenderWalk {
public:
    // `target` is the part of the surface that shows, in pixels (empty when
    // unknown); `layers` keeps filtered images alive until the renderer
    // finishes.
    RenderWalk(const Stage& stage, raster::Renderer& renderer, const Matrix& stageToPixels,
               const Bounds& target, OffscreenLayers& layers, FilterCache& cache,
               std::vector<std::unique_ptr<raster::Renderer>>& offscreen)
        : m_stage(stage), m_renderer(renderer), m_stageToPixels(stageToPixels),
          m_bitmaps(&stage.movie().bitmaps()), m_target(target), m_layers(layers), m_cache(cache),
          m_offscreen(offscreen)
    {
    }

    void object(const DisplayObject& object, const Matrix& parent, const ColorTransform& parentCx,
                bool maskMode, int level);
    // The object's content alone, ignoring its own placement.
    void alone(const DisplayObject& object, const Matrix& m, const ColorTransform& cx)
    {
        content(object, m, cx, false, 0);
    }

private:
    void children(const std::map<int, std::shared_ptr<DisplayObject>>& list, const Matrix& m,
                  const ColorTransform& cx, bool maskMode, int level);
    void content(const DisplayObject& object, const Matrix& m, const ColorTransform& cx,
                 bool maskMode, int level);
    bool scrolled(const DisplayObject& object, Matrix& m, bool maskMode);
    bool drawOffscreen(const DisplayObject& object, const Matrix& parent,
                       const ColorTransform& parentCx, int level);
    void textField(const TextField& field, const Matrix& m, const ColorTransform& cx,
                   bool maskMode);

    const Stage& m_stage;
    raster::Renderer& m_renderer;
    Matrix m_stageToPixels;
    const raster::BitmapSource* m_bitmaps;
    Bounds m_target;
    OffscreenLayers& m_layers;
    FilterCache& m_cache;
    std::vector<std::unique_ptr<raster::Renderer>>& m_offscreen;
    int m_offscreenDepth = 0; // how many offscreen images this walk draws inside
    // The object this walk draws for its filters or blend mode: drawn here
    // unfiltered and blended normally.
    const DisplayObject* m_offscreenObject = nullptr;
    // Whether this walk draws into an offscreen image of an ancestor, which
    // the alpha and erase blend modes act on.
    bool m_inGroup = false;
    // Whether m_offscreenObject's colour transform is left to the flattened image.
    bool m_colourOutside = false;
    // Pixels of filtered images made so far in this frame (shared by the
    // walks of nested filtered objects).
    int64_t m_ownFramePixels = 0;
    int64_t* m_framePixels = &m_ownFramePixels;
};

void RenderWalk::object(const DisplayObject& object, const Matrix& parent,
                        const ColorTransform& parentCx, bool maskMode, int level)
{
    if (level > kMaxRenderNesting || (!maskMode && !object.visible()))
        return;
    if (!maskMode && &object != m_offscreenObject &&
        (!object.filters().empty() ||
         raster::blendModeFromByte(object.blendMode()) != raster::BlendMode::Normal) &&
        drawOffscreen(object, parent, parentCx, level))
        return;
    Matrix m = parent * object.matrix();
    // The colour transform of an object flattened for its blend mode alone
    // applies to the flattened image instead.
    const bool ownCxOutside = &object == m_offscreenObject && m_colourOutside;
    ColorTransform cx = maskMode       ? ColorTransform{}
                        : ownCxOutside ? parentCx
                                       : parentCx * object.colorTransform();
    const MovieClip* mask = nullptr;
    if (const MovieClip* clip = object.asMovieClip(); clip && !maskMode)
        mask = clip->mask();
    if (mask && !mask->removed()) {
        Matrix maskParent = m_stageToPixels;
        if (const DisplayObject* p = mask->displayParent())
            maskParent = m_stageToPixels * p->concatenatedMatrix();
        m_renderer.beginMask();
        this->object(*mask, maskParent, {}, true, level + 1);
        m_renderer.endMask();
    }
    // A loaded movie's shapes fill with the bitmaps of its own dictionary.
    const raster::BitmapSource* outerBitmaps = m_bitmaps;
    if (const MovieClip* clip = object.asMovieClip(); clip && clip->loadedMovie())
        m_bitmaps = &clip->loadedMovie()->bitmaps();
    const bool scrollClip = scrolled(object, m, maskMode);
    if (!object.scrollRect() || scrollClip || maskMode)
        content(object, m, cx, maskMode, level);
    m_bitmaps = outerBitmaps;
    if (scrollClip)
        m_renderer.popMask();
    if (mask && !mask->removed())
        m_renderer.popMask();
}

// A scroll rectangle moves the content by its corner and clips it to its
// size. Returns whether a clip was pushed; an empty or non-finite rectangle
// pushes none, and then nothing of the content shows (except in a mask,
// where the content is only moved).
bool RenderWalk::scrolled(const DisplayObject& object, Matrix& m, bool maskMode)
{
    const std::optional<ScrollRect>& scroll = object.scrollRect();
    if (!scroll)
        return false;
    const double x = scroll->x * kTwipsPerPixel, y = scroll->y * kTwipsPerPixel;
    const double width = scroll->width * kTwipsPerPixel, height = scroll->height * kTwipsPerPixel;
    if (std::isfinite(x) && std::isfinite(y))
        m = m * Matrix::translate(-x, -y);
    constexpr double kLimit = 1e9; // twips; keeps the clip's corners integral
    if (maskMode || !(width > 0 && height > 0) || !(std::abs(x) + width < kLimit) ||
        !(std::abs(y) + height < kLimit))
        return false;
    Bounds box;
    box.add(x, y);
    box.add(x + width, y + height);
    m_renderer.beginMask();
    m_renderer.drawShape(rectangleShape(box, swf::FillStyle{}, nullptr), m, {}, m_bitmaps);
    m_renderer.endMask();
    return true;
}

// Draws the object alone into an offscreen image covering its pixels plus
// what its filters add, runs the filters over it and shows the result with
// a bitmap fill laid exactly on whole device pixels, composited by the object's
// blend mode (the image makes the object one group, as "layer" asks). A
// filtered object's own colour transform applies before the filters, its
// parents' after; without filters, both apply to the flattened image.
// Filter sizes follow the stage's zoom, not the object's own scale or
// rotation. Returns false when the image would be too large (the object is
// then drawn unfiltered and blended normally).
bool RenderWalk::drawOffscreen(const DisplayObject& object, const Matrix& parent,
                               const ColorTransform& parentCx, int level)
{
    const raster::BlendMode blend = raster::blendModeFromByte(object.blendMode());
    // Alpha and erase act on the group being drawn into. Straight onto the
    // stage there is none, and the object shows nothing: the stage never
    // shows holes.
    if ((blend == raster::BlendMode::Alpha || blend == raster::BlendMode::Erase) && !m_inGroup)
        return true;
    const Matrix m = parent * object.matrix();
    const raster::FilterScale scale{
        std::hypot(m_stageToPixels.a, m_stageToPixels.b) * kTwipsPerPixel,
        std::hypot(m_stageToPixels.c, m_stageToPixels.d) * kTwipsPerPixel};
    const Bounds box = transformBounds(m, object.localBounds());
    if (box.empty() || !std::isfinite(box.xMin + box.xMax + box.yMin + box.yMax))
        return true;
    raster::FilterMargin margin = raster::filterMargin(object.filters(), scale);
    margin += descendantsReach(object, scale, level);
    // One pixel of slack: strokes and anti-aliasing spill just past the
    // bounds.
    double x0 = std::floor(box.xMin) - 1 - margin.left, y0 = std::floor(box.yMin) - 1 - margin.top;
    double x1 = std::ceil(box.xMax) + 1 + margin.right,
           y1 = std::ceil(box.yMax) + 1 + margin.bottom;
    if (m_target.xMax > m_target.xMin && m_target.yMax > m_target.yMin) {
        // What lies further outside the target than the filters reach
        // cannot affect what shows.
        x0 = std::max(x0, std::floor(m_target.xMin) - margin.left - margin.right);
        y0 = std::max(y0, std::floor(m_target.yMin) - margin.top - margin.bottom);
        x1 = std::min(x1, std::ceil(m_target.xMax) + margin.left + margin.right);
        y1 = std::min(y1, std::ceil(m_target.yMax) + margin.top + margin.bottom);
    }
    if (!(x1 > x0 && y1 > y0))
        return true;
    const double width = x1 - x0, height = y1 - y0;
    if (width > kMaxFilterSide || height > kMaxFilterSide || width * height > kMaxFilterPixels ||
        *m_framePixels + int64_t(width * height) > kMaxFramePixels)
        return false;
    *m_framePixels += int64_t(width * height);
    raster::Bitmap image;
    image.width = int(width);
    image.height = int(height);
    image.pixels.assign(size_t(width) * size_t(height) * 4, 0);

    // Each depth of nested images has its own renderer, kept across frames;
    // the image is drawn with the frame's options (threads, quality) on a
    // clear background.
    if (m_offscreen.size() <= size_t(m_offscreenDepth))
        m_offscreen.resize(size_t(m_offscreenDepth) + 1);
    auto& slot = m_offscreen[size_t(m_offscreenDepth)];
    if (!slot)
        slot = std::make_unique<raster::Renderer>();
    raster::Renderer& renderer = *slot;
    raster::FrameOptions options = m_renderer.options();
    options.background = Rgba{0, 0, 0, 0};
    renderer.begin({image.pixels.data(), image.width, image.height, image.width * 4}, options);
    const Matrix shift = Matrix::translate(-x0, -y0);
    Bounds area;
    area.add(0, 0);
    area.add(width, height);
    // Filtered images inside this one are needed only until it is drawn.
    OffscreenLayers nested;
    RenderWalk walk(m_stage, renderer, shift * m_stageToPixels, area, nested, m_cache, m_offscreen);
    walk.m_offscreenDepth = m_offscreenDepth + 1;
    walk.m_bitmaps = m_bitmaps;
    walk.m_offscreenObject = &object;
    walk.m_framePixels = m_framePixels;
    walk.m_inGroup = true;
    walk.m_colourOutside = object.filters().empty();
    walk.object(object, shift * parent, ColorTransform{}, false, level);
    renderer.finish();
    nested.clear();
    auto layer = std::make_unique<OffscreenLayer>();
    if (object.filters().empty())
        layer->image = std::make_shared<raster::Bitmap>(std::move(image));
    else
        layer->image = m_cache.filtered(std::move(image), object.filters(), scale);

    swf::FillStyle fill;
    fill.type = swf::FillType::ClippedBitmapHard;
    fill.bitmapId = 1;
    fill.matrix = Matrix::scale(kTwipsPerPixel, kTwipsPerPixel);
    Bounds rect;
    rect.add(0, 0);
    rect.add(width * kTwipsPerPixel, height * kTwipsPerPixel);
    m_renderer.drawShape(rectangleShape(rect, fill, nullptr),
                         Matrix::translate(x0, y0) *
                             Matrix::scale(1 / kTwipsPerPixel, 1 / kTwipsPerPixel),
                         object.filters().empty() ? parentCx * object.colorTransform() : parentCx,
                         layer.get(), blend);
    m_layers.push_back(std::move(layer));
    return true;
}

void RenderWalk::content(const DisplayObject& object, const Matrix& m, const ColorTransform& cx,
                         bool maskMode, int level)
{
    switch (object.kind()) {
    case ObjectKind::Shape:
        m_renderer.drawShape(*static_cast<const ShapeObject&>(object).shape(), m, cx, m_bitmaps);
        break;
    case ObjectKind::MorphShape:
        m_renderer.drawShape(static_cast<const MorphObject&>(object).shape(), m, cx, m_bitmaps);
        break;
    case ObjectKind::StaticText:
        forEachGlyph(object.parent() ? object.parent()->definition() : m_stage.movie(),
                     *static_cast<const StaticTextObject&>(object).text(),
                     [&](const swf::Shape& glyph, const Matrix& gm, Rgba color) {
                         m_renderer.drawShape(glyph, m * gm, cx * solidColor(color), m_bitmaps);
                     });
        break;
    case ObjectKind::TextField:
        textField(static_cast<const TextField&>(object), m, cx, maskMode);
        break;
    case ObjectKind::Bitmap: {
        const auto& bitmapObject = static_cast<const BitmapObject&>(object);
        // Dictionary bitmaps resolve through the movie's bitmap source,
        // script bitmaps (attachBitmap) through the object itself.
        if (bitmapObject.bitmap()) {
            bool own = object.characterId() == 0;
            swf::FillStyle fill;
            fill.type = bitmapObject.smoothing ? swf::FillType::ClippedBitmap
                                               : swf::FillType::ClippedBitmapHard;
            fill.bitmapId = object.characterId();
            fill.matrix = Matrix::scale(kTwipsPerPixel, kTwipsPerPixel);
            m_renderer.drawShape(rectangleShape(object.localBounds(), fill, nullptr), m, cx,
                                 own ? &bitmapObject.ownSource() : m_bitmaps);
        }
        break;
    }
    case ObjectKind::Button: {
        const auto& button = static_cast<const Button&>(object);
        children(button.children(), m, cx, maskMode, level);
        break;
    }
    case ObjectKind::MovieClip: {
        const auto& clip = static_cast<const MovieClip&>(object);
        if (!clip.drawing().empty())
            m_renderer.drawShape(clip.drawing().shape(), m, cx, m_bitmaps);
        children(clip.children(), m, cx, maskMode, level);
        break;
    }
    case ObjectKind::Video: break;
    }
}

void RenderWalk::children(const std::map<int, std::shared_ptr<DisplayObject>>& list,
                          const Matrix& m, const ColorTransform& cx, bool maskMode, int level)
{
    // Open clip-depth masks, by the last depth each one covers.
    std::vector<int> maskEnds;
    for (const auto& [depth, child] : list) {
        while (!maskEnds.empty() && depth > maskEnds.back()) {
            m_renderer.popMask();
            maskEnds.pop_back();
        }
        const MovieClip* clip = child->asMovieClip();
        if (clip && clip->isMaskForOther() && !maskMode)
            continue; // drawn only as the mask of another clip
        if (child->clipDepth() > depth && !maskMode) {
            m_renderer.beginMask();
            object(*child, m, {}, true, level + 1);
            m_renderer.endMask();
            maskEnds.push_back(child->clipDepth());
            continue;
        }
        object(*child, m, cx, maskMode, level + 1);
    }
    for (size_t i = 0; i < maskEnds.size(); ++i)
        m_renderer.popMask();
}

void RenderWalk::textField(const TextField& field, const Matrix& m, const ColorTransform& cx,
                           bool maskMode)
{
    Bounds box = field.localBounds();
    if ((field.background || field.border) && !box.empty()) {
        swf::FillStyle fill;
        fill.color = field.background ? field.backgroundColor : Rgba{0, 0, 0, 0};
        m_renderer.drawShape(rectangleShape(box, fill, nullptr), m, cx, m_bitmaps);
    }
    if (field.border && !box.empty()) {
        // The border's one-pixel lines fill the pixels right of and below
        // each edge, not half of the pixels on either side: draw the
        // hairline half a pixel further right and down.
        m_renderer.drawShape(borderShape(box, field.borderColor, m),
                             Matrix::translate(0.5, 0.5) * m, cx, m_bitmaps);
        // Fields drawn with embedded outlines cover five eighths of the
        // bottom-right corner pixel instead of leaving it out.
        const double sx = std::hypot(m.a, m.b), sy = std::hypot(m.c, m.d);
        if (field.embedFonts && sx > 0 && sy > 0) {
            Bounds corner;
            corner.add(box.xMax, box.yMax);
            corner.add(box.xMax + 1 / sx, box.yMax + 1 / sy);
            swf::FillStyle fill;
            fill.color = field.borderColor;
            fill.color.a = uint8_t((fill.color.a * 5 + 4) / 8);
            m_renderer.drawShape(rectangleShape(corner, fill, nullptr), m, cx, m_bitmaps);
        }
    }
    text::TextLayout layout = layoutField(field);
    if (layout.glyphs.empty() && layout.underlines.empty())
        return;
    // The text is clipped to the field's box.
    if (!maskMode && !box.empty()) {
        swf::FillStyle solid;
        m_renderer.beginMask();
        m_renderer.drawShape(rectangleShape(box, solid, nullptr), m, {}, m_bitmaps);
        m_renderer.endMask();
    }
    for (const auto& glyph : layout.glyphs) {
        if (glyph.shape)
            m_renderer.drawShape(*glyph.shape, m * glyph.matrix, cx * solidColor(glyph.color),
                                 m_bitmaps);
    }
    for (const auto& underline : layout.underlines) {
        swf::FillStyle fill;
        fill.color = underline.color;
        m_renderer.drawShape(rectangleShape(underline.rect, fill, nullptr), m, cx, m_bitmaps);
    }
    if (!maskMode && !box.empty())
        m_renderer.popMask();
}

// The filtered images kept for `renderer`, emptied for a new frame. A
// renderer finishes its frame before another one renders (BitmapData.draw
// runs within scripts, between frames), so the images of other renderers
// are not needed any more once a few have piled up.
template <class LayerMap>
OffscreenLayers& layersFor(LayerMap& map, const raster::Renderer& renderer)
{
    std::erase_if(map, [&](const auto& entry) {
        return entry.first != &renderer && (entry.second.empty() || map.size() > 4);
    });
    OffscreenLayers& layers = map[&renderer];
    layers.clear();
    return layers;
}

} // namespace

void Stage::render(raster::Renderer& renderer, const Matrix& stageToPixels) const
{
    OffscreenLayers& layers = layersFor(m_impl->offscreenLayers, renderer);
    FilterCache cache(m_impl->filterCache, m_impl->filterFrame);
    cache.nextFrame();
    const RectTwips frame = m_movie->frameRect();
    Bounds stageBox;
    stageBox.add(frame.xMin, frame.yMin);
    stageBox.add(frame.xMax, frame.yMax);
    RenderWalk walk(*this, renderer, stageToPixels, transformBounds(stageToPixels, stageBox),
                    layers, cache, m_impl->offscreenRenderers);
    walk.object(*m_root, stageToPixels, ColorTransform{}, false, 0);
    // Higher levels draw over lower ones.
    for (const auto& [number, level] : m_impl->levels)
        walk.object(*level, stageToPixels, ColorTransform{}, false, 0);
}

void Stage::renderObject(const DisplayObject& object, raster::Renderer& renderer,
                         const Matrix& toPixels, const ColorTransform& cx) const
{
    OffscreenLayers& layers = layersFor(m_impl->offscreenLayers, renderer);
    FilterCache cache(m_impl->filterCache, m_impl->filterFrame);
    RenderWalk walk(*this, renderer, toPixels, Bounds{}, layers, cache, m_impl->offscreenRenderers);
    walk.alone(object, toPixels, cx);
}
} // namespace zf::display
