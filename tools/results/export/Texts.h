#pragma once
// Every text of the exports that a person reads: messages on standard error, headings of the
// tables and the words of the report. "%s" placeholders are filled in order by format.
#include <string>
#include <vector>

namespace vedris::results::texts {

// Puts the arguments in place of the "%s" placeholders, in order.
inline std::string format(const char* text, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += next < args.size() ? args[next++] : std::string();
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

// Messages.
inline constexpr const char* NoExportNamed =
    "Не названо, що записати: потрібен хоча б один із --xlsx, --csv, --html.";
inline constexpr const char* NoDatabaseNamed = "Не названо файла бази даних.";
inline constexpr const char* NoSuchDatabase = "такого файла немає";
inline constexpr const char* DatabaseUnreadable = "%s: базу даних не прочитано: %s";
inline constexpr const char* NotCollectorDatabase = "%s: це не база vedris-results (%s).";
inline constexpr const char* NoAssessmentsFolder = "%s: такої папки анкет немає.";
inline constexpr const char* QtiUnreadable =
    "%s: файл анкети не прочитано, назв із нього не взято: %s";
inline constexpr const char* ExportFailed = "%s: не записано: %s";
inline constexpr const char* XlsxWritten = "Записано таблицю %s (анкет: %s).";
inline constexpr const char* CsvWritten = "Записано файли CSV у %s (анкет: %s).";
inline constexpr const char* HtmlWritten = "Записано звіт %s (анкет: %s).";
inline constexpr const char* TooManyRows =
    "анкета %s має більше результатів, ніж уміщує аркуш; записано перші %s.";
inline constexpr const char* TooManyColumns =
    "анкета %s має більше колонок, ніж уміщує аркуш; записано перші %s.";
inline constexpr const char* SpreadsheetLibrary = "помилка бібліотеки XLSX: %s";
inline constexpr const char* ExportStopped = "Експорт перервано: %s";
inline constexpr const char* Progress = "Анкета %s з %s: %s…";
inline constexpr const char* TextCut = "… [обрізано]";

// Wide tables.
inline constexpr const char* ColumnLabel = "Мітка";
inline constexpr const char* ColumnSource = "Джерело";
inline constexpr const char* ColumnDateTime = "Дата й час";
inline constexpr const char* ColumnVersion = "Версія";
inline constexpr const char* VersionNewest = "остання";
inline constexpr const char* VersionOlder = "попередня";
inline constexpr const char* EmptySheet = "Результати";
inline constexpr const char* NoResults = "У базі немає результатів.";

// Summary sheets.
inline constexpr const char* SummaryPrefix = "Підсумок ";
inline constexpr const char* SummaryAssessment = "Анкета";
inline constexpr const char* SummaryResults = "Результатів";
inline constexpr const char* SummarySources = "Джерел";
inline constexpr const char* SummaryItem = "Питання";
inline constexpr const char* SummaryResponse = "Відповідь";
inline constexpr const char* SummaryValue = "Значення";
inline constexpr const char* SummaryChoice = "Варіант";
inline constexpr const char* SummaryCount = "Кількість";
inline constexpr const char* SummaryShare = "Частка";
inline constexpr const char* NaValue = "NA";
inline constexpr const char* NaText = "без відповіді";
inline constexpr const char* MoreAnswers = "ще різних відповідей: %s";

// The report.
inline constexpr const char* ReportTitle = "Результати анкет";
inline constexpr const char* ReportDatabase = "База: %s";
inline constexpr const char* ReportAllVersions = "Враховано всі версії результатів.";
inline constexpr const char* ReportNewestOnly =
    "Враховано лише останню версію результатів кожного джерела.";
inline constexpr const char* ReportCounts = "Результатів: %s. Джерел: %s.";
inline constexpr const char* ReportNa = "Без відповіді: %s із %s (%s).";
inline constexpr const char* ReportAnswers = "Відповіді (кількість однакових у дужках):";
inline constexpr const char* ReportNoAnswers = "Жодної відповіді.";
inline constexpr const char* ReportChart = "Розподіл відповідей на «%s»";

} // namespace vedris::results::texts
