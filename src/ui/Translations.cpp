#include "Translations.h"

#include "Phrase.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QTranslator *Translations::own = nullptr;
QTranslator *Translations::qt = nullptr;

bool Translations::install(const QLocale &locale)
{
    remove();
    qt = new QTranslator(QCoreApplication::instance());
    // Qt's own where Qt keeps them (Debian), else beside the program (the
    // Windows folder).
    for (const QString &folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                  QCoreApplication::applicationDirPath() + QStringLiteral("/translations")}) {
        if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(qt);
            break;
        }
    }
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

QString Translations::phrase(const velqor::Phrase &phrase)
{
    const QString source = QCoreApplication::translate("velqor", phrase.source);
    return QString::fromStdString(velqor::Phrase::Fill(source.toStdString(), phrase.args));
}
