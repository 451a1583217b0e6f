#include "settings/RegistrySettings.h"

#include "app/TextUtil.h"

#include <QByteArray>
#include <QIODevice>
#include <QSettings>
#include <QVariant>

#include <memory>

namespace {

#ifndef Q_OS_WIN
// Qt's own INI format changes what it stores: commas split a value into a list, a leading "@"
// is taken as a type tag, ";" starts a comment anywhere, and bytes that are not UTF-8 are lost.
// Our values are byte strings that must come back exactly, and a hand-edited file must read the
// way it looks, so the file uses a plain format of its own:
//   [General]
//   name=value
// The value is the rest of the line with surrounding blanks and one pair of surrounding double
// quotes removed. A backslash introduces \\ \n \r \t or \xHH; before anything else it stands
// for itself. Lines that are not "name=value", "[section]", or a ";"/"#" comment are ignored.

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(const QByteArray& s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QByteArray unescapeValue(const QByteArray& raw) {
    QByteArray text = trimBlanks(raw);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.mid(1, text.size() - 2);
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const char next = text[i + 1];
        if (next == '\\') {
            out += '\\';
            ++i;
        } else if (next == 'n') {
            out += '\n';
            ++i;
        } else if (next == 'r') {
            out += '\r';
            ++i;
        } else if (next == 't') {
            out += '\t';
            ++i;
        } else if (next == 'x' && i + 3 < text.size() && hexValue(text[i + 2]) >= 0 &&
                   hexValue(text[i + 3]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 2]) * 16 + hexValue(text[i + 3]));
            i += 3;
        } else {
            out += c; // a lone backslash stands for itself
        }
    }
    return out;
}

QByteArray escapeValue(const QByteArray& value) {
    static const char digits[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(value.size() + 8);
    const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    for (qsizetype i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        const bool edge = i == 0 || i == value.size() - 1;
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f || (c == ' ' && edge) || (c == '"' && i == 0 && quoted)) {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 0x0f];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

QByteArray valueBytes(const QVariant& v) {
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    return v.toString().toUtf8();
}

bool readPlainIni(QIODevice& device, QSettings::SettingsMap& map) {
    const QByteArray data = device.readAll();
    QByteArray section;
    qsizetype pos = 0;
    while (pos < data.size()) {
        qsizetype end = data.indexOf('\n', pos);
        if (end < 0)
            end = data.size();
        QByteArray line = data.mid(pos, end - pos);
        pos = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        line = trimBlanks(line);
        if (line.isEmpty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const qsizetype close = line.indexOf(']');
            if (close > 0)
                section = trimBlanks(line.mid(1, close - 1));
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray name = trimBlanks(line.left(eq));
        if (name.isEmpty())
            continue;
        QByteArray key = name;
        if (!section.isEmpty() && section != "General")
            key = section + '/' + name;
        map.insert(QString::fromUtf8(key), unescapeValue(line.mid(eq + 1)));
    }
    // A damaged file is read as far as it makes sense; refusing it would let the next write
    // throw away the values that are still good.
    return true;
}

bool writePlainIni(QIODevice& device, const QSettings::SettingsMap& map) {
    QByteArray out;
    QByteArray section = "General";
    bool first = true;
    // Top-level values first, then each section's; the map is sorted, so sections stay together.
    for (int pass = 0; pass < 2; ++pass) {
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            const QByteArray key = it.key().toUtf8();
            const qsizetype slash = key.lastIndexOf('/');
            if ((slash < 0) != (pass == 0))
                continue;
            const QByteArray keySection = slash < 0 ? QByteArray("General") : key.left(slash);
            const QByteArray name = slash < 0 ? key : key.mid(slash + 1);
            if (first || keySection != section) {
                if (!first)
                    out += '\n';
                out += '[' + keySection + "]\n";
                section = keySection;
                first = false;
            }
            out += name + '=' + escapeValue(valueBytes(it.value())) + '\n';
        }
    }
    return device.write(out) == out.size();
}

QSettings::Format plainIniFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readPlainIni, writePlainIni);
    return format;
}
#endif

std::unique_ptr<QSettings> openStore(const std::string& appKey) {
    const QString key = QString::fromUtf8(appKey);
#ifdef Q_OS_WIN
    auto s = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\") + key,
                                         QSettings::NativeFormat);
#else
    auto s = std::make_unique<QSettings>(plainIniFormat(), QSettings::UserScope, key, key);
#endif
    // Only the user's own key counts, never a system-wide one.
    s->setFallbacksEnabled(false);
    return s;
}

// Texts end at their first NUL, as the stored strings always have.
std::string cString(std::string s) {
    const auto nul = s.find('\0');
    if (nul != std::string::npos)
        s.resize(nul);
    return s;
}

} // namespace

bool CRegistrySettings::WriteString(const std::string& appKey, const std::string& name,
                                    const std::string& value) {
    std::string text = cString(value);
    if (text.size() > kMaxWriteLength)
        text.resize(kMaxWriteLength);
    auto store = openStore(appKey);
    if (store->status() != QSettings::NoError)
        return false;
#ifdef Q_OS_WIN
    store->setValue(QString::fromUtf8(name), QString::fromUtf8(text));
#else
    store->setValue(QString::fromUtf8(name), QByteArray::fromStdString(text));
#endif
    store->sync();
    return store->status() == QSettings::NoError;
}

std::string CRegistrySettings::ReadString(const std::string& appKey, const std::string& name) {
    auto store = openStore(appKey);
    const QVariant v = store->value(QString::fromUtf8(name));
    QByteArray bytes;
#ifdef Q_OS_WIN
    if (v.typeId() == QMetaType::QString)
        bytes = v.toString().toUtf8();
    else
        return {}; // missing, or a number, list or binary value rather than text
#else
    if (v.typeId() == QMetaType::QByteArray)
        bytes = v.toByteArray();
    else
        return {}; // missing
#endif
    if (static_cast<std::size_t>(bytes.size()) >= kReadLimit)
        return {};
    std::string text = cString(bytes.toStdString());
    if (text == "-")
        return {};
    return text;
}

int CRegistrySettings::ReadInt(const std::string& appKey, const std::string& name) {
    const std::string text = ReadString(appKey, name);
    if (text.empty())
        return -1;
    return text::LeadingInt(text);
}

std::size_t CRegistrySettings::StoredLength(const std::string& appKey, const std::string& name) {
    const QVariant v = openStore(appKey)->value(QString::fromUtf8(name));
#ifdef Q_OS_WIN
    return v.typeId() == QMetaType::QString ? std::size_t(v.toString().toUtf8().size()) : 0;
#else
    return v.typeId() == QMetaType::QByteArray ? std::size_t(v.toByteArray().size()) : 0;
#endif
}

std::string CRegistrySettings::Location(const std::string& appKey) {
    return openStore(appKey)->fileName().toStdString();
}
