#pragma once
// Every text of vedris-results's import, store and merge side that its user reads, in one
// place. "%s" placeholders are filled in order by text::format.
#include "platform/text/Format.h"

namespace vedris::results::msg {

inline constexpr const char* Usage =
    "Використання:\n"
    "  vedris-results import БАЗА ДЖЕРЕЛО... [--label ПОЗНАЧКА]\n"
    "      додає до бази (файл SQLite; його буде створено) файли результатів із джерел:\n"
    "      файл результатів (будь-яка назва), папка (з усіма вкладеними), архів .zip,\n"
    "      лист .eml або поштова скринька mbox (усі листи, усі вкладені файли результатів)\n"
    "  vedris-results merge БАЗА ІНША.db...\n"
    "      додає до бази результати інших баз (наприклад, інших регіонів)\n"
    "  vedris-results export БАЗА [--xlsx ФАЙЛ] [--csv ПАПКА] [--html ФАЙЛ]\n"
    "                             [--assessments ПАПКА] [--all-versions]\n"
    "      таблиці та звіт з бази\n"
    "  vedris-results --help\n"
    "Файл, який уже є в базі (той самий вміст), удруге не додається. Завершується з кодом 0,\n"
    "коли все гаразд, 1, коли частину файлів відхилено або щось не вдалося, 2, коли команду\n"
    "задано неправильно.\n";
inline constexpr const char* UnknownCommand = "Невідома команда «%s».";
inline constexpr const char* WrongArguments = "Неправильні аргументи команди «%s».";
inline constexpr const char* SeeHelp = "Докладніше: vedris-results --help";

// The database.
inline constexpr const char* DatabaseOpenFailed = "%s: не вдалося відкрити базу: %s";
inline constexpr const char* DatabaseFailed = "%s: помилка бази: %s";
inline constexpr const char* DatabaseNewer =
    "%s: базу створено новішою версією програми (версія схеми %s); оновіть vedris-results.";
inline constexpr const char* NotOurDatabase = "%s: це не база vedris-results.";

// Sources.
inline constexpr const char* SourceMissing = "%s: немає такого файла чи папки.";
inline constexpr const char* SourceUnreadable = "%s: не вдалося прочитати: %s";
inline constexpr const char* SourceFailed = "%s: джерело не імпортовано, базу не змінено: %s";
inline constexpr const char* SourceDone =
    "%s: нових файлів %s, результатів %s; повторів %s; відхилено %s.";
inline constexpr const char* SourceSkippedOther =
    "%s: інших файлів XML (не результатів) пропущено: %s.";
inline constexpr const char* Summary =
    "Разом: нових файлів %s, результатів %s; повторів %s; відхилено %s.";
inline constexpr const char* Refused = "%s: відхилено: %s";
inline constexpr const char* Progress = "Оброблено файлів: %s з %s, %s файлів/с";
inline constexpr const char* ProgressUnknownTotal = "Оброблено файлів: %s, %s файлів/с";

// Reasons a results file or an entry is refused.
inline constexpr const char* NotWellFormed =
    "файл не прочитано як XML (пошкоджений або недозволений): %s";
inline constexpr const char* NotResults =
    "це не файл результатів: кореневий елемент «%s», а має бути «qti_result_report».";
inline constexpr const char* NoResults = "у файлі немає жодного елемента result.";
inline constexpr const char* TooLarge = "файл завеликий (%s МБ; найбільше %s МБ).";
inline constexpr const char* TooManyElements =
    "у файлі забагато елементів (понад %s): такий файл результатів не міг створити клієнт.";
inline constexpr const char* NoAssessmentResult =
    "результат №%s не має елемента assessment_result з непорожнім атрибутом ident_ref.";
inline constexpr const char* ItemWithoutIdent =
    "результат №%s (%s), рядок %s: item_result без атрибута ident_ref.";
inline constexpr const char* ResponseWithoutIdent =
    "результат №%s (%s), рядок %s: response без атрибута ident_ref.";
inline constexpr const char* BadStatus =
    "результат №%s (%s), рядок %s: response_status «%s» (має бути Valid, NA, Null або Invalid).";
inline constexpr const char* EntryUnsafeName =
    "назва в архіві веде за межі архіву або абсолютна; пропущено.";
inline constexpr const char* EntryTooLarge =
    "розпакований файл завеликий (понад %s МБ); не розпаковано.";
inline constexpr const char* EntryRatio =
    "стиснення підозріло сильне (понад %s разів, схоже на «zip-бомбу»); не розпаковано.";
inline constexpr const char* EntryEncrypted = "файл в архіві зашифровано; не розпаковано.";
inline constexpr const char* EntryUnreadable = "не вдалося розпакувати: %s";
inline constexpr const char* ArchiveTooManyEntries =
    "в архіві забагато файлів (%s; найбільше %s); архів не імпортовано.";
inline constexpr const char* ArchiveUnreadable = "це не архів zip або архів пошкоджено: %s";
inline constexpr const char* MailUnreadable = "це не лист і не поштова скринька mbox.";
inline constexpr const char* MailTooDeep =
    "лист вкладено в лист надто глибоко (понад %s рівнів); далі не розбирається.";
inline constexpr const char* AttachmentUnreadable = "не вдалося декодувати вкладення: %s";
inline constexpr const char* MailNoAttachmentName = "вкладення без назви";

// Merging.
inline constexpr const char* MergeSame = "%s: це та сама база, що й %s; пропущено.";
inline constexpr const char* MergeDone =
    "%s: нових файлів %s, результатів %s; повторів %s; відмов перенесено %s.";

} // namespace vedris::results::msg
