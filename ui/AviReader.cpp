#include "ui/AviReader.h"

#include <QtEndian>

#include <algorithm>

#include <cstring>

namespace tw {
namespace {

constexpr int kMaxSide = 4096;
constexpr int kMaxFrames = 100000;

struct Span {
    const char* p = nullptr;
    qsizetype n = 0;
};

quint32 u32(const char* p) {
    return qFromLittleEndian<quint32>(p);
}
qint32 i32(const char* p) {
    return qFromLittleEndian<qint32>(p);
}
quint16 u16(const char* p) {
    return qFromLittleEndian<quint16>(p);
}

// Walks the chunks of a list body; visit(id, body) returns false to stop with a failure.
template <typename Visit> bool forEachChunk(Span list, Visit visit) {
    qsizetype pos = 0;
    while (pos + 8 <= list.n) {
        const quint32 size = u32(list.p + pos + 4);
        if (size > static_cast<quint64>(list.n - pos - 8))
            return false;
        if (!visit(list.p + pos, Span{list.p + pos + 8, static_cast<qsizetype>(size)}))
            return false;
        pos += 8 + size + (size & 1);
    }
    return true;
}

bool isList(const char* id, Span body, const char* type) {
    return std::memcmp(id, "LIST", 4) == 0 && body.n >= 4 && std::memcmp(body.p, type, 4) == 0;
}

Span listBody(Span body) {
    return Span{body.p + 4, body.n - 4};
}

struct Format {
    int width = 0;
    int height = 0; // negative: top row first
    QList<QRgb> palette;
    quint32 usecPerFrame = 0;
    quint32 scale = 0;
    quint32 rate = 0;
    bool video = false;
};

bool readStreamFormat(Span bih, Format& f) {
    if (bih.n < 40)
        return false;
    const quint32 headerSize = u32(bih.p);
    if (headerSize < 40 || headerSize > static_cast<quint64>(bih.n))
        return false;
    f.width = i32(bih.p + 4);
    f.height = i32(bih.p + 8);
    const quint16 bits = u16(bih.p + 14);
    const quint32 compression = u32(bih.p + 16);
    quint32 colours = u32(bih.p + 32);
    if (bits != 8 || compression != 0 || f.width <= 0 || f.width > kMaxSide || f.height == 0 ||
        f.height > kMaxSide || f.height < -kMaxSide)
        return false;
    if (colours == 0 || colours > 256)
        colours = 256;
    const qsizetype available = (bih.n - headerSize) / 4;
    if (available < static_cast<qsizetype>(colours))
        colours = static_cast<quint32>(available);
    if (colours == 0)
        return false;
    const char* quad = bih.p + headerSize;
    f.palette.clear();
    for (quint32 i = 0; i < 256; ++i) {
        if (i < colours) {
            const auto* q = reinterpret_cast<const unsigned char*>(quad + 4 * i);
            f.palette.append(qRgb(q[2], q[1], q[0]));
        } else {
            f.palette.append(qRgb(0, 0, 0));
        }
    }
    return true;
}

bool readHeaders(Span hdrl, Format& f) {
    bool haveStream = false;
    const bool ok = forEachChunk(hdrl, [&](const char* id, Span body) {
        if (std::memcmp(id, "avih", 4) == 0 && body.n >= 4) {
            f.usecPerFrame = u32(body.p);
        } else if (isList(id, body, "strl") && !haveStream) {
            Format s = f;
            bool isVideo = false;
            bool haveFormat = false;
            if (!forEachChunk(listBody(body), [&](const char* sid, Span sbody) {
                    if (std::memcmp(sid, "strh", 4) == 0 && sbody.n >= 32) {
                        isVideo = std::memcmp(sbody.p, "vids", 4) == 0;
                        s.scale = u32(sbody.p + 20);
                        s.rate = u32(sbody.p + 24);
                    } else if (std::memcmp(sid, "strf", 4) == 0) {
                        haveFormat = readStreamFormat(sbody, s);
                    }
                    return true;
                }))
                return false;
            if (isVideo && haveFormat) {
                s.video = true;
                f = s;
                haveStream = true;
            }
        }
        return true;
    });
    return ok && haveStream;
}

QImage decodeFrame(Span body, const Format& f) {
    const int height = f.height < 0 ? -f.height : f.height;
    const qsizetype stride = (static_cast<qsizetype>(f.width) + 3) & ~qsizetype(3);
    if (body.n < stride * height)
        return {};
    QImage image(f.width, height, QImage::Format_Indexed8);
    if (image.isNull())
        return {};
    image.setColorTable(f.palette);
    for (int y = 0; y < height; ++y) {
        const int src = f.height > 0 ? height - 1 - y : y;
        std::memcpy(image.scanLine(y), body.p + stride * src, static_cast<size_t>(f.width));
    }
    return image;
}

// Frames of stream 0: "00db" chunks, directly in movi or inside "rec " lists.
bool readFrames(Span movi, const Format& f, QList<QImage>& frames) {
    return forEachChunk(movi, [&](const char* id, Span body) {
        if (isList(id, body, "rec "))
            return readFrames(listBody(body), f, frames);
        if (std::memcmp(id, "00db", 4) != 0)
            return true;
        if (frames.size() >= kMaxFrames)
            return false;
        QImage frame = decodeFrame(body, f);
        if (frame.isNull())
            return false;
        frames.append(frame);
        return true;
    });
}

} // namespace

AviClip readAviClip(const QByteArray& data) {
    const char* p = data.constData();
    if (data.size() < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "AVI ", 4) != 0)
        return {};
    // A RIFF size beyond the data is a truncated file: read what the data holds.
    const quint64 riffSize = u32(p + 4);
    const qsizetype end =
        static_cast<qsizetype>(std::min<quint64>(riffSize + 8, static_cast<quint64>(data.size())));
    Format format;
    bool haveHeaders = false;
    AviClip clip;
    const bool ok = forEachChunk(Span{p + 12, end - 12}, [&](const char* id, Span body) {
        if (isList(id, body, "hdrl")) {
            haveHeaders = readHeaders(listBody(body), format);
            return haveHeaders;
        }
        if (isList(id, body, "movi")) {
            if (!haveHeaders)
                return false;
            return readFrames(listBody(body), format, clip.frames);
        }
        return true;
    });
    if (!ok || !haveHeaders || clip.frames.isEmpty())
        return {};
    quint64 usec = format.usecPerFrame;
    if (usec == 0 && format.rate != 0)
        usec = static_cast<quint64>(format.scale) * 1000000 / format.rate;
    if (usec == 0)
        usec = 100000;
    clip.frameMs = static_cast<int>(std::clamp<quint64>((usec + 500) / 1000, 10, 10000));
    return clip;
}

} // namespace tw
