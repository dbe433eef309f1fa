// The image information object and GetImageInfo: the EXIF block of an APP1
// segment or the IPTC records of a Photoshop APP13 segment, as named values.
#include "imaging/detail/image_object.h"
#include "imaging/detail/tiff_reader.h"
#include "imaging/glimmerax.h"
#include "platform/automation/enumerator.h"
#include "platform/automation/vb_error.h"
#include "platform/text/cp1252.h"

#include <cstring>
#include <map>

namespace glimmerax {
namespace {

struct TagName {
    int kind;
    std::uint16_t tag;
    const char* name;
};

// Directory kinds: 0 IFD0, 1 the Exif directory, 101.. maker notes.
constexpr TagName kExifTags[] = {
    {0, 270, "ImageDescription"}, {0, 271, "Make"}, {0, 272, "Model"}, {0, 274, "Orientation"},
    {0, 282, "XResolution"}, {0, 283, "YResolution"}, {0, 315, "Artist"}, {0, 296, "ResolutionUnit"},
    {0, 305, "Software"}, {0, 306, "DateTime"}, {0, 318, "WhitePoint"}, {0, 319, "PrimaryChromaticities"},
    {0, 529, "YCbCrCoefficients"}, {0, 531, "YCbCrPositioning"}, {0, 532, "ReferenceBlackWhite"},
    {0, 33432, "Copyright"},
    {1, 33434, "ExposureTime"}, {1, 33437, "FNumber"}, {1, 34850, "ExposureProgram"},
    {1, 36867, "DateTimeOriginal"}, {1, 34855, "ISOSpeedRating"}, {1, 36864, "ExifVersion"},
    {1, 36868, "DateTimeDigitized"}, {1, 37121, "ComponentConfiguration"}, {1, 37122, "CompressedBitsPerPixel"},
    {1, 37377, "ShutterSpeedValue"}, {1, 37378, "ApertureValue"}, {1, 37379, "BrightnessValue"},
    {1, 37380, "ExposureBiasValue"}, {1, 37381, "MaxApertureValue"}, {1, 37382, "SubjectDistance"},
    {1, 37383, "MeteringMode"}, {1, 37384, "LightSource"}, {1, 37385, "Flash"}, {1, 37386, "FocalLength"},
    {1, 37510, "UserComment"}, {1, 37520, "SubsecTime"}, {1, 37521, "SubsecTimeOriginal"},
    {1, 37522, "SubsecTimeDigitized"}, {1, 40960, "FlashPixVersion"}, {1, 40961, "ColorSpace"},
    {1, 40962, "ExifImageWidth"}, {1, 40963, "ExifImageHeight"}, {1, 40964, "RelatedSoundFile"},
    {1, 41486, "FocalPlaneXResolution"}, {1, 41487, "FocalPlaneYResolution"},
    {1, 41488, "FocalPlaneResolutionUnit"}, {1, 41493, "ExposureIndex"}, {1, 41495, "SensingMethod"},
    {1, 41728, "FileSource"}, {1, 41729, "SceneType"}, {1, 41730, "CFAPattern"},
    {101, 512, "Olympus SpecialMode"}, {101, 513, "Olympus JpegQual"}, {101, 514, "Olympus Macro"},
    {101, 516, "Olympus DigiZoom"}, {101, 519, "Olympus SoftwareRelease"}, {101, 520, "Olympus PictInfo"},
    {102, 3, "Nikon1 Quality"}, {102, 4, "Nikon1 ColorMode"}, {102, 5, "Nikon1 ImageAdjustment"},
    {102, 6, "Nikon1 CCDSensitivity"}, {102, 7, "Nikon1 WhiteBalance"}, {102, 8, "Nikon1 Focus"},
    {102, 10, "Nikon1 DigitalZoom"}, {102, 11, "Nikon1 Converter"},
    {103, 2, "Nikon2 ISO Setting"}, {103, 3, "Nikon2 Color Mode"}, {103, 4, "Nikon2 Quality"},
    {103, 5, "Nikon2 Whitebalance"}, {103, 6, "Nikon2 ImageSharpening"}, {103, 7, "Nikon2 FocusMode"},
    {103, 8, "Nikon2 FlashSetting"}, {103, 15, "Nikon2 ISOSelection"}, {103, 128, "Nikon2 ImageAdjustment"},
    {103, 130, "Nikon2 Adapter"}, {103, 133, "Nikon2 ManualFocusDistance"}, {103, 134, "Nikon2 DigitalZoom"},
    {104, 1, "Casio RecordingMode"}, {104, 2, "Casio Quality"}, {104, 3, "Casio FocusingMode"},
    {104, 4, "Casio FlashMode"}, {104, 5, "Casio FlashIntensity"}, {104, 6, "Casio ObjectDistance"},
    {104, 7, "Casio WhiteBalance"}, {104, 10, "Casio DigitalZoom"}, {104, 11, "Casio Sharpness"},
    {104, 12, "Casio Contrast"}, {104, 13, "Casio Saturation"}, {104, 20, "Casio CCDSensitivity"},
    {106, 7, "Canon FirmwareVersion"}, {106, 8, "Canon ImageNumber"}, {106, 9, "Canon OwnerName"},
};

constexpr TagName kIptcNames[] = {
    {2, 5, "ObjectName"}, {2, 10, "Urgency"}, {2, 12, "SubReference"}, {2, 15, "Category"},
    {2, 20, "SupplementCategory"}, {2, 22, "FixtureID"}, {2, 25, "Keywords"}, {2, 40, "SpecialInstructions"},
    {2, 55, "DateCreated"}, {2, 60, "TimeCreated"}, {2, 65, "OriginatingProgram"}, {2, 70, "ProgramVersion"},
    {2, 80, "ByLine"}, {2, 85, "ByLineTitle"}, {2, 90, "City"}, {2, 92, "SubLocation"}, {2, 95, "State"},
    {2, 100, "LocationCode"}, {2, 101, "LocationName"}, {2, 103, "TransmissionReference"},
    {2, 105, "ImageHeadline"}, {2, 110, "ImageCredit"}, {2, 115, "Source"}, {2, 116, "Copyright"},
    {2, 118, "Contact"}, {2, 120, "ImageCaption"}, {2, 122, "ImageCaptionWriter"}, {2, 130, "ImageType"},
    {2, 131, "Orientation"}, {2, 135, "LangID"}, {8, 10, "Subfile"},
};

template <std::size_t N>
const char* name_of(const TagName (&table)[N], int kind, unsigned tag)
{
    for (const TagName& t : table)
        if (t.kind == kind && t.tag == tag) return t.name;
    return nullptr;
}

class GlimmeraxImageInfo : public platform::Dispatch {
public:
    GlimmeraxImageInfo() { ++g_alive; }
    ~GlimmeraxImageInfo() override { --g_alive; }

    std::optional<platform::DispId> GetIDOfName(std::string_view name) const override
    {
        static const std::pair<const char*, platform::DispId> names[] = {
            {"Type", 1}, {"ErrorCode", 2}, {"Count", 3}, {"_NewEnum", -4}, {"Item", 0}};
        for (auto& [n, id] : names)
            if (platform::NameEquals(n, name)) return id;
        return std::nullopt;
    }

    Variant Invoke(platform::DispId id, platform::InvokeKind kind, Args& args) override
    {
        if (kind == platform::InvokeKind::PropertyPut || kind == platform::InvokeKind::PropertyPutRef)
            throw platform::VbError(450, "", "Wrong number of arguments or invalid property assignment");
        switch (id) {
        case 1: return Variant(type);
        case 2: return Variant(error_code);
        case 3: return Variant(std::int32_t(items.size()));
        case -4: {
            std::vector<Variant> names;
            names.reserve(items.size());
            for (auto& [k, v] : items) names.emplace_back(k);
            return Variant(platform::ObjectRef(std::make_shared<platform::Enumerator>(std::move(names))));
        }
        case 0: {
            if (args.size() != 1) throw platform::VbError(450, "", "Wrong number of arguments or invalid property assignment");
            std::string key = args[0].ToString(); // a failed conversion fails the call
            auto it = items.find(key);
            return it == items.end() ? Variant() : it->second;
        }
        }
        throw platform::VbError(438, "", "Object doesn't support this property or method");
    }

    void* QueryInterface(std::string_view iid) override
    {
        return platform::NameEquals(iid, IID_IGlimmeraxImageInfo) ? this : nullptr;
    }

    std::int32_t error_code = 1, type = 0;
    // Names ordered code unit by code unit, with regard to case.
    std::map<std::string, Variant> items;
};

// ---- EXIF ---------------------------------------------------------------------

class ExifReader {
public:
    ExifReader(ImageStream& s, std::uint64_t segment_end, GlimmeraxImageInfo& info) : s_(s), end_(segment_end), info_(info) {}

    void Read()
    {
        base_ = s_.Position();
        std::uint8_t h[8];
        if (!s_.ReadFull(h, 8)) return;
        order_.big = !(h[0] == 'I' && h[1] == 'I'); // any mark but "II" is big-endian
        if (!directory(0, order_.u32(h + 4))) return;
        if (exif_ && !directory(1, exif_offset_)) return;
        if (maker_kind_) directory(maker_kind_, maker_offset_);
    }

private:
    // False when the whole reading ends.
    bool directory(int kind, std::uint64_t offset)
    {
        if (!s_.Seek(base_ + offset)) return true; // unreadable: nothing of it
        std::uint8_t c[2];
        if (!s_.ReadFull(c, 2)) return false;
        unsigned count = order_.u16(c);
        if (count > 100) return false;
        for (unsigned i = 0; i < count; ++i) {
            std::uint8_t raw[12];
            if (!s_.ReadFull(raw, 12)) return false;
            std::uint64_t next = s_.Position();
            DirEntry e = ParseEntry(raw, order_);
            bool readable = entry(kind, e);
            if (!readable || !s_.Seek(next)) break;
        }
        return true;
    }

    // False when the entry's value could not be read.
    bool entry(int kind, const DirEntry& e)
    {
        if (kind == 0 && e.tag == 34665) {
            exif_ = true;
            exif_offset_ = e.value;
            return true;
        }
        if (kind == 1 && e.tag == 37500) {
            maker_note(e.value);
            return true;
        }
        std::uint64_t elem = 0;
        switch (e.type) {
        case 1: case 2: case 6: elem = 1; break;
        case 3: case 8: elem = 2; break;
        case 4: case 9: case 11: elem = 4; break;
        case 5: case 10: elem = 8; break;
        default: return true; // not taken
        }
        std::uint64_t size = std::uint64_t(e.count) * elem;
        if (size == 0) return true;
        std::vector<std::uint8_t> bytes;
        if (size <= 4) {
            bytes.assign(e.raw, e.raw + size);
        } else {
            // The value must lie within the segment and the stream.
            std::uint64_t at = base_ + e.value;
            if (at + size > end_ || at + size > s_.Size() || !s_.Seek(at)) return false;
            HeapBuffer buf;
            if (!buf.Resize(std::size_t(size)) || !s_.ReadFull(buf.data(), std::uint32_t(size))) return false;
            bytes.assign(buf.data(), buf.data() + size);
        }
        if (e.type == 2) bytes.back() = 0;
        if (kind == 0 && e.tag == 271 && e.type == 2) {
            std::size_t n = std::strlen(reinterpret_cast<const char*>(bytes.data()));
            if (n < 15) maker_text_.assign(reinterpret_cast<const char*>(bytes.data()), n);
        }
        if (const char* name = name_of(kExifTags, kind, e.tag)) store(name, e.type, e.count, bytes);
        return true;
    }

    void maker_note(std::uint32_t offset)
    {
        std::uint8_t h[15];
        if (!s_.Seek(base_ + offset) || !s_.ReadFull(h, 15)) return;
        auto starts = [&](const char* text) { return std::memcmp(h, text, 5) == 0; };
        auto maker_is = [&](const char* text) {
            if (maker_text_.size() < 5) return false;
            for (int i = 0; i < 5; ++i)
                if (std::toupper(static_cast<unsigned char>(maker_text_[i])) != text[i]) return false;
            return true;
        };
        // Olympus notes: "OLYMP", a zero byte, two version bytes, then the directory.
        if (starts("OLYMP")) maker_kind_ = 101, maker_offset_ = std::uint64_t(offset) + 8;
        else if (starts("NIKON")) maker_kind_ = 102, maker_offset_ = std::uint64_t(offset) + 8;
        else if (maker_is("NIKON")) maker_kind_ = 103, maker_offset_ = offset;
        else if (maker_is("CASIO")) maker_kind_ = 104, maker_offset_ = offset;
        else if (maker_is("CANON")) maker_kind_ = 106, maker_offset_ = offset;
    }

    void store(const char* name, unsigned type, std::uint32_t count, const std::vector<std::uint8_t>& b)
    {
        std::uint64_t elements = std::uint64_t(count) * ((type == 5 || type == 10) ? 2 : 1);
        auto element = [&](std::uint64_t i, bool in_array) -> Variant {
            switch (type) {
            case 1: return Variant(b[i]);
            case 6: return in_array ? Variant(std::int16_t(std::int8_t(b[i]))) : Variant(std::int32_t(std::int8_t(b[i])));
            case 3:
            case 8: {
                std::uint16_t v = order_.u16(&b[i * 2]);
                return in_array ? Variant(std::int16_t(v)) : Variant(std::int32_t(v));
            }
            case 11: {
                std::uint32_t v = order_.u32(&b[i * 4]);
                float f;
                std::memcpy(&f, &v, 4);
                return Variant(f);
            }
            default: return Variant(std::int32_t(order_.u32(&b[i * 4]))); // LONG, SLONG, rationals
            }
        };
        if (type == 2) {
            std::size_t n = std::strlen(reinterpret_cast<const char*>(b.data()));
            info_.items[name] = Variant(platform::cp1252_to_utf8(std::string_view(reinterpret_cast<const char*>(b.data()), n)));
        } else if (elements == 1) {
            info_.items[name] = element(0, false);
        } else {
            platform::VariantArray arr(0, std::int32_t(elements));
            for (std::uint64_t i = 0; i < elements; ++i) arr.at(std::int32_t(i)) = element(i, true);
            info_.items[name] = Variant(std::move(arr));
        }
    }

    ImageStream& s_;
    std::uint64_t end_;
    GlimmeraxImageInfo& info_;
    std::uint64_t base_ = 0;
    ByteOrder order_;
    bool exif_ = false;
    std::uint32_t exif_offset_ = 0;
    int maker_kind_ = 0;
    std::uint64_t maker_offset_ = 0;
    std::string maker_text_;
};

// ---- IPTC -----------------------------------------------------------------------

void read_iptc(ImageStream& s, std::uint64_t length, GlimmeraxImageInfo& info)
{
    HeapBuffer buf;
    if (!buf.Resize(2000)) return;
    const std::uint64_t start = s.Position();
    // Scan for the first 0x1C followed by record 2 or 8.
    std::uint8_t piece[256];
    std::uint64_t scanned = 0;
    bool found = false;
    std::uint8_t prev = 0;
    bool have_prev = false;
    while (!found && scanned < length) {
        std::uint32_t n = std::uint32_t(std::min<std::uint64_t>(255, length - scanned)), got = 0;
        if (!s.Read(piece + 1, n, &got) || got == 0) return;
        piece[0] = prev;
        for (std::uint32_t i = have_prev ? 0 : 1; i < got; ++i) {
            if (piece[i] == 0x1C && (piece[i + 1] == 2 || piece[i + 1] == 8)) {
                // Place the stream on the record number.
                if (!s.Seek(start + scanned + i)) return;
                found = true;
                break;
            }
        }
        scanned += got;
        prev = piece[got];
        have_prev = true;
    }
    if (!found) return;
    for (;;) {
        std::uint8_t h[4];
        if (!s.ReadFull(h, 4)) return;
        std::uint64_t counter = s.Position() - start;
        std::uint32_t len = std::uint32_t(h[2]) << 8 | h[3];
        if (counter + len > length || (h[0] != 2 && h[0] != 8)) return;
        if (const char* name = name_of(kIptcNames, h[0], h[1])) {
            if (buf.size() < len + 1 && !buf.Resize(len + 1)) return;
            if (!s.ReadFull(buf.data(), len)) return;
            buf.data()[len] = 0;
            std::size_t n = std::strlen(reinterpret_cast<const char*>(buf.data()));
            info.items[name] = Variant(platform::cp1252_to_utf8(std::string_view(reinterpret_cast<const char*>(buf.data()), n)));
        } else if (len && !s.Seek(s.Position() + len)) {
            return;
        }
        std::uint8_t next;
        if (!s.ReadFull(&next, 1)) return;
        if (next != 0x1C && !s.Seek(s.Position() - 1)) return;
    }
}

} // namespace

platform::ObjectRef CreateImageInfo() { return std::make_shared<GlimmeraxImageInfo>(); }

// GetImageInfo(vFileName, vDataType opt, vObject[out])
void ImageObject::GetImageInfo(Args& a)
{
    auto info = std::make_shared<GlimmeraxImageInfo>();
    a[2] = Variant(platform::ObjectRef(info));
    std::int32_t wanted = Num(arg(a, 1));
    const bool exif = wanted == 0 || wanted == 1, iptc = wanted == 0 || wanted == 2;
    ImageStream s;
    if (!OpenSource(a[0], s)) return;
    info->error_code = 2;
    std::uint8_t m[4];
    if (!s.ReadFull(m, 2) || m[0] != 0xFF || m[1] != 0xD8) return;
    info->error_code = 3;
    for (;;) {
        if (!s.ReadFull(m, 2) || (m[0] == 0xFF && m[1] == 0xD9)) return;
        if (!s.ReadFull(m + 2, 2)) return;
        std::uint32_t length = std::uint32_t(m[2]) << 8 | m[3];
        if (length < 2) return;
        std::uint64_t data = length - 2, at = s.Position();
        if (m[0] == 0xFF && m[1] == 0xE1 && exif && data >= 7) {
            std::uint8_t sig[6];
            if (s.ReadFull(sig, 6) && std::memcmp(sig, "Exif\0\0", 6) == 0) {
                info->error_code = 0, info->type = 1;
                ExifReader(s, at + data, *info).Read();
                return;
            }
        } else if (m[0] == 0xFF && m[1] == 0xED && iptc && data >= 13) {
            std::uint8_t sig[11];
            if (s.ReadFull(sig, 11) && std::memcmp(sig, "Photoshop 3", 11) == 0) {
                info->error_code = 0, info->type = 2;
                read_iptc(s, data - 11, *info);
                return;
            }
        }
        if (!s.Seek(at + data)) return; // a segment past the end ends the walk
    }
}

} // namespace glimmerax
