// 视图 > 总览 (G): the folder's pictures as a grid of thumbnails in the view's place. Enter or
// a double click opens a picture in the editor; G or Esc goes back.

#include "mainwindow/mainwindow.h"

#include "folder/picturefolder.h"
#include "mainwindow/folderpanel.h"
#include "mainwindow/overview.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QStatusBar>

void MainWindow::createOverview(QMenu *viewMenu)
{
    overview = new Overview(
        folder, [this](const QString &name) { return reviewMarks->markOf(name); }, centralWidget());
    centralWidget()->layout()->addWidget(overview);
    overview->hide();
    overviewAction = viewMenu->addAction(tr("总览"));
    overviewAction->setWhatsThis(tr("文件夹中所有图片的缩略图和掩膜；方向键和滚轮移动，回车或双击"
                                    "打开，F 和 R 标记复查，G 或 Esc 返回"));
    overviewAction->setShortcut(QKeySequence(Qt::Key_G));
    connect(overviewAction, &QAction::triggered, this,
            [this] { showOverview(!overview->isVisible()); });
    connect(overview, &Overview::closeRequested, this, [this] { showOverview(false); });
    connect(overview, &Overview::openRequested, this, [this](const QString &path) {
        if (path != view->getImagePath())
            openPicture(path);
        if (view->getImagePath() == path)
            showOverview(false);
    });
    connect(folderPanel, &FolderPanel::filterChanged, overview, &Overview::setOnlyFlagged);
}

void MainWindow::showOverview(bool shown)
{
    if (shown == overview->isVisible())
        return;
    if (!shown) {
        overview->hide();
        view->show();
        view->setFocus();
        return;
    }
    if (view->isDrawing())
        return;
    if (folder->entries().isEmpty()) {
        statusBar()->showMessage(tr("总览显示文件夹中的图片：先打开一张图片或一个文件夹"), 5000);
        return;
    }
    overview->setColours(thumbnailColours());
    view->hide();
    overview->show();
    overview->setFocus();
    overview->showCurrent(view->getImagePath());
}

// The mask's colour, or each class's, as the view shows them at half strength.
Thumbnails::Colours MainWindow::thumbnailColours() const
{
    const auto halfOf = [](QColor colour) {
        colour.setAlpha(140);
        return colour.rgba();
    };
    Thumbnails::Colours colours{0};
    if (session->classList().names.size() >= 2) {
        for (int i = 0; i < session->classList().names.size(); ++i)
            colours.append(halfOf(classColour(session->classList().names.at(i), i + 1)));
    } else {
        colours.append(halfOf(view->getMaskColour()));
    }
    return colours;
}
