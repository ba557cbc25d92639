// The interface in English and in Chinese: the choice of language, every text of the window
// and its boxes, the translation file, and the README's table of keys, which is the help.

#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include "language/language.h"
#include "mainwindow/helpwindow.h"
#include "mainwindow/windowconstants.h"

#include <QAbstractButton>
#include <QAction>
#include <QDirIterator>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolBar>
#include <QXmlStreamReader>

#include <QtTest>

namespace {

const QString sourceDir = QStringLiteral(VELMORA_SOURCE_DIR);

bool hasChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}"
                                                       "\\x{ff00}-\\x{ffef}]"));
    return han.match(text).hasMatch();
}

// Texts that read the same in every language, so the way back is found in either.
bool isBilingual(const QString &text)
{
    using Language::Choice;
    return text == Language::menuTitle() || text == Language::nameOf(Choice::System) ||
           text == Language::nameOf(Choice::Chinese) || text == Language::restartNote();
}

// Every text the window shows or can show without a box: actions, menus, controls, panels,
// the help, and the reasons a mask file is not shown.
QStringList textsOf(MainWindow &window)
{
    QStringList texts{window.windowTitle()};
    for (const QAction *action : window.findChildren<QAction *>())
        texts << action->text() << action->toolTip() << action->whatsThis() << action->statusTip();
    for (const QMenu *menu : window.findChildren<QMenu *>())
        texts << menu->title();
    for (const QLabel *label : window.findChildren<QLabel *>())
        texts << label->text() << label->toolTip();
    for (const QAbstractButton *button : window.findChildren<QAbstractButton *>())
        texts << button->text() << button->toolTip();
    for (const QDockWidget *dock : window.findChildren<QDockWidget *>())
        texts << dock->windowTitle();
    for (const QToolBar *bar : window.findChildren<QToolBar *>())
        texts << bar->windowTitle();
    for (const HelpLine &line : helpLines(window.menuBar()))
        texts << line.keys << line.command << line.does;
    for (const auto status : {MaskFile::ReadStatus::OtherSize, MaskFile::ReadStatus::Undecodable,
                              MaskFile::ReadStatus::NoMemory, MaskFile::ReadStatus::NotRegular})
        texts << MaskFile::unreadText(status);
    HelpWindow help(helpLines(window.menuBar()), &window);
    texts << help.windowTitle();
    for (const QAbstractButton *button : help.findChildren<QAbstractButton *>())
        texts << button->text();
    return texts;
}

// The window's texts in each tool, with a picture open.
QStringList textsInEveryMode(const QString &picture)
{
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
    if (!showNewWindow(window, probe))
        return {};
    QStringList texts = textsOf(*window);
    window->openPicture(picture);
    texts << textsOf(*window);
    for (const EditorMode mode : {EditorMode::Doodle, EditorMode::Eraser, EditorMode::Move}) {
        probe->view()->setMode(mode);
        texts << textsOf(*window);
    }
    return texts;
}

QString markdownRow(const QStringList &cells)
{
    return QStringLiteral("| %1 |\n").arg(cells.join(QStringLiteral(" | ")));
}

// The README's table: the English help, each command with its Chinese name beside it.
QString keysTable(const QList<HelpLine> &english, const QList<HelpLine> &chinese)
{
    QString table = markdownRow({QStringLiteral("Keys or gesture"), QStringLiteral("Command"),
                                 QStringLiteral("What it does")}) +
                    QStringLiteral("|---|---|---|\n");
    for (int i = 0; i < english.size(); ++i) {
        const HelpLine &line = english.at(i);
        const QString &name = chinese.at(i).command;
        table += markdownRow(
            {line.keys,
             name == line.command ? name : QStringLiteral("%1 (%2)").arg(line.command, name),
             line.does});
    }
    return table;
}

QList<HelpLine> helpOfNewWindow()
{
    MainWindow window;
    return helpLines(window.menuBar());
}

QStringList placeholders(const QString &text)
{
    static const QRegularExpression marker(QStringLiteral("%\\d"));
    QStringList found;
    auto matches = marker.globalMatch(text);
    while (matches.hasNext())
        found << matches.next().captured();
    found.sort();
    return found;
}

// The string literals of a C++ source with the code just before each, comments left out.
struct Literal
{
    QString text;
    QString before;
};

QList<Literal> literalsOf(const QString &source)
{
    QList<Literal> literals;
    QString code; // the source so far, without comments and literals
    for (int i = 0; i < source.size(); ++i) {
        const QChar c = source.at(i);
        if (c == QLatin1Char('/') && source.mid(i, 2) == QLatin1String("//")) {
            i = source.indexOf(QLatin1Char('\n'), i);
            if (i < 0)
                break;
        } else if (c == QLatin1Char('/') && source.mid(i, 2) == QLatin1String("/*")) {
            i = source.indexOf(QLatin1String("*/"), i) + 1;
            if (i <= 0)
                break;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            int end = i + 1;
            while (end < source.size() && source.at(end) != c)
                end += source.at(end) == QLatin1Char('\\') ? 2 : 1;
            if (c == QLatin1Char('"'))
                literals.append({source.mid(i + 1, end - i - 1), code});
            code += QStringLiteral("\"\"");
            i = end;
        } else {
            code += c;
        }
    }
    return literals;
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { Language::install(false); }

    void theSystemOrTheChoiceDecides_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QStringList>("uiLanguages");
        QTest::addColumn<bool>("english");
        const QString system = QStringLiteral("system");
        QTest::newRow("zh-CN") << system << QStringList{"zh-CN", "en-US"} << false;
        QTest::newRow("zh-TW") << system << QStringList{"zh-TW"} << false;
        QTest::newRow("zh-Hans-SG") << system << QStringList{"zh-Hans-SG"} << false;
        QTest::newRow("C locale") << system << QStringList{"C"} << false;
        QTest::newRow("POSIX locale") << system << QStringList{"POSIX"} << false;
        QTest::newRow("nothing known") << system << QStringList{} << false;
        QTest::newRow("en-US") << system << QStringList{"en-US", "zh-CN"} << true;
        QTest::newRow("de-DE") << system << QStringList{"de-DE"} << true;
        QTest::newRow("ja-JP") << system << QStringList{"ja-JP"} << true;
        QTest::newRow("unknown setting") << "klingon" << QStringList{"de"} << true;
        QTest::newRow("Chinese chosen") << "zh" << QStringList{"en-GB"} << false;
        QTest::newRow("English chosen") << "en" << QStringList{"zh-CN"} << true;
        QTest::newRow("English over C") << "en" << QStringList{"C"} << true;
    }
    void theSystemOrTheChoiceDecides()
    {
        QFETCH(QString, setting);
        QFETCH(QStringList, uiLanguages);
        QFETCH(bool, english);
        const Language::Choice choice = Language::fromSetting(setting);
        QCOMPARE(Language::speaksEnglish(choice, uiLanguages), english);
        if (setting == QLatin1String("klingon"))
            QCOMPARE(Language::toSetting(choice), QStringLiteral("system"));
        else
            QCOMPARE(Language::toSetting(choice), setting);
    }

    void everyTextIsEnglishAndChineseComesBack()
    {
        QTemporaryDir dir;
        const QString picture = dir.filePath(QStringLiteral("leaf.png"));
        QVERIFY(TestSupport::makePicture(60, 40).save(picture));
        const QStringList chinese = textsInEveryMode(picture);
        QVERIFY(chinese.contains(QStringLiteral("打开图片")));

        Language::install(true);
        QVERIFY(Language::isEnglish());
        const QStringList english = textsInEveryMode(picture);
        QCOMPARE(english.size(), chinese.size());
        for (const QString &text : english)
            QVERIFY2(!hasChinese(text) || isBilingual(text), qPrintable(text));
        QVERIFY(english.contains(QStringLiteral("Open…")));
        QVERIFY(english.contains(QStringLiteral("Loaded: %1").arg(picture)));

        Language::install(false);
        QCOMPARE(textsInEveryMode(picture), chinese);
    }

    void boxesSpeakEnglish()
    {
        Language::install(true);
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("a.png"));
        const QString second = dir.filePath(QStringLiteral("b.png"));
        QVERIFY(TestSupport::makePicture(60, 40).save(first));
        QVERIFY(TestSupport::makePicture(60, 40).save(second));
        std::unique_ptr<MainWindow> window;
        std::unique_ptr<MainWindowProbe> probe;
        QVERIFY(showNewWindow(window, probe));

        TestSupport::BoxAnswerer answers({QMessageBox::Ok, QMessageBox::Cancel});
        probe->saveMask(); // no picture yet
        window->openPicture(first);
        probe->view()->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*probe->view(), QPointF(20, 20), QPointF(30, 20));
        window->openPicture(second); // unsaved strokes: the question, cancelled
        QCOMPARE(probe->view()->getImagePath(), first);

        QCOMPARE(answers.seen.size(), 2);
        QCOMPARE(answers.seen.at(0).text, QStringLiteral("Please open a picture first."));
        QCOMPARE(answers.seen.at(1).title, QStringLiteral("Save changes"));
        QCOMPARE(answers.seen.at(1).buttonTexts.size(), 3);
        for (const TestSupport::SeenBox &box : answers.seen) {
            for (const QString &text : QStringList{box.title, box.text} + box.buttonTexts)
                QVERIFY2(!hasChinese(text), qPrintable(text));
        }
    }

    // Qt's own dialogs and buttons speak the interface's language too.
    void qtsOwnButtonsSpeakTheInterfacesLanguage_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<bool>("chineseButtons");
        QTest::newRow("中文") << false << true;
        QTest::newRow("English") << true << false;
    }
    void qtsOwnButtonsSpeakTheInterfacesLanguage()
    {
        QFETCH(bool, english);
        QFETCH(bool, chineseButtons);
        Language::install(english);
        QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("t"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        for (QAbstractButton *button : box.buttons())
            QVERIFY2(hasChinese(button->text()) == chineseButtons, qPrintable(button->text()));
    }

    // New texts reach the translation file, and every one of them is translated.
    void translationFileIsCompleteAndCurrent()
    {
        QTemporaryDir dir;
        const QString ts = dir.filePath(QStringLiteral("velmora_en.ts"));
        QVERIFY(QFile::copy(sourceDir + QStringLiteral("/translations/velmora_en.ts"), ts));
        QProcess lupdate;
        lupdate.setWorkingDirectory(sourceDir);
        lupdate.start(QStringLiteral(VELMORA_LUPDATE),
                      {"-I", ".", "-locations", "none", "-no-obsolete", "-source-language", "zh_CN",
                       "-target-language", "en", "app", "mainwindow", "editor", "folder",
                       "recovery", "platform", "language", "-ts", ts});
        QVERIFY(lupdate.waitForFinished(60000));
        QCOMPARE(lupdate.exitCode(), 0);

        QFile file(ts);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QString source;
        int messages = 0;
        QStringList faults;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation")) {
                ++messages;
                const bool unfinished = xml.attributes().hasAttribute(QLatin1String("type"));
                const QString translation = xml.readElementText();
                if (unfinished || translation.isEmpty() || hasChinese(translation) ||
                    placeholders(translation) != placeholders(source))
                    faults << source;
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(messages > 150);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    // A Chinese text that bypasses tr() would stay Chinese in the English interface.
    void everyChineseTextGoesThroughTheTranslation()
    {
        static const QRegularExpression translating(
            QStringLiteral("(\\btr|QT_TR_NOOP)\\(\\s*$|"
                           "(\\btranslate|QT_TRANSLATE_NOOP)\\(\\s*\"\"\\s*,\\s*$"));
        QStringList faults;
        int checked = 0;
        for (const char *folder :
             {"app", "mainwindow", "editor", "folder", "recovery", "platform"}) {
            QDirIterator files(sourceDir + QLatin1Char('/') + QLatin1String(folder),
                               {"*.cpp", "*.h"}, QDir::Files);
            while (files.hasNext()) {
                QFile file(files.next());
                QVERIFY(file.open(QIODevice::ReadOnly));
                for (const Literal &literal : literalsOf(QString::fromUtf8(file.readAll()))) {
                    if (!hasChinese(literal.text))
                        continue;
                    ++checked;
                    // Literals written one after another are one text.
                    QString before = literal.before;
                    while (before.trimmed().endsWith(QLatin1String("\"\"")))
                        before = before.trimmed().chopped(2);
                    if (!translating.match(before).hasMatch())
                        faults << file.fileName() + QStringLiteral(": ") + literal.text;
                }
            }
        }
        QVERIFY(checked > 150);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    // The README's table of keys is the help, in English with the Chinese names, so the two
    // cannot drift apart. On a difference the table to paste is written beside the test.
    void readmeTableIsTheHelp()
    {
        const QList<HelpLine> chinese = helpOfNewWindow();
        Language::install(true);
        const QList<HelpLine> english = helpOfNewWindow();
        QCOMPARE(english.size(), chinese.size());
        const QString table = keysTable(english, chinese);

        QFile readmeFile(sourceDir + QStringLiteral("/README.md"));
        QVERIFY(readmeFile.open(QIODevice::ReadOnly));
        const QString readme = QString::fromUtf8(readmeFile.readAll());
        const QString begin = QStringLiteral("<!-- keys table: begin -->\n");
        const int from = readme.indexOf(begin) + begin.size();
        const int to = readme.indexOf(QStringLiteral("<!-- keys table: end -->"));
        QVERIFY(from >= begin.size() && to >= from);
        if (readme.mid(from, to - from) != table) {
            QFile expected(QStringLiteral("keys-table.md"));
            QVERIFY(expected.open(QIODevice::WriteOnly));
            expected.write(table.toUtf8());
            QFAIL(qPrintable(QStringLiteral("The README's table of keys is out of date: "
                                            "scripts/update-readme-keys.sh puts %1 in it")
                                 .arg(QFileInfo(expected).absoluteFilePath())));
        }
    }
};

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
