// Real-time tracking as the main window reaches it: its menu entries, the
// position record and the real-time window go to the tracking logic; NMEA
// lines reach the viewer, the value collection and the point of each
// "$GPRMC".
#include "main/realtime/realtime.h"
#include "main/realtime/tracking.h"

#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "main/realtime/nmea.h"
#include "main/realtime/nmea_viewer.h"

#include <exception>

namespace realtime {
namespace {

class RealTimeSeam : public RealTime {
public:
    explicit RealTimeSeam(app::frmMain& main) : main_(main), tracking_(main) {}
    void show_frmNMEAViewer() override { NMEAViewer().Show(); }
    frmNMEAViewer& NMEAViewer() override
    {
        if (!viewer_) viewer_ = std::make_unique<frmNMEAViewer>(main_);
        return *viewer_;
    }
    void menu_Click(const std::string& name, int) override
    {
        if (name == "mnuStartRealTime") tracking_.mnuStartRealTime_Click();
        if (name == "mnuStopRealTime") tracking_.mnuStopRealTime_Click();
    }
    void Receive_Pvt_data() override { tracking_.Receive_Pvt_data(); }
    frmRealTime& RealTimeWindow() override { return tracking_.window(); }
    bool Point_Record(const KeptPoint& point, const std::string& procedure) override
    {
        return tracking_.Point_Record(point, procedure);
    }

    void garmin_NMEA(const std::string& sentence, bool) override
    {
        app::AppState& s = main_.state();
        if (!main_.garmin) return;
        const std::int16_t port = main_.garmin->Port();
        if (s.GPS_Scanning) {
            for (const platform::Variant& e : s.GPS_UnitList)
                if (e.IsArray() && e.ToArray().UBound() >= 2 && e.ToArray().at(2).ToInt32() == port) return;
            s.GPS_UnitList.push_back(NMEA_UnitEntry(port, main_.garmin->Settings()));
            return;
        }
        app::InfoWindow& info = main_.frmInfo();
        info.lblProductID.caption = "NMEA";
        info.lblFormat2.caption.clear();
        info.lblFormat1.caption.clear();
        main_.lblGPSDesc1.caption = "NMEA Mode";
        main_.changed(app::ChangeControls);
        // From here on a failing step is passed over: a receiver's bad line
        // must never stop the stream.
        try {
            NMEA_Sentence(sentence);
        } catch (const std::exception&) {
        }
    }

    void garmin_HexDebug(const std::string& text) override
    {
        if (text.rfind("$GP", 0) != 0) return;
        main_.state().nmea_mode = true;
        main_.frmInfo().lblMode1.caption = "NMEA";
    }

private:
    void NMEA_Sentence(const std::string& sentence)
    {
        const std::size_t comma = sentence.find(',');
        if (comma == std::string::npos) return;
        const std::string identifier = sentence.substr(0, comma);
        NMEAViewer().AddLine(sentence, identifier);
        app::AppState& s = main_.state();
        if (!s.real_time) return;
        for (NMEAValue& v : NMEA_Values(sentence)) Collection_SetVal(s.nmea_values, std::move(v.value), v.key);
        if (identifier == "$GPRMC")
            tracking_.NMEA_Point();
        else
            tracking_.NMEA_Other();
    }

    app::frmMain& main_;
    std::unique_ptr<frmNMEAViewer> viewer_;
    Tracking tracking_;
};

} // namespace

platform::Variant NMEA_UnitEntry(std::int16_t port, const std::string& settings)
{
    platform::VariantArray a(0, 4);
    a.at(0) = "NMEA on Port " + std::to_string(port);
    a.at(1) = std::string();
    a.at(2) = port;
    a.at(3) = settings;
    return a;
}

std::unique_ptr<RealTime> make_real_time(app::frmMain& main) { return std::make_unique<RealTimeSeam>(main); }

} // namespace realtime
