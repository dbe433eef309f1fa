// The real device control behind the main window's `garmin`: made by the
// class registry from its program identifier, reached through its typed
// face, its events handed on to the window's handlers.
#include "main/app/garmin_control.h"

#include "device/protocols/brenvik.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"

namespace app {
namespace {

class BrenvikGarmin : public GarminControl, private brenvik::BrenvikEvents {
public:
    BrenvikGarmin(std::unique_ptr<platform::ClassRegistry> registry, platform::ObjectRef object, brenvik::Brenvik& c)
        : registry_(std::move(registry)), object_(std::move(object)), c_(c)
    {
        c_.Advise(this);
    }
    ~BrenvikGarmin() override
    {
        c_.Advise(nullptr);
        c_.PortClose();
    }

    void Advise(GarminEvents* sink) override { sink_ = sink; }

    std::int16_t Port() override { return c_.Port(); }
    void Port(std::int16_t port) override { c_.Port(port); }
    std::string Settings() override { return c_.Settings(); }
    void Settings(const std::string& settings) override { c_.Settings(settings); }
    bool PortOpen() override { return c_.PortOpen(); }
    void PortClose() override { c_.PortClose(); }
    void Reset() override { c_.Reset(); }
    void WaitFor(std::int32_t d) override { c_.WaitFor(d); }
    std::int32_t FindBaud(const std::string& settings) override { return c_.FindBaud(settings); }
    bool Change_Baud_Rate(std::int32_t baud) override { return c_.Change_Baud_Rate(baud); }
    void Send(const Packet& packet) override { c_.Send(packet); }
    std::int16_t Incoming_Records_Count() override { return c_.Incoming_Records_Count(); }

#define FORWARD_ID(n) \
    std::uint8_t n() override { return c_.n(); }
#define FORWARD_NAME(n) \
    std::string n() override { return c_.n(); }
#define FORWARD_COMMAND(n) \
    void n() override { c_.n(); }
    GARMIN_ID_PROPERTIES(FORWARD_ID)
    GARMIN_NAME_PROPERTIES(FORWARD_NAME)
    GARMIN_COMMANDS(FORWARD_COMMAND)
#undef FORWARD_ID
#undef FORWARD_NAME
#undef FORWARD_COMMAND
    void Start_of_Records(std::int16_t count) override { c_.Start_of_Records(count); }

    brenvik::cWaypoint& Waypoint() override { return *c_.Waypoint(); }
    brenvik::cTrack& Track() override { return *c_.Track(); }
    brenvik::cRoute& Route() override { return *c_.Route(); }
    brenvik::cProduct_Data& Product_Data() override { return *c_.Product_Data(); }
    brenvik::cDate_Time& Date_Time() override { return *c_.Date_Time(); }
    brenvik::cPosition& Position() override { return *c_.Position(); }
    brenvik::cPvtData& PvtData() override { return *c_.PvtData(); }

private:
    void Receive(const brenvik::ByteArray& packet) override
    {
        if (sink_) sink_->Receive(packet);
    }
    void cError(std::int16_t cErr, const std::string& message, const brenvik::ByteArray& packet) override
    {
        if (sink_) sink_->cError(cErr, message, packet);
    }
    void ReceiveCounts(std::int16_t w, std::int16_t p, std::int16_t r, std::int16_t t) override
    {
        if (sink_) sink_->ReceiveCounts(w, p, r, t);
    }
    void ReceiveImage(std::int16_t pct, const brenvik::PictureRef& image) override
    {
        if (sink_) sink_->ReceiveImage(pct, image);
    }
    void HexDebug(const std::string& text) override
    {
        if (sink_) sink_->HexDebug(text);
    }
    void NMEA(const std::string& sentence, bool chkerr) override
    {
        if (sink_) sink_->NMEA(sentence, chkerr);
    }

    std::unique_ptr<platform::ClassRegistry> registry_;
    platform::ObjectRef object_;
    brenvik::Brenvik& c_;
    GarminEvents* sink_ = nullptr;
};

} // namespace

std::unique_ptr<GarminControl> make_brenvik_control(std::string& why, const std::string& folder)
{
    try {
        auto registry = std::make_unique<platform::ClassRegistry>();
        if (!folder.empty()) registry->AddFolder(folder);
        platform::ObjectRef object = registry->CreateObject(brenvik::ProgID_Brenvik);
        brenvik::Brenvik* typed = brenvik::As_Brenvik(object.get());
        if (!typed) {
            why = std::string(brenvik::ProgID_Brenvik) + " has no typed face";
            return nullptr;
        }
        return std::make_unique<BrenvikGarmin>(std::move(registry), std::move(object), *typed);
    } catch (const platform::VbError& e) {
        why = e.description;
    } catch (const std::exception& e) {
        why = e.what();
    }
    return nullptr;
}

} // namespace app
