#pragma once
// Reads the frames of an AVI clip made of uncompressed 8-bit DIB frames (one video stream,
// palette in the stream format), the kind the program's progress animation is.

#include <QByteArray>
#include <QImage>
#include <QList>

namespace tw {

struct AviClip {
    QList<QImage> frames; // 8-bit indexed images with the clip's palette, top row first
    int frameMs = 0;      // time per frame in milliseconds
    bool isValid() const { return !frames.isEmpty() && frameMs > 0; }
};

// Returns an empty clip for anything it cannot read completely.
AviClip readAviClip(const QByteArray& data);

} // namespace tw
