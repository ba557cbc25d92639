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

// Why a mask file beside a picture is not shown, as the status bar and the picture list say it.
inline QString unreadMaskText(MaskFile::ReadStatus status)
{
    QString reason;
    switch (status) {
    case MaskFile::ReadStatus::OtherSize:
        reason = QCoreApplication::translate("MaskStatus", "尺寸不符");
        break;
    case MaskFile::ReadStatus::Undecodable:
        reason = QCoreApplication::translate("MaskStatus", "无法解码");
        break;
    case MaskFile::ReadStatus::NoMemory:
        reason = QCoreApplication::translate("MaskStatus", "内存不足");
        break;
    case MaskFile::ReadStatus::NotRegular:
        reason = QCoreApplication::translate("MaskStatus", "不是普通文件");
        break;
    case MaskFile::ReadStatus::Picture:
        reason = QCoreApplication::translate("MaskStatus", "它就是图片本身");
        break;
    case MaskFile::ReadStatus::Absent:
    case MaskFile::ReadStatus::Read:
        return QString();
    }
    return QCoreApplication::translate("MaskStatus", "掩膜文件未能读取（%1）").arg(reason);
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
