// The settings-file reader and the two lookup functions.
#include "platform/ProfileFile.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/LastError.h"

namespace {

struct Entry {
    std::string key;
    std::string value;
    bool hasValue = false;
};

struct Section {
    std::string name;
    std::vector<Entry> entries;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

// Reads the whole file; false when it cannot be read (missing, a
// directory, too large).
bool readFile(LPCSTR fileName, std::string& text) {
    std::string path;
    if (fileName == nullptr || PlatformResolvePath(fileName, false, path) != ERROR_SUCCESS) {
        return false;
    }
    FILE* f = std::fopen(path.c_str(), "rbe");
    if (f == nullptr) {
        return false;
    }
    text.clear();
    char chunk[65536];
    bool ok = true;
    for (;;) {
        size_t n = std::fread(chunk, 1, sizeof chunk, f);
        if (n > 0) {
            if (text.size() + n > PROFILE_MAX_FILE_SIZE) {
                ok = false;
                break;
            }
            text.append(chunk, n);
        }
        if (n < sizeof chunk) {
            ok = std::ferror(f) == 0;
            break;
        }
    }
    std::fclose(f);
    return ok;
}

std::vector<Section> parse(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::vector<Section> sections;
    sections.push_back(Section{}); // keys before the first section header
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = trim(line);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            size_t close = line.find(']');
            if (close != std::string_view::npos) {
                sections.push_back(Section{std::string(trim(line.substr(1, close - 1))), {}});
            }
            continue;
        }
        Entry e;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            e.key = std::string(line);
        } else {
            e.key = std::string(trim(line.substr(0, eq)));
            std::string_view value = trim(line.substr(eq + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            e.value = std::string(value);
            e.hasValue = true;
        }
        sections.back().entries.push_back(std::move(e));
    }
    return sections;
}

const Section* findSection(const std::vector<Section>& sections, std::string_view name) {
    name = trim(name);
    for (const Section& s : sections) {
        // The unnamed leading section answers only to "".
        if (&s == &sections.front() ? name.empty() : equalNoCase(s.name, name)) {
            return &s;
        }
    }
    return nullptr;
}

const Entry* findEntry(const Section& section, std::string_view key) {
    key = trim(key);
    for (const Entry& e : section.entries) {
        if (equalNoCase(e.key, key)) {
            return &e;
        }
    }
    return nullptr;
}

// One string with Windows' truncation rule.
DWORD copyString(std::string_view s, LPSTR buffer, DWORD size) {
    if (size == 0 || buffer == nullptr) {
        return 0;
    }
    size_t n = s.size() < size - 1 ? s.size() : size - 1;
    if (n > 0) {
        std::memcpy(buffer, s.data(), n);
    }
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

// A list of names, each terminated, with one more zero at the end; cut to
// fit with two zeros and size - 2 returned, as Windows does.
DWORD copyList(const std::vector<std::string_view>& names, LPSTR buffer, DWORD size) {
    if (size == 0 || buffer == nullptr) {
        return 0;
    }
    std::string list;
    for (std::string_view n : names) {
        list.append(n);
        list.push_back('\0');
    }
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        if (list.empty() && size >= 2) {
            buffer[1] = '\0';
        }
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

} // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName) {
    if (buffer == nullptr && size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string text;
    bool readable = readFile(fileName, text);
    std::vector<Section> sections;
    if (readable) {
        sections = parse(text);
    }

    if (section == nullptr || key == nullptr) {
        std::vector<std::string_view> names;
        if (section == nullptr) {
            for (size_t i = 1; i < sections.size(); ++i) {
                names.push_back(sections[i].name);
            }
        } else if (const Section* s = findSection(sections, section)) {
            for (const Entry& e : s->entries) {
                names.push_back(e.key);
            }
        }
        SetLastError(readable ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        return copyList(names, buffer, size);
    }

    if (const Section* s = findSection(sections, section)) {
        if (const Entry* e = findEntry(*s, key); e != nullptr && e->hasValue) {
            SetLastError(ERROR_SUCCESS);
            return copyString(e->value, buffer, size);
        }
    }
    // The default loses its trailing blanks, as Windows cuts them.
    std::string_view fallback = defaultValue == nullptr ? std::string_view() : std::string_view(defaultValue);
    while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t')) {
        fallback.remove_suffix(1);
    }
    DWORD copied = copyString(fallback, buffer, size);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return copied;
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) {
    if (section == nullptr || key == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<UINT>(defaultValue);
    }
    std::string text;
    if (!readFile(fileName, text)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return static_cast<UINT>(defaultValue);
    }
    std::vector<Section> sections = parse(text);
    const Section* s = findSection(sections, section);
    const Entry* e = s != nullptr ? findEntry(*s, key) : nullptr;
    if (e == nullptr || !e->hasValue || e->value.empty()) {
        SetLastError(e == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
        return static_cast<UINT>(defaultValue);
    }
    SetLastError(ERROR_SUCCESS);
    // A quoted value may still start with blanks; the conversion skips them.
    std::string_view v = trim(e->value);
    bool negative = false;
    if (!v.empty() && (v.front() == '+' || v.front() == '-')) {
        negative = v.front() == '-';
        v.remove_prefix(1);
    }
    // Unsigned arithmetic wraps modulo 2^32 without undefined behaviour.
    uint32_t result = 0;
    for (char c : v) {
        if (c < '0' || c > '9') {
            break;
        }
        result = result * 10u + static_cast<uint32_t>(c - '0');
    }
    return negative ? 0u - result : result;
}
