// The records, transfer-complete and position packets.
#include "device/protocols/codec/encode.h"

#include <cmath>

namespace brenvik {

Packet Encode_Records(std::uint8_t id, std::int16_t ocount)
{
    Packet pk = New_Packet(id, 2);
    FieldWriter(pk).Int16(0, ocount);
    return pk;
}

Packet Encode_Xfer_Cmplt(std::uint8_t id, std::uint16_t command)
{
    Packet pk = New_Packet(id, 2);
    FieldWriter(pk).Int16(0, static_cast<std::int16_t>(command));
    return pk;
}

Packet Encode_Position(const cPosition& position, std::uint8_t id)
{
    static const double radians_per_degree = 4.0 * std::atan(1.0) / 180.0;
    Packet pk = New_Packet(id, 16);
    FieldWriter w(pk);
    w.Double(0, position.Lat * radians_per_degree);
    w.Double(8, position.Lon * radians_per_degree);
    return pk;
}

} // namespace brenvik
