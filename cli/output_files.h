// Output files are prepared in full, each in a temporary file beside its target, and renamed
// into place only when every one of them was written: an interrupted or failed run never
// leaves a half-written model, and never a new model beside an old result.
#ifndef COMPENSATE_OUTPUT_FILES_H
#define COMPENSATE_OUTPUT_FILES_H

#include <string>
#include <vector>

namespace compensation::cli {

class OutputFiles {
  public:
    // Input files, which an output may replace only with force (or, for the model, in place).
    void AddInput(const std::string& path);

    // Checks an output path before any work: its directory exists, it is not a directory, it is
    // not one of the inputs (unless allowInputOverwrite) nor another output. Throws UsageError.
    void Plan(const std::string& path, const std::string& option, bool allowInputOverwrite);

    // Writes every staged content to a temporary file, then renames them all into place.
    // Throws InputError (nothing renamed, temporaries removed) when a write fails.
    void Stage(const std::string& path, std::string content);
    void Commit();

  private:
    struct Staged {
        std::string path;
        std::string content;
    };
    std::vector<std::string> inputs_;
    std::vector<std::string> planned_;
    std::vector<Staged> staged_;
};

// Writes one file the same way (temporary file, then rename).
void WriteFileAtomically(const std::string& path, const std::string& content);

}  // namespace compensation::cli

#endif  // COMPENSATE_OUTPUT_FILES_H
