#include "settings/RegistrySettings.h"

#include "base/TextUtil.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QVariant>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <memory>
#include <optional>
#include <vector>

namespace {

#ifndef Q_OS_WIN
// How long a write waits for another writer of the same file.
constexpr int kLockWaitMs = 5000;

// Qt's own INI format changes what it stores: commas split a value into a list, a leading "@"
// is taken as a type tag, ";" starts a comment anywhere, and bytes that are not UTF-8 are lost.
// Our values are byte strings that must come back exactly, and a hand-edited file must read the
// way it looks, so the file uses a plain format of its own:
//   [General]
//   name=value
// The value is the rest of the line with surrounding blanks and one pair of surrounding double
// quotes removed. A backslash introduces \\ \n \r \t or \xHH; before anything else it stands
// for itself. Lines that are not "name=value", "[section]", or a ";"/"#" comment are ignored.
// A write changes only the line of the value it sets (or adds one); comments, blank lines,
// values of other programs' versions and the user's own lines stay where they are.

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

// One line of the file as written, and what the reader makes of it.
struct IniLine {
    enum Kind { Other, Section, Value };
    QByteArray text;       // without its line end
    QByteArray end;        // "\n", "\r\n", or nothing on a last line without one
    Kind kind = Other;     // Other: blank, comment, or a line the reader ignores
    QByteArray section;    // the section the line is in; a header's own name
    QByteArray key;        // Value: the name the value is read by ("section/name" outside General)
    qsizetype valueAt = 0; // Value: where the value starts in text (after "=" and blanks)
};

bool isTopLevel(const QByteArray& section) {
    return section.isEmpty() || section == "General";
}

QByteArray keyOf(const QByteArray& section, const QByteArray& name) {
    return isTopLevel(section) ? name : section + '/' + name;
}

// Hands each line of data to visit in order. With valuesOnly, only the lines that set a value
// and the section headers are made and handed over: reading values passes over comments at the
// cost of a scan.
template <typename Visit>
void forEachIniLine(const QByteArray& data, bool valuesOnly, Visit&& visit) {
    QByteArray section;
    qsizetype pos = 0;
    const char* bytes = data.constData();
    while (pos < data.size()) {
        qsizetype lf = data.indexOf('\n', pos);
        const qsizetype next = lf < 0 ? data.size() : lf + 1;
        if (valuesOnly) {
            qsizetype first = pos;
            while (first < next && isBlank(bytes[first]))
                ++first;
            const qsizetype rest = next - first;
            const char c = rest > 0 ? bytes[first] : '\n';
            const bool blank = c == '\n' || (c == '\r' && (rest == 1 || bytes[first + 1] == '\n'));
            if (blank || c == ';' || c == '#') {
                pos = next;
                continue;
            }
        }
        IniLine line;
        if (lf < 0) {
            line.text = data.mid(pos);
        } else {
            line.text = data.mid(pos, lf - pos);
            line.end = "\n";
        }
        pos = next;
        if (line.text.endsWith('\r')) {
            line.text.chop(1);
            line.end.prepend('\r');
        }
        const QByteArray trimmed = trimBlanks(line.text);
        line.section = section;
        if (trimmed.isEmpty() || trimmed.front() == ';' || trimmed.front() == '#') {
            // a comment or a blank line
        } else if (trimmed.front() == '[') {
            const qsizetype close = trimmed.indexOf(']');
            if (close > 0) {
                section = trimBlanks(trimmed.mid(1, close - 1));
                line.kind = IniLine::Section;
                line.section = section;
            }
        } else {
            const qsizetype eq = trimmed.indexOf('=');
            const QByteArray name = eq > 0 ? trimBlanks(trimmed.left(eq)) : QByteArray();
            if (!name.isEmpty()) {
                line.kind = IniLine::Value;
                line.key = keyOf(section, name);
                qsizetype at = line.text.indexOf('=') + 1;
                while (at < line.text.size() && isBlank(line.text[at]))
                    ++at;
                line.valueAt = at;
            }
        }
        visit(std::move(line));
    }
}

std::vector<IniLine> parseIni(const QByteArray& data) {
    std::vector<IniLine> lines;
    forEachIniLine(data, false, [&lines](IniLine&& line) { lines.push_back(std::move(line)); });
    return lines;
}

// The value a reader gets for key: the last line that sets it wins.
std::optional<QByteArray> findValue(const std::vector<IniLine>& lines, const QByteArray& key) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->kind == IniLine::Value && it->key == key)
            return unescapeValue(it->text.mid(it->valueAt));
    }
    return std::nullopt;
}

// Where a new value of section goes: among the section's values in name order (files written
// by earlier versions are sorted), else after its last value, so comments and blank lines that
// close the section stay last. -1 when the file has no such section.
qsizetype insertionPoint(const std::vector<IniLine>& lines, const QByteArray& section,
                         const QByteArray& name) {
    const bool topLevel = isTopLevel(section);
    auto inSection = [&](const IniLine& l) {
        return topLevel ? isTopLevel(l.section) : l.section == section;
    };
    // The last region of the section: from its header (or the top of the file) to the next
    // header. Lines above the first header count only when they hold a value.
    qsizetype regionStart = -1;
    qsizetype regionEnd = -1;
    qsizetype i = 0;
    const qsizetype count = qsizetype(lines.size());
    while (i < count) {
        qsizetype next = i + (lines[i].kind == IniLine::Section ? 1 : 0);
        while (next < count && lines[next].kind != IniLine::Section)
            ++next;
        const bool headed = lines[i].kind == IniLine::Section;
        bool counts = inSection(lines[i]);
        if (counts && !headed) {
            counts = false;
            for (qsizetype j = i; j < next; ++j)
                counts = counts || lines[j].kind == IniLine::Value;
        }
        if (counts) {
            regionStart = i;
            regionEnd = next;
        }
        i = next;
    }
    if (regionStart < 0)
        return -1;
    qsizetype after = lines[regionStart].kind == IniLine::Section ? regionStart + 1 : regionStart;
    for (qsizetype j = regionStart; j < regionEnd; ++j) {
        if (lines[j].kind != IniLine::Value)
            continue;
        const QByteArray lineName = lines[j].key.mid(lines[j].key.lastIndexOf('/') + 1);
        if (name < lineName)
            return j;
        after = j + 1;
    }
    return after;
}

// A name that reads back as itself: one that is not blank-edged, holds no "=" or line break and
// does not start like a comment or a section.
bool writableName(const QByteArray& name) {
    return !name.isEmpty() && trimBlanks(name) == name && !name.contains('=') &&
           !name.contains('\n') && !name.contains('\r') && name.front() != ';' &&
           name.front() != '#' && name.front() != '[';
}

QByteArray lineEndOf(const std::vector<IniLine>& lines) {
    for (const IniLine& l : lines) {
        if (!l.end.isEmpty())
            return l.end;
    }
    return "\n";
}

// Sets name (possibly "section/name") to value in the file's lines: every line that sets it
// gets the new value and keeps everything before it; a new value gets a line of its own.
// False when nothing changes.
bool setValue(std::vector<IniLine>& lines, const QByteArray& fullName, const QByteArray& value) {
    const qsizetype slash = fullName.lastIndexOf('/');
    const QByteArray section = slash < 0 ? QByteArray("General") : fullName.left(slash);
    const QByteArray name = slash < 0 ? fullName : fullName.mid(slash + 1);
    const QByteArray key = keyOf(section, name);
    const std::optional<QByteArray> current = findValue(lines, key);
    if (current && *current == value)
        return false;
    const QByteArray escaped = escapeValue(value);
    if (current) {
        for (IniLine& l : lines) {
            if (l.kind == IniLine::Value && l.key == key)
                l.text = l.text.left(l.valueAt) + escaped;
        }
        return true;
    }

    const QByteArray lineEnd = lineEndOf(lines);
    IniLine line;
    line.text = name + '=' + escaped;
    line.end = lineEnd;
    line.kind = IniLine::Value;
    line.key = key;
    std::vector<IniLine> added;
    qsizetype at = insertionPoint(lines, section, name);
    if (at >= 0) {
        added.push_back(line);
    } else {
        // A section of its own: the top-level values go above the first section.
        IniLine header;
        header.text = '[' + section + ']';
        header.end = lineEnd;
        header.kind = IniLine::Section;
        added.push_back(header);
        added.push_back(line);
        at = qsizetype(lines.size());
        if (isTopLevel(section)) {
            for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
                if (lines[i].kind == IniLine::Section) {
                    at = i;
                    IniLine blank;
                    blank.end = lineEnd;
                    added.push_back(blank);
                    break;
                }
            }
        }
    }
    if (at > 0 && lines[at - 1].end.isEmpty())
        lines[at - 1].end = lineEnd; // the old last line had no line end
    lines.insert(lines.begin() + at, added.begin(), added.end());
    return true;
}

QByteArray joinLines(const std::vector<IniLine>& lines) {
    QByteArray out;
    for (const IniLine& l : lines)
        out += l.text + l.end;
    return out;
}

enum class FileRead { Read, Missing, Refused, Failed };

// The whole file; nothing for a file that does not exist. Refused, with the reason, when it is
// not a regular file or is larger than kMaxFileSize: a pipe with no writer or a link to an
// endless device must neither hold the program up nor fill its memory. Failed when it exists
// but cannot be read, so that a write never replaces what it could not see.
// With onlyCheck, the file is opened and looked at but not read.
FileRead readFile(const QString& path, QByteArray& data, std::string* reason = nullptr,
                  bool onlyCheck = false) {
    data.clear();
    const QByteArray native = QFile::encodeName(path);
    // Not blocking, so that opening a pipe returns at once; fstat then turns it away.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return FileRead::Missing;
        if (reason)
            *reason = std::strerror(errno);
        return FileRead::Failed;
    }
    const auto refused = [&](const char* why) {
        ::close(fd);
        data.clear();
        if (reason)
            *reason = why;
        return FileRead::Refused;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        if (reason)
            *reason = std::strerror(err);
        return FileRead::Failed;
    }
    if (!S_ISREG(st.st_mode))
        return refused("it is not a regular file");
    constexpr std::size_t kMax = CRegistrySettings::kMaxFileSize;
    if (std::size_t(st.st_size) > kMax)
        return refused("it is larger than 1 MiB");
    if (onlyCheck) {
        ::close(fd);
        return FileRead::Read;
    }
    // At most one byte past the limit, whatever the size said: the file may be growing.
    data.resize(qsizetype(kMax + 1));
    std::size_t got = 0;
    while (got < kMax + 1) {
        const ssize_t n = ::read(fd, data.data() + got, kMax + 1 - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            data.clear();
            if (reason)
                *reason = std::strerror(err);
            return FileRead::Failed;
        }
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    if (got > kMax)
        return refused("it is larger than 1 MiB");
    ::close(fd);
    data.resize(qsizetype(got));
    return FileRead::Read;
}

// Resolves the file name the way QSettings does for the user's own settings, without reading
// the file for it: QSettings reads its files when it is made, which would wait on a pipe or
// take in an endless device. It is asked for a file beside ours that is never there.
QString settingsFilePath(const QString& appKey) {
    static const QSettings::Format pathOnly = QSettings::registerFormat(
        QStringLiteral("ini"), [](QIODevice&, QSettings::SettingsMap&) { return true; },
        [](QIODevice&, const QSettings::SettingsMap&) { return false; });
    const QString beside =
        QSettings(pathOnly, QSettings::UserScope, appKey, QStringLiteral(".tallowick-path"))
            .fileName();
    return QFileInfo(beside).path() + QLatin1Char('/') + appKey + QStringLiteral(".ini");
}
#endif

#ifdef Q_OS_WIN
std::unique_ptr<QSettings> openStore(const std::string& appKey) {
    auto s = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\") +
                                             QString::fromUtf8(appKey),
                                         QSettings::NativeFormat);
    // Only the user's own key counts, never a system-wide one.
    s->setFallbacksEnabled(false);
    return s;
}
#endif

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
    m_cache.reset();
#ifdef Q_OS_WIN
    auto store = openStore(appKey);
    if (store->status() != QSettings::NoError)
        return false;
    store->setValue(QString::fromUtf8(name), QString::fromUtf8(text));
    store->sync();
    return store->status() == QSettings::NoError;
#else
    if (!writableName(QByteArray::fromStdString(name.substr(name.rfind('/') + 1))))
        return false;
    const QString path = settingsFilePath(QString::fromUtf8(appKey));
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    // One writer at a time, across processes too; a lock left by a dead process is taken over.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        return false;
    QByteArray data;
    const FileRead read = readFile(path, data);
    if (read == FileRead::Refused || read == FileRead::Failed)
        return false;
    // Only the line of the value changes: comments, blank lines, other values and lines of
    // every other kind stay as the user wrote them.
    std::vector<IniLine> lines = parseIni(data);
    if (!setValue(lines, QByteArray::fromStdString(name), QByteArray::fromStdString(text)))
        return true;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The file holds the result services' keys: only its owner may read it, however it was made
    // or changed before.
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        file.cancelWriting();
        return false;
    }
    const QByteArray out = joinLines(lines);
    if (file.write(out) != out.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
#endif
}

#ifndef Q_OS_WIN
namespace {
// Every value of the file: the last line that sets a name wins.
std::unordered_map<std::string, std::string> fileValues(const QString& path) {
    std::unordered_map<std::string, std::string> values;
    QByteArray data;
    if (readFile(path, data) != FileRead::Read)
        return values;
    forEachIniLine(data, true, [&values](IniLine&& line) {
        if (line.kind == IniLine::Value)
            values[line.key.toStdString()] =
                unescapeValue(line.text.mid(line.valueAt)).toStdString();
    });
    return values;
}
} // namespace
#endif

// The stored bytes of a text value, as they are; nullopt when missing or not text.
std::optional<std::string> CRegistrySettings::storedBytes(const std::string& appKey,
                                                          const std::string& name) {
#ifdef Q_OS_WIN
    const QVariant v = openStore(appKey)->value(QString::fromUtf8(name));
    if (v.typeId() == QMetaType::QString)
        return v.toString().toUtf8().toStdString();
    return std::nullopt; // missing, or a number, list or binary value rather than text
#else
    if (!m_cache || m_cachedKey != appKey) {
        m_cache = fileValues(settingsFilePath(QString::fromUtf8(appKey)));
        m_cachedKey = appKey;
    }
    const auto it = m_cache->find(name);
    if (it == m_cache->end())
        return std::nullopt;
    return it->second;
#endif
}

std::string CRegistrySettings::ReadString(const std::string& appKey, const std::string& name) {
    const std::optional<std::string> bytes = storedBytes(appKey, name);
    if (!bytes || bytes->size() >= kReadLimit)
        return {};
    std::string text = cString(*bytes);
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
    const std::optional<std::string> bytes = storedBytes(appKey, name);
    return bytes ? bytes->size() : 0;
}

std::string CRegistrySettings::Location(const std::string& appKey) {
#ifdef Q_OS_WIN
    return openStore(appKey)->fileName().toStdString();
#else
    return settingsFilePath(QString::fromUtf8(appKey)).toStdString();
#endif
}

bool CRegistrySettings::CheckStore(const std::string& appKey, std::string* error) {
#ifdef Q_OS_WIN
    (void)appKey;
    (void)error;
    return true;
#else
    const QString path = settingsFilePath(QString::fromUtf8(appKey));
    QByteArray data;
    std::string reason;
    if (readFile(path, data, &reason, true) != FileRead::Refused)
        return true;
    if (error)
        *error = "The settings file \"" + path.toStdString() + "\" is not read: " + reason +
                 " (replace it with a smaller file or remove it).";
    return false;
#endif
}
