// The render walk: the display tree in depth order, with concatenated
// matrices and colour transforms, clip-depth masks and script masks.
#include "display/display_p.h"

#include "raster/raster.h"
#include "text/text.h"

#include <cmath>

namespace zf::display {

namespace {

constexpr int kMaxRenderNesting = 256;

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

swf::Shape rectangleShape(const Bounds& box, const swf::FillStyle& fill, const swf::LineStyle* line)
{
    swf::ShapeGroup group;
    group.fills.push_back(fill);
    if (line)
        group.lines.push_back(*line);
    auto corner = [](double v) { return int32_t(std::lround(v)); };
    int32_t x0 = corner(box.xMin), y0 = corner(box.yMin), x1 = corner(box.xMax),
            y1 = corner(box.yMax);
    int32_t xs[] = {x0, x1, x1, x0, x0}, ys[] = {y0, y0, y1, y1, y0};
    for (int i = 0; i < 4; ++i) {
        swf::Edge e;
        e.x0 = xs[i];
        e.y0 = ys[i];
        e.x1 = xs[i + 1];
        e.y1 = ys[i + 1];
        e.cx = (e.x0 + e.x1) / 2;
        e.cy = (e.y0 + e.y1) / 2;
        e.fill1 = fill.type == swf::FillType::Solid && fill.color.a == 0 && line ? 0 : 1;
        e.line = line ? 1 : 0;
        group.edges.push_back(e);
    }
    swf::Shape shape;
    shape.groups.push_back(std::move(group));
    return shape;
}

ColorTransform solidColor(Rgba color)
{
    return ColorTransform{0, 0, 0, 0, color.r, color.g, color.b, color.a};
}

class RenderWalk {
public:
    RenderWalk(const Stage& stage, raster::Renderer& renderer, const Matrix& stageToPixels)
        : m_stage(stage), m_renderer(renderer), m_stageToPixels(stageToPixels),
          m_bitmaps(&stage.movie().bitmaps())
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
    void textField(const TextField& field, const Matrix& m, const ColorTransform& cx,
                   bool maskMode);

    const Stage& m_stage;
    raster::Renderer& m_renderer;
    Matrix m_stageToPixels;
    const raster::BitmapSource* m_bitmaps;
};

void RenderWalk::object(const DisplayObject& object, const Matrix& parent,
                        const ColorTransform& parentCx, bool maskMode, int level)
{
    if (level > kMaxRenderNesting || (!maskMode && !object.visible()))
        return;
    Matrix m = parent * object.matrix();
    ColorTransform cx = maskMode ? ColorTransform{} : parentCx * object.colorTransform();
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
        swf::LineStyle line;
        line.width = 0;
        line.color = field.borderColor;
        line.join = swf::JoinStyle::Miter;
        swf::FillStyle clear;
        clear.color = Rgba{0, 0, 0, 0};
        m_renderer.drawShape(rectangleShape(box, clear, &line), Matrix::translate(0.5, 0.5) * m, cx,
                             m_bitmaps);
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

} // namespace

void Stage::render(raster::Renderer& renderer, const Matrix& stageToPixels) const
{
    RenderWalk walk(*this, renderer, stageToPixels);
    walk.object(*m_root, stageToPixels, ColorTransform{}, false, 0);
    // Higher levels draw over lower ones.
    for (const auto& [number, level] : m_impl->levels)
        walk.object(*level, stageToPixels, ColorTransform{}, false, 0);
}

void Stage::renderObject(const DisplayObject& object, raster::Renderer& renderer,
                         const Matrix& toPixels, const ColorTransform& cx) const
{
    RenderWalk walk(*this, renderer, toPixels);
    walk.alone(object, toPixels, cx);
}

} // namespace zf::display
