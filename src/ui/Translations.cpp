#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QTranslator *Translations::own = nullptr;
QTranslator *Translations::qt = nullptr;

bool Translations::install(const QLocale &locale)
{
    remove();
    qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    own = new QTranslator(QCoreApplication::instance());
    const bool loaded =
        own->load(locale, QStringLiteral("orvane-manager"), QStringLiteral("_"), QStringLiteral(":/i18n"));
    if (loaded)
        QCoreApplication::installTranslator(own);
    return loaded;
}

void Translations::remove()
{
    for (QTranslator **translator : {&own, &qt}) {
        if (*translator) {
            QCoreApplication::removeTranslator(*translator);
            delete *translator;
            *translator = nullptr;
        }
    }
}
