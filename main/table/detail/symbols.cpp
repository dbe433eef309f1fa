#include "main/table/detail/symbols.h"

namespace flxgrd::detail {

const std::vector<Symbol>& symbol_list()
{
    // The receiver's waypoint symbols: code and display name, in list order.
    static const std::vector<Symbol> list = {
        {0, "Marina"},
        {1, "Bell"},
        {2, "Green Diamond"},
        {3, "Red Diamond"},
        {4, "Diver Down Flag 1"},
        {5, "Diver Down Flag 2"},
        {6, "Bank"},
        {7, "Fishing Area"},
        {8, "Gas Station"},
        {9, "Horn"},
        {10, "Residence"},
        {11, "Restaurant"},
        {12, "Light"},
        {13, "Bar"},
        {14, "Skull and Crossbones"},
        {15, "Green Square"},
        {16, "Red Square"},
        {17, "White Buoy"},
        {18, "Waypoint"},
        {19, "Shipwreck"},
        {21, "Man Overboard"},
        {22, "Navaid, Amber"},
        {23, "Navaid, Black"},
        {24, "Navaid, Blue"},
        {25, "Navaid, Green"},
        {26, "Navaid, Green/Red"},
        {27, "Navaid, Green/White"},
        {28, "Navaid, Orange"},
        {29, "Navaid, Red"},
        {30, "Navaid, Red/Green"},
        {31, "Navaid, Red/White"},
        {32, "Navaid, Violet"},
        {33, "Navaid, White"},
        {34, "Navaid, White/Green"},
        {35, "Navaid, White/Red"},
        {36, "White Dot"},
        {37, "Radio Beacon"},
        {150, "Boat Ramp"},
        {151, "Campground"},
        {152, "Restroom"},
        {153, "Shower"},
        {154, "Drinking Water"},
        {155, "Telephone"},
        {156, "Medical Facility"},
        {157, "Information"},
        {158, "Parking Area"},
        {159, "Park"},
        {160, "Picnic Area"},
        {161, "Scenic Area"},
        {162, "Skiing Area"},
        {163, "Swimming Area"},
        {164, "Dam"},
        {165, "Controlled Area"},
        {166, "Danger Area"},
        {167, "Restricted Area"},
        {169, "Ball Park"},
        {170, "Car"},
        {171, "Hunting Area"},
        {172, "Shopping Center"},
        {173, "Lodging"},
        {174, "Mine"},
        {175, "Trail Head"},
        {176, "Truck Stop"},
        {177, "Exit"},
        {178, "Flag"},
        {179, "Circle with X"},
        {8195, "Mile Marker"},
        {8196, "TracBack Point"},
        {8197, "Golf Course"},
        {8198, "City (Small)"},
        {8199, "City (Medium)"},
        {8200, "City (Large)"},
        {8203, "City (Capitol)"},
        {8204, "Amusement Park"},
        {8205, "Bowling"},
        {8206, "Car Rental"},
        {8207, "Car Repair"},
        {8208, "Fast Food"},
        {8209, "Fitness Center"},
        {8210, "Movie Theater"},
        {8211, "Museum"},
        {8212, "Pharmacy"},
        {8213, "Pizza"},
        {8214, "Post Office"},
        {8215, "RV Park"},
        {8216, "School"},
        {8217, "Stadium"},
        {8218, "Department Store"},
        {8219, "Zoo"},
        {8220, "Convenience Store"},
        {8221, "Live Theater"},
        {8226, "Scales"},
        {8227, "Toll Booth"},
        {8233, "Bridge"},
        {8234, "Building"},
        {8235, "Cemetery"},
        {8236, "Church"},
        {8237, "Civil"},
        {8238, "Crossing"},
        {8239, "Ghost Town"},
        {8240, "Levee"},
        {8241, "Military"},
        {8242, "Oil Field"},
        {8243, "Tunnel"},
        {8244, "Beach"},
        {8245, "Forest"},
        {8246, "Summit"},
        {8255, "Geocache"},
        {8256, "Geocache Found"},
        {8257, "Contact, Smiley"},
        {8258, "Contact, Ball Cap"},
        {8259, "Contact, Big Ears"},
        {8260, "Contact, Spike"},
        {8261, "Contact, Goatee"},
        {8262, "Contact, Afro"},
        {8263, "Contact, Dreadlocks"},
        {8264, "Contact, Female1"},
        {8265, "Contact, Female2"},
        {8266, "Contact, Female3"},
        {8267, "Contact, Ranger"},
        {8268, "Contact, Kung-Fu"},
        {8269, "Contact, Sumo"},
        {8270, "Contact, Pirate"},
        {8271, "Contact, Biker"},
        {8272, "Contact, Alien"},
        {8273, "Contact, Bug"},
        {8274, "Contact, Cat"},
        {8275, "Contact, Dog"},
        {8276, "Contact, Pig"},
        {8282, "Water Hydrant"},
        {16384, "Airport"},
        {16388, "Heliport"},
        {16389, "Private Field"},
        {16390, "Soft Field"},
        {16391, "Tall Tower"},
        {16392, "Short Tower"},
        {16393, "Glider Area"},
        {16394, "Ultralight Area"},
        {16395, "Parachute Area"},
        {16402, "Seaplane Base"},
    };
    return list;
}

namespace {

// A 16 x 16 picture: a square of the given colour with a dark frame, on the
// list's mask colour RGB(192, 192, 192).
platform::PictureRef square(std::uint32_t argb, std::string key)
{
    auto p = std::make_shared<platform::Picture>();
    p->width = p->height = 16;
    p->key = std::move(key);
    p->pixels.assign(256, 0xFFC0C0C0u);
    for (int y = 2; y < 14; ++y)
        for (int x = 2; x < 14; ++x)
            p->pixels[size_t(y * 16 + x)] = (x == 2 || y == 2 || x == 13 || y == 13) ? 0xFF202020u : argb;
    return p;
}

// A colour of its own for each code (a hue walk), so neighbouring symbols differ.
std::uint32_t code_colour(int code)
{
    unsigned h = unsigned(code) * 2654435761u;
    unsigned r = 64 + (h >> 8 & 0x7F), g = 64 + (h >> 16 & 0x7F), b = 64 + (h >> 24 & 0x7F);
    return 0xFF000000u | r << 16 | g << 8 | b;
}

} // namespace

platform::PictureRef symbol_picture(int code)
{
    std::string key = std::to_string(code);
    key.insert(key.begin(), '*');
    return square(code_colour(code), std::move(key));
}

platform::PictureRef check_picture(bool checked)
{
    auto p = std::make_shared<platform::Picture>();
    p->width = p->height = 16;
    p->key = checked ? "check" : "uncheck";
    p->pixels.assign(256, 0xFFC0C0C0u);
    for (int y = 2; y < 14; ++y)
        for (int x = 2; x < 14; ++x)
            p->pixels[size_t(y * 16 + x)] = (x == 2 || y == 2 || x == 13 || y == 13) ? 0xFF000000u : 0xFFFFFFFFu;
    if (checked) {
        // A tick: down from (4,8) to (6,10), then up to (11,5).
        for (int i = 0; i <= 2; ++i)
            for (int t = 0; t < 2; ++t)
                p->pixels[size_t((8 + i + t) * 16 + 4 + i)] = 0xFF000000u;
        for (int i = 0; i <= 5; ++i)
            for (int t = 0; t < 2; ++t)
                p->pixels[size_t((10 - i + t) * 16 + 6 + i)] = 0xFF000000u;
    }
    return p;
}

} // namespace flxgrd::detail
