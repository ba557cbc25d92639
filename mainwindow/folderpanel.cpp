#include "mainwindow/folderpanel.h"

#include "folder/picturefolder.h"
#include "mainwindow/windowconstants.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int markSize = 12; // pixels
// Green, but not the pure green of the picture frame.
const QColor doneColour(46, 160, 67);
// A mask file is there but could not be shown.
const QColor unreadColour(214, 120, 0);

QIcon markIcon(bool filled, const QColor &colour = doneColour)
{
    QPixmap pixmap(markSize, markSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (filled) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
    } else {
        painter.setPen(QPen(QColor(150, 150, 150), 1.5));
        painter.setBrush(Qt::NoBrush);
    }
    painter.drawEllipse(QRectF(1.5, 1.5, markSize - 3, markSize - 3));
    painter.end();
    return QIcon(pixmap);
}

} // namespace

FolderPanel::FolderPanel(PictureFolder *folder, ReviewMarks::Keeper *marks, QAction *previous,
                         QAction *next, QWidget *parent)
    : QWidget(parent), folder(folder), marks(marks), done(markIcon(true)), notDone(markIcon(false)),
      unread(markIcon(true, unreadColour))
{
    auto *layout = new QVBoxLayout(this);
    auto *buttons = new QHBoxLayout;
    for (QAction *action : {previous, next}) {
        auto *button = new QToolButton(this);
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        buttons->addWidget(button);
    }
    // The filter sits beside the buttons, so the panel takes no more height than it did.
    onlyFlagged = new QCheckBox(tr("只看需复查"), this);
    onlyFlagged->setToolTip(tr("只列出标记为需复查的图片（F 标记，R 标记为已复查）"));
    connect(onlyFlagged, &QCheckBox::toggled, this, &FolderPanel::applyFilter);
    connect(onlyFlagged, &QCheckBox::toggled, this, &FolderPanel::filterChanged);
    buttons->addWidget(onlyFlagged);
    layout->addLayout(buttons);
    progress = new QLabel(this);
    layout->addWidget(progress);
    list = new QListWidget(this);
    // Thousands of rows of one height lay out without measuring each.
    list->setUniformItemSizes(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(list);

    connect(list, &QListWidget::itemClicked, this, &FolderPanel::onItemClicked);
    connect(folder, &PictureFolder::listChanged, this, &FolderPanel::rebuild);
    connect(marks, &ReviewMarks::Keeper::changed, this, &FolderPanel::showMarks);
    connect(folder, &PictureFolder::maskChanged, this, [this](int index) {
        showMark(index);
        showProgress();
    });
    rebuild();
}

void FolderPanel::rebuild()
{
    // The review file may have changed with the folder: read again off the UI thread, the
    // rows follow when it is read.
    marks->setFolder(folder->folder());
    list->clear();
    for (const FolderEntry &entry : folder->entries()) {
        auto *item = new QListWidgetItem;
        describe(item, entry);
        list->addItem(item);
    }
    showProgress();
    applyFilter();
    setCurrent(current);
}

void FolderPanel::showMarks()
{
    for (int index = 0; index < list->count(); ++index)
        showMark(index);
    applyFilter();
}

ReviewMarks::Mark FolderPanel::markOf(const QString &name) const
{
    return marks->markOf(name);
}

void FolderPanel::applyFilter()
{
    const bool only = onlyFlagged->isChecked();
    for (int index = 0; index < list->count(); ++index)
        list->item(index)->setHidden(only && markOf(folder->entries().at(index).name) !=
                                                 ReviewMarks::Mark::Flagged);
}

void FolderPanel::showMark(int index)
{
    if (QListWidgetItem *item = list->item(index))
        describe(item, folder->entries().at(index));
}

// The row of a picture: its name and mark, and why its mask file is not shown, if it is not.
void FolderPanel::describe(QListWidgetItem *item, const FolderEntry &entry) const
{
    QString problem = MaskFile::unreadText(entry.maskStatus);
    if (problem.isEmpty() && entry.classesDisagreed)
        problem = tr("类别图与掩膜不一致");
    if (problem.isEmpty()) {
        item->setIcon(entry.isDone() ? done : notDone);
        item->setText(folder->shownName(entry));
    } else {
        item->setIcon(entry.classesDisagreed && !MaskFile::isUnread(entry.maskStatus)
                          ? (entry.isDone() ? done : notDone)
                          : unread);
        item->setText(QStringLiteral("%1  %2").arg(folder->shownName(entry), problem));
    }
    const ReviewMarks::Mark mark = markOf(entry.name);
    if (mark != ReviewMarks::Mark::None)
        item->setText(item->text() + QStringLiteral("  ") + WindowConstants::reviewText(mark));
    QStringList tip;
    if (!problem.isEmpty())
        tip << problem;
    if (mark != ReviewMarks::Mark::None)
        tip << WindowConstants::reviewText(mark);
    if (!entry.classes.isEmpty())
        tip << tr("类别：%1").arg(entry.classes.join(tr("、")));
    item->setToolTip(tip.join(QLatin1Char('\n')));
}

void FolderPanel::showProgress()
{
    progress->setText(
        folder->entries().isEmpty()
            ? QString()
            : tr("已完成 %1 / %2").arg(folder->doneCount()).arg(folder->entries().size()));
}

void FolderPanel::setCurrent(const QString &path)
{
    current = path;
    const int index = folder->indexOf(path);
    if (index < 0) {
        list->clearSelection();
        return;
    }
    list->setCurrentRow(index);
    list->scrollToItem(list->item(index));
}

void FolderPanel::onItemClicked(QListWidgetItem *item)
{
    const QString path = folder->pathAt(list->row(item));
    // The window opens it through its question about unsaved changes; whatever the answer,
    // the row of the picture then shown is highlighted again.
    if (!path.isEmpty() && path != current)
        emit pictureChosen(path);
    setCurrent(current);
}
