#pragma once
// Every text of the results window that its user reads (labels, buttons, accessible names,
// messages), in one place. "%s" placeholders are filled in order by format().
#include <string>
#include <vector>

namespace vedris::results::window::texts {

std::string format(const char* text, const std::vector<std::string>& args);

inline constexpr const char* Title = "Ведрис: результати";
inline constexpr const char* Usage =
    "Використання: vedris-results-window [БАЗА]\n"
    "Вікно збирача результатів: відкриває базу (файл SQLite; без аргументу — останню\n"
    "відкриту), додає до неї файли результатів, папки, архіви .zip, листи .eml і поштові\n"
    "скриньки mbox, показує, що надійшло, і зберігає таблиці та звіт.\n";
inline constexpr const char* NoDatabase = "Базу результатів ще не вибрано";
inline constexpr const char* NoDatabaseHint =
    "Результати, що надходять від шкіл, збираються в одну базу (файл). Створіть нову базу "
    "або відкрийте наявну.";
inline constexpr const char* CreateDatabase = "_Створити базу…";
inline constexpr const char* OpenDatabase = "_Відкрити базу…";
inline constexpr const char* CreateDatabaseName = "Створити базу";
inline constexpr const char* OpenDatabaseName = "Відкрити іншу базу";
inline constexpr const char* DefaultDatabaseName = "результати.db";
inline constexpr const char* DatabaseFilter = "Бази результатів (*.db, *.sqlite)";
inline constexpr const char* AllFilesFilter = "Усі файли";
inline constexpr const char* ChooseButton = "_Вибрати";
inline constexpr const char* SaveButton = "_Зберегти";
inline constexpr const char* CancelButton = "_Скасувати";

inline constexpr const char* AddFiles = "Додати _файли…";
inline constexpr const char* AddFolder = "Додати _папку…";
inline constexpr const char* AddFilesName = "Додати файли результатів, архіви або листи";
inline constexpr const char* AddFolderName = "Додати папку з результатами";
inline constexpr const char* AddFilesTitle =
    "Файли результатів, архіви .zip, листи .eml або поштові скриньки mbox";
inline constexpr const char* AddFolderTitle = "Папка з файлами результатів";
inline constexpr const char* DropHint =
    "Файли, папки, архіви .zip, листи .eml і поштові скриньки можна також перетягнути у вікно.";
inline constexpr const char* ExportXlsx = "_Таблиця (XLSX)";
inline constexpr const char* ExportCsv = "CS_V";
inline constexpr const char* ExportHtml = "Звіт (_HTML)";
inline constexpr const char* ExportXlsxName = "Зберегти таблицю XLSX і відкрити її";
inline constexpr const char* ExportCsvName = "Зберегти таблиці CSV у папку і відкрити її";
inline constexpr const char* ExportHtmlName = "Зберегти звіт HTML і відкрити його";
inline constexpr const char* ExportXlsxTitle = "Зберегти таблицю";
inline constexpr const char* ExportCsvTitle = "Папка для таблиць CSV";
inline constexpr const char* ExportHtmlTitle = "Зберегти звіт";
inline constexpr const char* ExportXlsxFile = "результати.xlsx";
inline constexpr const char* ExportHtmlFile = "звіт.html";

inline constexpr const char* SourcesHeading = "Джерела";
inline constexpr const char* AssessmentsHeading = "Оцінювання";
inline constexpr const char* SourcesListName = "Джерела результатів";
inline constexpr const char* NoSources = "Ще нічого не імпортовано.";
inline constexpr const char* ColumnAssessment = "Оцінювання";
inline constexpr const char* ColumnResults = "Результатів";
inline constexpr const char* ColumnSources = "Джерел";
inline constexpr const char* TotalRow = "Усього";
inline constexpr const char* NoAssessments = "Результатів ще немає.";

// Import progress.
inline constexpr const char* CancelImport = "_Скасувати";
inline constexpr const char* CancelImportName = "Скасувати імпорт";
inline constexpr const char* ProgressName = "Хід імпорту";
inline constexpr const char* ImportingSource = "Імпорт джерела %s з %s: %s";
inline constexpr const char* FilesDone = "%s з %s файлів";
inline constexpr const char* FilesDoneUnknownTotal = "%s файлів";
inline constexpr const char* LookingForFiles = "Пошук файлів…";
inline constexpr const char* Cancelling = "Скасування…";
inline constexpr const char* ImportQueued = "Додано до черги: %s";
inline constexpr const char* Exporting = "Запис: %s";

// What an import run ended with, one line per source.
inline constexpr const char* SourceImported =
    "%s: прийнято файлів: %s (результатів: %s), повторів: %s, відхилено: %s.";
inline constexpr const char* SourceFailed = "%s: не прочитано. %s";
inline constexpr const char* SourceCancelled =
    "%s: імпорт скасовано, з цього джерела до бази нічого не додано.";
inline constexpr const char* SourceNotStarted = "%s: не імпортовано (скасовано).";

// A source's row.
inline constexpr const char* KindFile = "файл";
inline constexpr const char* KindFolder = "папка";
inline constexpr const char* KindZip = "архів .zip";
inline constexpr const char* KindEml = "лист";
inline constexpr const char* KindMbox = "поштова скринька";
inline constexpr const char* KindMerge = "інша база";
inline constexpr const char* SourceLine = "%s · %s · імпортовано %s";
inline constexpr const char* StatusImported = "Імпортовано: файлів %s, результатів %s.";
inline constexpr const char* StatusNewer = "Нова версія вже наявних результатів: %s.";
inline constexpr const char* StatusSuperseded = "Замінено новішою версією: %s.";
inline constexpr const char* StatusRepeats = "Повтори (ці файли вже були в базі): %s.";
inline constexpr const char* StatusNothingNew =
    "Нових результатів немає: файли вже були в базі або результатів не знайдено.";
inline constexpr const char* StatusRefused = "Відхилено файлів: %s.";
inline constexpr const char* RefusalLine = "• %s — %s";
inline constexpr const char* MoreRefusals = "… і ще %s.";
inline constexpr const char* LabelPlaceholder = "Позначка (наприклад, школа)";
inline constexpr const char* LabelEntryName = "Позначка джерела %s";
inline constexpr const char* SaveLabel = "Зберегти позначку";
inline constexpr const char* SaveLabelName = "Зберегти позначку джерела %s";
inline constexpr const char* LabelAfterImport = "Позначку можна змінити, коли імпорт завершиться.";
inline constexpr const char* LabelSaved = "Позначку джерела «%s» збережено.";

// Messages.
inline constexpr const char* DatabaseOpened = "Відкрито базу %s.";
inline constexpr const char* DatabaseFailed = "Не вдалося відкрити базу. %s";
inline constexpr const char* LabelFailed = "Не вдалося зберегти позначку. %s";
inline constexpr const char* ExportDone = "Збережено: %s";
inline constexpr const char* ExportFailed = "Не вдалося записати %s. %s";
inline constexpr const char* OpenFailed = "Збережено: %s, але відкрити не вдалося. %s";
inline constexpr const char* BusyExporting = "Зачекайте, доки завершиться запис.";

} // namespace vedris::results::window::texts
