#pragma once
// The program's compiled-in media, found by their resource ids.

#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace tw {

enum ResourceId {
    kProgramIcon = 128,     // program icon (32 x 32 and 16 x 16)
    kCompletionSound = 104, // WAV
    kProgressClip = 105,    // AVI
    kSplashBitmap = 136,    // packed DIB
    kHelpPage = 186,        // HTML
};

// Resource path of id (":/res/..."), or an empty string when the program has no such resource.
QString resourcePath(int id);

// The resource's bytes, referring to the compiled-in data without copying it; empty when
// the resource is missing.
QByteArray resourceData(int id);

// A bitmap resource (a DIB without file header) as a pixmap; null when it cannot be read.
QPixmap resourceBitmap(int id);

// The program icon with all its sizes.
QIcon programIcon();

} // namespace tw
