// Styled text: characters with per-character formats and per-paragraph
// formats, built from plain text or from the HTML subset of edit texts, and
// written back as the HTML that scripts read from htmlText.
#pragma once

#include "common/geom.h"
#include "swf/text.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zf::text {

struct CharFormat {
    std::string font;
    double size = 240; // twips
    Rgba color{0, 0, 0, 255};
    bool bold = false, italic = false, underline = false;
    double letterSpacing = 0; // twips
    bool kerning = false;
    std::string url, target;
    bool operator==(const CharFormat&) const = default;
};

struct ParagraphFormat {
    swf::TextAlign align = swf::TextAlign::Left;
    double leftMargin = 0, rightMargin = 0, indent = 0, blockIndent = 0, leading = 0; // twips
    bool bullet = false;
    std::vector<double> tabStops; // twips
    bool operator==(const ParagraphFormat&) const = default;
};

// Paragraphs are separated by '\r' in `chars`; `paragraphs` has one entry per
// paragraph, `formatOf` one entry per character (the '\r' separators too).
struct StyledText {
    std::u32string chars;
    std::vector<uint32_t> formatOf;
    std::vector<CharFormat> formats;
    std::vector<ParagraphFormat> paragraphs;

    void append(char32_t character, const CharFormat& format);
    void breakParagraph(const CharFormat& format, const ParagraphFormat& next);
    // The format for a position; the base format when the text is empty.
    const CharFormat& formatAt(size_t index) const;
    // Index into `paragraphs` of the paragraph holding character `index`.
    size_t paragraphAt(size_t index) const;
    // [begin, end) of the paragraph `index` (end at its '\r' or the text end).
    std::pair<size_t, size_t> paragraphRange(size_t paragraph) const;
    // Replaces [begin, end) with `insert`, which takes `format`; new
    // paragraphs copy the format of the paragraph they split.
    void replace(size_t begin, size_t end, std::u32string_view insert, const CharFormat& format);
    // Drops unused entries of `formats` and merges duplicates.
    void compact();
};

// Plain text: "\r\n", "\n" and "\r" all end a paragraph.
StyledText styledFromPlain(std::string_view utf8, const CharFormat& base,
                           const ParagraphFormat& paragraph);

// The HTML subset, parsed leniently: unknown tags are ignored, unclosed
// tags end with the text, stray closing tags are dropped. Without
// paragraphBreaks (single-line fields) paragraphs, <br> and newlines in the
// markup all run together on one line.
// Movies before version 8 have no kerning: their KERNING attributes are
// ignored unless `kerning`.
StyledText styledFromHtml(std::string_view html, const CharFormat& base,
                          const ParagraphFormat& paragraph, bool paragraphBreaks = true,
                          bool kerning = true);

// UTF-8 with invalid bytes taken as Latin-1, so no input is lost.
std::u32string decodeUtf8(std::string_view text);
std::string encodeUtf8(std::u32string_view text);

// The HTML scripts read back: one <P> (or <LI>) per paragraph inside a
// <TEXTFORMAT> when a paragraph setting is not zero, the full character
// format on an outer <FONT>, changes nested inside it.
std::string toHtml(const StyledText& text);

} // namespace zf::text
