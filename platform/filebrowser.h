#ifndef VELMORA_PLATFORM_FILEBROWSER_H
#define VELMORA_PLATFORM_FILEBROWSER_H

#include <QString>

namespace Platform {

// Opens the system file browser with `filePath` selected, or at least its folder shown.
// Starts it detached and never waits for it; every failure is silent.
void showInFileBrowser(const QString &filePath);

} // namespace Platform

#endif
