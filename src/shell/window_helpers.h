// Dialog, thumbnail and open-with helpers of the windows.
#pragma once

#include "shell/services.h"

#include <QString>

class QWidget;

namespace kalmira {

// Both return the chosen file name without folder, "" when cancelled; on
// success `folder` receives the chosen folder with its trailing separator.
QString ShowOpenDialog(Services &s, QWidget *owner, const QString &title, QString &folder, const QString &fileName,
                       const QString &filter, const QString &defaultExt);
QString ShowSaveDialog(Services &s, QWidget *owner, const QString &title, QString &folder, const QString &fileName,
                       const QString &filter, const QString &defaultExt);

// The folder a dialog for files of `kind` starts in: the one last used for
// them, else `fallback`. RememberFolder keeps a folder as the last used.
QString StartFolder(const Services &s, const QString &kind, const QString &fallback = {});
void RememberFolder(Services &s, const QString &kind, const QString &folder);

void OpenWithApplication(Services &s, const QString &path);

// Thumbnail into the window's "Anzeige1" label inside its "Picture2" frame;
// sets the carrier usable flag. Sizes follow 15 twips per pixel.
void ShowBmpThumbnail(Services &s, QWidget *window, const QString &path);

// The same for KalmiraA's windows, which keep their own flag (the result:
// true when the carrier is usable) and word the out-of-memory message their way.
bool ShowMessageWindowThumbnail(Services &s, QWidget *window, const QString &path);

constexpr int TwipsToPixels(int twips) { return twips / 15; }

} // namespace kalmira
