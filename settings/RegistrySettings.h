#pragma once
// Text values under the program's settings key. On Windows that is the registry key
// HKEY_CURRENT_USER\Software\<application key> with string values; elsewhere the file
// <config folder>/<application key>/<application key>.ini (the config folder is
// $XDG_CONFIG_HOME, usually ~/.config).
//
// Values are byte strings, passed through untouched. Failures are never reported to the user:
// a value that cannot be read is absent, so the reader's default applies. Writing a value
// rewrites only that value's line of the file; the rest stays as the user left it.

#include <cstddef>
#include <string>

class CRegistrySettings {
public:
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
};
