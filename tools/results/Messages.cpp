#include "Messages.h"

namespace vedris::results::msg {

std::string Format(const char* text, const std::vector<std::string>& args) {
    std::string out;
    std::string format = text;
    size_t next = 0, start = 0;
    for (size_t at; (at = format.find("%s", start)) != std::string::npos; start = at + 2) {
        out.append(format, start, at - start);
        out += next < args.size() ? args[next++] : std::string();
    }
    return out + format.substr(start);
}

} // namespace vedris::results::msg
