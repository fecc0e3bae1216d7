#include "settings/ViewSettings.h"

#include <algorithm>
#include <charconv>

#include "platform/ini/IniFile.h"

namespace vedris {

const std::vector<int>& ZoomLadder() {
    static const std::vector<int> ladder{30,  50,  67,  80,  90,  100, 110,
                                         120, 133, 150, 170, 200, 240, 300};
    return ladder;
}

int NextZoomLevel(int percent, bool larger) {
    const auto& ladder = ZoomLadder();
    if (larger) {
        auto up = std::upper_bound(ladder.begin(), ladder.end(), percent);
        return up == ladder.end() ? std::max(percent, ladder.back()) : *up;
    }
    auto down = std::lower_bound(ladder.begin(), ladder.end(), percent);
    return down == ladder.begin() ? std::min(percent, ladder.front()) : *(down - 1);
}

std::optional<int> ParseZoomLevel(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.back() == '%')
        text.remove_suffix(1);
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    if (value < ZoomLadder().front() || value > ZoomLadder().back())
        return std::nullopt;
    return value;
}

bool SettingIsOn(std::string_view text) {
    for (const char* on : {"1", "true", "yes", "on"})
        if (ini::sameNameIgnoringAsciiCase(text, on))
            return true;
    return false;
}

} // namespace vedris
