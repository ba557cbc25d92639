#include "mainwindow/helpwindow.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// What the pointer and held keys do; no menu holds them.
const struct
{
    const char *keys;
    const char *command;
    const char *does;
} gestures[] = {
    {QT_TRANSLATE_NOOP("HelpWindow", "左键拖动（涂鸦 / 橡皮擦）"),
     QT_TRANSLATE_NOOP("HelpWindow", "笔画"),
     QT_TRANSLATE_NOOP("HelpWindow", "涂抹或擦除；单击画一个圆点")},
    {QT_TRANSLATE_NOOP("HelpWindow", "Shift+拖动（涂鸦 / 橡皮擦）"),
     QT_TRANSLATE_NOOP("HelpWindow", "套索"),
     QT_TRANSLATE_NOOP("HelpWindow", "松开时填充（涂鸦）或清除（橡皮擦）轮廓内部；Esc 取消")},
    {QT_TRANSLATE_NOOP("HelpWindow", "Ctrl+Shift+拖动（涂鸦 / 橡皮擦 / 移动）"),
     QT_TRANSLATE_NOOP("HelpWindow", "贴边套索"),
     QT_TRANSLATE_NOOP("HelpWindow",
                       "松开时把轮廓围住的对象贴着边缘填充（涂鸦、移动）或清除（橡皮擦）；"
                       "找不到对象时按普通套索；Esc 取消")},
    {QT_TRANSLATE_NOOP("HelpWindow", "Ctrl+单击（涂鸦 / 橡皮擦 / 移动）"),
     QT_TRANSLATE_NOOP("HelpWindow", "魔棒"),
     QT_TRANSLATE_NOOP("HelpWindow",
                       "加入（涂鸦、移动）或去掉（橡皮擦）与单击处颜色相近的相连区域；"
                       "按住向右拖动增大容差（每 4 像素加 1），向左减小；Esc 取消")},
    {QT_TRANSLATE_NOOP("HelpWindow", "Alt+单击"), QT_TRANSLATE_NOOP("HelpWindow", "选取对象"),
     QT_TRANSLATE_NOOP(
         "HelpWindow",
         "选取指针下的对象作为当前对象，它的类别成为当前类别；没有对象处取消当前对象")},
    {QT_TRANSLATE_NOOP("HelpWindow", "按住空格（涂鸦 / 橡皮擦）"),
     QT_TRANSLATE_NOOP("HelpWindow", "抓手"),
     QT_TRANSLATE_NOOP("HelpWindow", "拖动平移，松开后回到原工具")},
    {QT_TRANSLATE_NOOP("HelpWindow", "左键拖动（移动）"), QT_TRANSLATE_NOOP("HelpWindow", "平移"),
     QT_TRANSLATE_NOOP("HelpWindow", "平移视图")},
    {QT_TRANSLATE_NOOP("HelpWindow", "右键单击"), QT_TRANSLATE_NOOP("HelpWindow", "切换工具"),
     QT_TRANSLATE_NOOP("HelpWindow", "在移动和涂鸦之间切换；在橡皮擦中回到之前的模式")},
    {QT_TRANSLATE_NOOP("HelpWindow", "右键双击"), QT_TRANSLATE_NOOP("HelpWindow", "橡皮擦"),
     QT_TRANSLATE_NOOP("HelpWindow", "切换到橡皮擦")},
    {QT_TRANSLATE_NOOP("HelpWindow", "滚轮"), QT_TRANSLATE_NOOP("HelpWindow", "缩放"),
     QT_TRANSLATE_NOOP("HelpWindow", "以指针为中心缩放")},
    {QT_TRANSLATE_NOOP("HelpWindow", "拖放图片到窗口"), QT_TRANSLATE_NOOP("HelpWindow", "打开"),
     QT_TRANSLATE_NOOP("HelpWindow", "打开该图片")},
};

QString withoutMnemonic(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// A command's keys, or the menu to find it in.
QString keysOf(const QAction *action, const QMenu *menu)
{
    QStringList keys;
    for (const QKeySequence &key : action->shortcuts())
        keys << key.toString(QKeySequence::NativeText);
    if (keys.isEmpty())
        return HelpWindow::tr("菜单 %1").arg(withoutMnemonic(menu->title()));
    return keys.join(QStringLiteral(", "));
}

// A submenu that says what it is for is one command; others are read item by item.
void addMenu(const QMenu *menu, QList<HelpLine> &lines)
{
    for (const QAction *action : menu->actions()) {
        if (action->isSeparator())
            continue;
        if (action->menu() && action->whatsThis().isEmpty()) {
            addMenu(action->menu(), lines);
            continue;
        }
        lines.append({keysOf(action, menu), withoutMnemonic(action->text()), action->whatsThis()});
    }
}

} // namespace

QList<HelpLine> helpLines(const QMenuBar *menus)
{
    QList<HelpLine> lines;
    for (const QAction *top : menus->actions()) {
        if (top->menu())
            addMenu(top->menu(), lines);
    }
    for (const auto &gesture : gestures) {
        lines.append({HelpWindow::tr(gesture.keys), HelpWindow::tr(gesture.command),
                      HelpWindow::tr(gesture.does)});
    }
    return lines;
}

HelpWindow::HelpWindow(const QList<HelpLine> &lines, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("快捷键与手势"));
    auto *layout = new QVBoxLayout(this);
    auto *table = new QTableWidget(lines.size(), 3, this);
    table->setHorizontalHeaderLabels({tr("按键 / 手势"), tr("命令"), tr("作用")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setWordWrap(true);
    for (int row = 0; row < lines.size(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(lines.at(row).keys));
        table->setItem(row, 1, new QTableWidgetItem(lines.at(row).command));
        table->setItem(row, 2, new QTableWidgetItem(lines.at(row).does));
    }
    // A table to read, not to edit: no cell takes the focus.
    table->setFocusPolicy(Qt::NoFocus);
    table->resizeColumnToContents(0);
    table->resizeColumnToContents(1);
    table->horizontalHeader()->setStretchLastSection(true);
    // The wrapped descriptions take their height from the width the last column gets.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(table);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(tr("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(860, 600);
}
