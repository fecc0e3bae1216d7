#pragma once
// Every text of vedris-assessments that its user reads, in one place. "%s" placeholders are
// filled in order by text::format.
#include "platform/text/Format.h"

namespace vedris::assessments::msg {

inline constexpr const char* Usage =
    "Використання:\n"
    "  vedris-assessments page ФАЙЛ.xml [-o СТОРІНКА.html] [--preview]\n"
    "      сторінка анкети для файла QTI (у стандартний вивід або у файл); з --preview\n"
    "      сторінка для автора: біля кожного питання його примітки\n"
    "  vedris-assessments folder ПАПКА ФАЙЛ.xml...\n"
    "      готова папка встановлення: Assessments/ зі сторінками, файлами QTI, зображеннями,\n"
    "      index.html, ims_qtiasi2res.xslt і anketa.css, та vedris.ini зі списком анкет\n"
    "  vedris-assessments check ПАПКА|ФАЙЛ.xml\n"
    "      перевіряє папку встановлення (vedris.ini і Assessments/) або один файл QTI\n"
    "  vedris-assessments wrap ФАЙЛ.xml [-o НОВИЙ.xml] [--ident ІДЕНТИФІКАТОР] [--title НАЗВА]\n"
    "      анкета з одним розділом для банку питань (objectbank) або окремих питань item\n"
    "  vedris-assessments --help\n"
    "Завершується з кодом 0, коли все гаразд, 1, коли знайдено проблеми (сторінку все одно\n"
    "записано, але частину відповідей на ній не буде збережено), 2, коли команду задано\n"
    "неправильно.\n";
inline constexpr const char* UnknownCommand = "Невідома команда «%s».";
inline constexpr const char* WrongArguments = "Неправильні аргументи команди «%s».";
inline constexpr const char* SeeHelp = "Докладніше: vedris-assessments --help";

// Page maker: notes shown on the page.
inline constexpr const char* SubmitButton = "Зберегти відповіді";
inline constexpr const char* SavedHint =
    "Відповіді зберігаються, коли ви натискаєте «Зберегти відповіді» або переходите на іншу "
    "сторінку.";
inline constexpr const char* QuestionNumber = "Питання %s";
// The candidate's page says only what the candidate needs; the details go to the author.
inline constexpr const char* PageNoteNotShown = "Частину цього питання тут показати не можна.";
inline constexpr const char* PageNoteNotBound = "На це питання тут відповісти не можна.";
inline constexpr const char* PageNoteHotspot = "Точки на зображенні подано як варіанти відповіді.";
inline constexpr const char* AnswerField = "Відповідь";

// Page maker: warnings on standard error.
inline constexpr const char* WarnNoAssessment =
    "%s: рядок %s: немає елемента assessment під кореневим елементом; клієнт не зможе зберігати "
    "відповіді на цю анкету (банк питань чи окремі питання загорніть в анкету командою "
    "vedris-assessments wrap).";
inline constexpr const char* WarnNotBound =
    "%s: рядок %s: відповідь %s (%s) клієнт не зберігає; полів для неї не "
    "створено.";
inline constexpr const char* WarnRendering =
    "%s: рядок %s: %s клієнт показати не може; на сторінці залишено примітку.";
inline constexpr const char* WarnNoOptions =
    "%s: рядок %s: відповідь %s не має жодного варіанта (response_label); відповісти на неї не "
    "можна.";
inline constexpr const char* WarnImageNotRelative =
    "%s: рядок %s: зображення «%s» лежить не поруч зі сторінкою; його не показано.";
inline constexpr const char* WarnReference =
    "%s: рядок %s: посилання %s на питання з іншого файла не показано.";
inline constexpr const char* WarnImageMissing =
    "%s: рядок %s: зображення «%s» не знайдено поруч із файлом; його не скопійовано.";
inline constexpr const char* WarnImageClash =
    "%s: рядок %s: зображення «%s» уже скопійовано з іншої анкети і воно інше; залишено перше.";

// Idents and encodings (page, check, wrap).
inline constexpr const char* AssessmentWithoutIdent =
    "%s: рядок %s: assessment не має ident; результати анкет без ident змішаються.";
inline constexpr const char* ItemWithoutIdent =
    "%s: рядок %s: item не має ident; відповіді на нього не відрізнити від відповідей на інші "
    "питання без ident.";
inline constexpr const char* SharedItemIdent =
    "%s: рядок %s: item має ident «%s», як і item з рядка %s; відповіді на одне з них буде "
    "втрачено.";
inline constexpr const char* ResponseWithoutIdent =
    "%s: рядок %s: %s не має ident; його поля матимуть назву «%s».";
inline constexpr const char* SharedResponseName =
    "%s: рядок %s: поля відповіді «%s» матимуть ту саму назву, що й поля відповіді з рядка %s; "
    "відповіді перезапишуть одна одну.";
inline constexpr const char* MisdeclaredEncoding =
    "%s: рядок %s: файл оголошено в кодуванні %s, але він записаний в UTF-8; текст буде "
    "прочитано неправильно (напр. «Ã©» замість «é»). Виправте encoding на UTF-8.";
inline constexpr const char* PreviewHeading = "Попередній перегляд для автора";

// Wrapping banks and bare items.
inline constexpr const char* WrapHasAssessment =
    "%s: рядок %s: файл уже містить assessment; загортати його не треба.";
inline constexpr const char* WrapNoItems = "%s: у файлі немає жодного item.";
inline constexpr const char* WrapBadIdent =
    "Ідентифікатор анкети не може бути порожнім чи містити лапки (\").";
inline constexpr const char* WrapReference =
    "%s: рядок %s: посилання %s на питання з іншого файла не перенесено.";
inline constexpr const char* WrapDone = "%s: анкета «%s» (ident «%s»), питань: %s.";

// Folder maker.
inline constexpr const char* FolderExists =
    "%s: папка вже містить встановлення (%s); щоб нічого не затерти, оберіть порожню папку.";
inline constexpr const char* WriteFailed = "%s: не вдалося записати: %s";
inline constexpr const char* ReadFailed = "%s: не вдалося прочитати: %s";
inline constexpr const char* MenuHeading = "Оберіть анкету";
inline constexpr const char* MenuHint =
    "Відповіді зберігаються самі, коли ви переходите на іншу сторінку або закриваєте програму.";
inline constexpr const char* IndexTitle = "Ведрис — анкети";
inline constexpr const char* FrameTitle = "Анкета";
inline constexpr const char* FolderDone = "Створено встановлення в %s: анкет %s.";

// Checker.
inline constexpr const char* NoSettingsFile = "%s: немає файла налаштувань.";
inline constexpr const char* SettingsError = "%s: %s";
inline constexpr const char* NoAssessmentsListed =
    "%s: у ClientAssessments не названо жодної анкети.";
inline constexpr const char* EmptyAssessmentName =
    "%s: у ClientAssessments є порожня назва анкети.";
inline constexpr const char* NoIndex = "%s: немає стартової сторінки.";
inline constexpr const char* NoFormFrame = "%s: немає фрейму з назвою «form_frame».";
inline constexpr const char* NoPage = "%s: немає сторінки анкети «%s».";
inline constexpr const char* NoQtiFile = "%s: немає файла з описом анкети «%s».";
inline constexpr const char* NoStylesheet = "%s: немає перетворення ims_qtiasi2res.xslt.";
inline constexpr const char* FormCount = "%s: на сторінці має бути одна форма, а їх %s.";
inline constexpr const char* DerivationFailed = "%s: перетворення ims_qtiasi2res.xslt: %s";
inline constexpr const char* ResultLacksResponse =
    "%s: рядок %s: результат, створений ims_qtiasi2res.xslt, не містить item_result «%s» з "
    "response «%s».";
inline constexpr const char* ResultLacksDateTime =
    "%s: результат, створений ims_qtiasi2res.xslt, не містить context/date/datetime.";
inline constexpr const char* NoControls =
    "%s: немає полів з назвою «%s» для відповіді з рядка %s файла %s.";
inline constexpr const char* WrongControl =
    "%s: рядок %s: поле «%s» — %s, а клієнт зв'язує цю відповідь з %s.";
inline constexpr const char* UnboundControl =
    "%s: рядок %s: поле «%s» клієнт не зберігає: у файлі %s ця відповідь — response_num без "
    "render_fib.";
inline constexpr const char* StrayControl =
    "%s: рядок %s: поле «%s» не відповідає жодній відповіді файла %s.";
inline constexpr const char* DropDownList =
    "%s: рядок %s: список «%s» розкривний (без size або з size=\"1\"): у ньому завжди обрано "
    "перший варіант, і клієнт збереже його як відповідь; задайте size від 2 або multiple.";
inline constexpr const char* SharedControlName =
    "%s: рядок %s: відповідь «%s» має таку саму назву, як у файлі %s; збереження однієї анкети "
    "затре відповіді іншої.";
inline constexpr const char* CheckFileNotFound = "%s: немає ні папки, ні файла.";
inline constexpr const char* ControlOutsideForm =
    "%s: рядок %s: поле «%s» стоїть поза формою сторінки: обробник форми сторінки його не "
    "перевіряє й не надсилає. Перенесіть його у форму.";
inline constexpr const char* FrameInPage =
    "%s: рядок %s: фрейм усередині сторінки анкети: кожен перехід у ньому спершу подає "
    "сторінку її обробником, і обробник, що не приймає відповіді, не дасть фрейму "
    "завантажитися. Краще дайте його вміст посиланням.";
inline constexpr const char* CheckPassed = "Перевірено анкет: %s. Проблем не знайдено.";
inline constexpr const char* CheckFailed = "Перевірено анкет: %s. Знайдено проблем: %s.";

// Control kinds, as the checker names them.
inline constexpr const char* KindInputText = "однорядкове текстове поле";
inline constexpr const char* KindTextArea = "багаторядкове текстове поле (textarea)";
inline constexpr const char* KindRadioCheck = "перемикач або прапорець";
inline constexpr const char* KindSelect = "список (select)";
inline constexpr const char* KindOther = "елемент «%s»";

} // namespace vedris::assessments::msg
