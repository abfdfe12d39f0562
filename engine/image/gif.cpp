// GIF decoding through giflib: the first frame only, composed onto a
// transparent canvas of the logical screen size, as a still bitmap shows it.
#include "image/image_p.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <gif_lib.h>

namespace zf::image {
namespace {

struct GifSource {
    std::span<const uint8_t> data;
    size_t position = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* out, int length)
{
    auto* source = static_cast<GifSource*>(gif->UserData);
    size_t count = std::min(size_t(std::max(length, 0)), source->data.size() - source->position);
    std::memcpy(out, source->data.data() + source->position, count);
    source->position += count;
    return int(count);
}

struct GifCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

Error gifError(const char* what, int code)
{
    const char* reason = GifErrorString(code);
    return makeError(std::string("GIF data is invalid: ") + what + (reason ? ": " : "") +
                     (reason ? reason : ""));
}

// Reads the extension blocks; a graphic control block may name the
// transparent colour of the frame that follows.
Status readExtension(GifFileType* gif, int& transparentIndex)
{
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) != GIF_OK)
        return gifError("extension", gif->Error);
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4 && (block[1] & 1))
        transparentIndex = block[4];
    while (block) {
        if (DGifGetExtensionNext(gif, &block) != GIF_OK)
            return gifError("extension", gif->Error);
    }
    return Ok{};
}

Result<Image> readFirstFrame(GifFileType* gif, int transparentIndex)
{
    if (DGifGetImageDesc(gif) != GIF_OK)
        return gifError("image descriptor", gif->Error);
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colors = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colors || !colors->Colors)
        return makeError("GIF frame has no colour table");
    int64_t canvasWidth = gif->SWidth > 0 ? gif->SWidth : frame.Width;
    int64_t canvasHeight = gif->SHeight > 0 ? gif->SHeight : frame.Height;
    Result<Image> canvas = allocateImage(canvasWidth, canvasHeight);
    if (!canvas)
        return canvas;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Width > kMaxDimension ||
        frame.Height > kMaxDimension)
        return canvas;
    std::vector<GifPixelType> line(size_t(frame.Width));
    // Interlaced frames store rows in four passes.
    static constexpr int kPassStart[] = {0, 4, 2, 1}, kPassStep[] = {8, 8, 4, 2};
    int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        int start = frame.Interlace ? kPassStart[pass] : 0;
        int step = frame.Interlace ? kPassStep[pass] : 1;
        for (int row = start; row < frame.Height; row += step) {
            if (DGifGetLine(gif, line.data(), frame.Width) != GIF_OK)
                return canvas; // truncated: keep the rows decoded so far
            int64_t y = int64_t(frame.Top) + row;
            if (y < 0 || y >= canvasHeight)
                continue;
            for (int x = 0; x < frame.Width; ++x) {
                int64_t canvasX = int64_t(frame.Left) + x;
                int index = line[size_t(x)];
                if (canvasX >= canvasWidth || index == transparentIndex ||
                    index >= colors->ColorCount)
                    continue;
                const GifColorType& color = colors->Colors[index];
                uint8_t* out =
                    canvas->pixels.data() + (size_t(y) * size_t(canvasWidth) + size_t(canvasX)) * 4;
                out[0] = color.Red, out[1] = color.Green, out[2] = color.Blue, out[3] = 255;
            }
        }
    }
    return canvas;
}

} // namespace

Result<Image> decodeGif(std::span<const uint8_t> data)
{
    GifSource source{data};
    int openError = 0;
    GifHandle gif(DGifOpen(&source, readFromMemory, &openError));
    if (!gif)
        return gifError("header", openError);
    int transparentIndex = -1;
    // Every record consumes input, so the loop ends with the data.
    while (true) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) != GIF_OK)
            return gifError("record", gif->Error);
        if (type == EXTENSION_RECORD_TYPE) {
            if (Status status = readExtension(gif.get(), transparentIndex); !status)
                return status.error();
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            return readFirstFrame(gif.get(), transparentIndex);
        } else if (type == TERMINATE_RECORD_TYPE) {
            return makeError("GIF data holds no image");
        } else {
            return makeError("GIF data has an unknown record");
        }
    }
}

} // namespace zf::image
