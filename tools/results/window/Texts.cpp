#include "Texts.h"

namespace vedris::results::window::texts {

std::string format(const char* text, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '%' && p[1] == 's' && next < args.size()) {
            out += args[next++];
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

} // namespace vedris::results::window::texts
