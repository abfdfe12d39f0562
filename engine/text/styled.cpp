// Editing operations on styled text (the model behind script-edited fields).
#include "text/styled.h"

#include <algorithm>

namespace zf::text {

size_t StyledText::paragraphAt(size_t index) const
{
    index = std::min(index, chars.size());
    size_t paragraph =
        size_t(std::count(chars.begin(), chars.begin() + std::ptrdiff_t(index), U'\r'));
    return std::min(paragraph, paragraphs.empty() ? 0 : paragraphs.size() - 1);
}

std::pair<size_t, size_t> StyledText::paragraphRange(size_t paragraph) const
{
    size_t begin = 0;
    for (size_t seen = 0; seen < paragraph; ++seen) {
        size_t next = chars.find(U'\r', begin);
        if (next == std::u32string::npos)
            return {chars.size(), chars.size()};
        begin = next + 1;
    }
    size_t end = chars.find(U'\r', begin);
    return {begin, end == std::u32string::npos ? chars.size() : end};
}

void StyledText::replace(size_t begin, size_t end, std::u32string_view insert,
                         const CharFormat& format)
{
    if (paragraphs.empty())
        paragraphs.emplace_back();
    begin = std::min(begin, chars.size());
    end = std::clamp(end, begin, chars.size());
    size_t paragraph = paragraphAt(begin);
    auto removed = std::count(chars.begin() + std::ptrdiff_t(begin),
                              chars.begin() + std::ptrdiff_t(end), U'\r');
    auto first = paragraphs.begin() + std::ptrdiff_t(paragraph + 1);
    paragraphs.erase(first, first + removed);
    auto added = std::count(insert.begin(), insert.end(), U'\r');
    ParagraphFormat split = paragraphs[paragraph];
    paragraphs.insert(paragraphs.begin() + std::ptrdiff_t(paragraph + 1), size_t(added), split);

    auto found = std::find(formats.begin(), formats.end(), format);
    uint32_t index = uint32_t(found - formats.begin());
    if (found == formats.end())
        formats.push_back(format);
    chars.replace(begin, end - begin, insert);
    formatOf.erase(formatOf.begin() + std::ptrdiff_t(begin),
                   formatOf.begin() + std::ptrdiff_t(end));
    formatOf.insert(formatOf.begin() + std::ptrdiff_t(begin), insert.size(), index);
}

void StyledText::compact()
{
    std::vector<CharFormat> kept;
    std::vector<uint32_t> remap(formats.size(), UINT32_MAX);
    for (uint32_t& index : formatOf) {
        if (remap[index] == UINT32_MAX) {
            auto found = std::find(kept.begin(), kept.end(), formats[index]);
            remap[index] = uint32_t(found - kept.begin());
            if (found == kept.end())
                kept.push_back(formats[index]);
        }
        index = remap[index];
    }
    // An empty text keeps its format for the next characters typed.
    if (kept.empty() && !formats.empty())
        kept.push_back(formats.front());
    formats = std::move(kept);
}

} // namespace zf::text
