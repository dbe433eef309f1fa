// The D103 symbol lookups of the download and the upload.
#include "main/app/app_state.h"
#include "main/transfer/transfer.h"

#include <gtest/gtest.h>

namespace {

struct Tables {
    Tables()
    {
        transfer::Load_d103WptSymbols(state);
        transfer::Load_d1xxWptSymbols(state);
    }
    app::AppState state;
};

} // namespace

TEST(Symbols, SixteenPairsBothWays)
{
    Tables t;
    const int codes[16] = {18, 10, 8, 170, 7, 150, 0, 19, 177, 14, 178, 151, 179, 171, 156, 8196};
    for (int index = 0; index < 16; ++index) {
        EXPECT_EQ(transfer::Symbol_FromD103(t.state, index), codes[index]) << index;
        EXPECT_EQ(transfer::Symbol_ToD103(t.state, std::to_string(codes[index])), index) << codes[index];
    }
}

TEST(Symbols, UnknownNumbersAndCodes)
{
    Tables t;
    // A number the receiver should not send keeps its waypoint with the
    // default symbol.
    for (int index : {16, -1, 255, 65535}) EXPECT_EQ(transfer::Symbol_FromD103(t.state, index), 18) << index;
    // A code without a D103 number goes up as number 0; texts compare exactly.
    for (const char* code : {"9", "018", " 18", "", "8196.0"})
        EXPECT_EQ(transfer::Symbol_ToD103(t.state, code), 0) << code;
}
