#include "device/protocols/detail/record_objects.h"

#include "platform/automation/vb_error.h"

#include <span>
#include <string>
#include <variant>

namespace brenvik {
namespace {

using platform::DispId;
using platform::InvokeKind;
using platform::Variant;

constexpr DispId Field_Base = 0x40030000;

template <class T>
struct Field {
    const char* name;
    int n;
    std::variant<std::string T::*, double T::*, float T::*, std::int16_t T::*, std::int32_t T::*,
                 std::uint8_t T::*, bool T::*>
        member;
};

template <class T>
struct Layout;

#define F(Class, Name, n) Field<Class>{#Name, n, &Class::Name}

template <>
struct Layout<cWaypoint> {
    static constexpr const char* iid = "{EECA4B5D-5AB7-43EA-90BE-2345CD974883}";
    static std::span<const Field<cWaypoint>> fields()
    {
        static const Field<cWaypoint> f[] = {
            F(cWaypoint, Ident, 0x1D),       F(cWaypoint, Lat, 0x1E),         F(cWaypoint, Lon, 0x1F),
            F(cWaypoint, Cmnt, 0x20),        F(cWaypoint, Dspl, 0x21),        F(cWaypoint, Smbl, 0x22),
            F(cWaypoint, Unused1, 0x23),     F(cWaypoint, Dist, 0x24),        F(cWaypoint, Prox_Index, 0x25),
            F(cWaypoint, Color, 0x26),       F(cWaypoint, Alt, 0x27),         F(cWaypoint, Dpth, 0x28),
            F(cWaypoint, Wpt_Class, 0x29),   F(cWaypoint, Sub_Class, 0x2A),   F(cWaypoint, Attrib, 0x2B),
            F(cWaypoint, Link, 0x2C),        F(cWaypoint, State, 0x2D),       F(cWaypoint, Country, 0x2E),
            F(cWaypoint, City, 0x2F),        F(cWaypoint, Address, 0x30),     F(cWaypoint, Facility, 0x31),
            F(cWaypoint, Cross_Road, 0x32),  F(cWaypoint, Unused2, 0x33),     F(cWaypoint, Ete, 0x34),
            F(cWaypoint, Dtype, 0x35),       F(cWaypoint, Temp, 0x36),        F(cWaypoint, Time, 0x37),
            F(cWaypoint, Time_Seconds, 0x38), F(cWaypoint, Wpt_Category, 0x39)};
        return f;
    }
};

template <>
struct Layout<cRoute> {
    static constexpr const char* iid = "{35A041AD-599D-436D-8F2F-4898A13E6C5A}";
    static std::span<const Field<cRoute>> fields()
    {
        static const Field<cRoute> f[] = {F(cRoute, Number, 0x07),     F(cRoute, Ident, 0x08),
                                          F(cRoute, Cmnt, 0x09),       F(cRoute, Link_Class, 0x0A),
                                          F(cRoute, Link_Sub_Class, 0x0B), F(cRoute, Link_Ident, 0x0C)};
        return f;
    }
};
constexpr int Route_Waypoints_n = 0x0D;

template <>
struct Layout<cTrack> {
    static constexpr const char* iid = "{989EBAA8-209E-41BF-A0DB-BDCF60DFC418}";
    static std::span<const Field<cTrack>> fields()
    {
        static const Field<cTrack> f[] = {
            F(cTrack, Lat, 0x0D),   F(cTrack, Lon, 0x0E),   F(cTrack, Time, 0x0F),  F(cTrack, Seconds, 0x10),
            F(cTrack, New_Segment, 0x11), F(cTrack, Alt, 0x12), F(cTrack, Dpth, 0x13), F(cTrack, Dspl, 0x14),
            F(cTrack, Color, 0x15), F(cTrack, Ident, 0x16), F(cTrack, Datum, 0x17), F(cTrack, Index, 0x18),
            F(cTrack, Temp, 0x19)};
        return f;
    }
};

template <>
struct Layout<cPvtData> {
    static constexpr const char* iid = "{0886B261-3244-4FE4-B52D-E4B8A9511BAB}";
    static std::span<const Field<cPvtData>> fields()
    {
        static const Field<cPvtData> f[] = {
            F(cPvtData, Alt, 0x00),   F(cPvtData, epe, 0x01),      F(cPvtData, eph, 0x02),
            F(cPvtData, epv, 0x03),   F(cPvtData, pfix, 0x04),     F(cPvtData, tow, 0x05),
            F(cPvtData, Lat, 0x06),   F(cPvtData, Lon, 0x07),      F(cPvtData, east, 0x08),
            F(cPvtData, north, 0x09), F(cPvtData, up, 0x0A),       F(cPvtData, msl_hght, 0x0B),
            F(cPvtData, leap_scnds, 0x0C), F(cPvtData, wn_days, 0x0D)};
        return f;
    }
};

template <>
struct Layout<cPosition> {
    static constexpr const char* iid = "{0E831832-70B4-4C5E-ABFA-36F9BEECCA2E}";
    static std::span<const Field<cPosition>> fields()
    {
        static const Field<cPosition> f[] = {F(cPosition, Lat, 0x00), F(cPosition, Lon, 0x01)};
        return f;
    }
};

template <>
struct Layout<cDate_Time> {
    static constexpr const char* iid = "{300521D3-6B62-4B74-B33D-EE03E97CFD11}";
    static std::span<const Field<cDate_Time>> fields()
    {
        static const Field<cDate_Time> f[] = {F(cDate_Time, month, 0x00), F(cDate_Time, day, 0x01),
                                              F(cDate_Time, year, 0x02),  F(cDate_Time, hour, 0x03),
                                              F(cDate_Time, minute, 0x04), F(cDate_Time, second, 0x05)};
        return f;
    }
};

template <>
struct Layout<cProduct_Data> {
    static constexpr const char* iid = "{B4122C90-04B4-4308-90EC-AC977230D187}";
    static std::span<const Field<cProduct_Data>> fields()
    {
        static const Field<cProduct_Data> f[] = {
            F(cProduct_Data, Product_ID, 0x00),            F(cProduct_Data, Software_Version, 0x01),
            F(cProduct_Data, Product_Description_1, 0x02), F(cProduct_Data, Product_Description_2, 0x03),
            F(cProduct_Data, Product_Description_3, 0x04), F(cProduct_Data, Product_Description_4, 0x05),
            F(cProduct_Data, Product_Description_5, 0x06), F(cProduct_Data, Product_Description_6, 0x07),
            F(cProduct_Data, Unit_ID, 0x08),               F(cProduct_Data, GPS_Name, 0x09)};
        return f;
    }
};

template <>
struct Layout<cVoltages> {
    static constexpr const char* iid = "{BF83096A-7E73-47EF-94AE-461BD594D804}";
    static std::span<const Field<cVoltages>> fields()
    {
        static const Field<cVoltages> f[] = {F(cVoltages, Internal_Voltage, 0x00),
                                             F(cVoltages, External_Voltage, 0x01)};
        return f;
    }
};

template <>
struct Layout<cRecord_Counts> {
    static constexpr const char* iid = "{DC7600D8-0776-4D06-B4B8-967924403890}";
    static std::span<const Field<cRecord_Counts>> fields()
    {
        static const Field<cRecord_Counts> f[] = {
            F(cRecord_Counts, Waypoint_Records, 0x00), F(cRecord_Counts, Prox_Waypoint_records, 0x01),
            F(cRecord_Counts, Route_Records, 0x02), F(cRecord_Counts, Track_Records, 0x03)};
        return f;
    }
};

template <>
struct Layout<cAlmanac> {
    static constexpr const char* iid = "{AC631D1E-9586-4B32-BA5D-F5396958AB59}";
    static std::span<const Field<cAlmanac>> fields()
    {
        static const Field<cAlmanac> f[] = {
            F(cAlmanac, svid, 0x00), F(cAlmanac, wn, 0x01),    F(cAlmanac, toa, 0x02), F(cAlmanac, af0, 0x03),
            F(cAlmanac, af1, 0x04),  F(cAlmanac, e, 0x05),     F(cAlmanac, sqrta, 0x06), F(cAlmanac, m0, 0x07),
            F(cAlmanac, w, 0x08),    F(cAlmanac, omg0, 0x09),  F(cAlmanac, odot, 0x0A), F(cAlmanac, i, 0x0B),
            F(cAlmanac, hlth, 0x0C)};
        return f;
    }
};

template <>
struct Layout<cDisplay> {
    static constexpr const char* iid = "{1D4CE8D3-C35B-4398-95BB-6A0D795053A0}";
    static std::span<const Field<cDisplay>> fields()
    {
        static const Field<cDisplay> f[] = {
            F(cDisplay, Record_Type, 0x00),   F(cDisplay, Record_Length, 0x01), F(cDisplay, First_Byte, 0x02),
            F(cDisplay, Line_Length, 0x03),   F(cDisplay, Bits_Per_Pixel, 0x04), F(cDisplay, Pixels, 0x05),
            F(cDisplay, Display_Lines, 0x06), F(cDisplay, Packet, 0x07),        F(cDisplay, Orientation1, 0x08),
            F(cDisplay, Orientation2, 0x09),  F(cDisplay, Unknown2, 0x0A),      F(cDisplay, Unknown3, 0x0B),
            F(cDisplay, Line_Length_Strict, 0x0C)};
        return f;
    }
};

template <>
struct Layout<cFlightbook_Record> {
    static constexpr const char* iid = "{F3D8B063-1EC7-4733-BAB8-1E918E22C30F}";
    static std::span<const Field<cFlightbook_Record>> fields()
    {
        using C = cFlightbook_Record;
        static const Field<C> f[] = {
            F(C, Takeoff_Time, 0x00),  F(C, Takeoff_Seconds, 0x01), F(C, Landing_Time, 0x02),
            F(C, Landing_Seconds, 0x03), F(C, Takeoff_Lat, 0x04),   F(C, Takeoff_Lon, 0x05),
            F(C, Landing_Lat, 0x06),   F(C, Landing_Lon, 0x07),     F(C, Night_Time, 0x08),
            F(C, Num_Landings, 0x09),  F(C, Max_Speed, 0x0A),       F(C, Max_Alt, 0x0B),
            F(C, Distance, 0x0C),      F(C, Cross_Country, 0x0D),   F(C, Departure_Airport_Name, 0x0E),
            F(C, Departure_Airport_Ident, 0x0F), F(C, Arrival_Airport_Name, 0x10),
            F(C, Arrival_Airport_Ident, 0x11), F(C, Aircraft_ID, 0x12)};
        return f;
    }
};

template <>
struct Layout<cLap> {
    static constexpr const char* iid = "{BC4AB304-CCBE-4AAA-8614-44ED1ABFBC31}";
    static std::span<const Field<cLap>> fields()
    {
        static const Field<cLap> f[] = {
            F(cLap, Start_Time, 0x00), F(cLap, Start_Time_Seconds, 0x01), F(cLap, Total_Time, 0x02),
            F(cLap, Total_Distance, 0x03), F(cLap, Begin_Lat, 0x04), F(cLap, Begin_Lon, 0x05),
            F(cLap, End_Lat, 0x06),    F(cLap, End_Lon, 0x07),    F(cLap, Calories, 0x08),
            F(cLap, Track_Index, 0x09), F(cLap, Unused, 0x0A)};
        return f;
    }
};

template <>
struct Layout<cSat> {
    static constexpr const char* iid = "{F472114D-361D-4157-A78C-097B9F528A6B}";
    static std::span<const Field<cSat>> fields()
    {
        static const Field<cSat> f[] = {F(cSat, svid, 0x00), F(cSat, snr, 0x01), F(cSat, elev, 0x02),
                                        F(cSat, azimuth, 0x03), F(cSat, status, 0x04)};
        return f;
    }
};

#undef F

[[noreturn]] void no_member() { throw platform::VbError(438, "", "Object doesn't support this property or method"); }
[[noreturn]] void bad_call() { throw platform::VbError(450, "", "Wrong number of arguments or invalid property assignment"); }
[[noreturn]] void mismatch() { throw platform::VbError(13, "", "Type mismatch"); }

template <class T>
Variant read_field(const T& rec, const Field<T>& f)
{
    return std::visit([&](auto m) { return Variant(rec.*m); }, f.member);
}

template <class T>
void write_field(T& rec, const Field<T>& f, const Variant& v)
{
    std::visit(
        [&](auto m) {
            using M = std::remove_reference_t<decltype(rec.*m)>;
            if constexpr (std::is_same_v<M, std::string>)
                rec.*m = v.ToString();
            else if constexpr (std::is_same_v<M, double>)
                rec.*m = v.ToDouble();
            else if constexpr (std::is_same_v<M, float>)
                rec.*m = v.ToSingle();
            else if constexpr (std::is_same_v<M, std::int16_t>)
                rec.*m = v.ToInt16();
            else if constexpr (std::is_same_v<M, std::int32_t>)
                rec.*m = v.ToInt32();
            else if constexpr (std::is_same_v<M, std::uint8_t>)
                rec.*m = v.ToByte();
            else
                rec.*m = v.ToBool();
        },
        f.member);
}

template <class T>
class Record_Object final : public platform::Dispatch {
public:
    explicit Record_Object(std::shared_ptr<T> rec) : rec_(std::move(rec)) {}

    std::optional<DispId> GetIDOfName(std::string_view name) const override
    {
        for (const auto& f : Layout<T>::fields())
            if (platform::NameEquals(f.name, name)) return Field_Base + f.n;
        if constexpr (std::is_same_v<T, cRoute>)
            if (platform::NameEquals("Waypoints", name)) return Field_Base + Route_Waypoints_n;
        return std::nullopt;
    }

    Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) override
    {
        if constexpr (std::is_same_v<T, cRoute>) {
            if (id == Field_Base + Route_Waypoints_n) {
                if (kind == InvokeKind::PropertyGet || kind == InvokeKind::Method) {
                    if (!args.empty()) bad_call();
                    return rec_->Waypoints ? Variant(Wrap_List(rec_->Waypoints)) : Variant(platform::ObjectRef());
                }
                if (kind == InvokeKind::PropertyPutRef && args.size() == 1) {
                    rec_->Waypoints = Unwrap_List<cWaypoint>(args[0].ToObject());
                    return {};
                }
                bad_call();
            }
        }
        for (const auto& f : Layout<T>::fields()) {
            if (Field_Base + f.n != id) continue;
            if (kind == InvokeKind::PropertyGet || kind == InvokeKind::Method) {
                if (!args.empty()) bad_call();
                return read_field(*rec_, f);
            }
            if (kind == InvokeKind::PropertyPut && args.size() == 1) {
                write_field(*rec_, f, args[0]);
                return {};
            }
            bad_call();
        }
        no_member();
    }

    void* QueryInterface(std::string_view iid) override
    {
        return iid == Layout<T>::iid ? static_cast<void*>(&rec_) : nullptr;
    }

private:
    std::shared_ptr<T> rec_;
};

// Dispatch identifiers of the runtime's Collection.
constexpr DispId Item_Id = 0, Add_Id = 1, Count_Id = 2, Remove_Id = 3;

template <class T>
std::string list_iid()
{
    return std::string("RecordList") + Layout<T>::iid;
}

template <class T>
class List_Object final : public platform::Dispatch {
public:
    explicit List_Object(RecordListRef<T> list) : list_(std::move(list)) {}

    std::optional<DispId> GetIDOfName(std::string_view name) const override
    {
        if (platform::NameEquals(name, "Item")) return Item_Id;
        if (platform::NameEquals(name, "Add")) return Add_Id;
        if (platform::NameEquals(name, "Count")) return Count_Id;
        if (platform::NameEquals(name, "Remove")) return Remove_Id;
        return std::nullopt;
    }

    Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) override
    {
        if (kind == InvokeKind::PropertyPut || kind == InvokeKind::PropertyPutRef) bad_call();
        auto& items = *list_;
        auto position = [&](const Variant& index) {
            std::int32_t i = index.ToInt32();
            if (i < 1 || std::size_t(i) > items.size()) throw platform::VbError(9, "", "Subscript out of range");
            return std::size_t(i - 1);
        };
        switch (id) {
        case Item_Id:
            if (args.size() != 1) bad_call();
            return Variant(Wrap(items[position(args[0])]));
        case Count_Id:
            if (!args.empty()) bad_call();
            return Variant(static_cast<std::int32_t>(items.size()));
        case Remove_Id:
            if (args.size() != 1) bad_call();
            items.erase(items.begin() + std::ptrdiff_t(position(args[0])));
            return {};
        case Add_Id: {
            if (args.empty()) bad_call();
            auto rec = Unwrap<T>(args[0].ToObject());
            if (!rec) mismatch();
            items.push_back(std::move(rec));
            return {};
        }
        default: no_member();
        }
    }

    void* QueryInterface(std::string_view iid) override
    {
        return iid == list_iid<T>() ? static_cast<void*>(&list_) : nullptr;
    }

private:
    RecordListRef<T> list_;
};

template <class T>
platform::ObjectRef wrap(std::shared_ptr<T> r)
{
    if (!r) return nullptr;
    return std::make_shared<Record_Object<T>>(std::move(r));
}

} // namespace

platform::ObjectRef Wrap(std::shared_ptr<cWaypoint> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cRoute> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cTrack> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cPvtData> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cPosition> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cDate_Time> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cProduct_Data> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cVoltages> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cRecord_Counts> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cAlmanac> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cDisplay> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cFlightbook_Record> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cLap> r) { return wrap(std::move(r)); }
platform::ObjectRef Wrap(std::shared_ptr<cSat> r) { return wrap(std::move(r)); }

template <class T>
platform::ObjectRef Wrap_List(RecordListRef<T> list)
{
    if (!list) return nullptr;
    return std::make_shared<List_Object<T>>(std::move(list));
}

template <class T>
std::shared_ptr<T> Unwrap(const platform::ObjectRef& object)
{
    if (!object) return nullptr;
    auto* p = static_cast<std::shared_ptr<T>*>(object->QueryInterface(Layout<T>::iid));
    if (!p) mismatch();
    return *p;
}

template <class T>
RecordListRef<T> Unwrap_List(const platform::ObjectRef& object)
{
    if (!object) return nullptr;
    auto* p = static_cast<RecordListRef<T>*>(object->QueryInterface(list_iid<T>()));
    if (!p) mismatch();
    return *p;
}

template <class T>
const char* Interface_Id()
{
    return Layout<T>::iid;
}

#define BRENVIK_RECORD_CLASS(T)                                                                                        \
    template platform::ObjectRef Wrap_List<T>(RecordListRef<T>);                                                       \
    template std::shared_ptr<T> Unwrap<T>(const platform::ObjectRef&);                                                 \
    template RecordListRef<T> Unwrap_List<T>(const platform::ObjectRef&);                                              \
    template const char* Interface_Id<T>();
BRENVIK_RECORD_CLASS(cWaypoint)
BRENVIK_RECORD_CLASS(cRoute)
BRENVIK_RECORD_CLASS(cTrack)
BRENVIK_RECORD_CLASS(cPvtData)
BRENVIK_RECORD_CLASS(cPosition)
BRENVIK_RECORD_CLASS(cDate_Time)
BRENVIK_RECORD_CLASS(cProduct_Data)
BRENVIK_RECORD_CLASS(cVoltages)
BRENVIK_RECORD_CLASS(cRecord_Counts)
BRENVIK_RECORD_CLASS(cAlmanac)
BRENVIK_RECORD_CLASS(cDisplay)
BRENVIK_RECORD_CLASS(cFlightbook_Record)
BRENVIK_RECORD_CLASS(cLap)
BRENVIK_RECORD_CLASS(cSat)
#undef BRENVIK_RECORD_CLASS

} // namespace brenvik
