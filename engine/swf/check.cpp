// Parses a tag with the reader for its code and reports whether the record
// ends exactly at the tag's declared length, including the action bytes it
// carries.
#include "swf/records_p.h"

namespace zf::swf {

namespace {

// Walks action records to the end of the bytes; fails on a record that runs
// past them.
void checkActions(ByteReader& reader, std::span<const uint8_t> code)
{
    size_t offset = 0;
    while (reader.ok() && offset < code.size()) {
        auto action = readAction(code, offset);
        if (!action) {
            reader.fail("actions: " + action.message(), false);
            return;
        }
        if (action->code == uint8_t(ActionCode::Push)) {
            if (auto values = readPushValues(action->payload); !values)
                reader.fail("actions: " + values.message(), false);
        }
        offset = action->next;
    }
}

// Wraps a public reader: its error becomes the reader's, and the record is
// taken to end where the tag does.
template <class T>
void fromResult(ByteReader& reader, const Result<T>& result)
{
    if (!result)
        reader.fail(result.message(), false);
    else
        reader.rest();
}

void parseByCode(ByteReader& r, const Tag& tag, int version, bool& parsed)
{
    parsed = true;
    switch (tag.type()) {
    case TagCode::DefineShape:
    case TagCode::DefineShape2:
    case TagCode::DefineShape3:
    case TagCode::DefineShape4: parseDefineShape(r, tag); break;
    case TagCode::DefineMorphShape:
    case TagCode::DefineMorphShape2: parseDefineMorphShape(r, tag); break;
    case TagCode::PlaceObject:
    case TagCode::PlaceObject2:
    case TagCode::PlaceObject3: {
        PlaceObject place = parsePlaceObject(r, tag, version);
        if (place.clipActions)
            for (const ClipActionRecord& record : place.clipActions->records)
                checkActions(r, record.actions);
        break;
    }
    case TagCode::DefineButton:
    case TagCode::DefineButton2: {
        Button button = parseDefineButton(r, tag);
        for (const ButtonAction& action : button.actions)
            checkActions(r, action.actions);
        break;
    }
    case TagCode::DoAction: checkActions(r, r.rest()); break;
    case TagCode::DoInitAction:
        r.u16();
        checkActions(r, r.rest());
        break;
    case TagCode::DefineFont:
    case TagCode::DefineFont2:
    case TagCode::DefineFont3: parseDefineFont(r, tag, version); break;
    case TagCode::DefineText:
    case TagCode::DefineText2: parseDefineText(r, tag); break;
    case TagCode::DefineEditText: parseDefineEditText(r, version); break;
    case TagCode::RemoveObject:
    case TagCode::RemoveObject2: {
        auto remove = readRemoveObject(tag);
        if (!remove)
            r.fail(remove.message(), false);
        else
            r.skip(tag.type() == TagCode::RemoveObject ? 4 : 2);
        break;
    }
    case TagCode::SetBackgroundColor: r.rgb(); break;
    case TagCode::FileAttributes: r.u32(); break;
    case TagCode::ScriptLimits:
    case TagCode::SetTabIndex: r.u32(); break;
    case TagCode::FrameLabel: {
        r.rawString();
        if (!r.atEnd())
            r.u8();
        break;
    }
    case TagCode::ExportAssets: fromResult(r, readExportAssets(tag, version)); break;
    case TagCode::ImportAssets:
    case TagCode::ImportAssets2: fromResult(r, readImportAssets(tag, version)); break;
    case TagCode::DefineScalingGrid: fromResult(r, readDefineScalingGrid(tag)); break;
    case TagCode::DefineSceneAndFrameLabelData:
        fromResult(r, readDefineSceneAndFrameLabelData(tag));
        break;
    case TagCode::DefineSprite: fromResult(r, readDefineSprite(tag)); break;
    case TagCode::DefineButtonCxform: fromResult(r, readDefineButtonCxform(tag)); break;
    case TagCode::DefineSound: fromResult(r, readDefineSound(tag)); break;
    case TagCode::DefineFontInfo:
    case TagCode::DefineFontInfo2: fromResult(r, readDefineFontInfo(tag, version)); break;
    case TagCode::DefineFontName: fromResult(r, readDefineFontName(tag)); break;
    case TagCode::DefineBits:
    case TagCode::DefineBitsJPEG2:
    case TagCode::DefineBitsJPEG3:
    case TagCode::DefineBitsJPEG4: fromResult(r, readDefineBitsJpeg(tag)); break;
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsLossless2: fromResult(r, readDefineBitsLossless(tag)); break;
    case TagCode::DefineVideoStream: fromResult(r, readDefineVideoStream(tag)); break;
    case TagCode::VideoFrame: fromResult(r, readVideoFrame(tag)); break;
    case TagCode::Metadata: fromResult(r, readMetadata(tag)); break;
    // Records whose length is fixed: read them field by field so a length
    // mismatch shows.
    case TagCode::StartSound:
    case TagCode::StartSound2:
        if (tag.type() == TagCode::StartSound)
            r.u16();
        else
            r.rawString();
        parseSoundInfo(r);
        break;
    case TagCode::DefineButtonSound:
        r.u16();
        for (int i = 0; i < 4 && r.ok(); ++i)
            if (r.u16() != 0)
                parseSoundInfo(r);
        break;
    case TagCode::SoundStreamHead:
    case TagCode::SoundStreamHead2: {
        r.u8();
        uint8_t format = r.u8() >> 4;
        r.u16();
        if (format == 2 && !r.atEnd())
            r.s16();
        break;
    }
    default:
        parsed = false;
        r.rest();
        break;
    }
}

} // namespace

TagCheck checkTag(const Tag& tag, int swfVersion)
{
    TagCheck check;
    ByteReader reader(tag.body);
    parseByCode(reader, tag, swfVersion, check.parsed);
    check.consumed = reader.position();
    if (!reader.ok())
        check.error = reader.error();
    else if (check.consumed != tag.body.size())
        check.error = std::to_string(tag.body.size() - check.consumed) + " trailing bytes";
    return check;
}

} // namespace zf::swf
