#include "mainwindow/classpanel.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { NameColumn, KeyColumn, PixelsColumn };

QIcon swatch(const QColor &colour)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

} // namespace

ClassPanel::ClassPanel(QWidget *parent) : QWidget(parent)
{
    tree = new QTreeWidget(this);
    tree->setRootIsDecorated(true);
    tree->setColumnCount(3);
    tree->setHeaderLabels({tr("类别"), tr("键"), tr("像素")});
    tree->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    tree->header()->setSectionResizeMode(KeyColumn, QHeaderView::ResizeToContents);
    tree->header()->setSectionResizeMode(PixelsColumn, QHeaderView::ResizeToContents);
    tree->header()->setStretchLastSection(false);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    // Keys go to the view: 1–9 choose classes wherever the focus is.
    tree->setFocusPolicy(Qt::NoFocus);
    // Small, so the panels beside it keep their room on a small screen.
    tree->setMinimumHeight(22);
    tree->setToolTip(tr("单击选择当前类别或对象；勾选框显示或隐藏它"));

    addButton = new QPushButton(tr("添加…"), this);
    renameButton = new QPushButton(tr("重命名…"), this);
    colourButton = new QPushButton(tr("颜色…"), this);
    // Deleting an object is in its row's menu (right click), so the panel stays small.
    deleteObjectAction = new QAction(tr("删除对象"), tree);
    deleteObjectAction->setToolTip(tr("把选中的对象从掩膜中删除（可撤销）"));
    deleteObjectAction->setEnabled(false);
    tree->addAction(deleteObjectAction);
    tree->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (QPushButton *button : {addButton, renameButton, colourButton})
        button->setFocusPolicy(Qt::NoFocus);
    protect = new QCheckBox(tr("保护其他类别"), this);
    protect->setFocusPolicy(Qt::NoFocus);
    protect->setToolTip(tr("画笔、套索和区域命令只改变背景和当前类别的像素"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(addButton);
    buttons->addWidget(renameButton);
    buttons->addWidget(colourButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(tree);
    layout->addLayout(buttons);
    layout->addWidget(protect);

    // An object's row holds its number; a class's row none.
    connect(tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        if (item->parent())
            emit objectChosen(item->data(NameColumn, Qt::UserRole).toInt());
        else
            emit currentChosen(tree->indexOfTopLevelItem(item) + 1);
    });
    connect(tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int column) {
        if (filling || column != NameColumn)
            return;
        const bool hidden = item->checkState(NameColumn) != Qt::Checked;
        if (item->parent())
            emit objectHiddenChanged(item->data(NameColumn, Qt::UserRole).toInt(), hidden);
        else
            emit hiddenChanged(tree->indexOfTopLevelItem(item) + 1, hidden);
    });
    connect(tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        if (!item->parent())
            emit renameAsked(tree->indexOfTopLevelItem(item) + 1);
    });
    connect(tree, &QTreeWidget::itemSelectionChanged, this,
            [this] { deleteObjectAction->setEnabled(selectedObject() > 0); });
    connect(deleteObjectAction, &QAction::triggered, this, [this] {
        if (selectedObject() > 0)
            emit deleteObjectAsked(selectedObject());
    });
    connect(addButton, &QPushButton::clicked, this, &ClassPanel::addAsked);
    connect(renameButton, &QPushButton::clicked, this, [this] {
        if (selectedNumber() > 0)
            emit renameAsked(selectedNumber());
    });
    connect(colourButton, &QPushButton::clicked, this, [this] {
        if (selectedNumber() > 0)
            emit colourAsked(selectedNumber());
    });
}

// The class chosen, or the class of the object chosen.
int ClassPanel::selectedNumber() const
{
    const QList<QTreeWidgetItem *> chosen = tree->selectedItems();
    if (chosen.isEmpty())
        return 0;
    QTreeWidgetItem *item = chosen.first();
    return tree->indexOfTopLevelItem(item->parent() ? item->parent() : item) + 1;
}

int ClassPanel::selectedObject() const
{
    const QList<QTreeWidgetItem *> chosen = tree->selectedItems();
    return chosen.isEmpty() || !chosen.first()->parent()
               ? 0
               : chosen.first()->data(NameColumn, Qt::UserRole).toInt();
}

void ClassPanel::showObjects(const QVector<ObjectRow> &objects, int current)
{
    filling = true;
    const QLocale locale;
    QVector<QVector<ObjectRow>> byClass(tree->topLevelItemCount());
    bool currentListed = false;
    for (const ObjectRow &row : objects) {
        if (row.classNumber >= 1 && row.classNumber <= byClass.size())
            byClass[row.classNumber - 1].append(row);
        currentListed |= row.number == current;
    }
    // The current object's row stands out instead of its class's.
    if (currentListed)
        tree->clearSelection();
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *parent = tree->topLevelItem(i);
        const QVector<ObjectRow> &rows = byClass.at(i);
        while (parent->childCount() > rows.size())
            delete parent->takeChild(parent->childCount() - 1);
        while (parent->childCount() < rows.size())
            parent->addChild(new QTreeWidgetItem);
        for (int j = 0; j < rows.size(); ++j) {
            QTreeWidgetItem *item = parent->child(j);
            const ObjectRow &row = rows.at(j);
            item->setText(NameColumn, tr("对象 %1").arg(row.number));
            item->setData(NameColumn, Qt::UserRole, row.number);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(NameColumn, row.hidden ? Qt::Unchecked : Qt::Checked);
            item->setText(PixelsColumn, locale.toString(row.pixels));
            item->setTextAlignment(PixelsColumn, Qt::AlignRight | Qt::AlignVCenter);
            QFont font = item->font(NameColumn);
            font.setBold(row.number == current);
            item->setFont(NameColumn, font);
            if (row.number == current)
                item->setSelected(true);
        }
        if (!rows.isEmpty() && !parent->isExpanded())
            parent->setExpanded(true);
    }
    filling = false;
    deleteObjectAction->setEnabled(selectedObject() > 0);
}

void ClassPanel::showClasses(const QStringList &names, const QVector<QColor> &colours,
                             const QVector<bool> &hidden, int current)
{
    filling = true;
    while (tree->topLevelItemCount() > names.size())
        delete tree->takeTopLevelItem(tree->topLevelItemCount() - 1);
    while (tree->topLevelItemCount() < names.size())
        tree->addTopLevelItem(new QTreeWidgetItem);
    for (int i = 0; i < names.size(); ++i) {
        QTreeWidgetItem *item = tree->topLevelItem(i);
        item->setText(NameColumn, names.at(i));
        item->setIcon(NameColumn, swatch(colours.value(i)));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(NameColumn, hidden.value(i) ? Qt::Unchecked : Qt::Checked);
        item->setText(KeyColumn, i < 9 ? QString::number(i + 1) : QString());
        item->setTextAlignment(PixelsColumn, Qt::AlignRight | Qt::AlignVCenter);
        QFont font = item->font(NameColumn);
        font.setBold(i + 1 == current);
        item->setFont(NameColumn, font);
        item->setSelected(i + 1 == current);
    }
    filling = false;
    renameButton->setEnabled(!names.isEmpty());
    colourButton->setEnabled(!names.isEmpty());
}

void ClassPanel::showCounts(const std::array<qint64, 256> *counts)
{
    const QLocale locale;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        tree->topLevelItem(i)->setText(PixelsColumn, counts && i + 1 < 256
                                                         ? locale.toString((*counts)[size_t(i + 1)])
                                                         : QString());
}
