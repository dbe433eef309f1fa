// What the control keeps between packets: its current record objects and
// its collections. The decoders fill it; the control hands it to its host.
#pragma once

#include "device/protocols/records.h"

#include <memory>

namespace brenvik {

template <class T>
std::shared_ptr<T> make_record() { return std::make_shared<T>(); }

struct RecordStore {
    // Current objects, present from start-up.
    std::shared_ptr<cWaypoint> Waypoint = make_record<cWaypoint>();
    std::shared_ptr<cRoute> Route = make_record<cRoute>();
    std::shared_ptr<cTrack> Track = make_record<cTrack>();
    std::shared_ptr<cPosition> Position = make_record<cPosition>();
    std::shared_ptr<cPvtData> PvtData = make_record<cPvtData>();
    std::shared_ptr<cDate_Time> Date_Time = make_record<cDate_Time>();
    std::shared_ptr<cVoltages> Voltages = make_record<cVoltages>();
    std::shared_ptr<cDisplay> Display = make_record<cDisplay>();
    std::shared_ptr<cAlmanac> Almanac = make_record<cAlmanac>();
    std::shared_ptr<cProduct_Data> Product_Data = make_record<cProduct_Data>();
    std::shared_ptr<cRecord_Counts> Counts = make_record<cRecord_Counts>();
    std::shared_ptr<cFlightbook_Record> Flightbook_Record = make_record<cFlightbook_Record>();
    std::shared_ptr<cLap> Lap = make_record<cLap>();

    // Collections, made on first use (empty references until then).
    RecordListRef<cWaypoint> Waypoints;
    RecordListRef<cRoute> Routes;
    RecordListRef<cTrack> Tracks;
    RecordListRef<cSat> Sats;
    RecordListRef<cLap> Laps;
    RecordListRef<cFlightbook_Record> Flightbook;

    // The collection, created empty if it does not exist yet.
    template <class T>
    static RecordList<T>& Use(RecordListRef<T>& list)
    {
        if (!list)
            list = std::make_shared<RecordList<T>>();
        return *list;
    }

    // The last route in Routes, or null when there is none.
    std::shared_ptr<cRoute> Last_Route() const
    {
        return Routes && !Routes->empty() ? Routes->back() : nullptr;
    }

    // A download starts from a new, cleared current object, so a record the
    // host still holds from an earlier download is never blanked.
    void New_Route() { Route = make_record<cRoute>(); }
    void New_Track() { Track = make_record<cTrack>(); }
};

} // namespace brenvik
