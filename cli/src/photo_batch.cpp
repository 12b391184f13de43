#include "photo_batch.h"

#include <bedrock/bas_utility_file.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    return folder;
}

// Absolute, with the folder part resolved as the kernel resolves it: the
// module needs a folder part in every path and works from no working folder,
// and "link/.." must name what the shell user's open() would reach.
std::string AbsolutePath(const std::string& path) { return BASUtilityFile::ResolvePath(path); }

// The key under which a photo counts once, however it was named.
std::string IdentityKey(const std::string& path) {
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? path : canonical.string();
}

std::string Describe(int error) { return std::strerror(error); }

// Checks that results can be written into `folder`; a message otherwise.
bool CheckWritableFolder(const std::string& folder, std::string& error) {
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) {
        error = "the output folder " + folder + " cannot be used: " + Describe(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "the output folder " + folder + " is not a folder";
        return false;
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        error = "the output folder " + folder + " cannot be written: " + Describe(errno);
        return false;
    }
    return true;
}

class Collector {
public:
    Collector(const ConvertOptions& options, PhotoBatch& batch) : options_(options), batch_(batch) {}

    // With several folders to search, each keeps its tree under a folder
    // of its own name in the -o folder.
    void SetFolderInputs(size_t count) { ownFolders_ = count > 1; }

    bool AddInput(const std::string& input, std::string& error) {
        struct stat st {};
        if (stat(input.c_str(), &st) != 0) {
            error = errno == ENOENT || errno == ENOTDIR ? "no such photo or folder: " + input
                                                        : "cannot use " + input + ": " + Describe(errno);
            return false;
        }
        const std::string path = AbsolutePath(input);
        if (S_ISDIR(st.st_mode)) {
            std::error_code ec;
            fs::directory_iterator probe(path, ec);
            if (ec) {
                error = "cannot read the folder " + input + ": " + ec.message();
                return false;
            }
            root_ = path;
            rootName_ = ownFolders_ ? FreeRootName(path) : std::string();
            AddFolder(path);
            root_.clear();
            return true;
        }
        if (!S_ISREG(st.st_mode)) {
            error = input + " is neither a photo nor a folder";
            return false;
        }
        // A photo named on the command line is sent whatever its extension:
        // the user chose it, and the codec recognises what it can read.
        AddPhoto(path);
        return true;
    }

private:
    void AddFolder(const std::string& folder) {
        std::vector<fs::path> files, folders;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            // Links to folders are not followed, so a loop of links cannot
            // make the walk endless; links to files count as files.
            if (it->is_symlink(typeError)) {
                if (it->is_regular_file(typeError)) files.push_back(it->path());
            } else if (it->is_directory(typeError)) {
                folders.push_back(it->path());
            } else if (it->is_regular_file(typeError)) {
                files.push_back(it->path());
            }
        }
        if (ec) {
            batch_.warnings.push_back("cannot read the folder " + folder + ": " + ec.message());
            return;
        }
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        for (const fs::path& file : files) {
            if (HasHeicSuffix(file.filename().string())) {
                AddPhoto(file.string());
            } else {
                batch_.skipped.push_back(file.string());
            }
        }
        if (!options_.recursive) return;
        for (const fs::path& sub : folders) AddFolder(sub.string());
    }

    void AddPhoto(const std::string& path) {
        if (!seen_.insert(IdentityKey(path)).second) return;
        PhotoJob job;
        job.source = path;
        const fs::path p(path);
        job.outputDir = options_.outputDir.empty() ? WithSlash(p.parent_path().string()) : std::string();
        if (KeepsTree()) {
            const fs::path kept = (fs::path(rootName_) / p.parent_path().lexically_relative(root_)).lexically_normal();
            job.subfolder = kept == "." ? std::string() : WithSlash(kept.string());
        }
        const std::string name = p.filename().string();
        // The module makes the output name from the text before the last
        // dot and skips a photo without one, so such a photo is refused
        // here, where the user learns why.
        if (!IsValidUtf8(path)) {
            job.refusal = "the path is not valid UTF-8";
        } else if (name.find('.') == std::string::npos) {
            job.refusal = "the file name has no extension to replace";
        }
        batch_.jobs.push_back(std::move(job));
    }

    // Photos named on their own (no folder searched) go into the -o folder.
    bool KeepsTree() const { return options_.recursive && !options_.outputDir.empty() && !root_.empty(); }

    // The folder's own name, or the next free one when an earlier folder
    // of this run took it: "DCIM", "DCIM (1)", ...
    std::string FreeRootName(const std::string& folder) {
        std::string name = fs::path(folder).filename().string();
        if (name.empty()) name = "root";  // the file system's root
        std::string free = name;
        for (int n = 1; !rootNames_.insert(free).second; ++n) free = name + " (" + std::to_string(n) + ")";
        return free;
    }

    const ConvertOptions& options_;
    PhotoBatch& batch_;
    std::set<std::string> seen_;
    bool ownFolders_ = false;
    std::string root_;      // the folder argument being searched
    std::string rootName_;  // its folder in the -o folder, or ""
    std::set<std::string> rootNames_;
};

bool PrepareOutputFolder(const std::string& given, std::string& folder, std::string& error) {
    folder = AbsolutePath(given);
    if (!IsValidUtf8(folder)) {
        error = "the output folder's path is not valid UTF-8: " + given;
        return false;
    }
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) {
            error = "cannot make the output folder " + given + ": " + ec.message();
            return false;
        }
    }
    return CheckWritableFolder(folder, error);
}

}  // namespace

bool HasHeicSuffix(const std::string& name) {
    static const char kSuffix[] = ".heic";
    const size_t n = sizeof kSuffix - 1;
    if (name.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = name[name.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kSuffix[i]) return false;
    }
    return true;
}

namespace {

// The length of the well-formed UTF-8 sequence at `i`, or 0.
size_t SequenceAt(const unsigned char* s, size_t n, size_t i) {
    const unsigned char c = s[i];
    if (c < 0x80) return 1;
    size_t extra;
    uint32_t cp;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + extra >= n) return 0;
    for (size_t k = 1; k <= extra; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not text.
    static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return extra + 1;
}

}  // namespace

bool IsValidUtf8(const std::string& text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0, length; i < text.size(); i += length) {
        if ((length = SequenceAt(s, text.size(), i)) == 0) return false;
    }
    return true;
}

std::string ToValidUtf8(const std::string& text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = SequenceAt(s, text.size(), i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

bool CollectPhotoBatch(const ConvertOptions& options, PhotoBatch& batch, std::string& error) {
    Collector collector(options, batch);
    size_t folders = 0;
    for (const std::string& input : options.inputs) {
        struct stat st {};
        if (stat(input.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ++folders;
    }
    collector.SetFolderInputs(folders);
    for (const std::string& input : options.inputs) {
        if (!collector.AddInput(input, error)) return false;
    }

    if (!options.outputDir.empty()) {
        std::string folder;
        if (!PrepareOutputFolder(options.outputDir, folder, error)) return false;
        folder = WithSlash(folder);
        for (PhotoJob& job : batch.jobs) job.outputDir = folder + job.subfolder;
        return true;
    }
    // Beside each photo: every folder that will receive a result is checked
    // now, before the first photo is converted.
    std::set<std::string> checked;
    for (const PhotoJob& job : batch.jobs) {
        if (!job.refusal.empty() || !checked.insert(job.outputDir).second) continue;
        if (!CheckWritableFolder(job.outputDir, error)) {
            error += "; choose another output folder with -o DIR";
            return false;
        }
    }
    return true;
}

bool MakeOutputFolder(const std::string& folder, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return true;
    fs::create_directories(folder, ec);
    if (ec) {
        error = "cannot make the output folder " + folder + ": " + ec.message();
        return false;
    }
    return CheckWritableFolder(folder, error);
}

std::vector<JobRange> GroupRequests(const std::vector<PhotoJob>& jobs) {
    std::vector<JobRange> ranges;
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (!jobs[i].refusal.empty()) continue;
        if (!ranges.empty() && ranges.back().end == i && jobs[ranges.back().begin].outputDir == jobs[i].outputDir) {
            ranges.back().end = i + 1;
        } else {
            ranges.push_back({i, i + 1});
        }
    }
    return ranges;
}
