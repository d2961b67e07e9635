// TiTemplateFiles: the reader of the function-block library template files
// that describe the elementary function blocks of the controller's runtime
// library, for the template library (Library) and the encoder.
//
// Decisions (the file names, the record grammar and what the records become
// are this library's own):
// - The 13 files are looked for below <root>\run\lib, where <root> is the
//   value of the environment variable "QDRSRC", else "k:\src" (a path that
//   names nothing unless the platform maps the drive). A file that is
//   missing or cannot be read is skipped; Load answers how many were read.
// - Lines are taken up to 500 characters; the rest of a longer line is
//   skipped. A line whose first character is '/' is a comment, as is an
//   empty line. Fields are separated by blanks and tabs.
// - Records: "CL_EFB <name>" opens the template of an elementary function
//   block; "FBTK_EFB <number>" gives the open template its operation number;
//   "FP_IO_INPUT <name> <type>", "FP_IO_OUTPUT <name> <type>" and
//   "FP_IO_INOUT <name> <type>" add a parameter to it. A record with a
//   missing field, a parameter or number before any CL_EFB, and a record of
//   any other keyword are counted as skipped and do not stop the reading.
// - A template of a name read before (compared without regard to case)
//   replaces the earlier one.
// - The templates are the least that the encoder needs to call a block: its
//   name, operation number and parameters with their types as text; they do
//   not become symbol records here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// One parameter of an elementary function block.
struct TiFBParam {
    std::string name;
    std::string type;  ///< the type's name as written
    uint8_t direction; ///< tplfile::DIR_INPUT, DIR_OUTPUT or DIR_INOUT
};

/// The template of one elementary function block.
struct TiFBTemplate {
    std::string name;
    int32_t token = 0; ///< operation number (FBTK_EFB), 0 when none was given
    std::vector<TiFBParam> params;
};

namespace tplfile {

constexpr uint8_t DIR_INPUT = 1;
constexpr uint8_t DIR_OUTPUT = 2;
constexpr uint8_t DIR_INOUT = 3;

/// Longest line taken; the rest of a longer line is skipped.
constexpr size_t kMaxLine = 500;
/// Number of template files.
constexpr size_t kFileCount = 13;
/// The template files, looked for below <root>\run\lib.
extern const char* const kFiles[kFileCount];
/// Environment variable naming the root, and the root without it.
constexpr const char* kRootVariable = "QDRSRC";
constexpr const char* kDefaultRoot = "k:\\src";
constexpr const char* kSubPath = "\\run\\lib\\";

} // namespace tplfile

/// The templates read from the template files.
class TiTemplateFiles {
public:
    TiTemplateFiles() = default;

    /// Reads the template files below `root` (null: from "QDRSRC", else
    /// "k:\src"). Returns the number of files read (0 ... 13); -1 when out
    /// of memory (what was read stays).
    int Load(const char* root);
    /// Reads the records of one file's text (for Load and for hosts that
    /// bring their own). 0, or -1 when out of memory.
    int LoadText(const char* text, size_t length);

    /// The template of `name` (without regard to case), or null.
    const TiFBTemplate* Find(const char* name) const;
    /// Number of templates.
    size_t Count() const { return templates.size(); }
    /// Records skipped so far (malformed, misplaced or of unknown keywords).
    size_t Skipped() const { return skipped; }
    /// Removes every template.
    void Clear();

private:
    void Record(const std::vector<std::string>& fields);

    std::vector<TiFBTemplate> templates;
    size_t open = kNone; // index of the template the parameter records go to
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t skipped = 0;
};
