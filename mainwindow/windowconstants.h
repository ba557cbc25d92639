#ifndef VELMORA_MAINWINDOW_WINDOWCONSTANTS_H
#define VELMORA_MAINWINDOW_WINDOWCONSTANTS_H

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

} // namespace WindowConstants

#endif
