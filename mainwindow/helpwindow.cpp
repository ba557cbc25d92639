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
    const char *does;
} gestures[] = {
    {"左键拖动（涂鸦 / 橡皮擦）", "涂抹或擦除；单击画一个圆点"},
    {"Shift+拖动（涂鸦 / 橡皮擦）", "套索：松开时填充（涂鸦）或清除（橡皮擦）轮廓内部；Esc 取消"},
    {"按住空格", "抓手：拖动平移，松开后回到原工具"},
    {"左键拖动（移动）", "平移视图"},
    {"右键单击", "在移动和涂鸦之间切换；在橡皮擦中回到之前的模式"},
    {"右键双击", "橡皮擦"},
    {"滚轮", "以指针为中心缩放"},
    {"拖放图片到窗口", "打开该图片"},
};

void addMenu(const QMenu *menu, QList<HelpLine> &lines)
{
    for (const QAction *action : menu->actions()) {
        if (action->menu()) {
            addMenu(action->menu(), lines);
            continue;
        }
        if (action->isSeparator() || action->shortcuts().isEmpty())
            continue;
        QStringList keys;
        for (const QKeySequence &key : action->shortcuts())
            keys << key.toString(QKeySequence::NativeText);
        QString text = action->text();
        text.remove(QLatin1Char('&'));
        lines.append({keys.join(QStringLiteral(", ")), text});
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
    for (const auto &gesture : gestures)
        lines.append({QString::fromUtf8(gesture.keys), QString::fromUtf8(gesture.does)});
    return lines;
}

HelpWindow::HelpWindow(const QList<HelpLine> &lines, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("快捷键与手势"));
    auto *layout = new QVBoxLayout(this);
    auto *table = new QTableWidget(lines.size(), 2, this);
    table->setHorizontalHeaderLabels({QStringLiteral("按键 / 手势"), QStringLiteral("作用")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setWordWrap(true);
    for (int row = 0; row < lines.size(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(lines.at(row).keys));
        table->setItem(row, 1, new QTableWidgetItem(lines.at(row).does));
    }
    table->resizeColumnToContents(0);
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeRowsToContents();
    layout->addWidget(table);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(720, 560);
}
