#pragma once
// What the window shows in the chosen language. The station's models, the logs, the records and
// the CLI keep the texts as the station writes them; only a caption on screen is translated, so a
// stored log or a test never depends on the window's language.
#include <QString>

class QObject;
class QWidget;

namespace kelvor::ui {

// The one translation context of the station's window texts (resources/translations/*.ts).
inline constexpr const char* kTextContext = "kelvor";

// True for a text holding CJK characters or full-width punctuation.
bool hasCjk(const QString& text);

// The text as the window shows it: its translation when the catalog has the whole text, otherwise
// each run of CJK characters translated on its own (a caption built from a model name and a word),
// the rest kept as it is. Unchanged when nothing matches.
QString displayText(const QString& text);

// A caption that follows the language: `object` (a widget or an action) remembers its source text
// and shows displayText of it now and after every retranslate() of a window that holds it.
void setCaption(QObject* object, const QString& source);
// Shows every remembered caption below `root` (itself included) in the current language.
void retranslate(QObject* root);

} // namespace kelvor::ui
