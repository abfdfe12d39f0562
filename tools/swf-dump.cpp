// zf-swf-dump MOVIE.swf: lists the tags of a movie, nested sprites indented,
// with every action block (frame, init, clip and button actions)
// disassembled. A reading aid for debugging scripts.
#include "swf/swf.h"

#include <cstdio>
#include <string>

namespace {

constexpr int kMaxSpriteDepth = 8;

void printActions(std::span<const uint8_t> code, int version, const std::string& indent)
{
    std::string text = zf::swf::disassemble(code, version);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::printf("%s    %.*s\n", indent.c_str(), int(end - start), text.data() + start);
        start = end + 1;
    }
}

void printPlacement(const zf::swf::Tag& tag, int version, const std::string& indent)
{
    auto place = zf::swf::readPlaceObject(tag, version);
    if (!place)
        return;
    std::printf("%s  depth %u%s", indent.c_str(), place->depth, place->move ? " move" : "");
    if (place->characterId)
        std::printf(" id %u", *place->characterId);
    if (place->name)
        std::printf(" name \"%s\"", place->name->c_str());
    if (place->clipDepth)
        std::printf(" clipDepth %u", *place->clipDepth);
    std::printf("\n");
    if (!place->clipActions)
        return;
    for (const auto& record : place->clipActions->records) {
        std::printf("%s  onClipEvent 0x%x key %u:\n", indent.c_str(), record.events,
                    record.keyCode);
        printActions(record.actions, version, indent);
    }
}

void printButton(const zf::swf::Tag& tag, int version, const std::string& indent)
{
    auto button = zf::swf::readDefineButton(tag);
    if (!button)
        return;
    std::printf("%s  button id %u\n", indent.c_str(), button->id);
    for (const auto& action : button->actions) {
        std::printf("%s  on conditions 0x%x:\n", indent.c_str(), action.conditions);
        printActions(action.actions, version, indent);
    }
}

void dumpTags(std::span<const uint8_t> bytes, int version, int depth, int& frame)
{
    std::string indent(size_t(depth) * 4, ' ');
    zf::swf::TagStream stream(bytes);
    while (auto tag = stream.next()) {
        using zf::swf::TagCode;
        std::printf("%s%s (%u) %zu bytes\n", indent.c_str(),
                    std::string(zf::swf::tagName(tag->code)).c_str(), tag->code, tag->body.size());
        switch (tag->type()) {
        case TagCode::ShowFrame:
            std::printf("%s  -- end of frame %d\n", indent.c_str(), ++frame);
            break;
        case TagCode::DoAction: printActions(tag->body, version, indent); break;
        case TagCode::DoInitAction:
            if (auto init = zf::swf::readDoInitAction(*tag)) {
                std::printf("%s  sprite %u\n", indent.c_str(), init->spriteId);
                printActions(init->actions, version, indent);
            }
            break;
        case TagCode::PlaceObject:
        case TagCode::PlaceObject2:
        case TagCode::PlaceObject3: printPlacement(*tag, version, indent); break;
        case TagCode::DefineButton:
        case TagCode::DefineButton2: printButton(*tag, version, indent); break;
        case TagCode::FrameLabel:
            if (auto label = zf::swf::readFrameLabel(*tag, version))
                std::printf("%s  \"%s\"\n", indent.c_str(), label->name.c_str());
            break;
        case TagCode::DefineSprite:
            if (depth < kMaxSpriteDepth) {
                if (auto sprite = zf::swf::readDefineSprite(*tag)) {
                    std::printf("%s  sprite id %u, %u frames\n", indent.c_str(), sprite->id,
                                sprite->frameCount);
                    int spriteFrame = 0;
                    dumpTags(sprite->tags, version, depth + 1, spriteFrame);
                }
            }
            break;
        default: break;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zf-swf-dump MOVIE.swf\n");
        return 2;
    }
    auto file = zf::swf::loadFile(argv[1]);
    if (!file) {
        std::fprintf(stderr, "zf-swf-dump: %s\n", file.message().c_str());
        return 1;
    }
    std::printf("SWF %d, %d frames\n", file->header.version, int(file->header.frameCount));
    int frame = 0;
    dumpTags(file->tagBytes(), file->header.version, 0, frame);
    return 0;
}
