// The delimited-text reader: any bytes split into records without running
// past the text, and every record written again reads back cell for cell.
#include "main/files/table_files.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string text = files::Text_Decode(std::string_view(reinterpret_cast<const char*>(data), size));
    for (char delimiter : {';', ','}) {
        std::size_t pos = 0, records = 0;
        std::vector<std::string> cells, again;
        while (files::Text_NextRecord(text, pos, delimiter, cells)) {
            if (pos > text.size() || ++records > text.size()) std::abort();
            const std::string line = files::Text_JoinCells(cells, std::string(1, delimiter));
            std::size_t p = 0;
            if (!files::Text_NextRecord(line, p, delimiter, again) || again.size() != cells.size()) std::abort();
            for (std::size_t i = 0; i < cells.size(); ++i)
                if (again[i] != (cells[i].empty() ? " " : cells[i])) std::abort();
        }
    }
    return 0;
}
