// 掩膜 > 补全中间帧: masks filled in between keyframes of the folder's sequence, with the
// progress box and 取消, each filled frame marked 插值 in the folder's review file.

#include "mainwindow/mainwindow.h"

#include "files/classfiles.h"
#include "folder/picturefolder.h"
#include "mainwindow/progress.h"
#include "sequence/fillbetween.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>
#include <QtConcurrent>

namespace {

constexpr int noticeMs = 8000;

} // namespace

void MainWindow::addFillCommand(QMenu *maskMenu)
{
    QAction *fill = maskMenu->addAction(tr("补全中间帧"));
    fill->setWhatsThis(tr("文件夹中两张有掩膜的帧之间、还没有掩膜的帧，各得到一个掩膜：随运动移动，"
                          "从一张关键帧的形状过渡到另一张的，并贴合边缘；这些帧标记为插值"));
    connect(fill, &QAction::triggered, this, &MainWindow::fillBetweenKeyframes);
}

void MainWindow::fillBetweenKeyframes()
{
    if (view->isDrawing())
        return;
    if (folder->folder().isEmpty()) {
        QMessageBox::warning(this, tr("补全中间帧"), tr("先打开一个图片序列所在的文件夹。"));
        return;
    }
    // The picture shown may be one to fill: its strokes are saved (or given up) first.
    if (!maybeSave())
        return;
    QStringList pictures;
    QVector<bool> hasMask;
    for (int index = 0; index < folder->entries().size(); ++index) {
        const QString path = folder->pathAt(index);
        pictures << path;
        // A class map alone is work too: such a frame is a keyframe, never filled.
        hasMask << (folder->entries().at(index).isDone() ||
                    QFileInfo::exists(MaskFile::pathFor(path)) ||
                    QFileInfo::exists(ClassFiles::mapPathFor(path)));
    }
    const QVector<FillBetween::Gap> gaps = FillBetween::gapsOf(hasMask);
    if (gaps.isEmpty()) {
        statusBar()->showMessage(tr("没有可补全的帧：需要两张有掩膜的帧，且它们之间的帧没有掩膜"),
                                 noticeMs);
        return;
    }
    const QString shown = view->getImagePath();
    const auto cancelled = std::make_shared<std::atomic_bool>(false);
    const QFuture<FillBetween::Report> work = QtConcurrent::run([pictures, gaps, cancelled] {
        return FillBetween::fill(pictures, gaps, {}, cancelled.get());
    });
    int frames = 0;
    for (const FillBetween::Gap &gap : gaps)
        frames += gap.frames();
    if (!waitShowingProgress(work, this, tr("补全中间帧"), tr("正在补全 %1 帧…").arg(frames), true))
        cancelled->store(true);
    const FillBetween::Report report = work.result();
    for (const QString &path : report.filled)
        reviewMarks->set(QFileInfo(path).fileName(), ReviewMarks::Mark::Interpolated);
    // The list and the overview follow the new files; the picture shown shows its own.
    folder->rescan();
    if (report.filled.contains(shown))
        stepToPicture(shown);
    QString summary = report.cancelled
                          ? tr("已取消；取消前补全了 %1 帧，标记为插值。").arg(report.filled.size())
                          : tr("已补全 %1 帧，标记为插值。").arg(report.filled.size());
    if (report.problems.isEmpty()) {
        statusBar()->showMessage(summary, noticeMs);
        return;
    }
    QMessageBox box(QMessageBox::Warning, tr("补全中间帧"),
                    summary + QLatin1Char('\n') +
                        tr("%1 处没有补全（见详细信息）。").arg(report.problems.size()),
                    QMessageBox::Ok, this);
    box.setDetailedText(report.problems.join(QLatin1Char('\n')));
    box.exec();
}
