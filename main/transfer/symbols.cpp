// The waypoint symbol tables between D103 symbol numbers and the table's
// symbol codes, and the two lookups of the download and the upload.
#include "main/transfer/transfer.h"

#include "main/app/app_state.h"

namespace transfer {

namespace {

// Waypoint symbol codes in the order of the D103 symbol numbers 0 to 15.
const std::int32_t kD103Codes[16] = {18, 10, 8, 170, 7, 150, 0, 19, 177, 14, 178, 151, 179, 171, 156, 8196};

// The table's default symbol, given to a D103 number the receiver should
// not send.
constexpr std::int32_t kDefaultSymbol = 18;

} // namespace

void Load_d103WptSymbols(app::AppState& state)
{
    for (int i = 0; i < 16; ++i) state.d103_symbols.Add(i, std::to_string(kD103Codes[i]));
}

void Load_d1xxWptSymbols(app::AppState& state)
{
    for (int i = 0; i < 16; ++i) state.d1xx_symbols.Add(kD103Codes[i], std::to_string(i));
}

std::int32_t Symbol_FromD103(const app::AppState& state, std::int32_t index)
{
    const std::int32_t* code = state.d1xx_symbols.Find(std::to_string(index));
    return code ? *code : kDefaultSymbol;
}

std::int32_t Symbol_ToD103(const app::AppState& state, const std::string& code)
{
    const std::int32_t* index = state.d103_symbols.Find(code);
    return index ? *index : 0;
}

} // namespace transfer
