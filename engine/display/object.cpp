// Display objects: the common placement state, script properties and the
// leaf kinds (shapes, morphs, bitmaps, texts).
#include "display/display_p.h"

#include <cmath>
#include <numbers>

namespace zf::display {

namespace {
constexpr double kRadiansToDegrees = 180.0 / std::numbers::pi;

// Positions are whole twips held in 32 bits: a value out of that range
// (infinities included) becomes the most negative one, as a 32-bit
// conversion of the hardware does.
double roundToInt32(double twips)
{
    double rounded = std::round(twips);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        return -2147483648.0;
    return rounded;
}

// Scale and skew entries are 16.16 fixed point; what does not fit shows
// nothing rather than garbage.
double toFixed16(double value)
{
    double fixed = std::round(value * 65536.0);
    if (!(fixed >= -2147483648.0 && fixed <= 2147483647.0))
        return 0;
    return fixed / 65536.0;
}

// Composed and inverted matrices keep whole-twip translations, so points
// and bounds that pass through them land on the twip grid the way stored
// positions do.
Matrix snapTranslation(Matrix m)
{
    m.tx = roundToInt32(m.tx);
    m.ty = roundToInt32(m.ty);
    return m;
}

Point roundPoint(Point p)
{
    return {roundToInt32(p.x), roundToInt32(p.y)};
}

Bounds roundBounds(Bounds b)
{
    if (b.empty())
        return b;
    b.xMin = roundToInt32(b.xMin);
    b.yMin = roundToInt32(b.yMin);
    b.xMax = roundToInt32(b.xMax);
    b.yMax = roundToInt32(b.yMax);
    return b;
}
} // namespace

DisplayObject::DisplayObject(Stage& stage, ObjectKind kind) : m_stage(&stage), m_kind(kind)
{
    assignSerial(stage, *this);
}

DisplayObject::~DisplayObject() = default;

MovieClip* DisplayObject::asMovieClip()
{
    return m_kind == ObjectKind::MovieClip ? static_cast<MovieClip*>(this) : nullptr;
}
const MovieClip* DisplayObject::asMovieClip() const
{
    return m_kind == ObjectKind::MovieClip ? static_cast<const MovieClip*>(this) : nullptr;
}
Button* DisplayObject::asButton()
{
    return m_kind == ObjectKind::Button ? static_cast<Button*>(this) : nullptr;
}
TextField* DisplayObject::asTextField()
{
    return m_kind == ObjectKind::TextField ? static_cast<TextField*>(this) : nullptr;
}

MovieClip* DisplayObject::parent() const
{
    for (DisplayObject* p = m_parent; p; p = p->m_parent) {
        if (auto* clip = p->asMovieClip())
            return clip;
    }
    return nullptr;
}

void DisplayObject::setMatrix(const Matrix& matrix)
{
    m_matrix = matrix;
    m_decomposed = false;
}

void DisplayObject::setColorTransform(const ColorTransform& cxform)
{
    m_cxform = cxform;
}

Bounds DisplayObject::boundsIn(const DisplayObject* space) const
{
    if (space == this)
        return roundBounds(localBounds());
    Matrix toSpace = concatenatedMatrix();
    if (space)
        toSpace = snapTranslation(space->concatenatedMatrix().inverted()) * toSpace;
    return roundBounds(transformBounds(toSpace, localBounds()));
}

Bounds DisplayObject::boundsInParent() const
{
    return roundBounds(transformBounds(m_matrix, localBounds()));
}

// A container's own bounds follow each shape through the whole matrix to
// this space (a rotated child inside a rotated child adds no slack), each
// shape's box on the twip grid.
Bounds boundsThrough(const DisplayObject& object, const Matrix& toSpace, int level)
{
    const std::map<int, std::shared_ptr<DisplayObject>>* children = nullptr;
    Bounds b;
    if (const MovieClip* clip = object.asMovieClip()) {
        children = &clip->children();
        b = roundBounds(transformBounds(toSpace, shapeBounds(clip->drawing().shape())));
    } else if (object.kind() == ObjectKind::Button) {
        children = &static_cast<const Button&>(object).children();
    }
    if (!children)
        return roundBounds(transformBounds(toSpace, object.localBounds()));
    if (level > 64)
        return b;
    for (const auto& [depth, child] : *children)
        b.add(boundsThrough(*child, toSpace * child->matrix(), level + 1));
    return b;
}

Matrix DisplayObject::concatenatedMatrix() const
{
    Matrix result = m_matrix;
    // Parents are bounded by the nesting the stage allows; walk them iteratively.
    for (const DisplayObject* p = m_parent; p; p = p->m_parent)
        result = snapTranslation(p->m_matrix * result);
    return result;
}

ColorTransform DisplayObject::concatenatedColorTransform() const
{
    ColorTransform result = m_cxform;
    for (const DisplayObject* p = m_parent; p; p = p->m_parent)
        result = p->m_cxform * result;
    return result;
}

Point DisplayObject::localToGlobal(Point local) const
{
    return roundPoint(concatenatedMatrix().apply(local));
}

Point DisplayObject::globalToLocal(Point global) const
{
    return roundPoint(snapTranslation(concatenatedMatrix().inverted()).apply(global));
}

bool DisplayObject::hitTest(Point stagePoint, bool shapeFlag) const
{
    if (!shapeFlag) {
        Bounds b = boundsIn(nullptr);
        return !b.empty() && stagePoint.x >= b.xMin && stagePoint.x <= b.xMax &&
               stagePoint.y >= b.yMin && stagePoint.y <= b.yMax;
    }
    return hitTestLocal(globalToLocal(stagePoint));
}

void DisplayObject::setX(double pixels)
{
    if (std::isnan(pixels))
        return;
    m_matrix.tx = roundToInt32(pixels * kTwipsPerPixel);
    m_transformedByScript = true;
}

void DisplayObject::setY(double pixels)
{
    if (std::isnan(pixels))
        return;
    m_matrix.ty = roundToInt32(pixels * kTwipsPerPixel);
    m_transformedByScript = true;
}

void DisplayObject::decomposeMatrix() const
{
    if (m_decomposed)
        return;
    m_xScale = std::hypot(m_matrix.a, m_matrix.b);
    m_yScale = std::hypot(m_matrix.c, m_matrix.d);
    // A mirrored matrix reports its flip on the y scale.
    if (m_matrix.determinant() < 0)
        m_yScale = -m_yScale;
    m_rotation = m_xScale != 0 ? std::atan2(m_matrix.b, m_matrix.a) * kRadiansToDegrees : 0;
    m_decomposed = true;
}

double DisplayObject::xScale() const
{
    decomposeMatrix();
    return m_xScale * 100;
}
double DisplayObject::yScale() const
{
    decomposeMatrix();
    return m_yScale * 100;
}
double DisplayObject::rotation() const
{
    decomposeMatrix();
    return m_rotation;
}

void DisplayObject::applyScaleRotation()
{
    double radians = m_rotation / kRadiansToDegrees;
    double cosine = std::cos(radians), sine = std::sin(radians);
    m_matrix.a = toFixed16(m_xScale * cosine);
    m_matrix.b = toFixed16(m_xScale * sine);
    m_matrix.c = toFixed16(-m_yScale * sine);
    m_matrix.d = toFixed16(m_yScale * cosine);
    m_transformedByScript = true;
}

// Infinite scales and rotations are kept as scripts set them (and read
// back so); the matrix built from them shows nothing.
void DisplayObject::setXScale(double percent)
{
    if (std::isnan(percent))
        return;
    decomposeMatrix();
    m_xScale = percent / 100;
    applyScaleRotation();
}

void DisplayObject::setYScale(double percent)
{
    if (std::isnan(percent))
        return;
    decomposeMatrix();
    m_yScale = percent / 100;
    applyScaleRotation();
}

void DisplayObject::setRotation(double degrees)
{
    if (std::isnan(degrees))
        return;
    decomposeMatrix();
    degrees = std::fmod(degrees, 360.0);
    if (degrees > 180)
        degrees -= 360;
    else if (degrees < -180)
        degrees += 360;
    m_rotation = degrees;
    applyScaleRotation();
}

double DisplayObject::width() const
{
    Bounds b = boundsInParent();
    return b.empty() ? 0 : (b.xMax - b.xMin) / kTwipsPerPixel;
}

double DisplayObject::height() const
{
    Bounds b = boundsInParent();
    return b.empty() ? 0 : (b.yMax - b.yMin) / kTwipsPerPixel;
}

void DisplayObject::setWidth(double pixels)
{
    double current = width();
    if (!std::isfinite(pixels) || pixels < 0 || current <= 0)
        return;
    setXScale(xScale() * pixels / current);
}

void DisplayObject::setHeight(double pixels)
{
    double current = height();
    if (!std::isfinite(pixels) || pixels < 0 || current <= 0)
        return;
    setYScale(yScale() * pixels / current);
}

void DisplayObject::setAlpha(double percent)
{
    if (std::isnan(percent))
        return;
    // Stored as a 16-bit 8.8 multiplier, as the file stores it: the value
    // goes through a 32-bit integer and keeps its low 16 bits.
    m_cxform.aMul = int16_t(int32_t(roundToInt32(std::trunc(percent * 256 / 100))));
    m_transformedByScript = true;
}

std::string DisplayObject::targetPath() const
{
    if (!m_parent)
        return "_level" + std::to_string(m_depth); // a level's root sits at its level number
    return m_parent->targetPath() + "." + m_name;
}

std::string DisplayObject::slashPath() const
{
    if (!m_parent)
        return m_depth == 0 ? "/" : "_level" + std::to_string(m_depth) + "/";
    std::string parentPath = m_parent->slashPath();
    return (parentPath.ends_with('/') ? parentPath : parentPath + "/") + m_name;
}

void applyPlacement(DisplayObject& object, const swf::PlaceObject& place, bool fromTimeline)
{
    bool keepTransform = fromTimeline && object.transformedByScript();
    if (place.matrix && !keepTransform)
        object.setMatrix(*place.matrix);
    if (place.colorTransform && !keepTransform)
        object.setColorTransform(*place.colorTransform);
    if (place.ratio)
        object.setRatio(*place.ratio);
    if (place.name)
        object.setName(*place.name);
    if (place.clipDepth)
        object.setClipDepth(*place.clipDepth);
    if (place.filters)
        object.setFilters(*place.filters);
    if (place.blendMode)
        object.setBlendMode(*place.blendMode);
    if (place.cacheAsBitmap)
        object.setCacheAsBitmap(*place.cacheAsBitmap);
    if (place.visible)
        object.setVisible(*place.visible);
}

// --- Leaf objects ----------------------------------------------------------

ShapeObject::ShapeObject(Stage& stage, const swf::Shape* shape)
    : DisplayObject(stage, ObjectKind::Shape), m_shape(shape)
{
}

// The bounds the file declares (strokes included) are what scripts
// measure; a shape without a usable rectangle falls back to its edges.
Bounds ShapeObject::localBounds() const
{
    const RectTwips& r = m_shape->bounds;
    if (r.xMin > r.xMax || r.yMin > r.yMax || (r.xMin == r.xMax && r.yMin == r.yMax))
        return shapeBounds(*m_shape);
    Bounds b;
    b.add(r.xMin, r.yMin);
    b.add(r.xMax, r.yMax);
    return b;
}
bool ShapeObject::hitTestLocal(Point local) const
{
    return shapeContains(*m_shape, local);
}

MorphObject::MorphObject(Stage& stage, const swf::MorphShape* morph)
    : DisplayObject(stage, ObjectKind::MorphShape), m_morph(morph)
{
}

const swf::Shape& MorphObject::shape() const
{
    if (m_cachedRatio != ratio()) {
        m_cached = m_morph->at(ratio() / 65535.0);
        m_cachedRatio = ratio();
    }
    return m_cached;
}

Bounds MorphObject::localBounds() const
{
    return shapeBounds(shape());
}
bool MorphObject::hitTestLocal(Point local) const
{
    return shapeContains(shape(), local);
}

BitmapObject::BitmapObject(Stage& stage, uint16_t bitmapId,
                           std::shared_ptr<const raster::Bitmap> bitmap)
    : DisplayObject(stage, ObjectKind::Bitmap), m_bitmapId(bitmapId), m_bitmap(std::move(bitmap))
{
    m_ownSource.owner = this;
}

const raster::Bitmap* BitmapObject::bitmap() const
{
    if (m_bitmap)
        return m_bitmap.get();
    // A bitmap character of a loaded movie comes from that movie's dictionary.
    return (parent() ? parent()->definition() : stage().movie()).bitmap(m_bitmapId);
}

namespace {

// The bounds of a width x height pixel box at the origin.
Bounds pixelBox(int width, int height)
{
    Bounds b;
    b.add(0, 0);
    b.add(width * kTwipsPerPixel, height * kTwipsPerPixel);
    return b;
}

// Whether a point lies in a box, its right and bottom edges excluded.
bool insideBox(const Bounds& b, Point local)
{
    return !b.empty() && local.x >= b.xMin && local.x < b.xMax && local.y >= b.yMin &&
           local.y < b.yMax;
}

} // namespace

Bounds BitmapObject::localBounds() const
{
    const auto* image = bitmap();
    return image ? pixelBox(image->width, image->height) : Bounds{};
}

bool BitmapObject::hitTestLocal(Point local) const
{
    return insideBox(localBounds(), local);
}

VideoObject::VideoObject(Stage& stage, const swf::VideoStream* stream)
    : DisplayObject(stage, ObjectKind::Video), m_stream(stream)
{
    if (m_stream) {
        smoothing = m_stream->smoothing;
        deblocking = m_stream->deblocking;
    }
}

Bounds VideoObject::localBounds() const
{
    return m_stream ? pixelBox(m_stream->width, m_stream->height) : Bounds{};
}

bool VideoObject::hitTestLocal(Point local) const
{
    return insideBox(localBounds(), local);
}

StaticTextObject::StaticTextObject(Stage& stage, const swf::StaticText* text)
    : DisplayObject(stage, ObjectKind::StaticText), m_text(text)
{
}

Bounds StaticTextObject::localBounds() const
{
    Bounds b;
    const RectTwips& r = m_text->bounds;
    b.add(r.xMin, r.yMin);
    b.add(r.xMax, r.yMax);
    return transformBounds(m_text->matrix, b);
}

bool StaticTextObject::hitTestLocal(Point local) const
{
    bool hit = false;
    forEachGlyph(parent() ? parent()->definition() : stage().movie(), *m_text,
                 [&](const swf::Shape& glyph, const Matrix& m, Rgba) {
                     if (!hit)
                         hit = shapeContains(glyph, m.inverted().apply(local));
                 });
    return hit;
}

void forEachGlyph(const movie::MovieDefinition& movie, const swf::StaticText& text,
                  const std::function<void(const swf::Shape&, const Matrix&, Rgba)>& draw)
{
    for (const auto& record : text.records) {
        const swf::Font* font = movie.font(record.fontId);
        if (!font)
            continue;
        double scale = record.height / font->emSquare();
        double x = record.x;
        for (const auto& glyph : record.glyphs) {
            if (glyph.index < font->glyphs.size()) {
                Matrix m =
                    text.matrix * Matrix::translate(x, record.y) * Matrix::scale(scale, scale);
                draw(font->glyphs[glyph.index], m, record.color);
            }
            x += glyph.advance;
        }
    }
}

} // namespace zf::display
