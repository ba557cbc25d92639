#include "language/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// Resources of a static library are registered by hand, outside any namespace.
static void registerTranslations()
{
    Q_INIT_RESOURCE(translations);
}

namespace Language {

namespace {

QTranslator *english = nullptr;

} // namespace

Choice fromSetting(const QString &value)
{
    if (value == QLatin1String("zh"))
        return Choice::Chinese;
    if (value == QLatin1String("en"))
        return Choice::English;
    return Choice::System;
}

QString toSetting(Choice choice)
{
    switch (choice) {
    case Choice::Chinese:
        return QStringLiteral("zh");
    case Choice::English:
        return QStringLiteral("en");
    case Choice::System:
        break;
    }
    return QStringLiteral("system");
}

bool speaksEnglish(Choice choice, const QStringList &uiLanguages)
{
    if (choice != Choice::System)
        return choice == Choice::English;
    if (uiLanguages.isEmpty())
        return false;
    const QLocale preferred(uiLanguages.first());
    return preferred.language() != QLocale::Chinese && preferred.language() != QLocale::C;
}

namespace {

// Qt's own dialogs (files, folders, colours, the buttons of every box) speak Chinese with the
// rest of the interface: the toolkit's translation from the system, where it is installed.
QTranslator *qtChinese = nullptr;

void installQtChinese(bool wanted)
{
    if (wanted == (qtChinese != nullptr))
        return;
    if (!wanted) {
        QCoreApplication::removeTranslator(qtChinese);
        delete qtChinese;
        qtChinese = nullptr;
        return;
    }
    auto *translator = new QTranslator;
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return;
    }
    qtChinese = translator;
}

} // namespace

void install(bool wanted)
{
    installQtChinese(!wanted);
    if (wanted == isEnglish())
        return;
    if (!wanted) {
        QCoreApplication::removeTranslator(english);
        delete english;
        english = nullptr;
        return;
    }
    registerTranslations();
    auto *translator = new QTranslator;
    if (!translator->load(QStringLiteral(":/translations/velmora_en.qm")) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return;
    }
    english = translator;
}

bool isEnglish()
{
    return english != nullptr;
}

QString menuTitle()
{
    return QStringLiteral("语言 / Language");
}

QString nameOf(Choice choice)
{
    switch (choice) {
    case Choice::Chinese:
        return QStringLiteral("中文");
    case Choice::English:
        return QStringLiteral("English");
    case Choice::System:
        break;
    }
    return QStringLiteral("跟随系统 / System");
}

QString restartNote()
{
    return QStringLiteral("界面语言将在重新启动 Velmora 后更改。\n"
                          "The interface's language changes when Velmora starts again.");
}

} // namespace Language
