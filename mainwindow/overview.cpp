#include "mainwindow/overview.h"

#include "folder/picturefolder.h"
#include "mainwindow/windowconstants.h"

#include <QAbstractListModel>
#include <QCache>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QStyledItemDelegate>

namespace {

constexpr int nameHeight = 22;
constexpr int padding = 6;
enum Role { PathRole = Qt::UserRole + 1, EntryRole, ThumbnailRole, TooBigRole };

QSize cellSize()
{
    return Thumbnails::box() + QSize(2 * padding, 2 * padding + nameHeight);
}

} // namespace

// The folder's pictures; a thumbnail is asked for when a cell is drawn without one.
class OverviewModel : public QAbstractListModel
{
public:
    OverviewModel(PictureFolder *folder, Thumbnails::Maker *maker, QObject *parent)
        : QAbstractListModel(parent), folder(folder), maker(maker)
    {
        for (const FolderEntry &entry : folder->entries())
            names << entry.name;
        connect(folder, &PictureFolder::listChanged, this, [this] {
            // The same pictures (a file changed or a mask was saved): every cell is drawn
            // again and asks for its thumbnail, which a changed file's key makes anew, while
            // the grid keeps its place. Other pictures: the grid starts over.
            QStringList now;
            for (const FolderEntry &entry : this->folder->entries())
                now << entry.name;
            if (now == names) {
                // The thumbnails shown stay until their new ones arrive.
                this->maker->clearPending();
                asked.clear();
                fresh.clear();
                if (!names.isEmpty())
                    emit dataChanged(index(0), index(names.size() - 1));
                return;
            }
            beginResetModel();
            names = now;
            forgetAll();
            endResetModel();
        });
        connect(folder, &PictureFolder::maskChanged, this, [this](int index) {
            const QString path = this->folder->pathAt(index);
            fresh.remove(path);
            asked.remove(path);
            emit dataChanged(this->index(index), this->index(index));
        });
        connect(maker, &Thumbnails::Maker::made, this,
                [this](const QString &path, const QImage &thumbnail, bool big) {
                    const int row = this->folder->indexOf(path);
                    if (row < 0 || !asked.remove(path))
                        return;
                    if (big)
                        tooBig.insert(path);
                    else
                        tooBig.remove(path);
                    thumbnails.insert(path, new QImage(thumbnail),
                                      qMax(1, int(thumbnail.sizeInBytes() / 1024)));
                    fresh.insert(path);
                    emit dataChanged(index(row), index(row), {ThumbnailRole});
                });
    }

    void forgetAll()
    {
        maker->clearPending();
        thumbnails.clear();
        asked.clear();
        fresh.clear();
        tooBig.clear();
    }

    void refreshAll()
    {
        beginResetModel();
        forgetAll();
        endResetModel();
    }

    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? 0 : folder->entries().size();
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= folder->entries().size())
            return QVariant();
        const FolderEntry &entry = folder->entries().at(index.row());
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return folder->shownName(entry);
        case PathRole:
            return folder->pathAt(index.row());
        case ThumbnailRole: {
            const QString path = folder->pathAt(index.row());
            const QImage *shown = thumbnails.object(path);
            if ((!shown || !fresh.contains(path)) && !asked.contains(path)) {
                asked.insert(path);
                maker->request(path);
            }
            return shown ? *shown : QImage();
        }
        case TooBigRole:
            return tooBig.contains(folder->pathAt(index.row()));
        default:
            return QVariant();
        }
    }

    PictureFolder *folder;
    Thumbnails::Maker *maker;
    QStringList names; // the pictures the grid shows
    // The thumbnails made, as many as fit in 128 MB (a few screens' worth); those that went
    // come back from the disk cache when their cells are drawn again.
    QCache<QString, QImage> thumbnails{128 * 1024};
    mutable QSet<QString> asked; // requests not answered yet
    QSet<QString> fresh;         // thumbnails made since their files last changed
    QSet<QString> tooBig;        // pictures too big to decode for a thumbnail
};

namespace {

// A cell: the thumbnail (or a placeholder) centred in its box, the name under it, the done
// mark at the top left and the mark of review at the top right.
class CellDelegate : public QStyledItemDelegate
{
public:
    CellDelegate(PictureFolder *folder, Overview::MarkOf markOf, QObject *parent)
        : QStyledItemDelegate(parent), folder(folder), markOf(std::move(markOf))
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return cellSize();
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        painter->save();
        const QRect cell = option.rect.adjusted(2, 2, -2, -2);
        if (option.state & QStyle::State_Selected) {
            painter->setPen(QPen(option.palette.highlight().color(), 3));
            painter->setBrush(option.palette.highlight().color().lighter(170));
            painter->drawRoundedRect(cell, 4, 4);
        }
        const QRect frame(cell.left() + padding - 2, cell.top() + padding - 2,
                          Thumbnails::box().width(), Thumbnails::box().height());
        const QImage thumbnail = index.data(ThumbnailRole).value<QImage>();
        if (thumbnail.isNull()) {
            painter->fillRect(frame, QColor(205, 205, 205));
            if (index.data(TooBigRole).toBool()) {
                painter->setPen(QColor(90, 90, 90));
                painter->drawText(frame.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                                  Overview::tr("图片太大，不生成缩略图"));
            }
        } else {
            const QSize size = thumbnail.size();
            painter->drawImage(QPoint(frame.left() + (frame.width() - size.width()) / 2,
                                      frame.top() + (frame.height() - size.height()) / 2),
                               thumbnail);
        }
        const FolderEntry &entry = folder->entries().at(index.row());
        // The done mark, as the picture list has it.
        const bool unread = MaskFile::isUnread(entry.maskStatus);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(Qt::white, 1.5));
        painter->setBrush(unread           ? QColor(214, 120, 0)
                          : entry.isDone() ? QColor(46, 160, 67)
                                           : QColor(150, 150, 150, 160));
        painter->drawEllipse(QRectF(frame.left() + 4, frame.top() + 4, 12, 12));
        const ReviewMarks::Mark mark = markOf(entry.name);
        if (mark != ReviewMarks::Mark::None) {
            const QString text = WindowConstants::reviewText(mark);
            const QFontMetrics metrics(option.font);
            const QRect badge(frame.right() - metrics.horizontalAdvance(text) - 12, frame.top() + 3,
                              metrics.horizontalAdvance(text) + 8, metrics.height() + 2);
            painter->setPen(Qt::NoPen);
            painter->setBrush(mark == ReviewMarks::Mark::Flagged        ? QColor(200, 40, 40)
                              : mark == ReviewMarks::Mark::Interpolated ? QColor(130, 80, 170)
                                                                        : QColor(40, 110, 200));
            painter->drawRoundedRect(badge, 3, 3);
            painter->setPen(Qt::white);
            painter->drawText(badge, Qt::AlignCenter, text);
        }
        painter->setPen(option.palette.text().color());
        const QRect name(cell.left(), frame.bottom() + 3, cell.width(), nameHeight);
        painter->drawText(name, Qt::AlignHCenter | Qt::AlignVCenter,
                          option.fontMetrics.elidedText(folder->shownName(entry), Qt::ElideMiddle,
                                                        name.width() - 4));
        painter->restore();
    }

private:
    PictureFolder *folder;
    Overview::MarkOf markOf;
};

} // namespace

Overview::Overview(PictureFolder *folder, MarkOf markOf, QWidget *parent)
    : QListView(parent), folder(folder), thumbnails(new Thumbnails::Maker(this)),
      markOf(std::move(markOf))
{
    cells = new OverviewModel(folder, thumbnails, this);
    setModel(cells);
    setItemDelegate(new CellDelegate(folder, this->markOf, this));
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setGridSize(cellSize());
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(cellSize().height() / 3);
    setWordWrap(false);
    connect(this, &QListView::doubleClicked, this, [this](const QModelIndex &index) {
        emit openRequested(index.data(PathRole).toString());
    });
    connect(folder, &PictureFolder::listChanged, this, &Overview::applyFilter);
}

Overview::~Overview()
{
    thumbnails->clearPending();
    thumbnails->waitForDone();
}

void Overview::setColours(const Thumbnails::Colours &colours)
{
    if (colours == thumbnails->colours())
        return;
    thumbnails->setColours(colours);
    cells->refreshAll();
    applyFilter();
}

void Overview::showCurrent(const QString &path)
{
    const int row = folder->indexOf(path);
    if (row < 0)
        return;
    setCurrentIndex(cells->index(row));
    scrollTo(cells->index(row), QAbstractItemView::PositionAtCenter);
}

QString Overview::currentPath() const
{
    return currentIndex().isValid() ? currentIndex().data(PathRole).toString() : QString();
}

void Overview::setOnlyFlagged(bool only)
{
    onlyFlagged = only;
    applyFilter();
}

void Overview::marksChanged()
{
    applyFilter();
    viewport()->update();
}

void Overview::applyFilter()
{
    const QVector<FolderEntry> &entries = folder->entries();
    for (int row = 0; row < entries.size(); ++row)
        setRowHidden(row,
                     onlyFlagged && markOf(entries.at(row).name) != ReviewMarks::Mark::Flagged);
}

// The grid's own keys come before the window's shortcuts: Page Down scrolls the grid rather
// than opening the next picture behind it, and a letter jumps to a name rather than changing
// the editor's tool. G, F and R stay the window's: back, and the marks of review.
bool Overview::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool plain =
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        const int code = key->key();
        const bool navigation =
            code == Qt::Key_PageUp || code == Qt::Key_PageDown || code == Qt::Key_Home ||
            code == Qt::Key_End || code == Qt::Key_Left || code == Qt::Key_Right ||
            code == Qt::Key_Up || code == Qt::Key_Down || code == Qt::Key_Return ||
            code == Qt::Key_Enter || code == Qt::Key_Space;
        const bool windowKey = code == Qt::Key_G || code == Qt::Key_F || code == Qt::Key_R;
        // Nor does a change to the mask reach the picture hidden behind the grid.
        const bool changesMask =
            key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            (key->modifiers() == Qt::ControlModifier && (code == Qt::Key_Y || code == Qt::Key_I));
        const bool printable = !key->text().isEmpty() && key->text().at(0).isPrint();
        if (changesMask || (plain && (navigation || (!windowKey && printable)))) {
            event->accept();
            return true;
        }
    }
    return QListView::event(event);
}

void Overview::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (currentIndex().isValid())
            emit openRequested(currentPath());
        event->accept();
        return;
    case Qt::Key_Escape:
        emit closeRequested();
        event->accept();
        return;
    default:
        QListView::keyPressEvent(event);
    }
}
