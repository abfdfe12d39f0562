// System fonts: fontconfig picks a file for a name, FreeType loads it, and
// glyph outlines are converted to the same edge form as embedded glyphs.
#include "text/outline_p.h"
#include "text/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <unordered_map>

#if defined(__SANITIZE_ADDRESS__)
#define ZF_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZF_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef ZF_ADDRESS_SANITIZER
// fontconfig keeps a few hundred bytes from its initialisation for the life
// of the process; that is not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif

namespace zf::text {

const swf::Font* FontResolver::fontByName(std::string_view, bool, bool) const
{
    return nullptr;
}

std::string deviceFamilyFor(std::string_view name)
{
    // The Japanese names are the authoring tool's localised device fonts.
    if (name == "_sans" || name == "_ゴシック")
        return "sans-serif";
    if (name == "_serif" || name == "_明朝")
        return "serif";
    if (name == "_typewriter" || name == "_等幅")
        return "monospace";
    if (name.empty())
        return "sans-serif";
    return std::string(name);
}

namespace {

const char* metricFamilyFor(std::string_view generic)
{
    if (generic == "sans-serif")
        return "Arial";
    if (generic == "serif")
        return "Times New Roman";
    if (generic == "monospace")
        return "Courier New";
    return nullptr;
}

bool isJapaneseAlias(std::string_view name)
{
    return name == "_ゴシック" || name == "_明朝" || name == "_等幅";
}

class FreeTypeFont final : public DeviceFont {
public:
    FreeTypeFont(FT_Face face, std::string path)
        : m_face(face), m_path(std::move(path)),
          m_family(face->family_name ? face->family_name : ""),
          m_scale(kUnitsPerEm / double(face->units_per_EM))
    {
    }
    ~FreeTypeFont() override { FT_Done_Face(m_face); }

    const std::string& family() const override { return m_family; }
    const std::string& path() const override { return m_path; }
    double ascent() const override { return m_face->ascender * m_scale; }
    double descent() const override { return -m_face->descender * m_scale; }
    double leading() const override
    {
        return std::max(0.0, (m_face->height - m_face->ascender + m_face->descender) * m_scale);
    }

    const Glyph* glyph(char32_t character) override
    {
        std::lock_guard lock(m_mutex);
        auto [entry, inserted] = m_glyphs.try_emplace(character);
        if (inserted)
            entry->second = load(character);
        return entry->second.get();
    }

    double kerning(char32_t left, char32_t right) override
    {
        if (!FT_HAS_KERNING(m_face))
            return 0;
        std::lock_guard lock(m_mutex);
        FT_Vector delta{};
        FT_UInt first = FT_Get_Char_Index(m_face, left), second = FT_Get_Char_Index(m_face, right);
        if (!first || !second || FT_Get_Kerning(m_face, first, second, FT_KERNING_UNSCALED, &delta))
            return 0;
        return double(delta.x) * m_scale;
    }

private:
    std::unique_ptr<Glyph> load(char32_t character)
    {
        FT_UInt index = FT_Get_Char_Index(m_face, character);
        if (index == 0)
            return nullptr;
        if (FT_Load_Glyph(m_face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP))
            return nullptr;
        FT_GlyphSlot slot = m_face->glyph;
        auto glyph = std::make_unique<Glyph>();
        glyph->advance = double(slot->advance.x) * m_scale;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE)
            glyph->shape = convertOutline(slot->outline, m_scale);
        return glyph;
    }

    FT_Face m_face;
    std::string m_path;
    std::string m_family;
    double m_scale;
    std::mutex m_mutex;
    // Node-based, so glyph pointers handed out stay valid as it grows.
    std::unordered_map<char32_t, std::unique_ptr<Glyph>> m_glyphs;
};

} // namespace

struct DeviceFonts::Private {
    std::mutex mutex;
    FT_Library library = nullptr;
    std::map<std::string, std::unique_ptr<FreeTypeFont>> byPath;
    std::map<std::tuple<std::string, bool, bool>, DeviceFont*> byRequest;
    std::string problem;

    // Path of the best fontconfig match, or empty.
    std::string match(std::string_view name, bool bold, bool italic)
    {
        if (!FcInit())
            return {};
        std::string family = deviceFamilyFor(name);
        FcPattern* pattern = FcPatternCreate();
        // Movies were laid out with the classic desktop faces behind the
        // generic names; a metric-compatible family keeps their line
        // breaks and widths, when one is installed.
        const char* metric = isJapaneseAlias(name) ? nullptr : metricFamilyFor(family);
        if (metric)
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(metric));
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        // A family that is not installed falls back to sans-serif, as on
        // other systems, rather than to whatever fontconfig ranks first.
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        if (isJapaneseAlias(name))
            FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* found = FcFontMatch(nullptr, pattern, &result);
        std::string path;
        FcChar8* file = nullptr;
        if (found && FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch && file)
            path = reinterpret_cast<const char*>(file);
        if (found)
            FcPatternDestroy(found);
        FcPatternDestroy(pattern);
        return path;
    }

    DeviceFont* load(const std::string& path)
    {
        if (path.empty())
            return nullptr;
        if (auto it = byPath.find(path); it != byPath.end())
            return it->second.get();
        if (!library && FT_Init_FreeType(&library)) {
            library = nullptr;
            problem = "FreeType could not be initialised";
            return nullptr;
        }
        FT_Face face = nullptr;
        if (FT_New_Face(library, path.c_str(), 0, &face)) {
            problem = "cannot load font " + path;
            return nullptr;
        }
        if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
            FT_Done_Face(face);
            problem = "font " + path + " has no outlines";
            return nullptr;
        }
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        auto& slot = byPath[path];
        slot = std::make_unique<FreeTypeFont>(face, path);
        return slot.get();
    }
};

DeviceFonts::DeviceFonts() : m_private(std::make_unique<Private>()) {}

DeviceFonts::~DeviceFonts()
{
    m_private->byPath.clear(); // faces before their library
    if (m_private->library)
        FT_Done_FreeType(m_private->library);
}

DeviceFont* DeviceFonts::find(std::string_view name, bool bold, bool italic)
{
    std::lock_guard lock(m_private->mutex);
    auto key = std::make_tuple(std::string(name), bold, italic);
    if (auto it = m_private->byRequest.find(key); it != m_private->byRequest.end())
        return it->second;
    DeviceFont* font = m_private->load(m_private->match(name, bold, italic));
#ifdef ZF_FALLBACK_FONT
    if (!font)
        font = m_private->load(ZF_FALLBACK_FONT);
#endif
    if (!font && m_private->problem.empty())
        m_private->problem = "no usable system font was found";
    // Failures are remembered too: fontconfig is not asked again.
    m_private->byRequest[key] = font;
    return font;
}

DeviceFont* DeviceFonts::loadFile(const std::string& path)
{
    std::lock_guard lock(m_private->mutex);
    return m_private->load(path);
}

const std::string& DeviceFonts::problem() const
{
    return m_private->problem;
}

} // namespace zf::text
