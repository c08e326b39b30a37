#ifndef TRANSLATIONS_H
#define TRANSLATIONS_H

#include <QLocale>
#include <QString>

class QTranslator;
namespace velqor {
struct Phrase;
}

// The window's texts in the user's language, with Qt's own (its dialogs'
// buttons, the file dialog): the program's translations are compiled in,
// Qt's come from its translations folder.
class Translations {
public:
    // Loads and installs both for locale; false when this program has no
    // translation for it (its English texts stay), whatever Qt has.
    static bool install(const QLocale &locale = QLocale());
    // Removes what install() put in place.
    static void remove();
    // A text of the device layer in the user's language, its values in place.
    static QString phrase(const velqor::Phrase &phrase);

private:
    static QTranslator *own;
    static QTranslator *qt;
};

#endif // TRANSLATIONS_H
