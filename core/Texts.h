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

// Files.
// + path + ": " + reason, for each of the three
inline constexpr const char* FileNotWritten = "Не вдалося записати файл ";
inline constexpr const char* FileNotRead = "Не вдалося прочитати файл ";
inline constexpr const char* FileNotCreated = "Не вдалося створити файл ";
inline constexpr const char* FileNotOpened = "Не вдалося відкрити файл ";
// + path + ": " + reason
inline constexpr const char* PageSetupStoreNotCreated =
    "Не вдалося створити файл параметрів сторінки ";

// Settings.
inline constexpr const char* IniBadSection = "Недопустима назва розділу INI-файлу: \"";
inline constexpr const char* IniBadKey = "Недопустима назва ключа INI-файлу: \"";
// "Значення ключа " + key + IniLineBreak
inline constexpr const char* IniValueOfKey = "Значення ключа ";
inline constexpr const char* IniLineBreak = " не може містити розриву рядка";
// + reason
inline constexpr const char* ProgramPathUnknown = "Не вдалося визначити шлях до програми: ";
// TransformationsDirEmpty1 + settings file + TransformationsDirEmpty2
inline constexpr const char* TransformationsDirEmpty1 = "У файлі налаштувань ";
inline constexpr const char* TransformationsDirEmpty2 =
    " параметр TransformationsDir порожній: вкажіть у ньому "
    "каталог перетворень або вилучіть його.";
inline constexpr const char* FolderNotGiven = "Не вказано необхідний каталог.";
// + folder + "."
inline constexpr const char* FolderNotCreated = "Не вдалося створити папку ";
inline constexpr const char* FolderMissing = "Відсутній необхідний каталог ";

// The assessments folder: "Файл " + path + OutsideAssessments + folder
inline constexpr const char* FileWord = "Файл ";
inline constexpr const char* OutsideAssessments = " лежить поза папкою анкет ";

// Results storage; %s is filled in.
inline constexpr const char* AssessmentFileMissing =
    "Не знайдено файл з описом анкети. Можливо пошкоджено інсталяцію.\n\rФайл: %s";
inline constexpr const char* FireEventFailed =
    "Помилка при виконанні метода fireEvent. Можливо, на сторінці немає форми анкети.\r\n%s";
inline constexpr const char* NoAssessmentElement =
    "У файлі з описом анкети немає елемента assessment. Можливо пошкоджено інсталяцію.\nФайл: %s";
inline constexpr const char* NoSettings =
    "Налаштування клієнта не завантажено, тож невідомо, де шукати "
    "ims_qtiasi2res.xslt. Файл результатів не змінено.";
inline constexpr const char* NoResultInOutput =
    "Перетворення ims_qtiasi2res.xslt не створило елемента "
    "result для анкети «%s». Файл результатів не змінено.";
inline constexpr const char* DerivedResultNotFound =
    "Результат, створений перетворенням ims_qtiasi2res.xslt, не містить елемента "
    "assessment_result з ident_ref «%s». Файл результатів не змінено.";
inline constexpr const char* NoDateTime =
    "Результат анкети «%s» у файлі результатів не містить елемента "
    "context/date/datetime. Відповіді не збережено.";
inline constexpr const char* NoFormDocument = "сторінку з формою анкети не передано";
// + control name + "."
inline constexpr const char* NoPageForControl =
    "Сторінку анкети не передано: немає де шукати поля відповіді ";

// The page-setup store: StoreNotWritten + path [+ StoreFolderNotWritable1 + folder +
// StoreFolderNotWritable2] + " (" + reason + ")"
inline constexpr const char* StoreNotWritten =
    "Не вдалося записати параметри сторінки для друку у файл ";
inline constexpr const char* StoreFolderNotWritable1 = ": сам файл дозволяє запис, а його папка ";
inline constexpr const char* StoreFolderNotWritable2 =
    " - ні, тоді як програма записує файл через тимчасовий файл у цій папці";

// The step in which the XML engine failed, put before its own text so that the candidate
// and support can tell which file and what was being done; %s is the file.
inline constexpr const char* StepReadAssessment = "Не вдалося прочитати файл з описом анкети %s.";
// + file + "."
inline constexpr const char* StepReadMargins =
    "Не вдалося прочитати поля друку з файлу з описом анкети ";
inline constexpr const char* StepReadResults = "Не вдалося прочитати файл результатів %s.";
inline constexpr const char* StepReadStylesheet = "Не вдалося прочитати перетворення %s.";
inline constexpr const char* StepDerive =
    "Не вдалося отримати результат анкети з файлу %s перетворенням ims_qtiasi2res.xslt.";
inline constexpr const char* StepSaveResults = "Не вдалося зберегти файл результатів %s.";

// FolderNotWritable1 + folder + FolderNotWritable2 + reason
inline constexpr const char* FolderNotWritable1 = "У папку результатів ";
inline constexpr const char* FolderNotWritable2 =
    " неможливо записувати, тож відповіді не буде де зберегти. Причина: ";

// A transformation stopped at one of its limits: TransformStopped + what + the limit + unit.
inline constexpr const char* TransformStopped = "перетворення зупинено: воно ";
inline constexpr const char* TransformNodes1 = "створило понад ";
inline constexpr const char* TransformNodes2 = " вузлів";
inline constexpr const char* TransformText1 = "створило текст, довший за ";
inline constexpr const char* TransformText2 = " байтів";
inline constexpr const char* TransformMemory1 = "зайняло понад ";
inline constexpr const char* TransformMemory2 = " МБ пам’яті";
inline constexpr const char* TransformTime1 = "триває довше за ";
inline constexpr const char* TransformTime2 = " мс";
// file:line + EntityDeclared1 + entity name + EntityDeclared2
inline constexpr const char* EntityDeclared1 = ": документ оголошує сутність «";
inline constexpr const char* EntityDeclared2 = "»; документи з оголошеннями сутностей не читаються";

// NotAFileName1 + the list entry + NotAFileName2
inline constexpr const char* NotAFileName1 = "Назва анкети «";
inline constexpr const char* NotAFileName2 =
    "» у списку ClientAssessments не може бути назвою файлу: назва "
    "анкети не містить «/», «\\» чи символу NUL і не буває «.» чи «..»";

// Drafts of the page on screen.
// + the name + "\""
inline constexpr const char* DraftBadName = "Недопустима назва анкети для чернетки: \"";
inline constexpr const char* DraftUnreadable = "файл не є чернеткою відповідей цієї програми";
// + the assessment the draft names
inline constexpr const char* DraftOfOtherAssessment = "чернетка належить іншій анкеті: ";
// + date and time + DraftRestored2
inline constexpr const char* DraftRestored1 = "Відновлено незбережені відповіді від ";
inline constexpr const char* DraftRestored2 =
    ". Вони збережуться, коли ви перейдете на іншу сторінку або закриєте програму.";
// + the new path + ": " + reason
inline constexpr const char* DraftMovedAside =
    "Чернетку незбережених відповідей не вдалося використати, її відкладено як ";
// + reason
inline constexpr const char* DraftNotUsable =
    "Чернетку незбережених відповідей не вдалося використати: ";
// + reason
inline constexpr const char* DraftNotWritten =
    "Не вдалося записати чернетку відповідей; відповіді збережуться, коли ви залишите "
    "сторінку. Причина: ";
// + the folder they were moved to
inline constexpr const char* DraftsSetAside =
    "Файл результатів створено заново. Чернетки незбережених відповідей попереднього файлу "
    "не відновлюватимуться на сторінках; їх відкладено в папку ";

// The turn between candidates: TurnNotTaken1 + results file + TurnNotTaken2 + reason.
inline constexpr const char* TurnNotTaken1 =
    "Роботу з новим кандидатом не розпочато. Файл результатів ";
inline constexpr const char* TurnNotTaken2 =
    " не змінено: відповіді цього кандидата залишилися в ньому. Причина: ";
// + the archive folder
inline constexpr const char* ArchiveNamesUsedUp =
    "в архіві вже зайнято всі назви файлів для цієї секунди: ";
// + the target folder + ": " + reason
inline constexpr const char* DraftsNotArchived = "не вдалося перенести чернетки відповідей у ";

} // namespace vedris::texts
