// The control's start-up and shut-down, its event plumbing, and the small
// helpers every command uses.
#include "device/protocols/detail/control.h"

#include "device/protocols/codec/conversions.h"
#include "device/protocols/detail/record_objects.h"
#include "platform/automation/class_registry.h"
#include "platform/serial/portmap.h"

namespace brenvik {

using platform::Variant;

namespace {

platform::EventPump& pick_pump(const Brenvik_Services& s) { return s.pump ? *s.pump : platform::qt_event_pump(); }

Variant bytes(const Packet& p) { return Variant(platform::Bytes(p.begin(), p.end())); }

} // namespace

// Start-up, in order: language and time-out, the record objects, the packet
// and command IDs, the default protocols and the capability table, the reply
// timer, the port settings and the list of speeds the search tries.
Control::Control(const Brenvik_Services& services) : pump_(pick_pump(services)), services_(services)
{
    sak_.Language = "English";
    // The record objects come with the store; the link (and its reply timer,
    // stopped, interval Time_Out) with the packet-ID properties.
    link_ = std::make_unique<Link>(pump_, props_, sak_, *this);
    usb_ = Make_Usb_Device(pump_, *link_, [this] { return props_.Port; });
    link_->set_usb(usb_->path());
    tmrAsync_ = &usb_->tmrAsync();
    tmrPVTData_ = &usb_->tmrPVTData();
    props_.apply_L001_ids();
    Default_Protocols();
    table_ = Load_Product_Protocol_Table(Product_Protocol_Text());
    link_->stop_timer();

    serial_ = std::make_unique<platform::SerialPort>();
    auto resolve = services_.port_path;
    if (!resolve) {
        auto map = std::make_shared<platform::PortMap>();
        resolve = [map](int n) { return map->device(n).value_or(std::string()); };
    }
    serial_->set_resolver(std::move(resolve));
    link_->set_serial(serial_.get());

    props_.Port = 1;
    props_.Settings = "9600,N,8,1";
    baud_list_ = {"4800,N,8,1",  "9600,N,8,1",  "19200,N,8,1", "28800,N,8,1",
                  "38400,N,8,1", "57600,N,8,1", "115200,N,8,1"};
    rts_enable_ = false;
    dtr_enable_ = false;
    handshaking_ = comNone;
    // Through the property, so the USB transport has the language too.
    Language("English");
}

// Shut-down: the port and the USB device close, the timers stop, then the
// objects go in the order they were made.
Control::~Control()
{
    typed_sink_ = nullptr;
    late_sink_.reset();
    usb_->tmrAsync().set_enabled(false);
    usb_->tmrPVTData().set_enabled(false);
    link_->stop_timer();
    link_->set_serial(nullptr);
    link_->set_usb(nullptr);
    if (serial_ && serial_->PortOpen()) serial_->Close();
    usb_->Close();
}

void Control::Language(const std::string& v)
{
    sak_.Language = v;
    usb_->SetLanguage(v);
}

RecordListRef<cLap> Control::Laps()
{
    RecordStore::Use(store_.Laps);
    return store_.Laps;
}

RecordListRef<cSat> Control::Sats()
{
    RecordStore::Use(store_.Sats);
    return store_.Sats;
}

std::string Control::version() { return brenvik::version(); }

std::string Control::TrimNull(std::string& instring) { return brenvik::TrimNull(instring); }

void Control::Send(const ByteArray& Packet, std::uint8_t Response, std::int32_t WaitTime)
{
    link_->Send(Packet, Response, WaitTime);
}

std::int32_t Control::tf_test(const std::string& cmd) { return usb_->tf_test(cmd); }

// ---- packets ------------------------------------------------------------

Packet Control::Make_Packet(std::uint8_t id, std::initializer_list<std::uint8_t> data) const
{
    return Make_Packet(id, std::vector<std::uint8_t>(data));
}

Packet Control::Make_Packet(std::uint8_t id, const std::vector<std::uint8_t>& data) const
{
    // DLE, ID, size, data, checksum slot, DLE, ETX; Send_Packet fills the frame.
    std::size_t n = std::min<std::size_t>(data.size(), 255);
    Packet p;
    p.reserve(n + 6);
    p.push_back(0x10);
    p.push_back(id);
    p.push_back(static_cast<std::uint8_t>(n));
    p.insert(p.end(), data.begin(), data.begin() + std::ptrdiff_t(n));
    p.push_back(0);
    p.push_back(0x10);
    p.push_back(0x03);
    return p;
}

Packet Control::Command_Packet(std::uint8_t command) const
{
    return Make_Packet(props_.PID_Command_Data, {command, 0});
}

bool Control::Send_Packet(const Packet& packet, std::uint8_t response, std::int32_t wait)
{
    return link_->Send_Packet(packet, response, wait);
}

void Control::Clear_Input()
{
    if (serial_ && serial_->PortOpen()) serial_->ClearInput();
    link_->clear_text_buffer();
}

void Control::Stop_Polling_Timers()
{
    usb_->tmrPVTData().set_enabled(false);
}

void Control::Report(const std::string& english, const Packet& packet)
{
    raise_cError(0, sak_.xLate(english), packet);
}

// ---- events ---------------------------------------------------------------

void Control::Advise(std::shared_ptr<platform::EventSink> sink) { late_sink_ = std::move(sink); }

void Control::raise_late(platform::DispId id, std::vector<Variant> args)
{
    // Keep the sink alive through the call: its handler may disconnect it.
    if (auto sink = late_sink_) sink->Invoke(id, args);
}

void Control::raise_Receive(const Packet& packet)
{
    if (typed_sink_) typed_sink_->Receive(packet);
    if (late_sink_) raise_late(2, {bytes(packet)});
}

void Control::raise_HexDebug(const std::string& text)
{
    if (typed_sink_) typed_sink_->HexDebug(text);
    if (late_sink_) raise_late(3, {Variant(text)});
}

void Control::raise_NMEA(const std::string& sentence, bool chkerr)
{
    if (typed_sink_) typed_sink_->NMEA(sentence, chkerr);
    if (late_sink_) raise_late(4, {Variant(sentence), Variant(chkerr)});
}

void Control::raise_cError(std::int16_t code, const std::string& message, const Packet& packet)
{
    if (typed_sink_) typed_sink_->cError(code, message, packet);
    if (late_sink_) raise_late(5, {Variant(code), Variant(message), bytes(packet)});
}

void Control::raise_uError(std::int32_t errnum, const std::string& message)
{
    if (typed_sink_) typed_sink_->uError(errnum, message);
    if (late_sink_) raise_late(6, {Variant(errnum), Variant(message)});
}

void Control::raise_USBprogress(std::int32_t numpackage)
{
    if (typed_sink_) typed_sink_->USBprogress(numpackage);
    if (late_sink_) raise_late(17, {Variant(numpackage)});
}

void Control::show_message(const std::string& text)
{
    // Without a message box service the note goes to the debug line, where
    // a host that logs sees it.
    if (services_.message_box)
        services_.message_box(text);
    else
        raise_HexDebug(text);
}

// ---- creation and registration ------------------------------------------

std::shared_ptr<platform::Dispatch> Create_Brenvik(const Brenvik_Services& services)
{
    return std::make_shared<Control>(services);
}

} // namespace brenvik

extern "C" __attribute__((visibility("default"))) long DllRegisterServer(platform::ClassRegistry* registry)
{
    if (!registry) return 1;
    registry->Register(brenvik::ProgID_Brenvik, brenvik::CLSID_Brenvik,
                       [] { return brenvik::Create_Brenvik(); });
    return 0;
}

extern "C" __attribute__((visibility("default"))) long DllUnregisterServer(platform::ClassRegistry* registry)
{
    if (!registry) return 1;
    registry->Unregister(brenvik::CLSID_Brenvik);
    return 0;
}

extern "C" __attribute__((visibility("default"))) long DllCanUnloadNow()
{
    // Objects may be alive in the host; the library stays loaded.
    return 1;
}
