#pragma once
// The texts of the shell (window, boxes, pages) that the user reads, gathered so they can be
// read together; web/, desktop/ and window/ all include them from here. The labels of the
// window's own widgets and menus stand in its .ui files (window/ui/).
#include <string>

namespace vedris::texts {

// The application title: the caption of the main window and of every box.
inline constexpr const char* ApplicationTitle = "Ведрис";

// Buttons of the boxes and of the folder chooser.
inline constexpr const char* Ok = "Гаразд";
inline constexpr const char* Cancel = "Скасувати";
inline constexpr const char* ChooseButton = "_Вибрати";
inline constexpr const char* CancelButton = "_Скасувати";

// What a screen reader calls the error icon of a box.
inline constexpr const char* ErrorIcon = "Помилка";

// A box's text too long to lay out is cut: BoxTextCut1 + count + BoxTextCut2 follow it.
inline constexpr const char* BoxTextCut1 = "…\n\n(ще ";
inline constexpr const char* BoxTextCut2 = " символів не показано)";

// What a screen reader calls the browser's view of the page.
inline constexpr const char* PageViewName = "Сторінка анкети";
inline constexpr const char* CloseFindBar = "Закрити пошук";

// Closing, saving and sending.
inline constexpr const char* CloseUnsavedQuestion =
    "Відповіді на сторінці знову не вдалося зберегти.\n"
    "Закрити програму без збереження цих відповідей?";
// After the error of a save that failed on leaving a page; the buttons.
inline constexpr const char* StayOrLeaveQuestion =
    "\n\nВідповіді цієї сторінки не записано в результати. Можна залишитися на сторінці й "
    "спробувати ще раз або перейти далі без збереження: введене на сторінці залишиться в "
    "чернетці й повернеться, коли ви знову відкриєте цю анкету.";
inline constexpr const char* StayOnPage = "Залишитися";
inline constexpr const char* LeaveUnsaved = "Перейти без збереження";
inline constexpr const char* SaveToFolderTitle =
    "Виберіть папку, в якій потрібно зберегти анкетні дані:";
// + the path of the copy
inline constexpr const char* SavedMessage = "Анкетні дані вдало збережено.\n\rФайл з даними: ";
// + the reason
inline constexpr const char* NotSavedMessage = "Анкетні дані не збережено. ";
inline constexpr const char* MailSubject = "Анкетні дані ведриса";
inline constexpr const char* MailRecipientName = "Регіональна робоча група";

// The turn between candidates.
inline constexpr const char* NewCandidateQuestion =
    "Відповіді цього кандидата буде збережено в архіві, а програма почне з порожніми анкетами. "
    "Продовжити?";
// + the archived file + NewCandidateDone2
inline constexpr const char* NewCandidateDone1 =
    "Відповіді попереднього кандидата збережено в архіві.\nФайл з відповідями: ";
inline constexpr const char* NewCandidateDone2 = "\n\nМожна починати роботу з новим кандидатом.";

// The browser.
inline constexpr const char* LeavePageQuestion =
    "Залишити цю сторінку? Внесені зміни можуть не зберегтися.";
// + what the browser answered
inline constexpr const char* UnclearBrowserReply = "Браузер повернув незрозумілу відповідь: ";
// What a script still running in a web process that has ended reports.
inline constexpr const char* WebProcessGoneError =
    "Сторінка перестала відповідати: процес браузера завершився";
// Shown above the page when the web process has ended and the start page is loaded again.
inline constexpr const char* WebProcessGoneAgainNotice =
    "Сторінка знову несподівано закрилася, тож програма не відкриватиме її сама. Збережені "
    "відповіді не втрачено. Закрийте програму й запустіть її знову.";
inline constexpr const char* WebProcessGoneNotice =
    "Сторінка анкети несподівано закрилася, і програма відкрила початкову сторінку знову. "
    "Збережені відповіді не втрачено. Відкрийте анкету ще раз: програма відновить на ній і "
    "відповіді, записані в чернетку.";

// The page served for a file the assessments folder does not have; escapedUrl is already
// escaped for HTML.
inline std::string NotFoundPage(const std::string& escapedUrl) {
    return "<!DOCTYPE html>\n<html lang=\"uk\"><head><meta charset=\"utf-8\">"
           "<title>Сторінку не знайдено</title></head>\n<body>"
           "<h1>Сторінку не знайдено</h1>\n<p>У папці анкет немає файлу за "
           "адресою <code>" +
           escapedUrl + "</code>.</p></body></html>\n";
}

} // namespace vedris::texts
