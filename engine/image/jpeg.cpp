// JPEG decoding through libjpeg. The data is first rewritten into one clean
// stream: SWF files split tables and image into separate SOI..EOI streams,
// and older encoders put FF D9 FF D8 at the front or between the two.
#include "image/image_p.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace zf::image {
namespace {

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA;
// Progressive files with thousands of tiny scans take very long to decode;
// real encoders write about ten.
constexpr int kMaxScans = 1000;

bool isStandalone(uint8_t marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

bool isTableMarker(uint8_t marker)
{
    // DHT, DAC, DQT, DRI, and the APPn/COM segments that may accompany them.
    return marker == 0xC4 || marker == 0xCC || marker == 0xDB || marker == 0xDD ||
           (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
}

// Length of the entropy-coded data starting at pos: everything up to the
// next marker that is neither a stuffed zero nor a restart marker.
size_t entropyLength(std::span<const uint8_t> data, size_t pos)
{
    size_t end = pos;
    while (end < data.size()) {
        if (data[end] == 0xFF && end + 1 < data.size()) {
            uint8_t next = data[end + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                end += 2;
                continue;
            }
            break;
        }
        ++end;
    }
    return end - pos;
}

// Appends the segments of every SOI..EOI stream in data to out, without the
// SOI and EOI markers themselves. With tablesOnly, only table segments are
// kept. Stops at an EOI that is not followed by another SOI.
Status collectSegments(std::span<const uint8_t> data, bool tablesOnly, std::vector<uint8_t>& out)
{
    size_t pos = 0;
    while (pos + 1 < data.size()) {
        if (data[pos] != 0xFF) {
            ++pos; // junk between segments; decoders skip it as well
            continue;
        }
        while (pos + 1 < data.size() && data[pos + 1] == 0xFF)
            ++pos; // fill bytes
        if (pos + 1 >= data.size())
            break;
        uint8_t marker = data[pos + 1];
        pos += 2;
        if (marker == kSoi || marker == 0x00)
            continue;
        if (marker == kEoi) {
            if (pos + 1 < data.size() && data[pos] == 0xFF && data[pos + 1] == kSoi)
                continue; // FF D9 FF D8: the next stream continues this one
            break;
        }
        if (isStandalone(marker)) {
            if (!tablesOnly)
                out.insert(out.end(), {0xFF, marker});
            continue;
        }
        if (pos + 2 > data.size())
            return makeError("JPEG marker segment is truncated");
        size_t length = size_t(data[pos]) << 8 | data[pos + 1];
        if (length < 2 || length > data.size() - pos)
            return makeError("JPEG marker segment runs past the end of the data");
        size_t segmentEnd = pos + length;
        if (marker == kSos)
            segmentEnd += entropyLength(data, segmentEnd);
        if (!tablesOnly || isTableMarker(marker)) {
            out.insert(out.end(), {0xFF, marker});
            out.insert(out.end(), data.begin() + pos, data.begin() + segmentEnd);
        }
        pos = segmentEnd;
    }
    return Ok{};
}

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    longjmp(errors->jump, 1);
}

void onOutputMessage(j_common_ptr) {} // warnings about damaged data are expected

void onProgress(j_common_ptr info)
{
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxScans) {
        auto* errors = reinterpret_cast<ErrorManager*>(info->err);
        std::snprintf(errors->message, sizeof errors->message, "too many progressive scans");
        longjmp(errors->jump, 1);
    }
}

struct DecodeState {
    Image image;
    std::vector<uint8_t> row;
    std::string error;
};

// APP14 carries the colour transform flags of CMYK and YCCK files.
constexpr int kColourMarker = JPEG_APP0 + 14;

bool hasColourMarker(const jpeg_decompress_struct& info)
{
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        if (m->marker == kColourMarker && m->data_length >= 12)
            return true;
    }
    return false;
}

void convertRow(const uint8_t* in, int components, bool invertedCmyk, int width, uint8_t* out)
{
    for (int x = 0; x < width; ++x, out += 4) {
        if (components == 1) {
            out[0] = out[1] = out[2] = in[x];
        } else if (components == 3) {
            std::memcpy(out, in + x * 3, 3);
        } else {
            // Files with an APP14 colour marker store CMYK inverted (0 = full
            // ink); plain CMYK is not.
            const uint8_t* p = in + x * 4;
            unsigned c = p[0], m = p[1], y = p[2], k = p[3];
            if (!invertedCmyk) {
                c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
            }
            out[0] = uint8_t(c * k / 255);
            out[1] = uint8_t(m * k / 255);
            out[2] = uint8_t(y * k / 255);
        }
        out[3] = 255;
    }
}

// Runs libjpeg over one complete stream. Only trivially destructible objects
// live in this frame, so the error longjmp skips no destructor; everything
// that outlives an error is reached through `state`.
bool runDecoder(const std::vector<uint8_t>& stream, DecodeState& state)
{
    jpeg_decompress_struct info;
    ErrorManager errors;
    jpeg_progress_mgr progress;
    std::memset(&info, 0, sizeof info);
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.output_message = onOutputMessage;
    errors.message[0] = 0;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        state.error = "JPEG data is invalid: ";
        state.error += errors.message;
        return false;
    }
    jpeg_create_decompress(&info);
    progress.progress_monitor = onProgress;
    info.progress = &progress;
    jpeg_mem_src(&info, stream.data(), static_cast<unsigned long>(stream.size()));
    jpeg_save_markers(&info, kColourMarker, 16);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        state.error = "JPEG data holds tables but no image";
        return false;
    }
    if (!allocateInto(state.image, state.error, info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = info.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE
                           : cmyk                                 ? JCS_CMYK
                                                                  : JCS_RGB;
    jpeg_start_decompress(&info);
    int components = info.output_components;
    int width = int(info.output_width);
    if ((components != 1 && components != 3 && components != 4) || width != state.image.width ||
        int(info.output_height) != state.image.height) {
        jpeg_destroy_decompress(&info);
        state.error = "JPEG output format is not supported";
        return false;
    }
    state.row.resize(size_t(width) * size_t(components));
    while (info.output_scanline < info.output_height) {
        size_t y = info.output_scanline;
        JSAMPROW rowPointer = state.row.data();
        if (jpeg_read_scanlines(&info, &rowPointer, 1) != 1)
            break;
        convertRow(state.row.data(), components, cmyk && hasColourMarker(info), width,
                   state.image.pixels.data() + y * size_t(width) * 4);
    }
    // Not jpeg_finish_decompress: damage after the last row must not discard
    // an image that decoded completely.
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

Result<std::vector<uint8_t>> mergeJpegStreams(std::span<const uint8_t> data,
                                              std::span<const uint8_t> tables)
{
    std::vector<uint8_t> stream;
    stream.reserve(data.size() + tables.size() + 4);
    stream.insert(stream.end(), {0xFF, kSoi});
    if (!tables.empty()) {
        if (Status status = collectSegments(tables, true, stream); !status)
            return status.error();
    }
    if (Status status = collectSegments(data, false, stream); !status)
        return status.error();
    stream.insert(stream.end(), {0xFF, kEoi});
    return stream;
}

Result<Image> decodeJpeg(std::span<const uint8_t> data, std::span<const uint8_t> tables)
{
    if (data.empty())
        return makeError("JPEG data is empty");
    Result<std::vector<uint8_t>> stream = mergeJpegStreams(data, tables);
    if (!stream)
        return stream.error();
    DecodeState state;
    if (!runDecoder(*stream, state))
        return makeError(state.error);
    return std::move(state.image);
}

} // namespace zf::image
