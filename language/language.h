#ifndef VELMORA_LANGUAGE_LANGUAGE_H
#define VELMORA_LANGUAGE_LANGUAGE_H

#include <QString>
#include <QStringList>

// Which language the interface speaks. The texts are written in Chinese, the language of
// the source; English comes from a translation built into the program. Qt can't change the
// texts of a window that exists, so a new choice takes effect at the next start.
namespace Language {

enum class Choice { System, Chinese, English };

// The choice as the settings keep it ("system", "zh", "en"); anything else is System.
Choice fromSetting(const QString &value);
QString toSetting(Choice choice);

// Whether the interface speaks English for a choice, given the user's preferred languages
// as QLocale::uiLanguages() lists them. Chinese locales, and the C and POSIX locales that
// say nothing, keep the Chinese texts.
bool speaksEnglish(Choice choice, const QStringList &uiLanguages);

// Installs the English translation into the application, or takes it out again; without it,
// Qt's own Chinese translation, so the toolkit's dialogs speak the interface's language.
void install(bool english);
bool isEnglish();

// Texts that read the same in every language, so anyone can find the way back: the name of
// the submenu, each language's own name, and the note that the choice waits for a restart.
QString menuTitle();
QString nameOf(Choice choice);
QString restartNote();

} // namespace Language

#endif
