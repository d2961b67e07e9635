// TiTemplateFiles: reading the function-block library template files into
// templates of elementary function blocks.
#include "compiler/TiTemplateFiles.h"

#include "base/TiCharUtil.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/HandleTable.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace tplfile {

const char* const kFiles[kFileCount] = {
    "efb_bit.tpl",  "efb_cmp.tpl", "efb_cnt.tpl",  "efb_conv.tpl", "efb_edge.tpl",
    "efb_math.tpl", "efb_mov.tpl", "efb_sel.tpl",  "efb_str.tpl",  "efb_tim.tpl",
    "efb_ctrl.tpl", "efb_comm.tpl", "efb_sys.tpl",
};

} // namespace tplfile

using namespace tplfile;

namespace {

bool Same(const std::string& a, const char* b) {
    return TiStricmp(const_cast<char*>(a.c_str()), const_cast<char*>(b)) == 0 &&
           a.size() == std::strlen(b);
}

// The whole content of a file, or false when it cannot be read. The files
// are small; a file above 16 MiB is taken for no template file.
bool ReadWhole(const std::string& path, std::string& out) {
    constexpr DWORD kMaxFile = 16u * 1024u * 1024u;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    char buf[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, buf, sizeof buf, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        if (out.size() + got > kMaxFile) {
            ok = false;
            break;
        }
        out.append(buf, got);
    }
    CloseHandle(h);
    return ok;
}

} // namespace

void TiTemplateFiles::Clear() {
    templates.clear();
    open = kNone;
    skipped = 0;
}

const TiFBTemplate* TiTemplateFiles::Find(const char* name) const {
    if (name == nullptr) {
        return nullptr;
    }
    for (const TiFBTemplate& t : templates) {
        if (Same(t.name, name)) {
            return &t;
        }
    }
    return nullptr;
}

void TiTemplateFiles::Record(const std::vector<std::string>& f) {
    const std::string& key = f[0];
    if (Same(key, "CL_EFB")) {
        if (f.size() < 2) {
            ++skipped;
            return;
        }
        for (size_t i = 0; i < templates.size(); ++i) {
            if (Same(templates[i].name, f[1].c_str())) {
                templates[i] = TiFBTemplate{f[1], 0, {}};
                open = i;
                return;
            }
        }
        templates.push_back(TiFBTemplate{f[1], 0, {}});
        open = templates.size() - 1;
        return;
    }
    if (Same(key, "FBTK_EFB")) {
        char* end = nullptr;
        long v = f.size() >= 2 ? std::strtol(f[1].c_str(), &end, 10) : 0;
        if (open == kNone || f.size() < 2 || end == f[1].c_str() || *end != '\0' ||
            v < INT32_MIN || v > INT32_MAX) {
            ++skipped;
            return;
        }
        templates[open].token = static_cast<int32_t>(v);
        return;
    }
    uint8_t dir = Same(key, "FP_IO_INPUT")    ? DIR_INPUT
                  : Same(key, "FP_IO_OUTPUT") ? DIR_OUTPUT
                  : Same(key, "FP_IO_INOUT")  ? DIR_INOUT
                                              : 0;
    if (dir == 0 || open == kNone || f.size() < 3) {
        ++skipped;
        return;
    }
    templates[open].params.push_back(TiFBParam{f[1], f[2], dir});
}

int TiTemplateFiles::LoadText(const char* text, size_t length) {
    if (text == nullptr) {
        return 0;
    }
    try {
        size_t pos = 0;
        std::vector<std::string> fields;
        while (pos < length) {
            size_t end = pos;
            while (end < length && text[end] != '\n') {
                ++end;
            }
            // Up to kMaxLine characters of the line count.
            size_t take = end - pos < kMaxLine ? end - pos : kMaxLine;
            std::string line(text + pos, take);
            pos = end < length ? end + 1 : end;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.empty() || line[0] == '/') {
                continue;
            }
            fields.clear();
            size_t i = 0;
            while (i < line.size()) {
                while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
                    ++i;
                }
                size_t start = i;
                while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
                    ++i;
                }
                if (i > start) {
                    fields.emplace_back(line, start, i - start);
                }
            }
            if (!fields.empty()) {
                Record(fields);
            }
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int TiTemplateFiles::Load(const char* root) {
    std::string base;
    try {
        if (root != nullptr) {
            base = root;
        } else {
            char value[512];
            DWORD n = GetEnvironmentVariableA(kRootVariable, value, sizeof value);
            base = n > 0 && n < sizeof value ? value : kDefaultRoot;
        }
        while (!base.empty() && (base.back() == '\\' || base.back() == '/')) {
            base.pop_back();
        }
        int read = 0;
        for (const char* file : kFiles) {
            std::string content;
            if (!ReadWhole(base + kSubPath + file, content)) {
                continue;
            }
            open = kNone; // a template does not run on into the next file
            if (LoadText(content.data(), content.size()) != 0) {
                return -1;
            }
            ++read;
        }
        return read;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}
