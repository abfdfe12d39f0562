// The container: signature, header, bounded decompression and the tag stream.
#include "swf/reader_p.h"
#include "swf/swf.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace zf::swf {

namespace {

// Enough uncompressed bytes for the largest header: a RECT of four 31-bit
// fields (17 bytes) plus rate and count.
constexpr size_t kHeaderProbeBytes = 64;
// Bytes read from disk for a probe: a compressed stream yields its first
// uncompressed bytes from far fewer input bytes than this.
constexpr size_t kProbeReadBytes = 4096;

uint32_t readLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Grows out by doubling up to limit; false when it is already full.
bool growOutput(std::vector<uint8_t>& out, size_t used, size_t limit)
{
    if (used < out.size())
        return true;
    if (out.size() >= limit)
        return false;
    size_t next = std::min(limit, std::max<size_t>(out.size() * 2, 64 * 1024));
    if (limit <= kHeaderProbeBytes)
        next = limit;
    out.resize(next);
    return true;
}

// Inflates a zlib stream into at most limit bytes. A truncated or damaged
// stream yields what was decoded before the damage.
Result<std::vector<uint8_t>> inflateBounded(std::span<const uint8_t> input, size_t limit)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return makeError("zlib initialisation failed");
    std::unique_ptr<z_stream, decltype(&inflateEnd)> guard(&stream, &inflateEnd);
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = uInt(std::min<size_t>(input.size(), UINT32_MAX));
    std::vector<uint8_t> out;
    size_t used = 0;
    int status = Z_OK;
    while (growOutput(out, used, limit)) {
        stream.next_out = out.data() + used;
        stream.avail_out = uInt(std::min<size_t>(out.size() - used, UINT32_MAX));
        status = inflate(&stream, Z_NO_FLUSH);
        used = out.size() - stream.avail_out;
        if (status != Z_OK)
            break;
    }
    out.resize(used);
    if (used == 0 && status != Z_STREAM_END && status != Z_OK)
        return makeError("the compressed movie data is damaged");
    return out;
}

// Decodes the LZMA stream of a ZWS file (5 property bytes, then raw data)
// into at most limit bytes. The end marker is optional.
Result<std::vector<uint8_t>> lzmaBounded(std::span<const uint8_t> props,
                                         std::span<const uint8_t> input, size_t limit)
{
    // The dictionary never needs to be larger than the output, which keeps
    // a header probe from allocating the 64 MiB a file may ask for.
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, props.data(), props.size()) != LZMA_OK)
        return makeError("unsupported LZMA properties");
    std::unique_ptr<void, decltype(&free)> options(filters[0].options, &free);
    auto* lzmaOptions = static_cast<lzma_options_lzma*>(filters[0].options);
    lzmaOptions->dict_size = uint32_t(
        std::clamp<uint64_t>(lzmaOptions->dict_size, 4096, std::max<uint64_t>(4096, limit)));
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&stream, filters) != LZMA_OK)
        return makeError("LZMA initialisation failed");
    std::unique_ptr<lzma_stream, decltype(&lzma_end)> guard(&stream, &lzma_end);
    std::vector<uint8_t> out;

    stream.next_in = input.data();
    stream.avail_in = input.size();
    size_t used = 0;
    lzma_ret status = LZMA_OK;
    while (growOutput(out, used, limit)) {
        stream.next_out = out.data() + used;
        stream.avail_out = out.size() - used;
        status = lzma_code(&stream, LZMA_RUN);
        used = out.size() - stream.avail_out;
        if (status != LZMA_OK)
            break;
    }
    out.resize(used);
    if (used == 0 && status != LZMA_STREAM_END && status != LZMA_OK)
        return makeError("the compressed movie data is damaged");
    return out;
}

struct Prologue {
    std::string signature;
    uint8_t version = 0;
    uint32_t fileLength = 0;
};

Result<Prologue> readPrologue(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 8)
        return makeError("file too short for an SWF header");
    std::string signature(bytes.begin(), bytes.begin() + 3);
    if (signature != "FWS" && signature != "CWS" && signature != "ZWS")
        return makeError("not an SWF file (bad signature)");
    return Prologue{signature, bytes[3], readLe32(bytes.data() + 4)};
}

size_t bodyLimit(uint32_t fileLength)
{
    return fileLength > 8 ? size_t(fileLength) - 8 : 0;
}

// The uncompressed body after the 8-byte prologue, up to limit bytes.
Result<std::vector<uint8_t>> decodeBody(const Prologue& prologue, std::span<const uint8_t> bytes,
                                        size_t limit)
{
    if (prologue.signature == "FWS") {
        auto body = bytes.subspan(8);
        return std::vector<uint8_t>(body.begin(), body.begin() + std::min(limit, body.size()));
    }
    if (prologue.signature == "CWS")
        return inflateBounded(bytes.subspan(8), limit);
    if (bytes.size() < 17)
        return makeError("file too short for an LZMA header");
    return lzmaBounded(bytes.subspan(12, 5), bytes.subspan(17), limit);
}

Status parseHeaderFields(std::span<const uint8_t> body, SwfHeader& header)
{
    ByteReader reader(body);
    header.frameRect = readRect(reader);
    uint8_t fraction = reader.u8(); // 8.8 fixed point, fraction byte first
    uint8_t whole = reader.u8();
    header.frameRate = whole + fraction / 256.0;
    header.frameCount = reader.u16();
    header.headerSize = reader.position();
    if (!reader.ok())
        return makeError("SWF header is truncated");
    return Ok{};
}

void detectScriptMachine(SwfFile& file)
{
    TagStream stream(file.tagBytes());
    while (auto tag = stream.next()) {
        if (tag->type() == TagCode::FileAttributes && !tag->body.empty() &&
            (tag->body[0] & FileAttribute::ActionScript3))
            file.avm2 = true;
        if (tag->type() == TagCode::DoAbc || tag->type() == TagCode::DoAbcEarly)
            file.hasDoAbc = true;
    }
}

Result<std::vector<uint8_t>> readWholeFile(const std::string& path, size_t maxBytes)
{
    std::unique_ptr<FILE, decltype(&fclose)> file(fopen(path.c_str(), "rb"), &fclose);
    if (!file)
        return makeError("cannot open " + path);
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    while (size_t n = fread(chunk, 1, sizeof chunk, file.get())) {
        if (bytes.size() + n > maxBytes)
            return makeError(path + " is larger than the movie size limit");
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    if (ferror(file.get()))
        return makeError("cannot read " + path);
    return bytes;
}

} // namespace

Result<SwfHeader> readHeader(std::span<const uint8_t> prefix, uint64_t fileSize)
{
    auto prologue = readPrologue(prefix);
    if (!prologue)
        return prologue.error();
    SwfHeader header;
    header.signature = prologue->signature;
    header.version = prologue->version;
    header.fileLength = prologue->fileLength;
    header.fileSize = fileSize;
    // The header fields are read from the data present even when FileLength
    // claims less: a movie declaring length 0 still has a readable header.
    auto body = decodeBody(*prologue, prefix, kHeaderProbeBytes);
    if (!body)
        return body.error();
    if (auto status = parseHeaderFields(*body, header); !status)
        return status.error();
    return header;
}

Result<SwfHeader> probeFile(const std::string& path)
{
    std::unique_ptr<FILE, decltype(&fclose)> file(fopen(path.c_str(), "rb"), &fclose);
    if (!file)
        return makeError("cannot open " + path);
    uint8_t prefix[kProbeReadBytes];
    size_t n = fread(prefix, 1, sizeof prefix, file.get());
    if (fseek(file.get(), 0, SEEK_END) != 0)
        return makeError("cannot read " + path);
    long size = ftell(file.get());
    return readHeader(std::span<const uint8_t>(prefix, n), size < 0 ? 0 : uint64_t(size));
}

std::span<const uint8_t> SwfFile::tagBytes() const
{
    std::span<const uint8_t> all(data);
    return tagsOffset <= all.size() ? all.subspan(tagsOffset) : std::span<const uint8_t>{};
}

Result<SwfFile> loadBytes(std::vector<uint8_t> bytes, const Limits& limits)
{
    auto prologue = readPrologue(bytes);
    if (!prologue)
        return prologue.error();
    if (prologue->fileLength > limits.maxUncompressed)
        return makeError("movie claims " + std::to_string(prologue->fileLength) +
                         " bytes uncompressed; the limit is " +
                         std::to_string(limits.maxUncompressed));
    SwfFile file;
    file.header.signature = prologue->signature;
    file.header.version = prologue->version;
    file.header.fileLength = prologue->fileLength;
    file.header.fileSize = bytes.size();
    // Decode at least the header even when FileLength claims less.
    size_t limit = std::max(bodyLimit(prologue->fileLength), kHeaderProbeBytes);
    auto body = decodeBody(*prologue, bytes, limit);
    if (!body)
        return body.error();
    if (auto status = parseHeaderFields(*body, file.header); !status)
        return status.error();
    file.data = std::move(*body);
    // Data beyond the declared length never plays.
    if (file.data.size() > bodyLimit(prologue->fileLength))
        file.data.resize(bodyLimit(prologue->fileLength));
    file.data.shrink_to_fit();
    file.tagsOffset = std::min(file.header.headerSize, file.data.size());
    detectScriptMachine(file);
    return file;
}

Result<SwfFile> loadFile(const std::string& path, const Limits& limits)
{
    // A compressed file is never larger than its content by much; a plain one
    // is clamped to its declared length anyway.
    auto bytes = readWholeFile(path, limits.maxUncompressed + (uint64_t(1) << 20));
    if (!bytes)
        return bytes.error();
    return loadBytes(std::move(*bytes), limits);
}

std::optional<Tag> TagStream::next()
{
    if (m_done)
        return std::nullopt;
    size_t size = m_bytes.size();
    if (m_position >= size || size - m_position < 2) {
        m_truncated = m_position < size;
        m_done = true;
        return std::nullopt;
    }
    size_t offset = m_position;
    uint16_t header = uint16_t(m_bytes[offset] | m_bytes[offset + 1] << 8);
    size_t position = offset + 2;
    size_t length = header & 0x3F;
    if (length == 0x3F) {
        if (size - position < 4) {
            m_truncated = true;
            m_done = true;
            return std::nullopt;
        }
        length = readLe32(m_bytes.data() + position);
        position += 4;
    }
    if (length > size - position) {
        m_truncated = true;
        m_done = true;
        return std::nullopt;
    }
    Tag tag{uint16_t(header >> 6), m_bytes.subspan(position, length), offset};
    m_position = position + length;
    if (tag.code == uint16_t(TagCode::End)) {
        m_sawEnd = true;
        m_done = true;
    }
    return tag;
}

std::string_view tagName(uint16_t code)
{
    switch (code) {
#define ZF_X(name, value)                                                                          \
    case value: return #name;
        ZF_SWF_TAGS(ZF_X)
#undef ZF_X
    default: return "Unknown";
    }
}

} // namespace zf::swf
