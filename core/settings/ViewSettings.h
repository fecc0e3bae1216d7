#pragma once
// How the pages are shown: the zoom ladder and the reading of the view settings.
#include <optional>
#include <string_view>
#include <vector>

namespace vedris {

// Zoom levels in percent, the steps Ctrl+plus and Ctrl+minus climb: small enough to follow,
// from 30 % to 300 %.
const std::vector<int>& ZoomLadder();
inline constexpr int NormalZoom = 100;

// The next level of the ladder above (larger) or below percent, which need not be a level
// of the ladder; at the ladder's ends the level stays.
int NextZoomLevel(int percent, bool larger);

// A zoom level as written in a settings file: "150" or "150%", blanks allowed around it,
// within the ladder's ends. nullopt for anything else.
std::optional<int> ParseZoomLevel(std::string_view text);

// A switch as written in a settings file: "1", "true", "yes", "on" (any case) turn it on,
// anything else leaves it off.
bool SettingIsOn(std::string_view text);

} // namespace vedris
