// Styled text: characters with per-character formats and per-paragraph
// formats, built from plain text or from the HTML subset of edit texts.
#pragma once

#include "text/text.h"

#include <string>
#include <string_view>
#include <vector>

namespace zf::text {

struct CharFormat {
    std::string font;
    double size = 240; // twips
    Rgba color{0, 0, 0, 255};
    bool bold = false, italic = false, underline = false;
    double letterSpacing = 0; // twips
    bool kerning = false;
    std::string url;
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
};

// Plain text: "\r\n", "\n" and "\r" all end a paragraph.
StyledText styledFromPlain(std::string_view utf8, const CharFormat& base,
                           const ParagraphFormat& paragraph);

// The HTML subset, parsed leniently: unknown tags are ignored, unclosed
// tags end with the text, stray closing tags are dropped. Without
// paragraphBreaks (single-line fields) paragraphs, <br> and newlines in the
// markup all run together on one line.
StyledText styledFromHtml(std::string_view html, const CharFormat& base,
                          const ParagraphFormat& paragraph, bool paragraphBreaks = true);

// UTF-8 with invalid bytes taken as Latin-1, so no input is lost.
std::u32string decodeUtf8(std::string_view text);
std::string encodeUtf8(std::u32string_view text);

} // namespace zf::text
