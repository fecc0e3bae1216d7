// The page-setup number reader: no crash, and every finite number it reads is written in a
// form it reads again.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "printing/PageSetupNumber.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    double value = 0;
    const std::string_view separator = size > 0 && data[0] == ',' ? "," : "";
    if (vedris::TryParsePageSetupNumber(text, value, separator)) {
        if (!std::isfinite(value))
            std::abort();
        double again = 0;
        if (!vedris::TryParsePageSetupNumber(vedris::FormatPageSetupNumber(value), again))
            std::abort();
    }
    (void)vedris::PageSetupNumberOrZero(text, ",");
    return 0;
}
