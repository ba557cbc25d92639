// The window's classes: the 类别 panel, keys 1–9, the folder's labels.txt, the colours of the
// classes, and 导出类别图….

#include "mainwindow/mainwindow.h"

#include "document/maskdocument.h"
#include "folder/picturefolder.h"
#include "folder/savetarget.h"
#include "mainwindow/busycursor.h"
#include "mainwindow/classpanel.h"
#include "mainwindow/progress.h"
#include "mainwindow/windowconstants.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QtConcurrent>

using namespace WindowConstants;

namespace {

// How long a notice about classes stays in the status bar, in milliseconds.
constexpr int noticeMs = 8000;

// Distinct, saturated colours that stand out on photographs, for classes without one of
// their own yet.
const QRgb defaultColours[] = {0xe6194b, 0x3cb44b, 0x4363d8, 0xffe119, 0xf58231, 0x911eb4,
                               0x42d4f4, 0xf032e6, 0xbfef45, 0x469990, 0x9a6324, 0x800000};

QString colourKey(const QString &name)
{
    // Any text is a class name; the key is kept free of the separators of settings keys.
    return QStringLiteral("ClassColours/") + QString::fromLatin1(name.toUtf8().toHex());
}

// Why a name can't be a class, or empty when it can.
QString refusedName(const QString &name, const QStringList &names)
{
    if (name.isEmpty())
        return MainWindow::tr("类别名称不能为空。");
    if (name.startsWith(QLatin1Char('#')) || name == QLatin1String("__ignore__") ||
        name == QLatin1String("_background_"))
        return MainWindow::tr("“%1”在 labels.txt 中有特殊含义，不能作为类别名称。").arg(name);
    if (names.contains(name))
        return MainWindow::tr("已有名为“%1”的类别。").arg(name);
    return QString();
}

// Every class name known: the document's (with numbers for classes the list does not name)
// and, past the most the layer holds, the rest of the list, so rewriting it drops none.
QStringList knownNames(const MaskDocument &document, const QStringList &list)
{
    QStringList names = document.hasClasses() ? document.classNames() : list;
    for (int i = names.size(); i < list.size(); ++i)
        names.append(list.at(i));
    return names;
}

} // namespace

QStringList classesPresent(const MaskDocument &document)
{
    QStringList present;
    if (!document.hasClasses())
        return present;
    const QStringList names = document.classNames();
    for (int number = 1; number <= names.size() && number < 256; ++number)
        if (document.classPixels()[size_t(number)] > 0)
            present.append(names.at(number - 1));
    return present;
}

void MainWindow::createClassPanel()
{
    classPanel = new ClassPanel(this);
    classDock = new QDockWidget(tr("类别"), this);
    classDock->setObjectName(QStringLiteral("Classes"));
    classDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    classDock->setWidget(classPanel);
    addDockWidget(Qt::RightDockWidgetArea, classDock);
    splitDockWidget(folderDock, classDock, Qt::Vertical);
    QAction *toggle = classDock->toggleViewAction();
    toggle->setWhatsThis(tr("文件夹的类别（labels.txt）：颜色、按键和当前图片中的像素数"));
    // In 视图, after 图片列表, as the panel is.
    for (QAction *menu : menuBar()->actions())
        if (menu->text() == tr("视图"))
            menu->menu()->insertAction(selectionDock->toggleViewAction(), toggle);

    QSettings settings(organization(), application());
    QCheckBox *protect = classPanel->protectBox();
    protect->setChecked(settings.value(QStringLiteral("ProtectOtherClasses"), false).toBool());
    view->getDocument()->setProtectOthers(protect->isChecked());
    connect(protect, &QCheckBox::toggled, this, [this](bool on) {
        view->getDocument()->setProtectOthers(on);
        QSettings(organization(), application())
            .setValue(QStringLiteral("ProtectOtherClasses"), on);
    });
    connect(classPanel, &ClassPanel::currentChosen, this, &MainWindow::chooseClass);
    connect(classPanel, &ClassPanel::hiddenChanged, this, [this](int number, bool hidden) {
        if (classesHidden.size() < number)
            classesHidden.resize(number);
        classesHidden[number - 1] = hidden;
        showClasses();
    });
    connect(classPanel, &ClassPanel::objectChosen, this, [this](int number) {
        if (!view->isDrawing())
            view->getDocument()->setCurrentObject(number);
    });
    connect(classPanel, &ClassPanel::objectHiddenChanged, this, [this](int number, bool hidden) {
        if (hidden)
            objectsHidden.insert(number);
        else
            objectsHidden.remove(number);
        view->setObjectsHidden(objectsHidden);
    });
    connect(classPanel, &ClassPanel::deleteObjectAsked, this, [this](int number) {
        if (!view->isDrawing())
            view->getDocument()->deleteObject(number);
    });
    connect(classPanel, &ClassPanel::addAsked, this, &MainWindow::addClass);
    connect(classPanel, &ClassPanel::renameAsked, this, &MainWindow::renameClass);
    connect(classPanel, &ClassPanel::colourAsked, this, &MainWindow::changeClassColour);

    // Keys 1–9 choose the first nine classes, from the 掩膜 menu.
    for (QAction *menu : menuBar()->actions())
        if (menu->text() == tr("掩膜")) {
            menu->menu()->addSeparator();
            // N starts an object of the current class; touching objects stay apart.
            newObjectAction = menu->menu()->addAction(tr("新对象"));
            newObjectAction->setShortcut(QKeySequence(Qt::Key_N));
            newObjectAction->setWhatsThis(tr("开始当前类别的一个新对象：下一笔画、套索或魔棒点击画"
                                             "出它，之后的操作都加到它上面"));
            connect(newObjectAction, &QAction::triggered, this, &MainWindow::startObject);
            classMenu = menu->menu()->addMenu(tr("当前类别"));
        }
    for (int number = 1; number <= 9; ++number) {
        QAction *action = classMenu->addAction(tr("类别 %1").arg(number));
        action->setShortcut(QKeySequence(Qt::Key_0 + number));
        action->setWhatsThis(tr("选择第 1–9 个类别作为当前类别"));
        connect(action, &QAction::triggered, this, [this, number] { chooseClass(number); });
        classKeyActions.append(action);
    }

    exportClassesAction = new QAction(tr("导出类别图…"), this);
    exportClassesAction->setWhatsThis(
        tr("把类别图（调色板 PNG，像素值为类别编号，0 为背景）写到任选的文件"));
    connect(exportClassesAction, &QAction::triggered, this, &MainWindow::onExportClasses);
    for (QWidget *menu : saveAsAction->associatedWidgets())
        if (auto *fileMenu = qobject_cast<QMenu *>(menu)) {
            fileMenu->insertAction(previousAction, exportClassesAction);
            addImportCommand(fileMenu, previousAction);
        }

    classLabel = new QLabel(this);
    classLabel->setVisible(false);
    statusBar()->addPermanentWidget(classLabel);

    MaskDocument *document = view->getDocument();
    connect(document, &MaskDocument::classesChanged, this, &MainWindow::showClasses);
    connect(document, &MaskDocument::edited, this, [this] {
        const MaskDocument *shown = view->getDocument();
        // Nothing stays painted unseen: a hidden class that was changed shows again.
        const int current = shown->currentClass();
        if (shown->hasClasses() && current <= classesHidden.size() &&
            classesHidden.at(current - 1)) {
            classesHidden[current - 1] = false;
            showClasses();
        }
        classPanel->showCounts(shown->hasClasses() ? &shown->classPixels() : nullptr);
        showObjects();
    });
    // Objects hidden belong to the picture they were hidden on.
    connect(document, &MaskDocument::loaded, this, [this] {
        objectsHidden.clear();
        view->setObjectsHidden(objectsHidden);
    });
    showClasses();
}

void MainWindow::startObject()
{
    MaskDocument *document = view->getDocument();
    if (view->isDrawing() || document->isNull())
        return;
    if (!document->hasClasses()) {
        statusBar()->showMessage(tr("对象属于类别：请先添加至少两个类别"), noticeMs);
        return;
    }
    if (!document->newObject())
        statusBar()->showMessage(tr("无法新建对象：内存不足或对象编号已用完"), noticeMs);
}

// The objects under their classes in the panel, and the current one in the status bar.
void MainWindow::showObjects()
{
    const MaskDocument *document = view->getDocument();
    QVector<ClassPanel::ObjectRow> rows;
    for (int number : document->objectNumbers())
        rows.append({number, document->classOfObject(number), document->objectPixels(number),
                     objectsHidden.contains(number)});
    classPanel->showObjects(rows, document->currentObject());
    if (document->hasClasses()) {
        QString text =
            tr("类别：%1").arg(document->classNames().value(document->currentClass() - 1));
        if (document->currentObject() > 0)
            text += QStringLiteral("  ") + tr("对象：%1").arg(document->currentObject());
        classLabel->setText(text);
    }
}

// The folder's list of classes, read by the session as a picture of it opens: the window
// says when it can't be read or rewritten.
void MainWindow::showClassListState(PictureSession::ListState state)
{
    const QString path = session->classListPath();
    if (path != shownListPath)
        classesHidden.clear();
    shownListPath = path;
    if (state == PictureSession::ListState::Unreadable)
        statusBar()->showMessage(tr("无法读取类别列表: %1").arg(path), noticeMs);
    else if (state == PictureSession::ListState::NotRewritable)
        statusBar()->showMessage(tr("类别列表不是 UTF-8 文本，只显示不改写: %1").arg(path),
                                 noticeMs);
}

QColor MainWindow::classColour(const QString &name, int number) const
{
    const QVariant kept = QSettings(organization(), application()).value(colourKey(name));
    const QColor colour(kept.toString());
    if (kept.isValid() && colour.isValid())
        return colour;
    constexpr int count = int(sizeof(defaultColours) / sizeof(defaultColours[0]));
    return QColor(defaultColours[(number - 1) % count]);
}

void MainWindow::showClasses()
{
    const MaskDocument *document = view->getDocument();
    const bool classes = document->hasClasses();
    // With one class or none, the panel shows the list as it is and the mask keeps its colour.
    const QStringList names = classes ? document->classNames() : session->classList().names;
    QVector<QColor> colours;
    for (int i = 0; i < names.size(); ++i)
        colours.append(classes ? classColour(names.at(i), i + 1) : view->getMaskColour());
    if (classesHidden.size() < names.size())
        classesHidden.resize(names.size());
    const int current = classes ? document->currentClass() : (names.isEmpty() ? 0 : 1);
    classPanel->showClasses(names, colours, classesHidden, current);
    classPanel->showCounts(classes ? &document->classPixels() : nullptr);
    classPanel->protectBox()->setEnabled(classes);
    view->setClassColours(colours, classesHidden);
    for (int i = 0; i < classKeyActions.size(); ++i)
        classKeyActions.at(i)->setEnabled(classes && i < names.size());
    exportClassesAction->setEnabled(!document->isNull());
    classLabel->setVisible(classes);
    showObjects();
}

void MainWindow::chooseClass(int number)
{
    // Mid-stroke the stroke keeps its class.
    if (view->isDrawing())
        return;
    view->getDocument()->setCurrentClass(number);
}

void MainWindow::addClass()
{
    if (!hasPictureToSave() || !session->mayRewriteClassList())
        return;
    const MaskDocument *document = view->getDocument();
    QStringList names = knownNames(*document, session->classList().names);
    bool ok = false;
    const QString name = QInputDialog::getText(this, tr("添加类别"), tr("类别名称:"),
                                               QLineEdit::Normal, QString(), &ok)
                             .simplified();
    if (!ok)
        return;
    const QString refused = refusedName(name, names);
    if (!refused.isEmpty()) {
        QMessageBox::warning(this, tr("添加类别"), refused);
        return;
    }
    if (names.size() >= MaskDocument::mostClasses) {
        QMessageBox::warning(this, tr("添加类别"),
                             tr("最多 %1 个类别。").arg(MaskDocument::mostClasses));
        return;
    }
    names.append(name);
    if (session->writeClassList(names) && names.size() >= 2)
        chooseClass(names.size());
}

void MainWindow::renameClass(int number)
{
    if (view->isDrawing() || !session->mayRewriteClassList())
        return;
    const MaskDocument *document = view->getDocument();
    QStringList names = knownNames(*document, session->classList().names);
    if (number < 1 || number > names.size())
        return;
    const QString old = names.at(number - 1);
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, tr("重命名类别"), tr("类别名称:"), QLineEdit::Normal, old, &ok)
            .simplified();
    if (!ok || name == old)
        return;
    names.removeAt(number - 1);
    const QString refused = refusedName(name, names);
    if (!refused.isEmpty()) {
        QMessageBox::warning(this, tr("重命名类别"), refused);
        return;
    }
    names.insert(number - 1, name);
    // The class keeps its colour under its new name.
    const QColor colour = classColour(old, number);
    if (session->writeClassList(names)) {
        QSettings(organization(), application()).setValue(colourKey(name), colour.name());
        showClasses();
    }
}

void MainWindow::changeClassColour(int number)
{
    const MaskDocument *document = view->getDocument();
    if (!document->hasClasses()) {
        // One mask: its colour is the mask's.
        onChooseMaskColour();
        showClasses();
        return;
    }
    const QString name = document->classNames().value(number - 1);
    if (name.isEmpty())
        return;
    const QColor colour =
        QColorDialog::getColor(classColour(name, number), this, tr("类别颜色：%1").arg(name));
    if (!colour.isValid())
        return;
    QSettings(organization(), application()).setValue(colourKey(name), colour.name());
    showClasses();
}

void MainWindow::onExportClasses()
{
    if (!hasPictureToSave())
        return;
    const QString imagePath = view->getImagePath();
    QString path = QFileDialog::getSaveFileName(
        this, tr("导出类别图"), ClassFiles::mapPathFor(imagePath), QStringLiteral("PNG (*.png)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().toLower() != QLatin1String("png"))
        path += QStringLiteral(".png");
    AtomicFile::Failure failure = AtomicFile::Failure::None;
    const bool written = session->exportClassMap(path, &failure);
    if (written)
        statusBar()->showMessage(tr("类别图已导出: %1").arg(path), noticeMs);
    else if (failure != AtomicFile::Failure::None)
        showSaveFailure(MaskFile::StoreOutcome::WriteFailed, path, failure);
}
