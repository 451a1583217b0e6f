#pragma once
// Text values under the program's settings key. On Windows that is the registry key
// HKEY_CURRENT_USER\Software\<application key> with string values; elsewhere the file
// <config folder>/<application key>/<application key>.ini (the config folder is
// $XDG_CONFIG_HOME, usually ~/.config).
//
// Values are byte strings, passed through untouched. Failures are not reported to the user (but
// for a refused file, see CheckStore): a value that cannot be read is absent, so the reader's
// default applies. Writing a value
// rewrites only that value's line of the file; the rest stays as the user left it.

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>

class CRegistrySettings {
public:
    // A settings file larger than this, or one that is not a regular file (a pipe, a device, a
    // folder), is refused: none of its values is read and nothing is written to it.
    static constexpr std::size_t kMaxFileSize = std::size_t(1) << 20;

    // The longest value text that WriteString stores; longer texts are cut.
    static constexpr std::size_t kMaxWriteLength = 9999;
    // A stored value this long or longer does not fit the reader's buffer: it reads as absent.
    static constexpr std::size_t kReadLimit = 1000;

    // Stores value (up to its first NUL, at most kMaxWriteLength bytes). True when the store
    // could be opened or created and written.
    bool WriteString(const std::string& appKey, const std::string& name, const std::string& value);

    // The stored text, or "" when it is missing, unreadable, too long, not text, or exactly "-".
    std::string ReadString(const std::string& appKey, const std::string& name);

    // -1 when ReadString gives "", otherwise the decimal number at the start of the text
    // (no digits give 0).
    int ReadInt(const std::string& appKey, const std::string& name);

    // The stored value's length in bytes, whatever ReadString makes of it; 0 when missing.
    std::size_t StoredLength(const std::string& appKey, const std::string& name);

    // Where the values of appKey are kept: the file path, or the registry path on Windows.
    static std::string Location(const std::string& appKey);

    // False, with a message for the user naming the file, when the settings file of appKey is
    // refused (see kMaxFileSize); true when it is fine or missing. Never blocks.
    static bool CheckStore(const std::string& appKey, std::string* error);

private:
    std::optional<std::string> storedBytes(const std::string& appKey, const std::string& name);

    // The file's values, read by the first read of this object (one read per load, however
    // many values it asks for) and dropped by its next write.
    std::string m_cachedKey;
    std::optional<std::unordered_map<std::string, std::string>> m_cache;
};
