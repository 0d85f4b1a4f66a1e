// The .xls helper program (see XlsDump.h). It links only the parsing library.
#include "XlsDump.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <freexl.h>
#include <string>

namespace {

// A number cell as the shortest decimal that reads back as the same double:
// the decimal the user typed or the bank wrote.
std::string Decimal(double value)
{
    char text[400]; // the longest fixed form of a double is 330 characters
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    return std::string(text, end);
}

std::string CellText(const FreeXL_CellValue &cell)
{
    switch (cell.type) {
    case FREEXL_CELL_INT:
        return std::to_string(cell.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return Decimal(cell.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
        return cell.value.text_value ? std::string(cell.value.text_value) : std::string();
    default:
        return {};
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2)
        return XlsDump::kNotXls;
    const void *handle = nullptr;
    unsigned int rowCount = 0;
    unsigned short columnCount = 0;
    if (freexl_open(argv[1], &handle) != FREEXL_OK
        || freexl_select_active_worksheet(handle, 0) != FREEXL_OK
        || freexl_worksheet_dimensions(handle, &rowCount, &columnCount) != FREEXL_OK) {
        freexl_close(handle);
        return XlsDump::kNotXls;
    }
    std::string row;
    for (unsigned int r = 0; r < rowCount; ++r) {
        row.clear();
        for (unsigned short c = 0; c < columnCount; ++c) {
            FreeXL_CellValue cell;
            if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK) {
                freexl_close(handle);
                return XlsDump::kNotXls;
            }
            const std::string text = CellText(cell);
            row += std::to_string(text.size()) + ':' + text;
        }
        row += '\n';
        if (std::fwrite(row.data(), 1, row.size(), stdout) != row.size())
            return EXIT_FAILURE;
    }
    freexl_close(handle);
    return std::fflush(stdout) == 0 ? XlsDump::kRowsPrinted : EXIT_FAILURE;
}
