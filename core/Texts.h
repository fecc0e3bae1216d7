#pragma once
// The texts of the core that reach the user, gathered so they can be read together.
// Messages that carry details get them appended after the text.

namespace vedris::texts {

inline constexpr const char* UnknownError = "Невідома помилка";
// + folder + ": " + reason
inline constexpr const char* ResultsFolderNotCreated = "Не вдалося створити папку результатів ";

// Shown when another client holds the results folder.
inline constexpr const char* AlreadyRunningMessage =
    "Ведрис уже запущено з цією папкою результатів. Продовжуйте роботу у відкритому вікні "
    "програми.";

} // namespace vedris::texts
