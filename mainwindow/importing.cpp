// 文件 > 导入标注…: annotations another tool wrote (COCO, YOLO, VOC, labelme) become the masks
// of the folder's pictures, as `velmora import` makes them, with the progress box and 取消.

#include "mainwindow/mainwindow.h"

#include "cli/importer.h"
#include "folder/picturefolder.h"
#include "mainwindow/progress.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtConcurrent>

namespace {

// Asks the format, the source and whether pictures with a mask get new ones. False when the
// user cancelled.
bool askImport(QWidget *parent, Importer::Options &options)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(MainWindow::tr("导入标注"));
    auto *form = new QFormLayout(&dialog);
    auto *format = new QComboBox(&dialog);
    format->addItem(MainWindow::tr("COCO（JSON 文件）"), int(Importer::Format::Coco));
    format->addItem(MainWindow::tr("YOLO 分割（.txt 所在文件夹）"), int(Importer::Format::Yolo));
    format->addItem(MainWindow::tr("VOC（SegmentationClass 所在文件夹）"),
                    int(Importer::Format::Voc));
    format->addItem(MainWindow::tr("labelme（.json 所在文件夹）"), int(Importer::Format::Labelme));
    form->addRow(MainWindow::tr("格式:"), format);
    auto *source = new QLineEdit(&dialog);
    source->setMinimumWidth(360);
    auto *browse = new QPushButton(MainWindow::tr("浏览…"), &dialog);
    auto *row = new QHBoxLayout;
    row->addWidget(source);
    row->addWidget(browse);
    form->addRow(MainWindow::tr("来源:"), row);
    auto *replace = new QCheckBox(
        MainWindow::tr("替换已有掩膜（旧文件先备份到 .velmora-import-backup/）"), &dialog);
    form->addRow(replace);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(MainWindow::tr("导入"));
    buttons->button(QDialogButtonBox::Cancel)->setText(MainWindow::tr("取消"));
    form->addRow(buttons);
    const auto chosen = [format] {
        return Importer::Format(format->currentData().toInt());
    };
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
        const QString start = source->text().isEmpty() ? options.folder : source->text();
        const QString path =
            chosen() == Importer::Format::Coco
                ? QFileDialog::getOpenFileName(&dialog, MainWindow::tr("选择 COCO 文件"), start,
                                               QStringLiteral("JSON (*.json)"))
                : QFileDialog::getExistingDirectory(&dialog, MainWindow::tr("选择标注所在的文件夹"),
                                                    start);
        if (!path.isEmpty())
            source->setText(QDir::toNativeSeparators(path));
    });
    const auto usable = [&] {
        const QFileInfo info(QDir::fromNativeSeparators(source->text()));
        buttons->button(QDialogButtonBox::Ok)
            ->setEnabled(chosen() == Importer::Format::Coco ? info.isFile() : info.isDir());
    };
    QObject::connect(source, &QLineEdit::textChanged, &dialog, usable);
    QObject::connect(format, QOverload<int>::of(&QComboBox::currentIndexChanged), &dialog, usable);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    usable();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    options.format = chosen();
    options.source = QDir::fromNativeSeparators(source->text());
    options.replace = replace->isChecked();
    return true;
}

} // namespace

void MainWindow::addImportCommand(QMenu *fileMenu, QAction *before)
{
    QAction *import = new QAction(tr("导入标注…"), this);
    import->setWhatsThis(
        tr("把其他工具的标注（COCO、YOLO、VOC、labelme）导入为文件夹中图片的掩膜和类别"));
    connect(import, &QAction::triggered, this, &MainWindow::importAnnotations);
    fileMenu->insertAction(before, import);
}

void MainWindow::importAnnotations()
{
    if (view->isDrawing())
        return;
    Importer::Options options;
    options.folder = folder->folder();
    if (options.folder.isEmpty()) {
        QMessageBox::warning(this, tr("导入标注"), tr("先打开要导入标注的图片所在的文件夹。"));
        return;
    }
    // The picture shown may get a new mask: its strokes are saved (or given up) first.
    if (!maybeSave() || !askImport(this, options))
        return;
    const QString shown = view->getImagePath();
    const FileStamp before = MaskFile::stampOf(MaskFile::pathFor(shown));
    const auto cancelled = std::make_shared<std::atomic_bool>(false);
    const QFuture<Importer::Report> work = QtConcurrent::run(
        [options, cancelled] { return Importer::run(options, {}, cancelled.get()); });
    if (!waitShowingProgress(work, this, tr("导入标注"), tr("正在导入标注…"), true))
        cancelled->store(true);
    const Importer::Report report = work.result();
    // The list and the overview follow the new files.
    folder->rescan();
    // What the picture shown has on disk now.
    if (!shown.isEmpty() && MaskFile::stampOf(MaskFile::pathFor(shown)) != before)
        stepToPicture(shown); // the same picture: the view stays where it was
    if (!report.fatal.isEmpty()) {
        QMessageBox::critical(this, tr("导入标注"), report.fatal);
        return;
    }
    QStringList lines = Importer::summaryOf(report);
    if (!report.skipped.isEmpty())
        lines << tr("跳过 %1 项（见详细信息）。").arg(report.skipped.size());
    QMessageBox box(report.skipped.isEmpty() ? QMessageBox::Information : QMessageBox::Warning,
                    tr("导入标注"), lines.join(QLatin1Char('\n')), QMessageBox::Ok, this);
    if (!report.skipped.isEmpty())
        box.setDetailedText(report.skipped.join(QLatin1Char('\n')));
    box.exec();
}
