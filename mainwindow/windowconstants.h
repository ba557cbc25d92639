#ifndef VELMORA_MAINWINDOW_WINDOWCONSTANTS_H
#define VELMORA_MAINWINDOW_WINDOWCONSTANTS_H

#include "files/maskfile.h"
#include "folder/reviewmarks.h"

#include <QCoreApplication>
#include <QString>

// What the window's source files share.
namespace WindowConstants {

constexpr int minToolSize = 1;
constexpr int maxToolSize = 120;
inline QString appTitle()
{
    return QStringLiteral("QtVelmora v2.0");
}
// The per-user settings store: organisation and application.
inline QString organization()
{
    return QStringLiteral("Ostrenza");
}
inline QString application()
{
    return QStringLiteral("Velmora");
}

// A mark of review as the picture list and the status bar say it.
inline QString reviewText(ReviewMarks::Mark mark)
{
    switch (mark) {
    case ReviewMarks::Mark::Flagged:
        return QCoreApplication::translate("Review", "需复查");
    case ReviewMarks::Mark::Reviewed:
        return QCoreApplication::translate("Review", "已复查");
    case ReviewMarks::Mark::Interpolated:
        return QCoreApplication::translate("Review", "插值");
    case ReviewMarks::Mark::None:
        break;
    }
    return QString();
}

} // namespace WindowConstants

#endif
