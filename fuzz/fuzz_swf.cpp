// Fuzzes the SWF reader: container and header, the tag stream (nested
// sprites included), every tag reader, the action decoder and
// disassembler, and morph interpolation.
//
// An input that starts with an SWF signature is loaded as a file; anything
// else is taken as a bare tag stream whose first byte is the SWF version.
#include "swf/swf.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using namespace zf::swf;

constexpr int kMaxDepth = 4;

void consumeActions(std::span<const uint8_t> code, int version)
{
    volatile size_t sink = disassemble(code, version).size();
    (void)sink;
}

void readTag(const Tag& tag, int version, int depth);

void walk(std::span<const uint8_t> bytes, int version, int depth)
{
    TagStream stream(bytes);
    while (auto tag = stream.next())
        readTag(*tag, version, depth);
}

void readTag(const Tag& tag, int version, int depth)
{
    (void)checkTag(tag, version);
    switch (tag.type()) {
    case TagCode::DefineShape:
    case TagCode::DefineShape2:
    case TagCode::DefineShape3:
    case TagCode::DefineShape4:
        if (auto shape = readDefineShape(tag))
            (void)shape->shape.computeBounds();
        break;
    case TagCode::DefineMorphShape:
    case TagCode::DefineMorphShape2:
        if (auto morph = readDefineMorphShape(tag)) {
            for (double t : {0.0, 0.37, 1.0})
                (void)morph->morph.at(t).computeBounds();
        }
        break;
    case TagCode::PlaceObject:
    case TagCode::PlaceObject2:
    case TagCode::PlaceObject3:
        if (auto place = readPlaceObject(tag, version); place && place->clipActions)
            for (const ClipActionRecord& record : place->clipActions->records)
                consumeActions(record.actions, version);
        break;
    case TagCode::DefineButton:
    case TagCode::DefineButton2:
        if (auto button = readDefineButton(tag))
            for (const ButtonAction& action : button->actions)
                consumeActions(action.actions, version);
        break;
    case TagCode::DoAction: consumeActions(tag.body, version); break;
    case TagCode::DoInitAction:
        if (auto init = readDoInitAction(tag))
            consumeActions(init->actions, version);
        break;
    case TagCode::DefineSprite:
        if (depth < kMaxDepth)
            if (auto sprite = readDefineSprite(tag))
                walk(sprite->tags, version, depth + 1);
        break;
    case TagCode::DefineFont:
    case TagCode::DefineFont2:
    case TagCode::DefineFont3:
        if (auto font = readDefineFont(tag, version)) {
            (void)font->glyphIndex('A');
            for (const Shape& glyph : font->glyphs)
                (void)glyph.computeBounds();
        }
        break;
    case TagCode::DefineFontInfo:
    case TagCode::DefineFontInfo2:
        if (auto info = readDefineFontInfo(tag, version)) {
            Font font;
            applyFontInfo(font, *info);
        }
        break;
    case TagCode::DefineText:
    case TagCode::DefineText2: (void)readDefineText(tag); break;
    case TagCode::DefineEditText: (void)readDefineEditText(tag, version); break;
    case TagCode::StartSound:
    case TagCode::StartSound2: (void)readStartSound(tag, version); break;
    case TagCode::DefineButtonSound: (void)readDefineButtonSound(tag); break;
    case TagCode::SoundStreamHead:
    case TagCode::SoundStreamHead2: (void)readSoundStreamHead(tag); break;
    case TagCode::FrameLabel: (void)readFrameLabel(tag, version); break;
    case TagCode::DefineSceneAndFrameLabelData: (void)readDefineSceneAndFrameLabelData(tag); break;
    default: break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> input(data, size);
    if (size >= 3 && (data[0] == 'F' || data[0] == 'C' || data[0] == 'Z') && data[1] == 'W' &&
        data[2] == 'S') {
        (void)readHeader(input.first(std::min<size_t>(size, 512)), size);
        Limits limits;
        limits.maxUncompressed = 16 << 20;
        auto file = loadBytes(std::vector<uint8_t>(input.begin(), input.end()), limits);
        if (file)
            walk(file->tagBytes(), file->header.version, 0);
        return 0;
    }
    if (size > 0)
        walk(input.subspan(1), data[0], 0);
    return 0;
}
