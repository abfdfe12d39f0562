// Timeline control, sound, bitmap, video, asset and attribute records.
#include "swf/records_p.h"

namespace zf::swf {

namespace {

SoundFormat readSoundFormat(BitReader& bits)
{
    SoundFormat format;
    format.format = uint8_t(bits.ub(4));
    format.rateCode = uint8_t(bits.ub(2));
    format.is16Bit = bits.flag();
    format.stereo = bits.flag();
    return format;
}

std::vector<AssetEntry> readAssetList(ByteReader& reader, int swfVersion)
{
    uint16_t count = reader.u16();
    std::vector<AssetEntry> assets;
    assets.reserve(cappedCount(reader, count, 3));
    for (int i = 0; i < count && reader.ok(); ++i) {
        AssetEntry entry;
        entry.id = reader.u16();
        entry.name = reader.string(swfVersion);
        assets.push_back(std::move(entry));
    }
    return assets;
}

} // namespace

double SoundFormat::sampleRate() const
{
    static constexpr double kRates[4] = {5512.5, 11025, 22050, 44100};
    return kRates[rateCode & 3];
}

SoundInfo parseSoundInfo(ByteReader& reader)
{
    SoundInfo info;
    uint8_t flags = reader.u8();
    info.syncStop = flags & 0x20;
    info.syncNoMultiple = flags & 0x10;
    if (flags & 0x01)
        info.inPoint = reader.u32();
    if (flags & 0x02)
        info.outPoint = reader.u32();
    if (flags & 0x04)
        info.loopCount = reader.u16();
    if (flags & 0x08) {
        uint8_t count = reader.u8();
        info.envelope.reserve(cappedCount(reader, count, 8));
        for (int i = 0; i < count && reader.ok(); ++i) {
            SoundEnvelopePoint point;
            point.position44 = reader.u32();
            point.left = reader.u16();
            point.right = reader.u16();
            info.envelope.push_back(point);
        }
    }
    return info;
}

Result<DoInitAction> readDoInitAction(const Tag& tag)
{
    return readWith<DoInitAction>(tag, [](ByteReader& r) {
        DoInitAction init;
        init.spriteId = r.u16();
        init.actions = r.rest();
        return init;
    });
}

Result<FrameLabel> readFrameLabel(const Tag& tag, int swfVersion)
{
    return readWith<FrameLabel>(tag, [&](ByteReader& r) {
        FrameLabel label;
        label.name = r.string(swfVersion);
        if (!r.atEnd())
            label.anchor = r.u8() == 1;
        return label;
    });
}

Result<Rgba> readSetBackgroundColor(const Tag& tag)
{
    return readWith<Rgba>(tag, [](ByteReader& r) { return r.rgb(); });
}

Result<Sprite> readDefineSprite(const Tag& tag)
{
    return readWith<Sprite>(tag, [](ByteReader& r) {
        Sprite sprite;
        sprite.id = r.u16();
        sprite.frameCount = r.u16();
        sprite.tags = r.rest();
        return sprite;
    });
}

Result<SceneAndFrameLabels> readDefineSceneAndFrameLabelData(const Tag& tag)
{
    return readWith<SceneAndFrameLabels>(tag, [](ByteReader& r) {
        // Counts in the millions occur in crafted files: each entry takes at
        // least two bytes, so the loop ends with the data.
        SceneAndFrameLabels data;
        uint32_t scenes = r.encodedU32();
        for (uint32_t i = 0; i < scenes && r.ok(); ++i) {
            Scene scene;
            scene.frameOffset = r.encodedU32();
            scene.name = r.string(9);
            data.scenes.push_back(std::move(scene));
        }
        uint32_t labels = r.encodedU32();
        for (uint32_t i = 0; i < labels && r.ok(); ++i) {
            SceneFrameLabel label;
            label.frame = r.encodedU32();
            label.name = r.string(9);
            data.labels.push_back(std::move(label));
        }
        return data;
    });
}

Result<ScalingGrid> readDefineScalingGrid(const Tag& tag)
{
    return readWith<ScalingGrid>(tag, [](ByteReader& r) {
        ScalingGrid grid;
        grid.characterId = r.u16();
        grid.splitter = readRect(r);
        return grid;
    });
}

Result<SoundDefinition> readDefineSound(const Tag& tag)
{
    return readWith<SoundDefinition>(tag, [](ByteReader& r) {
        SoundDefinition sound;
        sound.id = r.u16();
        BitReader bits(r);
        sound.format = readSoundFormat(bits);
        sound.sampleCount = r.u32();
        sound.data = r.rest();
        return sound;
    });
}

Result<StartSound> readStartSound(const Tag& tag, int swfVersion)
{
    return readWith<StartSound>(tag, [&](ByteReader& r) {
        StartSound start;
        if (tag.type() == TagCode::StartSound2)
            start.className = r.string(swfVersion);
        else
            start.soundId = r.u16();
        start.info = parseSoundInfo(r);
        return start;
    });
}

Result<SoundStreamHead> readSoundStreamHead(const Tag& tag)
{
    return readWith<SoundStreamHead>(tag, [](ByteReader& r) {
        SoundStreamHead head;
        BitReader bits(r);
        bits.ub(4); // reserved
        head.playback.rateCode = uint8_t(bits.ub(2));
        head.playback.is16Bit = bits.flag();
        head.playback.stereo = bits.flag();
        head.stream = readSoundFormat(bits);
        head.sampleCount = r.u16();
        head.playback.format = head.stream.format;
        if (head.stream.format == 2 && r.remaining() >= 2)
            head.latencySeek = r.s16();
        return head;
    });
}

Result<JpegBitmap> readDefineBitsJpeg(const Tag& tag)
{
    return readWith<JpegBitmap>(tag, [&](ByteReader& r) {
        JpegBitmap bitmap;
        bitmap.id = r.u16();
        switch (tag.type()) {
        case TagCode::DefineBits: bitmap.version = 1; break;
        case TagCode::DefineBitsJPEG2: bitmap.version = 2; break;
        case TagCode::DefineBitsJPEG3: bitmap.version = 3; break;
        default: bitmap.version = 4; break;
        }
        if (bitmap.version <= 2) {
            bitmap.imageData = r.rest();
            return bitmap;
        }
        uint32_t alphaOffset = r.u32();
        if (bitmap.version == 4)
            bitmap.deblock = r.u16() / 256.0;
        bitmap.imageData = r.bytes(alphaOffset);
        bitmap.alphaData = r.rest();
        return bitmap;
    });
}

Result<LosslessBitmap> readDefineBitsLossless(const Tag& tag)
{
    return readWith<LosslessBitmap>(tag, [&](ByteReader& r) {
        LosslessBitmap bitmap;
        bitmap.hasAlpha = tag.type() == TagCode::DefineBitsLossless2;
        bitmap.id = r.u16();
        bitmap.format = r.u8();
        bitmap.width = r.u16();
        bitmap.height = r.u16();
        if (bitmap.format == 3)
            bitmap.colorTableSize = uint16_t(r.u8() + 1);
        bitmap.zlibData = r.rest();
        return bitmap;
    });
}

Result<VideoStream> readDefineVideoStream(const Tag& tag)
{
    return readWith<VideoStream>(tag, [](ByteReader& r) {
        VideoStream video;
        video.id = r.u16();
        video.frameCount = r.u16();
        video.width = r.u16();
        video.height = r.u16();
        uint8_t flags = r.u8();
        video.deblocking = (flags >> 1) & 0x07;
        video.smoothing = flags & 0x01;
        video.codec = r.u8();
        return video;
    });
}

Result<VideoFrame> readVideoFrame(const Tag& tag)
{
    return readWith<VideoFrame>(tag, [](ByteReader& r) {
        VideoFrame frame;
        frame.streamId = r.u16();
        frame.frameNumber = r.u16();
        frame.data = r.rest();
        return frame;
    });
}

Result<std::vector<AssetEntry>> readExportAssets(const Tag& tag, int swfVersion)
{
    return readWith<std::vector<AssetEntry>>(
        tag, [&](ByteReader& r) { return readAssetList(r, swfVersion); });
}

Result<ImportAssets> readImportAssets(const Tag& tag, int swfVersion)
{
    return readWith<ImportAssets>(tag, [&](ByteReader& r) {
        ImportAssets import;
        import.url = r.string(swfVersion);
        if (tag.type() == TagCode::ImportAssets2) {
            r.u8(); // always 1
            r.u8(); // always 0
        }
        import.assets = readAssetList(r, swfVersion);
        return import;
    });
}

Result<uint32_t> readFileAttributes(const Tag& tag)
{
    return readWith<uint32_t>(tag, [](ByteReader& r) { return r.u32(); });
}

Result<ScriptLimits> readScriptLimits(const Tag& tag)
{
    return readWith<ScriptLimits>(tag, [](ByteReader& r) {
        ScriptLimits limits;
        limits.maxRecursionDepth = r.u16();
        limits.timeoutSeconds = r.u16();
        return limits;
    });
}

Result<TabIndex> readSetTabIndex(const Tag& tag)
{
    return readWith<TabIndex>(tag, [](ByteReader& r) {
        TabIndex index;
        index.depth = r.u16();
        index.tabIndex = r.u16();
        return index;
    });
}

Result<std::string> readMetadata(const Tag& tag)
{
    return readWith<std::string>(tag, [](ByteReader& r) { return r.string(9); });
}

Result<FontName> readDefineFontName(const Tag& tag)
{
    return readWith<FontName>(tag, [](ByteReader& r) {
        FontName name;
        name.fontId = r.u16();
        name.name = r.string(9);
        name.copyright = r.string(9);
        return name;
    });
}

} // namespace zf::swf
